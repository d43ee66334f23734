// A run of the service: the engine, its outputs (sinks), and the loop that
// waits for the end (time, rounds, SIGINT/SIGTERM, or an output's fatal
// error), then stops everything in the order that loses nothing: readings
// first, the journal's last commit, the outputs' drain, the journal closed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine.h"

namespace tessaro::service {

// One output of the engine.
class Sink {
public:
    virtual ~Sink() = default;
    // Called once the engine is open and before the readings start: register
    // journal cursors and listeners, start threads. Returns kExitOk, or an
    // exit code after saying why on stderr.
    virtual int start(Engine &engine) = 0;
    // Non-empty once the output cannot go on (the run ends with fatalExit()).
    virtual std::string fatalError() { return {}; }
    virtual int fatalExit() { return kExitBroker; }
    // After the readings stopped and the journal committed everything: sends
    // what it still owes for at most drainMs, then ends.
    virtual void stop(unsigned drainMs) = 0;
    // Adds this output's figures for `reader` to the run's summary.
    virtual void summarize(const std::string &reader, nlohmann::ordered_json &summary) {
        (void)reader;
        (void)summary;
    }
};

struct RunLimits {
    double seconds = 0;              // > 0: stop after this long
    unsigned long long rounds = 0;   // > 0: stop once every reader ran this many rounds
    unsigned drainMs = 10000;        // at the end, time the outputs have to deliver
    bool startReadings = true;       // false: an output drives the readings (LLRP)
};

// Runs `engine` (opened) with `sinks` until the limits or a signal. Prints a
// summary per reader on stdout (JSON with `json`). Returns the exit code.
int runService(Engine &engine, const std::vector<Sink *> &sinks, const RunLimits &limits,
               bool json);

// True once SIGINT or SIGTERM arrived during runService.
bool interrupted();

}  // namespace tessaro::service
