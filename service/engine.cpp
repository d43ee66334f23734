#include "engine.h"

#include <algorithm>
#include <cstdio>

#include "Tessaro.h"

namespace tessaro::service {

struct Engine::Feed {
    Engine *engine = nullptr;
    ReaderInfo info;
    std::mutex readingMutex;  // start and stop of `reading`
    TessaroReading *reading = nullptr;
    std::atomic<bool> lost{false};
    std::atomic<std::uint64_t> events{0};
};

namespace {

std::string serialOf(int port) {
    unsigned char address = 0xFF;
    unsigned char serial[4];
    if (GetSeriaNo(&address, serial, port) == 0) return events::hexOf(serial, 4);
    return "port" + std::to_string(port);
}

}  // namespace

Engine::Engine() = default;
Engine::~Engine() { close(); }

int Engine::open(const EngineOptions &options) {
    options_ = options;
    const char *name = options_.name.c_str();
    std::vector<ReaderInfo> found;
    for (int index = 1; index < MAX_PORTS; ++index) {
        if (!TessaroPortIsOpen(index)) continue;
        ReaderInfo info{index, serialOf(index)};
        // Two readers with one serial number would share topics, sequence
        // numbers and client ids.
        for (const ReaderInfo &other : found)
            if (other.serial == info.serial) info.serial += "-port" + std::to_string(index);
        found.push_back(info);
    }
    if (found.empty()) {
        std::fprintf(stderr, "%s: no reader is open\n", name);
        return kExitNoReader;
    }
    readers_.clear();
    if (options_.readers.empty()) {
        readers_ = found;
    } else {
        for (const std::string &wanted : options_.readers) {
            const auto named = [&wanted](const ReaderInfo &r) { return r.serial == wanted; };
            if (std::any_of(readers_.begin(), readers_.end(), named)) continue;
            const auto at = std::find_if(found.begin(), found.end(), named);
            if (at == found.end()) {
                std::fprintf(stderr, "%s: reader %s not found\n", name, wanted.c_str());
                return kExitReaderError;
            }
            readers_.push_back(*at);
        }
    }
    std::string error;
    if (!journal_.open(options_.journal, error)) {
        std::fprintf(stderr, "%s: %s\n", name, error.c_str());
        return kExitUsage;
    }
    journalOpen_ = true;
    const std::string prefix = options_.name;
    journal_.setNoticeHandler([prefix](const journal::Notice &notice) {
        std::fprintf(stderr, "%s: journal: %s\n", prefix.c_str(), notice.text.c_str());
    });
    for (const journal::Notice &notice : journal_.notices())
        std::fprintf(stderr, "%s: journal: %s\n", name, notice.text.c_str());
    feeds_.clear();
    for (const ReaderInfo &info : readers_) {
        auto feed = std::make_unique<Feed>();
        feed->engine = this;
        feed->info = info;
        feeds_.push_back(std::move(feed));
    }
    return kExitOk;
}

const ReaderInfo *Engine::reader(const std::string &serial) const {
    for (const ReaderInfo &info : readers_)
        if (info.serial == serial) return &info;
    return nullptr;
}

Engine::Feed *Engine::feed(const std::string &serial) {
    for (auto &f : feeds_)
        if (f->info.serial == serial) return f.get();
    return nullptr;
}

int Engine::subscribe(EventListener listener) {
    const std::lock_guard<std::mutex> guard(listenersMutex_);
    listeners_[nextListener_] = std::move(listener);
    return nextListener_++;
}

void Engine::unsubscribe(int id) {
    const std::lock_guard<std::mutex> guard(listenersMutex_);
    listeners_.erase(id);
}

void Engine::publish(Feed &feed, events::TagEvent event) {
    event.reader = feed.info.serial;
    journal_.append(event);
    ++feed.events;
    const std::lock_guard<std::mutex> guard(listenersMutex_);
    for (auto &[id, listener] : listeners_) listener(event);
}

void Engine::emit(events::TagEvent event) {
    if (Feed *f = feed(event.reader)) {
        publish(*f, std::move(event));
        return;
    }
    // A reader not read in this run (its events wait in the journal).
    journal_.append(event);
    const std::lock_guard<std::mutex> guard(listenersMutex_);
    for (auto &[id, listener] : listeners_) listener(event);
}

void TESSARO_CALL Engine::onTag(const TessaroTagRead *read, void *self) {
    auto &feed = *static_cast<Feed *>(self);
    feed.engine->publish(feed, events::fromRead(*read));
}

void TESSARO_CALL Engine::onPresence(const TessaroPresenceEvent *event, void *self) {
    auto &feed = *static_cast<Feed *>(self);
    feed.engine->publish(feed, events::fromPresence(*event));
}

void TESSARO_CALL Engine::onStatus(const TessaroReadingStatus *status, void *self) {
    auto &feed = *static_cast<Feed *>(self);
    if (status->event == TESSARO_READING_LOST) feed.lost = true;
    if (status->event == TESSARO_READING_BACK) feed.lost = false;
    std::fprintf(stderr, "%s: reader %s: %s (%d: %s)\n", feed.engine->options_.name.c_str(),
                 feed.info.serial.c_str(),
                 status->event == TESSARO_READING_LOST   ? "reader lost"
                 : status->event == TESSARO_READING_BACK ? "reader back"
                                                         : "round ended with",
                 status->code, status->text);
    feed.engine->publish(feed, events::fromStatus(*status));
}

bool Engine::startReading(const std::string &serial, const TessaroReadingOptions *options) {
    Feed *f = feed(serial);
    if (!f || !journalOpen_) return false;
    stopReading(serial);
    TessaroReadingOptions chosen = options ? *options : options_.reading;
    chosen.onTag = onTag;
    chosen.onStatus = onStatus;
    chosen.onPresence = onPresence;
    chosen.userData = f;
    const std::lock_guard<std::mutex> guard(f->readingMutex);
    if (TessaroReadingStart(f->info.port, &chosen, &f->reading) != 0) {
        f->reading = nullptr;
        std::fprintf(stderr, "%s: cannot start reading reader %s\n", options_.name.c_str(),
                     serial.c_str());
        return false;
    }
    return true;
}

void Engine::stopReading(const std::string &serial, TessaroReadingStats *last) {
    if (last) *last = TessaroReadingStats{};
    Feed *f = feed(serial);
    if (!f) return;
    TessaroReading *stopping;
    {
        const std::lock_guard<std::mutex> guard(f->readingMutex);
        stopping = f->reading;
        f->reading = nullptr;
    }
    if (stopping && last) {
        TessaroReadingStop(stopping);
        TessaroReadingGetStats(stopping, last);
    }
    TessaroReadingFree(stopping);
}

bool Engine::reading(const std::string &serial) {
    Feed *f = feed(serial);
    if (!f) return false;
    const std::lock_guard<std::mutex> guard(f->readingMutex);
    return f->reading != nullptr;
}

bool Engine::startAll() {
    bool all = true;
    for (const ReaderInfo &info : readers_) all = startReading(info.serial) && all;
    return all;
}

void Engine::stopAll() {
    for (const ReaderInfo &info : readers_) stopReading(info.serial);
}

TessaroReadingStats Engine::readingStats(const std::string &serial) {
    TessaroReadingStats stats{};
    if (Feed *f = feed(serial)) {
        const std::lock_guard<std::mutex> guard(f->readingMutex);
        if (f->reading) TessaroReadingGetStats(f->reading, &stats);
    }
    return stats;
}

std::string Engine::state(const std::string &serial) {
    Feed *f = feed(serial);
    return f && f->lost ? "lost" : "online";
}

std::uint64_t Engine::events(const std::string &serial) {
    Feed *f = feed(serial);
    return f ? f->events.load() : 0;
}

void Engine::close() {
    stopAll();
    if (journalOpen_) {
        journal_.close();
        journalOpen_ = false;
    }
}

}  // namespace tessaro::service
