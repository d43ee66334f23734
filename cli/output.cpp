#include "output.h"

#include <cstdio>
#include <iostream>

namespace tessaro::cli {

void Output::text(const std::string &line) const {
    if (!json_) std::cout << line << '\n' << std::flush;
}

void Output::record(const Json &document) const {
    if (json_) std::cout << document.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n' << std::flush;
}

void Output::note(const std::string &line) const {
    if (!quiet_) std::cerr << line << '\n';
}

void Output::error(const std::string &message) const { std::cerr << "tessaro: " << message << '\n'; }

void Output::print(const Fields &fields) const {
    if (json_) {
        record(fields.object());
        return;
    }
    for (const std::string &line : fields.lines()) text(line);
}

}  // namespace tessaro::cli
