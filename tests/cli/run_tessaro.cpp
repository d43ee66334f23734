#include "run_tessaro.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace tessaro::testing {

std::string readFile(const std::string &path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string scratchFile(const std::string &name) {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(TESSARO_CLI_SCRATCH) + "/" + info->test_suite_name() + "." +
           info->name() + "." + name;
}

Run runTessaro(const std::string &arguments) {
    const std::string errFile = scratchFile("stderr");
    const std::string command =
        std::string(TESSARO_CLI) + " " + arguments + " 2>" + errFile + " </dev/null";
    Run run;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = readFile(errFile);
    std::remove(errFile.c_str());
    return run;
}

Run sim(const std::string &arguments) { return runTessaro("--sim --virtual-clock " + arguments); }

std::vector<nlohmann::json> Run::json() const {
    std::vector<nlohmann::json> documents;
    std::stringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        nlohmann::json document = nlohmann::json::parse(line, nullptr, false);
        EXPECT_FALSE(document.is_discarded()) << "not JSON: " << line;
        documents.push_back(document);
    }
    return documents;
}

}  // namespace tessaro::testing
