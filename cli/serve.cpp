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
    ReadingArgs reading;
    http::HttpOptions options;
    service::EngineOptions engine;
};

void settle(ServeArgs &args, bool quiet) {
    args.http.apply(args.options, quiet);
    service::EngineOptions &e = args.engine;
    e.name = "serve";
    e.quiet = quiet;
    args.journal.apply(e.journal);
    args.reading.presence = true;  // the console's table shows arrivals and departures
    args.reading.apply(e);
}

int runServe(Session &session, ServeArgs &args) {
    service::Engine engine;
    if (const int rc = engine.open(args.engine); rc != service::kExitOk) return rc;
    http::HttpSink sink(args.options, session.recorder());
    service::RunLimits limits;
    limits.seconds = args.reading.seconds;
    limits.rounds = args.reading.rounds;
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
    addJournalOptions(*command, args->journal);
    addReadingOptions(*command, args->reading, false);
    command->callback([&cli, args] {
        settle(*args, cli.options.quiet);
        cli.action = [args](Session &session) { return runServe(session, *args); };
    });
}

}  // namespace tessaro::cli
