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
#include "mqtt_sink.h"
#include "run.h"
#include "session.h"

namespace tessaro::cli {

namespace {

struct GatewayArgs {
    std::string broker = "mqtt://127.0.0.1:1883";
    std::string username, password;
    std::string caFile, certFile, keyFile;
    unsigned long long queue = 0;  // no longer used: every event is journaled
    std::string journal;
    unsigned long long journalMegabytes = 100;
    std::string fsync = "always";
    double drainSeconds = 10;
    double seconds = 0;
    unsigned long long rounds = 0;
    std::vector<std::string> readers;
    int q = 4;
    int session = 0;
    MaskArg mask;
    bool buffer = false;
    bool fast = false;
    unsigned pauseMs = 100;
    unsigned dedupMs = 0;
    bool presence = false;
    unsigned departMs = 3000;
    unsigned retryMs = 1000;
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

// Where the journal lives when --journal does not say: the service's state
// folder under systemd, else the user's state folder.
std::string defaultJournal() {
    if (const char *state = std::getenv("STATE_DIRECTORY"); state && *state)
        return std::string(state) + "/journal";
    if (const char *xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg)
        return std::string(xdg) + "/tessaro/journal";
    if (const char *home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/state/tessaro/journal";
    return "tessaro-journal";
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
    if (args.buffer && args.fast) throw CLI::ValidationError("--buffer and --fast exclude each other");
    args.mask.check();

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
        args.presence = true;  // the tags' presence is what Home Assistant shows
    }
    if (mqtt::checkOptions(m, error) == service::kExitUsage) throw CLI::ValidationError(error);
    if (!mqtt::checkTlsFiles(m.broker, error)) args.tlsError = error;

    service::EngineOptions &e = args.engine;
    e.journal.folder = args.journal.empty() ? defaultJournal() : args.journal;
    e.journal.maxBytes = args.journalMegabytes << 20;
    journal::parseFsync(args.fsync, e.journal.fsync);
    e.readers = args.readers;
    e.quiet = quiet;
    if (args.queue > 0 && !quiet)
        std::fprintf(stderr, "gateway: --queue is no longer needed: every event waits in the "
                             "journal (--journal, --journal-mb)\n");

    TessaroReadingOptions &r = e.reading;
    TessaroReadingDefaults(&r);
    r.mode = args.buffer ? TESSARO_READING_BUFFERED
             : args.fast ? TESSARO_READING_FAST
                         : TESSARO_READING_INVENTORY;
    r.qValue = args.q;
    r.session = args.session;
    r.maskFlag = args.mask.block.flag;
    r.maskMem = args.mask.block.bank;
    r.maskLength = args.mask.block.bits;
    std::copy(std::begin(args.mask.block.address), std::end(args.mask.block.address), r.maskAddress);
    std::copy(std::begin(args.mask.block.data), std::end(args.mask.block.data), r.maskData);
    r.pauseMs = args.pauseMs;
    r.dedupWindowMs = args.dedupMs;
    r.presence = args.presence ? 1 : 0;
    r.departAfterMs = args.departMs;
    r.retryIntervalMs = args.retryMs;
}

int runGateway(GatewayArgs &args, bool json) {
    service::Engine engine;
    if (const int rc = engine.open(args.engine); rc != service::kExitOk) return rc;
    mqtt::MqttSink sink(args.mqtt);
    service::RunLimits limits;
    limits.seconds = args.seconds;
    limits.rounds = args.rounds;
    limits.drainMs = static_cast<unsigned>(args.drainSeconds * 1000);
    return service::runService(engine, {&sink}, limits, json);
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
    command->add_option("--reader", args->readers, "read only this reader (serial number, 8 hex "
                                                   "digits); may be repeated");
    command->add_option("--journal,--spool", args->journal,
                        "folder of the event journal (default ~/.local/state/tessaro/journal; "
                        "$STATE_DIRECTORY/journal under systemd); one gateway per folder")
        ->type_name("DIR");
    command->add_option("--journal-mb,--spool-mb", args->journalMegabytes,
                        "most megabytes the journal takes; when full, the oldest history goes, "
                        "then the oldest undelivered events (counted in a dropped event)")
        ->check(CLI::Range(1ULL, 1000000ULL))
        ->capture_default_str();
    command->add_option("--fsync", args->fsync,
                        "when the journal reaches the disk: always (every commit), interval (within "
                        "1 s) or never (the system's choice); a crash of the gateway loses nothing "
                        "in any of them")
        ->check(CLI::IsMember({"always", "interval", "never"}))
        ->capture_default_str();
    command->add_option("--queue", args->queue, "no longer used: every event waits in the journal")
        ->group("");
    command->add_option("--seconds", args->seconds, "stop after this many seconds (default: at Ctrl-C)")
        ->check(CLI::PositiveNumber);
    command->add_option("--rounds", args->rounds, "stop once every reader ran this many rounds")
        ->check(CLI::Range(1ULL, 1000000000ULL));
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
    command->add_option("--q", args->q, "Q of the inventory")->check(CLI::Range(0, 15))->capture_default_str();
    command->add_option("--session", args->session, "session of the inventory")
        ->check(CLI::Range(0, 3))
        ->capture_default_str();
    addMaskOptions(*command, args->mask);
    command->add_flag("--buffer", args->buffer, "inventory into the reader's buffer, then read it out");
    command->add_flag("--fast", args->fast, "the fast EPC inventory");
    command->add_option("--pause", args->pauseMs, "milliseconds between rounds")
        ->check(CLI::Range(0, 3600000))
        ->capture_default_str();
    command->add_option("--dedup", args->dedupMs,
                        "publish an EPC at most once in this many milliseconds (0: every read)")
        ->check(CLI::Range(0, 3600000))
        ->capture_default_str();
    command->add_flag("--presence", args->presence, "publish arrived and departed events too");
    command->add_option("--depart", args->departMs, "milliseconds unseen before a tag departs")
        ->check(CLI::Range(1, 3600000))
        ->capture_default_str();
    command->add_option("--retry", args->retryMs, "milliseconds between looks for a lost reader")
        ->check(CLI::Range(10, 3600000))
        ->capture_default_str();
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
        cli.action = [args](Session &session) { return runGateway(*args, session.options().json); };
    });
}

}  // namespace tessaro::cli
