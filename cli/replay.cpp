// tessaro replay FILE -- SUBCOMMAND ...: runs a subcommand against a
// transcript instead of a reader, and says where the host's reports differ
// from the recorded ones (exit code 4).
#include "cli.h"
#include "session.h"

namespace tessaro::cli {

namespace {

struct ReplayArgs {
    std::string file;
    std::vector<std::string> command;
};

}  // namespace

void add_replay_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<ReplayArgs>();
    CLI::App *command = app.add_subcommand(
        "replay", "Run a subcommand against a transcript made with --record: tessaro replay "
                  "FILE -- inventory --tid");
    command->add_option("file", args->file, "the transcript")->required()->check(CLI::ExistingFile);
    command->add_option("command", args->command, "the subcommand and its arguments, after --")
        ->required();
    command->callback([&cli, args] {
        cli.needsReader = false;
        cli.action = [&cli, args](Session &) {
            GlobalOptions options = cli.options;
            options.replayFile = args->file;
            options.sim = false;
            std::vector<const char *> argv{"tessaro"};
            for (const std::string &word : args->command) argv.push_back(word.c_str());
            return run(static_cast<int>(argv.size()), argv.data(), &options);
        };
    });
}

}  // namespace tessaro::cli
