// tessaro: the command-line tool for the reader. The global options stand
// before or after the subcommand; each subcommand lives in a file of its own
// and is listed in commands.def.
#include <algorithm>
#include <iostream>

#include "TessaroTiming.h"
#include "TessaroTypes.h"
#include "cli.h"
#include "session.h"
#include "usage.h"

namespace tessaro::cli {

namespace {

const Registration kCommands[] = {
#define TESSARO_CLI_COMMAND(name) add_##name##_command,
#include "commands.def"
#undef TESSARO_CLI_COMMAND
};

CLI::Option *addGlobalOptions(CLI::App &app, GlobalOptions &options) {
    CLI::Option *sim = app.add_option("--sim", options.simFile,
                   "use the simulated reader instead of a USB one; its tags from a population "
                   "FILE (docs/simulator.md), or the sample shelf without FILE")
        ->expected(0, 1)
        ->type_name("[FILE]");
    app.add_option("--address", options.address,
                   "the reader's address (0 to 255; 255 reaches a reader at any address)")
        ->check(CLI::Range(0, 255))
        ->type_name("ADDR")
        ->capture_default_str();
    app.add_flag("--json", options.json, "print results as JSON, one document per line");
    app.add_flag("--trace", options.trace,
                 "print every report exchanged with the reader on stderr (hex, with direction "
                 "and time)");
    app.add_option("--record", options.recordFile,
                   "write every report exchanged to FILE as a transcript (tessaro replay reads it)")
        ->type_name("FILE");
    app.add_flag("-q,--quiet", options.quiet, "print results and errors only");
    app.add_option("--pause", options.pauseMs,
                   "the pause after each report the reader sends, 0 to 50 ms (default 50); "
                   "shorter is faster if the reader keeps up: tessaro tune measures it")
        ->check(CLI::Range(0u, TESSARO_REPORT_PAUSE_MAX_MS))
        ->type_name("MS");
    app.add_option("--sim-readers", options.simReaders,
                   "with --sim: this many simulated readers, each with the same tags (the "
                   "long-running commands read them all)")
        ->check(CLI::Range(1, 19))
        ->type_name("N");
    app.add_flag("--virtual-clock", options.virtualClock,
                 "with --sim: run the simulator on virtual time (tests)")
        ->group("");
    for (CLI::Option *option : app.get_options())
        if (!option->get_group().empty() && option != app.get_help_ptr() &&
            option != app.get_help_all_ptr() &&
            option != app.get_version_ptr())
            option->group("Global options (before or after the command)");
    return sim;
}

std::string versionText() {
    return "tessaro " + std::string(TESSARO_CLI_VERSION) + " (reader 0470:A112)";
}

// Whether `flag` stands among `words` before a "--" (what follows belongs to
// the command tessaro replay runs). Read before parsing, so that a usage error
// is reported in the form (--json) and at the volume (-q) the line asked for.
bool given(const std::vector<std::string> &words, const char *flag) {
    const auto end = std::find(words.begin(), words.end(), "--");
    return std::find(words.begin(), end, flag) != end;
}

// Prints what is wrong with the command line; exit code 2.
int usageFailed(const CLI::App &app, const std::vector<std::string> &words,
                const CLI::ParseError &error, const Output &out) {
    const UsageError usage = explainUsage(app, words, error);
    std::string message = usage.message;
    if (!usage.suggestion.empty()) message += "; did you mean '" + usage.suggestion + "'?";
    out.error(message + "\n  '" + usage.command + " --help' tells what it takes.");
    Json details{{"command", usage.command}};
    if (!usage.suggestion.empty()) details["suggestion"] = usage.suggestion;
    out.errorRecord(kExitUsage, usage.message, details);
    return kExitUsage;
}

}  // namespace

// Parses `argv` and runs the chosen subcommand; returns the exit code.
// `inherited`: the global options of an outer run (tessaro replay).
int run(int argc, const char *const *argv, const GlobalOptions *inherited) {
    Cli cli;
    if (inherited) cli.options = *inherited;
    for (int i = 0; i < argc; ++i)
        cli.options.commandLine += i ? " " + std::string(argv[i]) : std::string("tessaro");
    const std::vector<std::string> words(argv + std::min(argc, 1), argv + argc);
    CLI::App app{"tessaro: the command-line tool for the USB UHF RFID readers 0470:A112 (EPC "
                 "Gen2 and ISO 18000-6B tags).",
                 "tessaro"};
    app.set_version_flag("-V,--version", versionText());
    app.set_help_all_flag("--help-all", "Print the help of every command and exit");
    app.require_subcommand(1);
    // The same syntax on every platform: "/path" is a path, not a Windows-style
    // option; and options a command does not know fall through to the global
    // ones, so these go before or after the command (subcommands added below
    // inherit both).
    app.allow_windows_style_options(false);
    app.fallthrough();
    const CLI::Option *sim = addGlobalOptions(app, cli.options);
    useToolHelp(app);
    for (Registration add : kCommands) add(app, cli);
    app.footer("Exit codes: 0 ok, 1 reader or tag error, 2 usage, 3 no reader, 4 replay differs; "
               "the gateway: 5 broker refused, 6 events lost. docs/cli.md has examples.\n");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success &done) {
        return app.exit(done);  // --help, --version
    } catch (const CLI::ParseError &error) {
        const Output out(cli.options.json || given(words, "--json"),
                         cli.options.quiet || given(words, "-q") || given(words, "--quiet"));
        return usageFailed(app, words, error, out);
    }
    if (!cli.action) return kExitUsage;
    cli.options.sim = cli.options.sim || sim->count() > 0;
    Session session(cli.options);
    int rc = kExitOk;
    if (cli.needsReader) rc = session.open();
    if (rc == kExitOk) rc = session.finish(cli.action(session));
    return session.out().finish(rc);
}

}  // namespace tessaro::cli

int main(int argc, char **argv) { return tessaro::cli::run(argc, argv, nullptr); }
