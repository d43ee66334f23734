// One reader's connection to the MQTT broker (libmosquitto): takes the
// reader's events from its outbox in order, keeps at most a window of them
// unacknowledged, gives those back when the connection drops, and reconnects
// with a growing pause. The reader's retained status ("online", "lost") goes
// to its status topic, and the broker publishes "offline" there as the last
// will when the gateway vanishes.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "outbox.h"

struct mosquitto;

namespace tessaro::gateway {

struct BrokerConfig {
    std::string host = "127.0.0.1";
    int port = 1883;
    bool tls = false;
    std::string caFile, certFile, keyFile;
    std::string username, password;
    std::string clientId;  // each reader's client adds "-" and its serial number
    int keepAliveSeconds = 30;
    int qos = 1;
    unsigned window = 100;        // messages unacknowledged at most
    unsigned backoffMinMs = 250;  // first pause after a failed connection
    unsigned backoffMaxMs = 30000;
};

// mqtt://HOST[:PORT] (1883) or mqtts://HOST[:PORT] (8883; also tcp:// and
// ssl://); HOST may be [IPv6]. False with `error` set for anything else.
bool parseBrokerUrl(const std::string &url, BrokerConfig &config, std::string &error);

// Replaces "{reader}" in a topic template.
std::string expandTopic(const std::string &pattern, const std::string &reader);

class Publisher {
public:
    Publisher(const BrokerConfig &config, std::string reader, std::string topic,
              std::string statusTopic, Outbox &outbox);
    ~Publisher();
    Publisher(const Publisher &) = delete;
    Publisher &operator=(const Publisher &) = delete;

    void start();
    // Sends what is left for at most `drainMs`, then "offline", then
    // disconnects. What was not sent is given back to the outbox.
    void stop(unsigned drainMs);

    // The reader's retained status: "online" or "lost".
    void setReaderState(const char *state);

    // Non-empty once the broker refused the connection for good (credentials,
    // client id): the gateway ends with this message.
    std::string fatalError();
    std::uint64_t delivered() const { return delivered_; }
    std::uint64_t reconnects() const { return reconnects_; }

private:
    void run();
    bool connect();
    void dropConnection();
    void problem(int rc);
    void publishWaiting();
    void publishStatus(const char *state);
    void pauseMs(unsigned ms);

    static void onConnect(struct mosquitto *, void *self, int rc);
    static void onPublish(struct mosquitto *, void *self, int mid);

    const BrokerConfig config_;
    const std::string reader_, topic_, statusTopic_;
    Outbox &outbox_;
    std::thread thread_;
    struct mosquitto *client_ = nullptr;
    bool connected_ = false;
    unsigned backoffMs_;
    std::string lastProblem_;
    long long connectStartedMs_ = 0;
    struct Sent {
        int mid;
        std::string message;
    };
    std::deque<Sent> unacknowledged_;
    int earlyMid_ = -1;  // a message reported before mosquitto_publish returned
    int statusMid_ = -1;

    std::atomic<bool> stopping_{false};
    std::atomic<long long> drainUntilMs_{0};
    std::atomic<const char *> state_{"online"};
    std::atomic<bool> stateDirty_{true};
    std::atomic<std::uint64_t> delivered_{0};
    std::atomic<std::uint64_t> reconnects_{0};
    std::mutex fatalMutex_;
    std::string fatal_;
};

}  // namespace tessaro::gateway
