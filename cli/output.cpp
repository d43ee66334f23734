#include "output.h"

#include <cstdio>
#include <iostream>

namespace tessaro::cli {

namespace {

// What went to this process's stdout and stderr: one stdout, one record.
bool errorRecorded = false;
std::string firstError;

}  // namespace

void Output::text(const std::string &line) const {
    if (!json_) std::cout << line << '\n' << std::flush;
}

void Output::record(const Json &document) const {
    if (json_) std::cout << document.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n' << std::flush;
}

void Output::note(const std::string &line) const {
    if (!quiet_) std::cerr << line << '\n';
}

void Output::error(const std::string &message) const {
    std::cerr << "tessaro: " << message << '\n';
    if (firstError.empty()) firstError = message;
}

void Output::errorRecord(int exitCode, const std::string &message, const Json &details) const {
    if (!json_ || errorRecorded) return;
    Json error{{"type", "error"}, {"exitCode", exitCode}, {"message", message}};
    if (details.is_object()) error.update(details);
    record(error);
    errorRecorded = true;
}

int Output::finish(int exitCode) const {
    if (exitCode != 0) errorRecord(exitCode, firstError.empty() ? "failed" : firstError);
    return exitCode;
}

void Output::print(const Fields &fields) const {
    if (json_) {
        record(fields.object());
        return;
    }
    for (const std::string &line : fields.lines()) text(line);
}

}  // namespace tessaro::cli
