// tessaro serve: every reader (or the ones named) read continuously, each
// event journaled and shown live by the web console, which also drives the
// readers (settings, tag operations, recordings). The options are parsed
// here; the engine and the console are in service/.
#include <memory>

#include "cli.h"
#include "engine.h"
#include "http_sink.h"
#include "run.h"
#include "service_options.h"
#include "session.h"

namespace tessaro::cli {

namespace {

struct ServeArgs {
    HttpArgs http{"127.0.0.1:8080", {}, {}, {}, {}};
    JournalArgs journal;
    std::vector<std::string> readers;
    double seconds = 0;
    unsigned long long rounds = 0;
    int q = 4;
    int session = 0;
    unsigned pauseMs = 100;
    unsigned departMs = 3000;
    unsigned retryMs = 1000;
    http::HttpOptions options;
    service::EngineOptions engine;
};

void settle(ServeArgs &args, bool quiet) {
    args.http.apply(args.options, quiet);
    service::EngineOptions &e = args.engine;
    e.name = "serve";
    e.quiet = quiet;
    e.readers = args.readers;
    args.journal.apply(e.journal);
    TessaroReadingOptions &r = e.reading;
    TessaroReadingDefaults(&r);
    r.qValue = args.q;
    r.session = args.session;
    r.pauseMs = args.pauseMs;
    r.presence = 1;  // the console's table shows arrivals and departures
    r.departAfterMs = args.departMs;
    r.retryIntervalMs = args.retryMs;
}

int runServe(Session &session, ServeArgs &args) {
    service::Engine engine;
    if (const int rc = engine.open(args.engine); rc != service::kExitOk) return rc;
    http::HttpSink sink(args.options, session.recorder());
    service::RunLimits limits;
    limits.seconds = args.seconds;
    limits.rounds = args.rounds;
    return service::runService(engine, {&sink}, limits, session.options().json);
}

}  // namespace

void add_serve_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<ServeArgs>();
    CLI::App *command = app.add_subcommand(
        "serve", "Read every reader continuously and show the tags live in a web console that "
                 "also drives the readers; prints its URL with the token (docs/api-http.md).");
    command->add_option("--http", args->http.address,
                        "[HOST:]PORT to listen on; another address than the loopback needs the "
                        "token for everything")
        ->capture_default_str();
    addHttpOptions(*command, args->http, "");
    command->add_option("--reader", args->readers, "read only this reader (serial number, 8 hex "
                                                   "digits); may be repeated");
    addJournalOptions(*command, args->journal);
    command->add_option("--seconds", args->seconds, "stop after this many seconds (default: at Ctrl-C)")
        ->check(CLI::PositiveNumber);
    command->add_option("--rounds", args->rounds, "stop once every reader ran this many rounds")
        ->check(CLI::Range(1ULL, 1000000000ULL));
    command->add_option("--q", args->q, "Q of the inventory")->check(CLI::Range(0, 15))->capture_default_str();
    command->add_option("--session", args->session, "session of the inventory")
        ->check(CLI::Range(0, 3))
        ->capture_default_str();
    command->add_option("--pause", args->pauseMs, "milliseconds between rounds")
        ->check(CLI::Range(0, 3600000))
        ->capture_default_str();
    command->add_option("--depart", args->departMs, "milliseconds unseen before a tag departs")
        ->check(CLI::Range(1, 3600000))
        ->capture_default_str();
    command->add_option("--retry", args->retryMs, "milliseconds between looks for a lost reader")
        ->check(CLI::Range(10, 3600000))
        ->capture_default_str();
    command->callback([&cli, args] {
        settle(*args, cli.options.quiet);
        cli.action = [args](Session &session) { return runServe(session, *args); };
    });
}

}  // namespace tessaro::cli
