// tessaro llrp: the reader served to LLRP clients over TCP (docs/llrp.md).
// The server is in service/llrp/; this file only reads the options.
#include <atomic>
#include <csignal>

#include "TessaroSim.h"
#include "cli.h"
#include "library_reader.h"
#include "server.h"
#include "session.h"

namespace tessaro::cli {

namespace {

std::atomic<bool> stopRequested{false};
// With --sim, SIGUSR1 unplugs the simulated reader and SIGUSR2 plugs it back
// in, to show (and test) what a client hears when the USB reader goes.
std::atomic<int> plugRequest{-1};

extern "C" void onStop(int) { stopRequested = true; }
extern "C" void onUnplug(int) { plugRequest = 0; }
extern "C" void onReplug(int) { plugRequest = 1; }

struct LlrpArgs {
    llrp::ServerOptions server;
};

int runLlrp(Session &session, LlrpArgs &args) {
    stopRequested = false;
    llrp::ServerOptions &options = args.server;
    options.quiet = session.options().quiet;
    options.stop = &stopRequested;
    TessaroSim *sim = session.sim();
    if (sim) {
        std::signal(SIGUSR1, onUnplug);
        std::signal(SIGUSR2, onReplug);
        options.poll = [sim] {
            const int plugged = plugRequest.exchange(-1);
            if (plugged >= 0) TessaroSimSetPlugged(sim, 0, plugged);
        };
    }
    auto previousInt = std::signal(SIGINT, onStop);
    auto previousTerm = std::signal(SIGTERM, onStop);
    llrp::LibraryReader reader(session.port(), *session.address());
    const int rc = llrp::serve(reader, options);
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    return rc == 0 ? kExitOk : kExitUsage;
}

}  // namespace

void add_llrp_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<LlrpArgs>();
    CLI::App *command = app.add_subcommand(
        "llrp", "Serve the reader to LLRP clients over TCP, one client at a time (docs/llrp.md).");
    command->add_option("--port", args->server.port, "TCP port; 0 picks a free one")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str();
    command->add_option("--bind", args->server.bind, "address to listen on (IPv4)")->capture_default_str();
    command->add_option("--seconds", args->server.seconds, "stop after this many seconds (default: at Ctrl-C)")
        ->check(CLI::PositiveNumber);
    command->callback([&cli, args] { cli.action = [args](Session &session) { return runLlrp(session, *args); }; });
}

}  // namespace tessaro::cli
