// The commissioning station: one label at a time, it waits until exactly one
// tag is in the field, writes the next identity's EPC (and the access
// password and lock, if asked), reads it back, records the label in the
// journal, and waits for the label to leave. Written against the exported
// interface only, with the clock and the stop request handed in, so the tests
// drive it on the simulated reader.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "TessaroEpc.h"
#include "commission_journal.h"

namespace tessaro::cli {

// The identities of a plan, by index.
class IdentityList {
public:
    // Reads the plan's first identity or CSV file; false (and `error`) when
    // an identity is not valid or the serials cannot count up from the first.
    bool load(const CommissionPlan &plan, std::string &error);
    int count() const { return count_; }
    // The identity of `index` (0 to count - 1) and its serial.
    bool at(int index, TessaroEpcIdentity &identity, std::string &serial, std::string &error) const;

private:
    int count_ = 0;
    std::vector<TessaroEpcIdentity> list_;  // from a CSV file
    TessaroEpcIdentity first_{};            // or: the first, counting up
    std::string firstSerial_;
};

// How the station reaches the reader and the world.
struct StationLink {
    int port = 0;
    unsigned char address = 0xFF;
    std::function<unsigned()> nowMs;
    std::function<void(unsigned)> sleepMs;
    std::function<bool()> stopRequested;  // Ctrl-C
};

struct StationOptions {
    bool setPassword = false;
    unsigned char accessPassword[4] = {};
    bool lock = false;           // lock the EPC bank and the access password
    unsigned idleTimeoutMs = 0;  // stop after so long without progress; 0: never
};

// The live line: the serial at hand, labels done and to go, the pace, the failures.
struct StationStatus {
    std::string serial;
    int done = 0, toGo = 0, failed = 0, refused = 0;
    double perMinute = 0;
    std::string activity;  // "waiting for a label", "2 tags in the field: take all but one away", ...
};

class StationObserver {
public:
    virtual ~StationObserver() = default;
    virtual void status(const StationStatus &) {}
    virtual void label(const JournalLabel &) {}
    virtual void note(const std::string &) {}
};

struct StationResult {
    int ok = 0, failed = 0, interrupted = 0, refused = 0;
    bool complete = false;  // every identity of the plan used
    std::string stopped;    // why the run stopped early, or the journal's error
};

class Station {
public:
    Station(const StationLink &link, const StationOptions &options, Journal &journal,
            const IdentityList &identities, StationObserver &observer)
        : link_(link), options_(options), journal_(journal), identities_(identities),
          observer_(observer) {}

    // Closes the labels an earlier run was stopped on (as "interrupted",
    // their serials retired), then commissions the rest of the plan.
    StationResult run();

private:
    struct SeenTag {
        std::string epc, tid;
        std::vector<unsigned char> tidBytes;
    };
    // One inventory round with TIDs; false when the reader failed.
    bool inventory(std::vector<SeenTag> &tags, std::string &error);
    // Waits for exactly one tag that has not been commissioned; false on stop or idle.
    bool waitForLabel(SeenTag &tag);
    // Waits until the tag with this TID has left the field; false on stop or idle.
    bool waitForDeparture(const std::string &tid);
    // Writes, locks and checks one label; "" or why it failed.
    std::string commission(const SeenTag &tag, const unsigned char *epc, int epcBytes);
    void show(const std::string &activity);
    bool idle(unsigned sinceMs) const;

    StationLink link_;
    StationOptions options_;
    Journal &journal_;
    const IdentityList &identities_;
    StationObserver &observer_;
    StationStatus status_;
    StationResult result_;
    unsigned startMs_ = 0;
};

}  // namespace tessaro::cli
