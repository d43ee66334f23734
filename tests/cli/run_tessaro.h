// Runs the built tessaro binary and captures what it printed.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tessaro::testing {

struct Run {
    int exitCode = -1;
    std::string out;  // stdout
    std::string err;  // stderr
    // stdout parsed as JSON Lines (a failed parse fails the calling test).
    std::vector<nlohmann::json> json() const;
};

// `arguments` are appended to "tessaro" as given (shell words, quoted by the
// caller where needed).
Run runTessaro(const std::string &arguments);
// The same on the simulated reader, on virtual time.
Run sim(const std::string &arguments);

// A file path in the test's scratch folder.
std::string scratchFile(const std::string &name);
std::string readFile(const std::string &path);

}  // namespace tessaro::testing
