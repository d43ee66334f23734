#include "publisher.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "events/tag_event.h"

namespace tessaro::mqtt {

namespace {

long long steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// How long one turn of the network loop waits for the socket: also the
// longest an event committed to the journal waits before it is sent.
constexpr int kLoopWaitMs = 5;
// A connection the broker has not accepted by then is given up and retried.
constexpr long long kConnectWaitMs = 10000;
constexpr long long kStatsEveryMs = 10000;
constexpr std::size_t kFetchAtOnce = 100;
// A connection the broker closes this soon after accepting it, this many
// times in a row, is taken by another client with the same id: brokers close
// the older connection when a new one comes with its id (MQTT 5 brokers may
// say so; mosquitto 2.0.11 does not).
constexpr long long kQuickDropMs = 2000;
constexpr std::size_t kQuickDrops = 3;

// Refusals of a connection that no retry mends.
bool refusedForGood(int rc, bool mqtt5) {
    if (!mqtt5) return rc == 1 || rc == 2 || rc == 4 || rc == 5;
    switch (rc) {
    case MQTT_RC_MALFORMED_PACKET:
    case MQTT_RC_PROTOCOL_ERROR:
    case MQTT_RC_CLIENTID_NOT_VALID:
    case MQTT_RC_BAD_USERNAME_OR_PASSWORD:
    case MQTT_RC_NOT_AUTHORIZED:
    case MQTT_RC_BANNED:
    case MQTT_RC_BAD_AUTHENTICATION_METHOD:
        return true;
    default:
        return false;
    }
}

}  // namespace

Publisher::Publisher(const BrokerConfig &config, std::string reader, Topics topics,
                     journal::Journal &journal, Discovery discovery,
                     std::function<std::string()> statsJson)
    : config_(config),
      reader_(std::move(reader)),
      topics_(std::move(topics)),
      journal_(journal),
      discovery_(std::move(discovery)),
      statsJson_(std::move(statsJson)),
      backoffMs_(config.backoffMinMs) {}

Publisher::~Publisher() {
    if (thread_.joinable()) stop(0);
}

void Publisher::start() {
    ackedSeq_ = queuedSeq_ = journal_.acknowledged(kSinkName, reader_);
    statsDueMs_ = steadyMs() + kStatsEveryMs;  // a rate needs some time to measure
    thread_ = std::thread([this] { run(); });
}

void Publisher::stop(unsigned drainMs) {
    drainUntilMs_ = steadyMs() + drainMs;
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
}

void Publisher::setReaderState(const char *state) {
    state_ = state;
    stateDirty_ = true;
}

void Publisher::setRetained(const std::string &topic, const std::string &payload) {
    const std::lock_guard<std::mutex> guard(mutex_);
    retained_[topic] = payload;
}

std::string Publisher::fatalError() {
    const std::lock_guard<std::mutex> guard(mutex_);
    return fatal_;
}

void Publisher::fail(const std::string &why) {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (fatal_.empty()) fatal_ = why;
}

void Publisher::onConnect(struct mosquitto *, void *self, int rc, int, const mqtt5__property *) {
    auto &p = *static_cast<Publisher *>(self);
    if (rc == 0) {
        p.connected_ = true;
        p.everConnected_ = true;
        p.connectedAtMs_ = steadyMs();
        p.stateDirty_ = true;
        p.discoveryDue_ = p.discovery_.enabled;
        if (p.discovery_.enabled)
            mosquitto_subscribe(p.client_, nullptr, (p.discovery_.prefix + "/status").c_str(), 1);
        {
            // Every retained message once more: the broker may have lost them.
            const std::lock_guard<std::mutex> guard(p.mutex_);
            p.retainedSent_.clear();
        }
        if (!p.lastProblem_.empty())
            std::fprintf(stderr, "gateway: reader %s: connected to the broker again\n",
                         p.reader_.c_str());
        p.lastProblem_.clear();
        return;
    }
    // An MQTT 3.1.1 broker answers a version 5 CONNECT with "unacceptable
    // protocol version": the next attempt speaks 3.1.1.
    if (p.mqtt5_ && (rc == 1 || rc == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION)) {
        p.mqtt5_ = false;
        return;
    }
    if (refusedForGood(rc, p.mqtt5_))
        p.fail(std::string("the broker refused the connection: ") +
               (p.mqtt5_ ? mosquitto_reason_string(rc) : mosquitto_connack_string(rc)));
}

void Publisher::onDisconnect(struct mosquitto *, void *self, int rc, const mqtt5__property *) {
    auto &p = *static_cast<Publisher *>(self);
    if (rc == MQTT_RC_SESSION_TAKEN_OVER && p.mqtt5_) p.fail(p.takenOver());
}

std::string Publisher::takenOver() const {
    return "the broker closed the connection: another client connected with the same client id '" +
           config_.clientId + "-" + reader_ + "'; give each gateway a --client-id of its own";
}

void Publisher::onPublish(struct mosquitto *, void *self, int mid, int reason, const mqtt5__property *) {
    auto &p = *static_cast<Publisher *>(self);
    if (mid == p.statusMid_) {
        p.statusMid_ = -1;
        return;
    }
    if (p.otherMids_.erase(mid) || p.config_.qos == 0) return;
    if (reason >= 0x80 && reason != MQTT_RC_NO_MATCHING_SUBSCRIBERS) {
        p.fail("the broker refuses the events on '" + p.topics_.tags + "': " +
               mosquitto_reason_string(reason));
        return;
    }
    p.acknowledged(mid);
}

void Publisher::onMessage(struct mosquitto *, void *self, const struct mosquitto_message *message) {
    auto &p = *static_cast<Publisher *>(self);
    const std::string payload(static_cast<const char *>(message->payload),
                              static_cast<std::size_t>(std::max(message->payloadlen, 0)));
    // Home Assistant restarted: it needs the configs again.
    if (p.discovery_.enabled && payload == "online") p.discoveryDue_ = true;
}

// The broker has an event: the journal may forget it once all before it are
// acknowledged too.
void Publisher::acknowledged(int mid) {
    const auto found = std::find_if(inFlight_.begin(), inFlight_.end(),
                                    [mid](const InFlight &f) { return f.mid == mid; });
    if (found == inFlight_.end()) return;
    found->acked = true;
    const std::uint64_t before = ackedSeq_;
    while (!inFlight_.empty() && inFlight_.front().acked) {
        ackedSeq_ = inFlight_.front().seq;
        inFlight_.pop_front();
        ++delivered_;
    }
    if (ackedSeq_ != before) journal_.acknowledge(kSinkName, reader_, ackedSeq_);
}

bool Publisher::connect() {
    const std::string id = config_.clientId + "-" + reader_;
    client_ = mosquitto_new(id.c_str(), true, this);
    if (!client_) return false;
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, mqtt5_ ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    mosquitto_connect_v5_callback_set(client_, onConnect);
    mosquitto_disconnect_v5_callback_set(client_, onDisconnect);
    mosquitto_publish_v5_callback_set(client_, onPublish);
    mosquitto_message_callback_set(client_, onMessage);
    const std::string offline = events::readerStatusJson(reader_, "offline", events::wallClockNowMs());
    mosquitto_will_set(client_, topics_.status.c_str(), static_cast<int>(offline.size()),
                       offline.data(), 1, true);
    if (!config_.username.empty())
        mosquitto_username_pw_set(client_, config_.username.c_str(),
                                  config_.password.empty() ? nullptr : config_.password.c_str());
    if (config_.tls) {
        const int rc = mosquitto_tls_set(
            client_, config_.caFile.empty() ? nullptr : config_.caFile.c_str(),
            config_.caFile.empty() ? "/etc/ssl/certs" : nullptr,
            config_.certFile.empty() ? nullptr : config_.certFile.c_str(),
            config_.keyFile.empty() ? nullptr : config_.keyFile.c_str(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            fail(std::string("cannot use the TLS files: ") + mosquitto_strerror(rc));
            return false;
        }
    }
    // Without blocking: the loop sees the connection complete or fail, and a
    // stop is never held up by a broker that does not answer.
    const int rc = mosquitto_connect_async(client_, config_.host.c_str(), config_.port,
                                           config_.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        problem(rc);
        return false;
    }
    connectStartedMs_ = steadyMs();
    return true;
}

// Says once why the broker cannot be reached, until the reason changes.
void Publisher::problem(int rc) {
    if (rc == MOSQ_ERR_TLS && !everConnected_) {
        // Not the network: the certificates do not fit this broker.
        fail("the TLS handshake with the broker at " + config_.host + ":" + std::to_string(config_.port) +
             " failed: check that --cafile signed the broker's certificate and that the broker "
             "takes --cert");
        return;
    }
    const std::string text = rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
    if (text != lastProblem_)
        std::fprintf(stderr, "gateway: reader %s: cannot reach the broker at %s:%d: %s; "
                             "events wait in the journal\n",
                     reader_.c_str(), config_.host.c_str(), config_.port, text.c_str());
    lastProblem_ = text;
}

// Ends the connection; what the broker has not acknowledged is sent again
// from the journal on the next one.
void Publisher::dropConnection() {
    if (client_) {
        mosquitto_destroy(client_);
        client_ = nullptr;
    }
    if (connected_ && !stopping_) {
        const long long now = steadyMs();
        if (now - connectedAtMs_ < kQuickDropMs) {
            quickDrops_.push_back(now);
            if (quickDrops_.size() >= kQuickDrops) fail(takenOver());
        } else {
            quickDrops_.clear();
        }
    }
    if (connected_) {
        ++reconnects_;
        if (lastProblem_.empty())
            std::fprintf(stderr, "gateway: reader %s: lost the broker; reconnecting\n",
                         reader_.c_str());
        lastProblem_ = "lost";
    }
    connected_ = false;
    statusMid_ = -1;
    inFlight_.clear();
    otherMids_.clear();
    queuedSeq_ = ackedSeq_;
}

void Publisher::publishRetained(const std::string &topic, const std::string &payload) {
    int mid = 0;
    if (mosquitto_publish(client_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), 1, true) == MOSQ_ERR_SUCCESS)
        otherMids_.insert(mid);
}

void Publisher::publishWaiting() {
    if (stateDirty_.exchange(false)) {
        const std::string payload = events::readerStatusJson(reader_, state_, events::wallClockNowMs());
        mosquitto_publish(client_, &statusMid_, topics_.status.c_str(), static_cast<int>(payload.size()),
                          payload.data(), 1, true);
    }
    if (discoveryDue_) {
        discoveryDue_ = false;
        for (const auto &[topic, payload] : discovery_.configs) publishRetained(topic, payload);
    }
    if (statsJson_ && !topics_.stats.empty() && steadyMs() >= statsDueMs_) {
        statsDueMs_ = steadyMs() + kStatsEveryMs;
        publishRetained(topics_.stats, statsJson_());
    }
    {
        std::vector<std::pair<std::string, std::string>> changed;
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            for (const auto &[topic, payload] : retained_) {
                auto &sent = retainedSent_[topic];
                if (sent != payload) changed.emplace_back(topic, sent = payload);
            }
        }
        for (const auto &[topic, payload] : changed) publishRetained(topic, payload);
    }
    while (inFlight_.size() < config_.window) {
        const std::size_t room = std::min<std::size_t>(config_.window - inFlight_.size(), kFetchAtOnce);
        const std::vector<journal::Record> records = journal_.fetch(reader_, queuedSeq_, room);
        if (records.empty()) return;
        for (const journal::Record &record : records) {
            int mid = 0;
            const int rc = mosquitto_publish(client_, &mid, topics_.tags.c_str(),
                                             static_cast<int>(record.body.size()), record.body.data(),
                                             config_.qos, false);
            if (rc != MOSQ_ERR_SUCCESS) return;  // the loop finds out why
            queuedSeq_ = record.seq;
            inFlight_.push_back({mid, record.seq, false});
            // QoS 0 is delivered once the client library has it. (With QoS 1
            // and 2 the acknowledgment comes in a later turn of the loop, on
            // this thread.)
            if (config_.qos == 0) acknowledged(mid);
        }
    }
}

