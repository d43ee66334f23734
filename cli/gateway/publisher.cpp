#include "publisher.h"

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "event_json.h"

namespace tessaro::gateway {

namespace {

long long steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

long long wallMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

constexpr int kLoopWaitMs = 20;
// A connection the broker has not accepted by then is given up and retried.
constexpr long long kConnectWaitMs = 10000;

}  // namespace

bool parseBrokerUrl(const std::string &url, BrokerConfig &config, std::string &error) {
    error = "bad broker URL '" + url + "': expected mqtt://HOST[:PORT] or mqtts://HOST[:PORT]";
    const std::size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos) return false;
    const std::string scheme = url.substr(0, schemeEnd);
    bool tls;
    if (scheme == "mqtt" || scheme == "tcp")
        tls = false;
    else if (scheme == "mqtts" || scheme == "ssl")
        tls = true;
    else
        return false;
    std::string rest = url.substr(schemeEnd + 3);
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    if (rest.empty() || rest.find_first_of("/@?# ") != std::string::npos) return false;

    std::string host, port;
    if (rest[0] == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close == 1) return false;
        host = rest.substr(1, close - 1);
        const std::string after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':') return false;
            port = after.substr(1);
            if (port.empty()) return false;
        }
    } else {
        const std::size_t colon = rest.find(':');
        host = rest.substr(0, colon);
        if (colon != std::string::npos) {
            port = rest.substr(colon + 1);
            if (port.empty()) return false;
        }
    }
    if (host.empty()) return false;
    int number = tls ? 8883 : 1883;
    if (!port.empty()) {
        if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
            return false;
        number = std::stoi(port);
        if (number < 1 || number > 65535) return false;
    }
    config.host = host;
    config.port = number;
    config.tls = tls;
    error.clear();
    return true;
}

std::string expandTopic(const std::string &pattern, const std::string &reader) {
    std::string topic = pattern;
    const std::string key = "{reader}";
    for (std::size_t at = topic.find(key); at != std::string::npos;
         at = topic.find(key, at + reader.size()))
        topic.replace(at, key.size(), reader);
    return topic;
}

Publisher::Publisher(const BrokerConfig &config, std::string reader, std::string topic,
                     std::string statusTopic, Outbox &outbox)
    : config_(config),
      reader_(std::move(reader)),
      topic_(std::move(topic)),
      statusTopic_(std::move(statusTopic)),
      outbox_(outbox),
      backoffMs_(config.backoffMinMs) {}

Publisher::~Publisher() {
    if (thread_.joinable()) stop(0);
}

void Publisher::start() { thread_ = std::thread([this] { run(); }); }

void Publisher::stop(unsigned drainMs) {
    drainUntilMs_ = steadyMs() + drainMs;
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
}

void Publisher::setReaderState(const char *state) {
    state_ = state;
    stateDirty_ = true;
}

std::string Publisher::fatalError() {
    const std::lock_guard<std::mutex> guard(fatalMutex_);
    return fatal_;
}

void Publisher::onConnect(struct mosquitto *, void *self, int rc) {
    auto &p = *static_cast<Publisher *>(self);
    if (rc == 0) {
        p.connected_ = true;
        p.backoffMs_ = p.config_.backoffMinMs;
        p.stateDirty_ = true;
        if (!p.lastProblem_.empty())
            std::fprintf(stderr, "gateway: reader %s: connected to the broker again\n",
                         p.reader_.c_str());
        p.lastProblem_.clear();
        return;
    }
    // Refusals that no retry mends: wrong protocol, client id, credentials.
    if (rc == 1 || rc == 2 || rc == 4 || rc == 5) {
        const std::lock_guard<std::mutex> guard(p.fatalMutex_);
        p.fatal_ = std::string("the broker refused the connection: ") + mosquitto_connack_string(rc);
    }
}

void Publisher::onPublish(struct mosquitto *, void *self, int mid) {
    auto &p = *static_cast<Publisher *>(self);
    if (mid == p.statusMid_) {
        p.statusMid_ = -1;
        return;
    }
    const auto found = std::find_if(p.unacknowledged_.begin(), p.unacknowledged_.end(),
                                    [mid](const Sent &sent) { return sent.mid == mid; });
    if (found == p.unacknowledged_.end()) {
        p.earlyMid_ = mid;
        return;
    }
    p.unacknowledged_.erase(found);
    ++p.delivered_;
}

