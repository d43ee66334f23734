// `tessaro gateway`: reads every reader (or the ones named) continuously and
// publishes each event to an MQTT broker, one connection per reader.
#pragma once

#include <string>
#include <vector>

#include "TessaroReading.h"
#include "outbox.h"
#include "publisher.h"

namespace tessaro::gateway {

struct GatewayConfig {
    BrokerConfig broker;
    std::string topic = "tessaro/{reader}/tags";
    std::string statusTopic = "tessaro/{reader}/status";
    std::vector<std::string> readers;  // serial numbers; empty: every reader found
    OutboxLimits outbox;               // spoolFolder gets one folder per reader
    TessaroReadingOptions reading{};
    double seconds = 0;                // > 0: stop after this long
    unsigned long long rounds = 0;     // > 0: stop once every reader ran this many rounds
    unsigned drainMs = 10000;          // at the end, time left to send what waits
    bool quiet = false;
};

// Exit codes of the gateway: those of the tool, and two of its own.
enum GatewayExit {
    kGatewayOk = 0,
    kGatewayReaderError = 1,    // a named reader is not there
    kGatewayUsage = 2,          // a bad option (the spool folder too)
    kGatewayNoReader = 3,
    kGatewayBrokerRefused = 5,  // credentials or client id refused, TLS files unusable
    kGatewayDropped = 6         // events were dropped: neither queue nor spool kept them
};

// Reads every reader OpenUSBPort opened (port 1 and the ones after it) until
// the time or rounds are up, or SIGINT / SIGTERM. Messages go to stderr; a
// summary line per reader to stdout (JSON with `json`).
int runGateway(GatewayConfig config, bool json);

}  // namespace tessaro::gateway
