// tessaro gateway: every reader (or the ones named) read continuously, each
// event journaled and published as JSON to an MQTT broker. The options are
// parsed here; the engine, the journal and the MQTT output are in service/.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "cli.h"
#include "engine.h"
#include "gen2_options.h"
#include "http_sink.h"
#include "mqtt_sink.h"
#include "run.h"
#include "service_options.h"
#include "session.h"

namespace tessaro::cli {

namespace {

struct GatewayArgs {
    std::string broker = "mqtt://127.0.0.1:1883";
    std::string username, password;
    std::string caFile, certFile, keyFile;
    unsigned long long queue = 0;  // no longer used: every event is journaled
    JournalArgs journal;
    HttpArgs http;  // --http ADDR: the web console beside MQTT
    http::HttpOptions httpOptions;
    double drainSeconds = 10;
    ReadingArgs reading;
    std::string homeAssistant;  // the discovery prefix; empty: off
    std::string tagsFile;
    mqtt::MqttOptions mqtt;
    service::EngineOptions engine;
    std::string tlsError;  // the TLS files cannot be used: exit 5 before any connection
};

std::string defaultClientId() {
    char host[64] = "";
    gethostname(host, sizeof host - 1);
    return std::string("tessaro-") + (host[0] ? host : "gateway");
}

// Turns the parsed options into the service's settings; throws
// CLI::ValidationError (exit 2) for what CLI11 cannot check.
void settle(GatewayArgs &args, bool quiet) {
    mqtt::MqttOptions &m = args.mqtt;
    std::string error;
    if (!mqtt::parseBrokerUrl(args.broker, m.broker, error)) throw CLI::ValidationError(error);
    if ((!args.caFile.empty() || !args.certFile.empty()) && !m.broker.tls)
        throw CLI::ValidationError("--cafile, --cert and --key need an mqtts:// broker URL");
    if (args.certFile.empty() != args.keyFile.empty())
        throw CLI::ValidationError("--cert and --key go together");
    if (args.password.empty())
        if (const char *fromEnvironment = std::getenv("TESSARO_MQTT_PASSWORD"))
            args.password = fromEnvironment;
    if (!args.password.empty() && args.username.empty())
        throw CLI::ValidationError("--password needs --username");

    m.broker.username = args.username;
    m.broker.password = args.password;
    m.broker.caFile = args.caFile;
    m.broker.certFile = args.certFile;
    m.broker.keyFile = args.keyFile;
    if (m.broker.clientId.empty()) m.broker.clientId = defaultClientId();
    m.homeAssistant = !args.homeAssistant.empty();
    if (m.homeAssistant) m.homeAssistantPrefix = args.homeAssistant;
    if (!args.tagsFile.empty()) {
        if (!m.homeAssistant) throw CLI::ValidationError("--tags names tags for --homeassistant");
        if (!mqtt::loadTagNames(args.tagsFile, m.tagNames, error)) throw CLI::ValidationError(error);
        args.reading.presence = true;  // the tags' presence is what Home Assistant shows
    }
    if (mqtt::checkOptions(m, error) == service::kExitUsage) throw CLI::ValidationError(error);
    if (!mqtt::checkTlsFiles(m.broker, error)) args.tlsError = error;

    service::EngineOptions &e = args.engine;
    args.journal.apply(e.journal);
    if (!args.http.address.empty()) args.http.apply(args.httpOptions, quiet);
    args.reading.apply(e);
    e.quiet = quiet;
    if (args.queue > 0 && !quiet)
        std::fprintf(stderr, "gateway: --queue is no longer needed: every event waits in the "
                             "journal (--journal, --journal-mb)\n");

}

int runGateway(GatewayArgs &args, Session &session) {
    service::Engine engine;
    if (const int rc = engine.open(args.engine); rc != service::kExitOk) return rc;
    mqtt::MqttSink sink(args.mqtt);
    std::vector<service::Sink *> sinks{&sink};
    std::unique_ptr<http::HttpSink> console;
    if (!args.http.address.empty()) {
        console = std::make_unique<http::HttpSink>(args.httpOptions, session.recorder(),
                                                   std::vector<http::Peer>{{"mqtt", &sink}});
        sinks.push_back(console.get());
    }
    service::RunLimits limits;
    limits.seconds = args.reading.seconds;
    limits.rounds = args.reading.rounds;
    limits.drainMs = static_cast<unsigned>(args.drainSeconds * 1000);
    return service::runService(engine, sinks, limits, session.options().json);
}

}  // namespace

void add_gateway_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<GatewayArgs>();
    mqtt::MqttOptions &m = args->mqtt;
    CLI::App *command = app.add_subcommand(
        "gateway", "Read every reader continuously and publish each event to an MQTT broker; "
                   "every event waits in a journal on disk until the broker has it "
                   "(docs/gateway.md).");
    command->add_option("--broker", args->broker, "mqtt://HOST[:PORT] or mqtts://HOST[:PORT]")
        ->capture_default_str();
    command->add_option("--topic", m.topic, "topic of the events; {reader} is the serial number")
        ->capture_default_str();
    command->add_option("--status-topic", m.statusTopic,
                        "retained online/lost/offline status of each reader (the last will)")
        ->capture_default_str();
    command->add_option("--stats-topic", m.statsTopic,
                        "retained read rate and counters of each reader, every 10 s")
        ->capture_default_str();
    command->add_option("--qos", m.broker.qos, "MQTT quality of service 0, 1 or 2")
        ->check(CLI::Range(0, 2))
        ->capture_default_str();
    command->add_option("--client-id", m.broker.clientId,
                        "MQTT client id; each reader's connection adds -SERIAL (default "
                        "tessaro-HOSTNAME)");
    command->add_option("--keepalive", m.broker.keepAliveSeconds, "keep-alive in seconds")
        ->check(CLI::Range(5, 65535))
        ->capture_default_str();
    command->add_option("--username", args->username, "user name for the broker");
    command->add_option("--password", args->password,
                        "password for the broker (or the environment's TESSARO_MQTT_PASSWORD)");
    command->add_option("--cafile", args->caFile, "CA certificate(s) that sign the broker's (PEM)")
        ->check(CLI::ExistingFile);
    command->add_option("--cert", args->certFile, "client certificate (PEM)")->check(CLI::ExistingFile);
    command->add_option("--key", args->keyFile, "client certificate's key (PEM)")->check(CLI::ExistingFile);
    addJournalOptions(*command, args->journal);
    command->add_option("--http", args->http.address,
                        "also serve the web console on [HOST:]PORT (docs/api-http.md)");
    addHttpOptions(*command, args->http, "http-");
    command->add_option("--queue", args->queue, "no longer used: every event waits in the journal")
        ->group("");
    command->add_option("--drain", args->drainSeconds,
                        "at the end, seconds left to send what waits (the rest stays in the journal)")
        ->check(CLI::Range(0.0, 3600.0))
        ->capture_default_str();
    command->add_option("--homeassistant", args->homeAssistant,
                        "announce each reader (and the tags of --tags) to Home Assistant by MQTT "
                        "discovery under PREFIX")
        ->expected(0, 1)
        ->default_str("homeassistant")
        ->type_name("[PREFIX]");
    command->add_option("--tags", args->tagsFile,
                        "file of 'EPC name' lines: with --homeassistant, a presence sensor per tag")
        ->type_name("FILE");
    addReadingOptions(*command, args->reading, true);
    command->callback([&cli, args, command] {
        if (command->count("--homeassistant") && args->homeAssistant.empty())
            args->homeAssistant = "homeassistant";
        settle(*args, cli.options.quiet);
        if (!args->tlsError.empty()) {
            // Unusable TLS files end the run before the reader or the broker
            // is touched.
            cli.needsReader = false;
            cli.action = [args](Session &) {
                std::fprintf(stderr, "gateway: %s\n", args->tlsError.c_str());
                return static_cast<int>(service::kExitBroker);
            };
            return;
        }
        cli.action = [args](Session &session) { return runGateway(*args, session); };
    });
}

}  // namespace tessaro::cli
