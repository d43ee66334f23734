// tessaro gateway: every reader (or the ones named) read continuously, each
// event published as JSON to an MQTT broker. The engine is in cli/gateway/.
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "cli.h"
#include "gateway_run.h"
#include "gen2_options.h"
#include "session.h"

namespace tessaro::cli {

namespace {

struct GatewayArgs {
    std::string broker = "mqtt://127.0.0.1:1883";
    std::string username, password;
    std::string caFile, certFile, keyFile;
    unsigned long long queue = 10000;
    std::string spool;
    unsigned long long spoolMegabytes = 100;
    double drainSeconds = 10;
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
    gateway::GatewayConfig config;
};

std::string defaultClientId() {
    char host[64] = "";
    gethostname(host, sizeof host - 1);
    return std::string("tessaro-") + (host[0] ? host : "gateway");
}

// Turns the parsed options into the engine's settings; throws
// CLI::ValidationError (exit 2) for what CLI11 cannot check.
void settle(GatewayArgs &args, bool quiet) {
    gateway::GatewayConfig &c = args.config;
    std::string error;
    if (!gateway::parseBrokerUrl(args.broker, c.broker, error)) throw CLI::ValidationError(error);
    if (!args.caFile.empty() || !args.certFile.empty()) {
        if (!c.broker.tls)
            throw CLI::ValidationError("--cafile, --cert and --key need an mqtts:// broker URL");
    }
    if (args.certFile.empty() != args.keyFile.empty())
        throw CLI::ValidationError("--cert and --key go together");
    if (args.password.empty())
        if (const char *fromEnvironment = std::getenv("TESSARO_MQTT_PASSWORD"))
            args.password = fromEnvironment;
    if (!args.password.empty() && args.username.empty())
        throw CLI::ValidationError("--password needs --username");
    if (args.buffer && args.fast) throw CLI::ValidationError("--buffer and --fast exclude each other");
    args.mask.check();

    c.broker.username = args.username;
    c.broker.password = args.password;
    c.broker.caFile = args.caFile;
    c.broker.certFile = args.certFile;
    c.broker.keyFile = args.keyFile;
    if (c.broker.clientId.empty()) c.broker.clientId = defaultClientId();
    c.outbox.memoryMessages = static_cast<std::size_t>(args.queue);
    c.outbox.spoolFolder = args.spool;
    c.outbox.spoolBytes = args.spoolMegabytes << 20;
    c.drainMs = static_cast<unsigned>(args.drainSeconds * 1000);
    c.quiet = quiet;

    TessaroReadingOptions &r = c.reading;
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

}  // namespace

void add_gateway_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<GatewayArgs>();
    gateway::GatewayConfig &c = args->config;
    CLI::App *command = app.add_subcommand(
        "gateway", "Read every reader continuously and publish each event to an MQTT broker "
                   "(docs/gateway.md).");
    command->add_option("--broker", args->broker, "mqtt://HOST[:PORT] or mqtts://HOST[:PORT]")
        ->capture_default_str();
    command->add_option("--topic", c.topic, "topic of the events; {reader} is the serial number")
        ->capture_default_str();
    command->add_option("--status-topic", c.statusTopic,
                        "retained online/lost/offline status of each reader (the last will)")
        ->capture_default_str();
    command->add_option("--qos", c.broker.qos, "MQTT quality of service 0, 1 or 2")
        ->check(CLI::Range(0, 2))
        ->capture_default_str();
    command->add_option("--client-id", c.broker.clientId,
                        "MQTT client id; each reader's connection adds -SERIAL (default "
                        "tessaro-HOSTNAME)");
    command->add_option("--keepalive", c.broker.keepAliveSeconds, "keep-alive in seconds")
        ->check(CLI::Range(5, 65535))
        ->capture_default_str();
    command->add_option("--username", args->username, "user name for the broker");
    command->add_option("--password", args->password,
                        "password for the broker (or the environment's TESSARO_MQTT_PASSWORD)");
    command->add_option("--cafile", args->caFile, "CA certificate(s) that sign the broker's (PEM)")
        ->check(CLI::ExistingFile);
    command->add_option("--cert", args->certFile, "client certificate (PEM)")->check(CLI::ExistingFile);
    command->add_option("--key", args->keyFile, "client certificate's key (PEM)")->check(CLI::ExistingFile);
    command->add_option("--reader", c.readers, "read only this reader (serial number, 8 hex "
                                               "digits); may be repeated");
    command->add_option("--queue", args->queue, "events held in memory per reader while the "
                                                "broker is away")
        ->check(CLI::Range(1ULL, 100000000ULL))
        ->capture_default_str();
    command->add_option("--spool", args->spool, "folder for events beyond --queue (one folder per "
                                                "reader); without it they are dropped and counted");
    command->add_option("--spool-mb", args->spoolMegabytes, "most megabytes in the spool per reader")
        ->check(CLI::Range(1ULL, 1000000ULL))
        ->capture_default_str();
    command->add_option("--seconds", c.seconds, "stop after this many seconds (default: at Ctrl-C)")
        ->check(CLI::PositiveNumber);
    command->add_option("--rounds", c.rounds, "stop once every reader ran this many rounds")
        ->check(CLI::Range(1ULL, 1000000000ULL));
    command->add_option("--drain", args->drainSeconds,
                        "at the end, seconds left to send what waits (the rest stays in the spool)")
        ->check(CLI::Range(0.0, 3600.0))
        ->capture_default_str();
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
    command->callback([&cli, args] {
        settle(*args, cli.options.quiet);
        cli.action = [args](Session &session) {
            return gateway::runGateway(args->config, session.options().json);
        };
    });
}

}  // namespace tessaro::cli