bool Publisher::connect() {
    const std::string id = config_.clientId + "-" + reader_;
    client_ = mosquitto_new(id.c_str(), true, this);
    if (!client_) return false;
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(client_, onConnect);
    mosquitto_publish_callback_set(client_, onPublish);
    const std::string offline = readerStatusJson(reader_, "offline", wallMs());
    mosquitto_will_set(client_, statusTopic_.c_str(), static_cast<int>(offline.size()),
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
            const std::lock_guard<std::mutex> guard(fatalMutex_);
            fatal_ = std::string("cannot use the TLS files: ") + mosquitto_strerror(rc);
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
    const std::string text = rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
    if (text != lastProblem_)
        std::fprintf(stderr, "gateway: reader %s: cannot reach the broker at %s:%d: %s; "
                             "events wait in the queue\n",
                     reader_.c_str(), config_.host.c_str(), config_.port, text.c_str());
    lastProblem_ = text;
}

// Ends the connection; what the broker has not acknowledged goes back to the
// front of the outbox, in order.
void Publisher::dropConnection() {
    if (client_) {
        mosquitto_destroy(client_);
        client_ = nullptr;
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
    std::vector<std::string> back;
    for (Sent &sent : unacknowledged_) back.push_back(std::move(sent.message));
    unacknowledged_.clear();
    outbox_.giveBack(back);
}

void Publisher::publishStatus(const char *state) {
    const std::string payload = readerStatusJson(reader_, state, wallMs());
    mosquitto_publish(client_, &statusMid_, statusTopic_.c_str(), static_cast<int>(payload.size()),
                      payload.data(), 1, true);
}

void Publisher::publishWaiting() {
    if (stateDirty_.exchange(false)) publishStatus(state_);
    std::string message;
    while (unacknowledged_.size() < config_.window && outbox_.take(message)) {
        int mid = 0;
        earlyMid_ = -1;
        const int rc = mosquitto_publish(client_, &mid, topic_.c_str(),
                                         static_cast<int>(message.size()), message.data(),
                                         config_.qos, false);
        if (rc != MOSQ_ERR_SUCCESS) {
            outbox_.giveBack({message});
            return;
        }
        // libmosquitto may report a message written (QoS 0) or even
        // acknowledged before mosquitto_publish returns.
        if (earlyMid_ == mid) {
            ++delivered_;
            continue;
        }
        unacknowledged_.push_back({mid, std::move(message)});
    }
}

void Publisher::pauseMs(unsigned ms) {
    const long long until = steadyMs() + ms;
    while (steadyMs() < until) {
        if (stopping_ && steadyMs() >= drainUntilMs_) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void Publisher::run() {
    for (;;) {
        if (!fatalError().empty()) break;
        if (stopping_ && (steadyMs() >= drainUntilMs_ ||
                          (connected_ && unacknowledged_.empty() && outbox_.empty())))
            break;
        bool failed;
        if (!client_) {
            failed = !connect();  // says why itself
        } else {
            int rc = mosquitto_loop(client_, kLoopWaitMs, 1);
            if (rc == MOSQ_ERR_SUCCESS && !connected_ &&
                steadyMs() - connectStartedMs_ > kConnectWaitMs)
                rc = MOSQ_ERR_TIMEOUT;
            if (rc != MOSQ_ERR_SUCCESS && !connected_) problem(rc);
            failed = rc != MOSQ_ERR_SUCCESS;
        }
        if (!failed && fatalError().empty()) {
            if (connected_) publishWaiting();
            continue;
        }
        dropConnection();
        if (!fatalError().empty()) break;
        pauseMs(backoffMs_);
        backoffMs_ = std::min(backoffMs_ * 2, config_.backoffMaxMs);
    }
    if (client_ && connected_ && fatalError().empty()) {
        // A clean goodbye does not fire the last will: say "offline" ourselves.
        publishStatus("offline");
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

}  // namespace tessaro::gateway
