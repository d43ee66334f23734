// What every subcommand of `tessaro` shares: the global options, the
// registration of subcommands, and the exit codes.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

namespace tessaro::cli {

class Session;

// Exit codes of the tool (docs/cli.md lists them for users).
enum ExitCode {
    kExitOk = 0,
    kExitReaderError = 1,  // the reader or a tag answered with an error
    kExitUsage = 2,        // a bad argument: nothing was sent
    kExitNoReader = 3,     // no reader found, or the simulator could not start
    kExitReplayDiffers = 4 // a replay ran, but the host sent other reports than recorded
};

// Reader statuses with which an inventory ends well: done, scan time ran out,
// no tag in the field.
constexpr int kDone = 0x01, kScanOverflow = 0x02, kNoTag = 0xFB;

// The global options, before or after the subcommand. To add one: a field here, a
// line in addGlobalOptions (main.cpp), and where it takes effect (most act in
// Session::open, session.cpp).
struct GlobalOptions {
    bool sim = false;
    std::string simFile;       // empty: the sample shelf
    int address = 0xFF;        // 0xFF reaches a reader at any address
    bool json = false;
    bool trace = false;
    std::string recordFile;
    std::string replayFile;    // set by `tessaro replay FILE -- ...`
    bool quiet = false;
    bool virtualClock = false; // hidden: the simulator on virtual time, for tests
    int simReaders = 1;        // --sim-readers: simulated readers (one per port)
    std::string commandLine;   // as typed, for the transcript's header
    int pauseMs = -1;          // --pause: the report pause; -1 leaves the library's 50 ms
};

// What a subcommand does once its arguments are parsed and checked. It runs
// with the reader open and returns an exit code.
using Action = std::function<int(Session &)>;

struct Cli {
    GlobalOptions options;
    Action action;              // set by the subcommand that was chosen
    bool needsReader = true;    // false for commands that talk to no reader
};

// A subcommand registers itself on `app` and sets cli.action from its
// callback. Checks of its arguments that CLI11 cannot express go in that
// callback too: throwing CLI::ValidationError there exits with kExitUsage
// before anything is sent.
using Registration = void (*)(CLI::App &app, Cli &cli);

// Parses argv and runs the chosen subcommand; returns the exit code.
// `inherited`: the global options of an outer run (tessaro replay), or null.
int run(int argc, const char *const *argv, const GlobalOptions *inherited);

// Declared here, defined each in a file of its own (commands.def lists them).
#define TESSARO_CLI_COMMAND(name) void add_##name##_command(CLI::App &app, Cli &cli);
#include "commands.def"
#undef TESSARO_CLI_COMMAND

}  // namespace tessaro::cli
