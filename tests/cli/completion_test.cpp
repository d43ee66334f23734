// What the package installs beside the tool: the man page renders, and the
// bash and zsh completions offer the commands and options the tool has.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "run_tessaro.h"

using tessaro::testing::readFile;
using tessaro::testing::runTessaro;
using tessaro::testing::scratchFile;

namespace {

struct Shell {
    int exitCode = -1;
    std::string out;
};

Shell shell(const std::string &command) {
    Shell result;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, got);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::set<std::string> words(const std::string &text) {
    std::set<std::string> found;
    std::istringstream stream(text);
    for (std::string word; stream >> word;) found.insert(word);
    return found;
}

// The first words of the lines under `heading` in a help text, up to a blank line.
std::set<std::string> listed(const std::string &help, const std::string &heading) {
    std::set<std::string> found;
    std::istringstream lines(help.substr(help.find(heading) + heading.size()));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && !line.empty()) {
        std::istringstream first(line);
        std::string word;
        first >> word;
        found.insert(word);
    }
    return found;
}

// The long option names of a help text's option lines ("  -w,--watch  ...").
std::set<std::string> longOptions(const std::string &help) {
    std::set<std::string> found;
    for (size_t at = help.find("\n  -"); at != std::string::npos; at = help.find("\n  -", at + 1)) {
        const std::string name = help.substr(at + 3, help.find_first_of(" \n", at + 3) - at - 3);
        const size_t comma = name.find(',');
        found.insert(comma == std::string::npos ? name : name.substr(comma + 1));
    }
    return found;
}

// What the bash completion offers for `line` (the word being completed last).
std::set<std::string> bashOffers(const std::string &script, const std::string &line) {
    const std::string driver = scratchFile("driver.bash");
    std::ofstream(driver) << "source '" << script << "'\n"
                          << "COMP_WORDS=(" << line << ")\n"
                          << (line.back() == ' ' ? "COMP_WORDS+=('')\n" : "")
                          << "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
                          << "cd '" << TESSARO_CLI_SCRATCH << "'\n"
                          << "_tessaro\n"
                          << "printf '%s\\n' \"${COMPREPLY[@]}\"\n";
    const Shell run = shell("bash --norc --noprofile '" + driver + "'");
    EXPECT_EQ(run.exitCode, 0) << line;
    return words(run.out);
}

std::string writtenScript(const char *name) {
    const auto run = runTessaro(std::string("completion ") + name);
    EXPECT_EQ(run.exitCode, 0);
    const std::string script = scratchFile(name);
    std::ofstream(script) << run.out;
    return script;
}

TEST(CliCompletion, TheBuildInstallsWhatTheToolWrites) {
    EXPECT_EQ(readFile(TESSARO_BUILT_BASH_COMPLETION), runTessaro("completion bash").out);
    EXPECT_EQ(readFile(TESSARO_BUILT_ZSH_COMPLETION), runTessaro("completion zsh").out);
}

TEST(CliCompletion, BashOffersEveryCommandAndTheOptionsOfInventory) {
    const std::string script = writtenScript("bash");
    const std::set<std::string> commands = listed(runTessaro("--help").out, "Subcommands:");
    ASSERT_GE(commands.size(), 15u);
    const std::set<std::string> first = bashOffers(script, "tessaro ");
    for (const std::string &command : commands) EXPECT_TRUE(first.count(command)) << command;
    EXPECT_TRUE(first.count("--sim"));

    std::set<std::string> options = longOptions(runTessaro("inventory --help").out);
    ASSERT_GE(options.size(), 15u);
    const std::set<std::string> offered = bashOffers(script, "tessaro --sim inventory --");
    for (const std::string &option : options) EXPECT_TRUE(offered.count(option)) << option;
    EXPECT_TRUE(offered.count("--json")) << "the global options go after the command too";
    EXPECT_FALSE(offered.count("--epc")) << "an option of another command";

    EXPECT_EQ(bashOffers(script, "tessaro inv"), std::set<std::string>{"inventory"});
    EXPECT_EQ(bashOffers(script, "tessaro config s"), std::set<std::string>{"set"});
    EXPECT_EQ(bashOffers(script, "tessaro inventory --target "), (std::set<std::string>{"a", "b"}));
    EXPECT_EQ(bashOffers(script, "tessaro inventory --q "), std::set<std::string>{});
    // After --record a file name: the driver runs in the scratch folder.
    std::ofstream(scratchFile("marker")) << "";
    const std::set<std::string> files = bashOffers(script, "tessaro info --record CliCompletion.Bash");
    EXPECT_TRUE(files.count("CliCompletion.BashOffersEveryCommandAndTheOptionsOfInventory.marker"));
}

TEST(CliCompletion, ZshOffersTheSameWords) {
    if (shell("command -v zsh >/dev/null").exitCode != 0) GTEST_SKIP() << "no zsh";
    const std::string script = writtenScript("zsh");
    // zsh's completion functions stood in for: _describe prints the names of
    // the candidates, compadd its words.
    const std::string driver = scratchFile("driver.zsh");
    std::ofstream(driver) << "_describe() { print -rl -- ${${(P)4}%%:*} }\n"
                          << "compadd() { shift; print -rl -- $@ }\n"
                          << "_files() { print FILES }\n"
                          << "source '" << script << "' >/dev/null\n"
                          << "words=(tessaro config s); CURRENT=3; _tessaro\n"
                          << "words=(tessaro inventory --target ''); CURRENT=4; _tessaro\n";
    const Shell run = shell("zsh -f '" + driver + "' | sort -u | grep -v -- '^-'");
    EXPECT_EQ(words(run.out), (std::set<std::string>{"get", "set", "a", "b"})) << run.out;
}

TEST(CliManPage, RendersWithEveryCommand) {
    if (std::string(TESSARO_MAN_PAGE).empty()) GTEST_SKIP() << "built without help2man";
    const Shell man = shell("MANWIDTH=100 man -P cat -l '" + std::string(TESSARO_MAN_PAGE) +
                            "' 2>&1");
    ASSERT_EQ(man.exitCode, 0) << man.out;
    EXPECT_NE(man.out.find("tessaro - command-line tool for USB UHF RFID readers"),
              std::string::npos)
        << man.out.substr(0, 500);
    for (const std::string &command : listed(runTessaro("--help").out, "Subcommands:"))
        EXPECT_NE(man.out.find("tessaro " + command + ":"), std::string::npos) << command;
    EXPECT_NE(man.out.find("--antennas"), std::string::npos);
    EXPECT_NE(man.out.find("Global options"), std::string::npos);
    EXPECT_NE(man.out.find("Exit codes"), std::string::npos);
}

}  // namespace

#endif  // _WIN32
