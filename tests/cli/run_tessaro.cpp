#include "run_tessaro.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

namespace tessaro::testing {

namespace {

#ifdef _WIN32
// The tool beside this program (the build puts both in its bin folder), run
// through cmd.exe, whose exit status is the tool's own.
std::string toolCommand() {
    char path[MAX_PATH];
    const DWORD size = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string tool(path, size);
    return tool.substr(0, tool.find_last_of("\\/") + 1) + "tessaro.exe";
}
constexpr const char *kNoInput = "NUL";
FILE *startCommand(const std::string &command) {
    return _popen(("\"" + command + "\"").c_str(), "r");  // cmd.exe strips the outer quotes
}
int exitCode(FILE *pipe) { return _pclose(pipe); }
#else
std::string toolCommand() { return TESSARO_CLI; }
constexpr const char *kNoInput = "/dev/null";
FILE *startCommand(const std::string &command) { return popen(command.c_str(), "r"); }
int exitCode(FILE *pipe) {
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

}  // namespace

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
        toolCommand() + " " + arguments + " 2>" + errFile + " <" + kNoInput;
    Run run;
    FILE *pipe = startCommand(command);
    if (!pipe) return run;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
    run.exitCode = exitCode(pipe);
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
