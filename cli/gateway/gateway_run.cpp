#include "gateway_run.h"

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "Tessaro.h"
#include "event_json.h"

namespace tessaro::gateway {

namespace {

std::atomic<int> interrupted{0};
extern "C" void onSignal(int signal) { interrupted = signal; }

long long wallMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// One reader: its reading, its outbox and its broker connection.
struct Feed {
    int port = 0;
    std::string serial;
    Outbox outbox;
    std::unique_ptr<Publisher> publisher;
    TessaroReading *reading = nullptr;
    // Touched by the reading's thread only (its callbacks).
    std::uint64_t seq = 0;
    std::uint64_t droppedCount = 0, droppedFirst = 0, droppedLast = 0;

    template <typename Make> void emit(Make make) {
        const std::uint64_t number = ++seq;
        if (!outbox.push(make(EventSource{serial, number}))) {
            if (droppedCount++ == 0) droppedFirst = number;
            droppedLast = number;
            return;
        }
        if (droppedCount == 0) return;
        // Say what was lost as soon as there is room again.
        const std::uint64_t notice = ++seq;
        if (outbox.push(droppedEventJson(EventSource{serial, notice}, droppedCount, droppedFirst,
                                         droppedLast, wallMs()))) {
            droppedCount = 0;
        } else {
            ++droppedCount;
            droppedLast = notice;
        }
    }