void Publisher::pauseMs(unsigned ms) {
    const long long until = steadyMs() + ms;
    while (steadyMs() < until) {
        if (stopping_ && steadyMs() >= drainUntilMs_) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool Publisher::drained() {
    return connected_ && inFlight_.empty() && journal_.backlog(kSinkName, reader_) == 0;
}

void Publisher::run() {
    for (;;) {
        if (!fatalError().empty()) break;
        if (stopping_ && (steadyMs() >= drainUntilMs_ || drained())) break;
        bool failed;
        if (!client_) {
            failed = !connect();  // says why itself
        } else {
            int rc = mosquitto_loop(client_, kLoopWaitMs, 1);
            if (rc == MOSQ_ERR_SUCCESS && !connected_ &&
                steadyMs() - connectStartedMs_ > kConnectWaitMs)
                rc = MOSQ_ERR_TIMEOUT;
            if (rc != MOSQ_ERR_SUCCESS && !connected_ && fatalError().empty()) problem(rc);
            failed = rc != MOSQ_ERR_SUCCESS;
        }
        if (!failed && fatalError().empty()) {
            if (connected_) publishWaiting();
            // The pause between attempts starts small again once a
            // connection has lasted.
            if (connected_ && steadyMs() - connectedAtMs_ > kQuickDropMs) backoffMs_ = config_.backoffMinMs;
            continue;
        }
        dropConnection();
        if (!fatalError().empty()) break;
        pauseMs(backoffMs_);
        backoffMs_ = std::min(backoffMs_ * 2, config_.backoffMaxMs);
    }
    if (client_ && connected_ && fatalError().empty()) {
        // A clean goodbye does not fire the last will: say "offline" ourselves.
        state_ = "offline";
        stateDirty_ = true;
        const std::string payload = events::readerStatusJson(reader_, "offline", events::wallClockNowMs());
        mosquitto_publish(client_, &statusMid_, topics_.status.c_str(), static_cast<int>(payload.size()),
                          payload.data(), 1, true);
        const long long until = steadyMs() + 1000;
        while (statusMid_ != -1 && steadyMs() < until &&
               mosquitto_loop(client_, kLoopWaitMs, 1) == MOSQ_ERR_SUCCESS) {
        }
        mosquitto_disconnect(client_);
        mosquitto_loop(client_, kLoopWaitMs, 1);
    }
    connected_ = false;  // leaving, not losing the broker
    dropConnection();
}

}  // namespace tessaro::mqtt
