// What the tool says about a command line it cannot run: which word it did
// not know and the nearest name it does know, found in the CLI11 model of the
// tool, so every command and option added later is covered as it is.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace tessaro::cli {

struct UsageError {
    std::string message;     // "unknown command 'invetory'"
    std::string suggestion;  // "inventory", "--antennas", "tessaro --version"; may be empty
    std::string command;     // the command the line reached: "tessaro inventory"
};

// Explains `error`, which CLI11 threw parsing `words` (argv without the
// program's name) with `app`.
UsageError explainUsage(const CLI::App &app, const std::vector<std::string> &words,
                        const CLI::ParseError &error);

// The known name nearest to `word` (a typo one or two letters away, or the
// only name that starts with it), or "".
std::string nearestName(const std::string &word, const std::vector<std::string> &names);

// A check that a number is above 0 whose message says so (CLI11's own names
// the largest double).
CLI::Validator aboveZero();

// Gives `app` the tool's help formatter, which the commands added afterwards
// inherit: the help of every command ends with a line naming the global
// options (those of `app` now, outside the hidden group), which are taken
// before or after the command; --help-all lists every command, nested ones
// too, each under its full name ("tessaro config set:"), which is what the
// man page is made of.
void useToolHelp(CLI::App &app);

}  // namespace tessaro::cli
