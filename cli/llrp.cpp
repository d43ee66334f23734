// tessaro llrp: the reader served to LLRP clients over TCP or TLS (docs/llrp.md), as
// an output of the service's engine (service/llrp/). This file only reads the
// options and starts the service.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>

#include "TessaroSim.h"
#include "cli.h"
#include "engine.h"
#include "llrp_sink.h"
#include "run.h"
#include "session.h"

namespace tessaro::cli {

namespace {

// With --sim, SIGUSR1 unplugs the simulated reader and SIGUSR2 plugs it back
// in, to show (and test) what a client hears when the USB reader goes.
std::atomic<int> plugRequest{-1};
extern "C" void onUnplug(int) { plugRequest = 0; }
extern "C" void onReplug(int) { plugRequest = 1; }

constexpr int kLlrpTlsPort = 5085;

struct LlrpArgs {
    llrp::LlrpOptions llrp;
    std::string journal;
    std::string fsync = "interval";
    double seconds = 0;
};

// The journal's folder when --journal is not given; beside the gateway's, so
// that both can run at once.
std::string defaultLlrpJournal() {
    if (const char *state = std::getenv("STATE_DIRECTORY"); state && *state) return std::string(state) + "/llrp-journal";
    if (const char *xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg) return std::string(xdg) + "/tessaro/llrp-journal";
    if (const char *home = std::getenv("HOME"); home && *home) return std::string(home) + "/.local/state/tessaro/llrp-journal";
    return "tessaro-llrp-journal";
}

int runLlrp(Session &session, LlrpArgs &args) {
    service::EngineOptions options;
    options.journal.folder = args.journal.empty() ? defaultLlrpJournal() : args.journal;
    journal::parseFsync(args.fsync, options.journal.fsync);
    options.name = "llrp";
    options.quiet = session.options().quiet;
    TessaroReadingDefaults(&options.reading);
    if (!args.llrp.reader.empty()) options.readers = {args.llrp.reader};
    args.llrp.address = *session.address();
    args.llrp.server.quiet = session.options().quiet;
    if (TessaroSim *sim = session.sim()) {
        std::signal(SIGUSR1, onUnplug);
        std::signal(SIGUSR2, onReplug);
        args.llrp.server.poll = [sim] {
            const int plugged = plugRequest.exchange(-1);
            if (plugged >= 0) TessaroSimSetPlugged(sim, 0, plugged);
        };
    }
    service::Engine engine;
    if (const int rc = engine.open(options); rc != service::kExitOk) return rc;
    llrp::LlrpSink sink(args.llrp);
    service::RunLimits limits;
    limits.seconds = args.seconds;
    limits.startReadings = false;  // the clients' ROSpecs decide
    limits.drainMs = 0;
    return service::runService(engine, {&sink}, limits, session.options().json);
}

}  // namespace

void add_llrp_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<LlrpArgs>();
    CLI::App *command = app.add_subcommand(
        "llrp", "Serve the reader to LLRP clients over TCP, one client at a time; their ROSpecs "
                "decide when it reads (docs/llrp.md).");
    llrp::ServerOptions &server = args->llrp.server;
    CLI::Option *port = command->add_option("--port", server.port, "TCP port (default 5084, with TLS 5085); "
                                                                   "0 picks a free one")
                            ->check(CLI::Range(0, 65535));
    command->add_option("--bind", server.bind, "IPv4 address to listen on")->capture_default_str();
    CLI::Option *cert = command->add_option("--cert", server.certFile, "serve LLRP over TLS with this certificate "
                                                                       "(PEM, the chain after it)");
    CLI::Option *key = command->add_option("--key", server.keyFile, "the certificate's private key (PEM, no passphrase)");
    cert->needs(key);
    key->needs(cert);
    command->add_option("--reader", args->llrp.reader, "serve this reader (serial number, 8 hex digits); "
                                                       "default: the first one found");
    command->add_option("--journal", args->journal, "folder of the event journal (default: "
                                                    "~/.local/state/tessaro/llrp-journal)");
    command->add_option("--fsync", args->fsync, "journal durability: always, interval or never")
        ->check(CLI::IsMember({"always", "interval", "never"}))
        ->capture_default_str();
    command->add_option("--seconds", args->seconds, "stop after this many seconds (default: at Ctrl-C)")
        ->check(CLI::PositiveNumber);
    command->callback([&cli, args, port] {
        // LLRP over TLS has its own well-known port.
        if (port->count() == 0 && !args->llrp.server.certFile.empty()) args->llrp.server.port = kLlrpTlsPort;
        cli.action = [args](Session &session) { return runLlrp(session, *args); };
    });
}

}  // namespace tessaro::cli
