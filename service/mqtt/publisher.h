// One reader's connection to the MQTT broker (libmosquitto, MQTT 5 with a
// fall back to 3.1.1): sends the reader's events from the journal in order,
// keeps at most a window of them unacknowledged, acknowledges them in the
// journal as the broker acknowledges them (QoS 1 and 2) or as they are handed
// to the client library (QoS 0), and after a lost connection sends again from
// the last acknowledged one. Also keeps the reader's retained status
// ("online", "lost"; the broker says "offline" as the last will), its
// statistics, and its Home Assistant discovery configs.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "broker.h"
#include "journal/journal.h"

struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;

namespace tessaro::mqtt {

// The journal cursor of the MQTT output.
inline constexpr const char *kSinkName = "mqtt";

struct Topics {
    std::string tags, status, stats;
};

// Retained messages the publisher keeps current beside the events: Home
// Assistant's discovery configs (sent again when Home Assistant says it is
// back online) and per-tag presence states.
struct Discovery {
    bool enabled = false;
    std::string prefix = "homeassistant";
    std::vector<std::pair<std::string, std::string>> configs;  // topic, payload
};

class Publisher {
public:
    Publisher(const BrokerConfig &config, std::string reader, Topics topics,
              journal::Journal &journal, Discovery discovery,
              std::function<std::string()> statsJson);
    ~Publisher();
    Publisher(const Publisher &) = delete;
    Publisher &operator=(const Publisher &) = delete;

    void start();
    // Sends what the journal still holds for at most `drainMs`, says
    // "offline", and disconnects.
    void stop(unsigned drainMs);

    // The reader's retained status: "online" or "lost".
    void setReaderState(const char *state);
    // A retained message to keep current (a tag's presence); any thread.
    void setRetained(const std::string &topic, const std::string &payload);

    // Non-empty once the broker refused us for good: the run ends with it.
    std::string fatalError();
    std::uint64_t delivered() const { return delivered_; }
    std::uint64_t reconnects() const { return reconnects_; }

private:
    struct InFlight {
        int mid;
        std::uint64_t seq;
        bool acked;
    };

    void run();
    bool connect();
    void dropConnection();
    void problem(int rc);
    void fail(const std::string &why);
    std::string takenOver() const;
    void publishWaiting();
    void publishRetained(const std::string &topic, const std::string &payload);
    void acknowledged(int mid);
    void pauseMs(unsigned ms);
    bool drained();

    static void onConnect(struct mosquitto *, void *self, int rc, int flags, const mqtt5__property *);
    static void onDisconnect(struct mosquitto *, void *self, int rc, const mqtt5__property *);
    static void onPublish(struct mosquitto *, void *self, int mid, int reason, const mqtt5__property *);
    static void onMessage(struct mosquitto *, void *self, const struct mosquitto_message *message);

    const BrokerConfig config_;
    const std::string reader_;
    const Topics topics_;
    journal::Journal &journal_;
    const Discovery discovery_;
    const std::function<std::string()> statsJson_;
    std::thread thread_;
    struct mosquitto *client_ = nullptr;
    bool mqtt5_ = true;
    bool connected_ = false;
    bool everConnected_ = false;
    unsigned backoffMs_;
    std::string lastProblem_;
    long long connectStartedMs_ = 0;
    long long connectedAtMs_ = 0;
    std::vector<long long> quickDrops_;  // when connections ended soon after they began
    long long statsDueMs_ = 0;
    std::deque<InFlight> inFlight_;
    std::set<int> otherMids_;  // retained messages beside the events
    std::uint64_t queuedSeq_ = 0;  // the last event handed to the broker
    std::uint64_t ackedSeq_ = 0;   // the last one acknowledged, all before it too
    int statusMid_ = -1;
    bool discoveryDue_ = false;

    std::atomic<bool> stopping_{false};
    std::atomic<long long> drainUntilMs_{0};
    std::atomic<const char *> state_{"online"};
    std::atomic<bool> stateDirty_{true};
    std::atomic<std::uint64_t> delivered_{0};
    std::atomic<std::uint64_t> reconnects_{0};
    std::mutex mutex_;  // fatal_ and retained_
    std::string fatal_;
    std::map<std::string, std::string> retained_, retainedSent_;
};

}  // namespace tessaro::mqtt