    static void onTag(const TessaroTagRead *read, void *self) {
        static_cast<Feed *>(self)->emit([read](const EventSource &s) { return tagEventJson(s, *read); });
    }
    static void onPresence(const TessaroPresenceEvent *event, void *self) {
        static_cast<Feed *>(self)->emit(
            [event](const EventSource &s) { return presenceEventJson(s, *event); });
    }
    static void onStatus(const TessaroReadingStatus *status, void *self) {
        auto &feed = *static_cast<Feed *>(self);
        if (status->event == TESSARO_READING_LOST) feed.publisher->setReaderState("lost");
        if (status->event == TESSARO_READING_BACK) feed.publisher->setReaderState("online");
        std::fprintf(stderr, "gateway: reader %s: %s (%d: %s)\n", feed.serial.c_str(),
                     status->event == TESSARO_READING_LOST   ? "reader lost"
                     : status->event == TESSARO_READING_BACK ? "reader back"
                                                             : "round ended with",
                     status->code, status->text);
        feed.emit([status](const EventSource &s) { return statusEventJson(s, *status); });
    }
};

std::string serialOf(int port) {
    unsigned char address = 0xFF;
    unsigned char serial[4];
    if (GetSeriaNo(&address, serial, port) == 0) return hexOf(serial, 4);
    return "port" + std::to_string(port);
}

bool finished(const GatewayConfig &config, const std::vector<std::unique_ptr<Feed>> &feeds,
              std::chrono::steady_clock::time_point started) {
    if (interrupted) return true;
    if (config.seconds > 0 &&
        std::chrono::steady_clock::now() - started >= std::chrono::duration<double>(config.seconds))
        return true;
    if (config.rounds == 0) return false;
    for (const auto &feed : feeds) {
        TessaroReadingStats stats{};
        TessaroReadingGetStats(feed->reading, &stats);
        if (stats.rounds < config.rounds) return false;
    }
    return true;
}

}  // namespace

int runGateway(GatewayConfig config, bool json) {
    std::vector<std::unique_ptr<Feed>> feeds;
    for (int index = 1; index < MAX_PORTS; ++index) {
        if (!TessaroPortIsOpen(index)) continue;
        auto feed = std::make_unique<Feed>();
        feed->port = index;
        feed->serial = serialOf(index);
        // Two readers with one serial number would share topics, spool and
        // client id (the broker would drop one connection for the other).
        for (const auto &other : feeds)
            if (other->serial == feed->serial) feed->serial += "-port" + std::to_string(index);
        feeds.push_back(std::move(feed));
    }
    if (feeds.empty()) {
        std::fprintf(stderr, "gateway: no reader is open\n");
        return kGatewayNoReader;
    }
    if (!config.readers.empty()) {
        std::vector<std::unique_ptr<Feed>> chosen;
        for (const std::string &wanted : config.readers) {
            const auto named = [&wanted](const std::unique_ptr<Feed> &feed) {
                return feed->serial == wanted;
            };
            if (std::any_of(chosen.begin(), chosen.end(), named)) continue;
            const auto found = std::find_if(feeds.begin(), feeds.end(), named);
            if (found == feeds.end()) {
                std::fprintf(stderr, "gateway: reader %s not found\n", wanted.c_str());
                return kGatewayReaderError;
            }
            chosen.push_back(std::move(*found));
            feeds.erase(found);
        }
        feeds.swap(chosen);
    }
    for (auto &feed : feeds) {
        OutboxLimits limits = config.outbox;
        if (!limits.spoolFolder.empty())
            limits.spoolFolder = (std::filesystem::path(limits.spoolFolder) / feed->serial).string();
        std::string error;
        if (!feed->outbox.open(limits, error)) {
            std::fprintf(stderr, "gateway: %s\n", error.c_str());
            return kGatewayUsage;
        }
        feed->publisher = std::make_unique<Publisher>(
            config.broker, feed->serial, expandTopic(config.topic, feed->serial),
            expandTopic(config.statusTopic, feed->serial), feed->outbox);
    }

    mosquitto_lib_init();
    interrupted = 0;
    auto previousInt = std::signal(SIGINT, onSignal);
    auto previousTerm = std::signal(SIGTERM, onSignal);
    if (!config.quiet)
        std::fprintf(stderr, "gateway: %zu reader(s) to %s:%d\n", feeds.size(),
                     config.broker.host.c_str(), config.broker.port);
    for (auto &feed : feeds) feed->publisher->start();
    for (auto &feed : feeds) {
        TessaroReadingOptions options = config.reading;
        options.onTag = Feed::onTag;
        options.onStatus = Feed::onStatus;
        options.onPresence = Feed::onPresence;
        options.userData = feed.get();
        if (TessaroReadingStart(feed->port, &options, &feed->reading) != 0) {
            std::fprintf(stderr, "gateway: cannot start reading reader %s\n", feed->serial.c_str());
            interrupted = SIGTERM;
        }
    }

    const auto started = std::chrono::steady_clock::now();
    std::string fatal;
    while (fatal.empty() && !finished(config, feeds, started)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        for (const auto &feed : feeds)
            if (fatal.empty()) fatal = feed->publisher->fatalError();
    }

    // No new events, then as much of the rest as the broker takes in time;
    // what is left goes to the spool for the next run.
    for (auto &feed : feeds) TessaroReadingFree(feed->reading);
    std::vector<std::thread> stopping;
    for (auto &feed : feeds)
        stopping.emplace_back([&] { feed->publisher->stop(fatal.empty() ? config.drainMs : 0); });
    for (std::thread &thread : stopping) thread.join();
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    mosquitto_lib_cleanup();

    int exitCode = kGatewayOk;
    for (auto &feed : feeds) {
        feed->outbox.persist();
        const OutboxCounts counts = feed->outbox.counts();
        if (counts.dropped > 0) exitCode = kGatewayDropped;
        if (json) {
            std::printf("%s\n", nlohmann::json{{"reader", feed->serial},
                                               {"events", feed->seq},
                                               {"delivered", feed->publisher->delivered()},
                                               {"dropped", counts.dropped},
                                               {"spooled", counts.spooledMessages},
                                               {"leftInSpoolBytes", counts.onDisk},
                                               {"reconnects", feed->publisher->reconnects()}}
                                    .dump()
                                    .c_str());
        } else {
            std::printf("reader %s: %llu events, %llu delivered, %llu dropped, %llu spooled, "
                        "%llu reconnects\n",
                        feed->serial.c_str(), static_cast<unsigned long long>(feed->seq),
                        static_cast<unsigned long long>(feed->publisher->delivered()),
                        static_cast<unsigned long long>(counts.dropped),
                        static_cast<unsigned long long>(counts.spooledMessages),
                        static_cast<unsigned long long>(feed->publisher->reconnects()));
        }
        if (counts.onDisk > 0)
            std::fprintf(stderr, "gateway: reader %s: %llu bytes of events wait in the spool for "
                                 "the next run\n",
                         feed->serial.c_str(), static_cast<unsigned long long>(counts.onDisk));
        if (counts.dropped > 0)
            std::fprintf(stderr, "gateway: reader %s: %llu events dropped: not delivered, and neither the queue "
                                 "nor a spool could keep them\n",
                         feed->serial.c_str(), static_cast<unsigned long long>(counts.dropped));
    }
    std::fflush(stdout);
    if (!fatal.empty()) {
        std::fprintf(stderr, "gateway: %s\n", fatal.c_str());
        return kGatewayBrokerRefused;
    }
    return exitCode;
}

}  // namespace tessaro::gateway
