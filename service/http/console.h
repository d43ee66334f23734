// What the web console knows of the readings, built from the engine's events
// on the console's own thread: the recent events for the live stream (a late
// client gets them first), each reader's table of tags, its reads per second
// per antenna over the last minutes, and the counters /metrics shows.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "events/tag_event.h"

namespace tessaro::http {

// How much the console keeps. The defaults serve a dock door (thousands of
// tags, hundreds of reads a second) in a few megabytes.
struct ConsoleLimits {
    std::size_t recentEvents = 4096;    // events kept for the stream
    std::size_t tagsPerReader = 20000;  // tags kept in a reader's table
    unsigned rateSeconds = 300;         // seconds of reads per second kept
};

struct TagRow {
    std::string epc;
    int antenna = 0;
    int rssi = 0;
    std::uint64_t reads = 0;
    long long firstSeenMs = 0, lastSeenMs = 0;  // wall clock
    bool present = true;                         // arrived (or read) and not departed since
    nlohmann::json gs1;                          // the event's GS1 identity, when it has one
};

// Per reader and antenna, since the start.
struct ReaderCounters {
    std::map<int, std::uint64_t> readsByAntenna;
    std::uint64_t errors = 0;    // error events with a code (a round that ended badly)
    std::uint64_t lost = 0, back = 0;
    std::uint64_t dropped = 0;   // events the journal reported dropped
};

// One event of the stream: its place in this run's stream and its JSON.
struct StreamEvent {
    std::uint64_t id = 0;
    std::string type;
    std::string json;
};

class Console {
public:
    explicit Console(ConsoleLimits limits = {});

    // Takes one event (the console's thread).
    void add(const events::TagEvent &event);

    // The stream: events after `afterId`, at most `limit`, waiting up to
    // `waitMs` for the first. `skipped` is set to the events that were
    // after `afterId` but are no longer kept (a client that fell behind).
    std::vector<StreamEvent> eventsAfter(std::uint64_t afterId, std::size_t limit, unsigned waitMs,
                                         std::uint64_t &skipped);
    // The id before the newest `count` events: where a late client starts.
    std::uint64_t idBeforeRecent(std::size_t count);
    std::uint64_t lastId();
    // Wakes every waiting stream (the server stops).
    void wakeAll();

    // A reader's table, most recently seen first, and `lastId`: the stream's
    // last event it holds (a client goes on from there).
    std::vector<TagRow> tags(const std::string &reader, std::size_t limit, std::uint64_t &lastId);
    bool tag(const std::string &reader, const std::string &epc, TagRow &row);
    // Reads per second per antenna, oldest first, ending with the second
    // `nowSecond` (since 1970).
    std::map<int, std::vector<std::uint32_t>> rates(const std::string &reader, long long nowSecond);
    ReaderCounters counters(const std::string &reader);
    // Tags a table could not hold (beyond tagsPerReader).
    std::uint64_t tagsOverflow();
    const ConsoleLimits &limits() const { return limits_; }

private:
    struct Reader {
        std::unordered_map<std::string, TagRow> tags;
        std::map<int, std::vector<std::uint32_t>> perSecond;  // antenna -> ring by second
        long long lastSecond = 0;
        ReaderCounters counters;
    };
    void countRead(Reader &reader, int antenna, long long second);

    ConsoleLimits limits_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<StreamEvent> recent_;
    std::uint64_t nextId_ = 1;
    std::map<std::string, Reader> readers_;
    std::uint64_t tagsOverflow_ = 0;
};

}  // namespace tessaro::http
