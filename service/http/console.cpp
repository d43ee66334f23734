#include "console.h"

#include <algorithm>
#include <chrono>

namespace tessaro::http {

using events::EventType;

Console::Console(ConsoleLimits limits) : limits_(limits) {
    limits_.recentEvents = std::max<std::size_t>(limits_.recentEvents, 1);
    limits_.rateSeconds = std::max(limits_.rateSeconds, 1u);
}

void Console::countRead(Reader &reader, int antenna, long long second) {
    const long long span = limits_.rateSeconds;
    if (second > reader.lastSecond) {
        // The seconds between the last read and this one had none.
        const long long from = std::max(reader.lastSecond + 1, second - span + 1);
        for (auto &[number, ring] : reader.perSecond)
            for (long long s = from; s <= second; ++s) ring[static_cast<std::size_t>(s % span)] = 0;
        reader.lastSecond = second;
    }
    if (second <= reader.lastSecond - span) return;  // older than the window
    auto &ring = reader.perSecond[antenna];
    if (ring.empty()) ring.assign(static_cast<std::size_t>(span), 0);
    ++ring[static_cast<std::size_t>(second % span)];
}

void Console::add(const events::TagEvent &event) {
    StreamEvent streamed;
    streamed.type = events::typeName(event.type);
    const nlohmann::json body = events::toJson(event);
    streamed.json = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);

    const std::lock_guard<std::mutex> guard(mutex_);
    Reader &reader = readers_[event.reader];
    switch (event.type) {
    case EventType::Tag:
    case EventType::Arrived:
    case EventType::Departed: {
        auto found = reader.tags.find(event.epc);
        if (found == reader.tags.end()) {
            if (reader.tags.size() >= limits_.tagsPerReader) {
                ++tagsOverflow_;
                break;
            }
            found = reader.tags.emplace(event.epc, TagRow{}).first;
            found->second.epc = event.epc;
            found->second.firstSeenMs = event.wallClockMs;
        }
        TagRow &row = found->second;
        if (body.contains("gs1")) row.gs1 = body["gs1"];
        if (event.type == EventType::Departed) {
            row.present = false;
            break;
        }
        row.present = true;
        if (event.type == EventType::Arrived && row.reads == 0) row.firstSeenMs = event.wallClockMs;
        if (event.type != EventType::Tag) break;
        row.antenna = event.antenna;
        row.rssi = event.rssi;
        row.lastSeenMs = event.wallClockMs;
        ++row.reads;
        ++reader.counters.readsByAntenna[event.antenna];
        countRead(reader, event.antenna, event.wallClockMs / 1000);
        break;
    }
    case EventType::Error:
        if (event.code != 0) ++reader.counters.errors;
        break;
    case EventType::Lost:
        ++reader.counters.lost;
        break;
    case EventType::Back:
        ++reader.counters.back;
        break;
    case EventType::Dropped:
        reader.counters.dropped += event.count;
        break;
    case EventType::Journal:
        break;
    }
    streamed.id = nextId_++;
    recent_.push_back(std::move(streamed));
    if (recent_.size() > limits_.recentEvents) recent_.pop_front();
    arrived_.notify_all();
}

std::vector<StreamEvent> Console::eventsAfter(std::uint64_t afterId, std::size_t limit,
                                              unsigned waitMs, std::uint64_t &skipped) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return nextId_ - 1 > afterId; });
    std::vector<StreamEvent> found;
    skipped = 0;
    if (recent_.empty() || recent_.back().id <= afterId) return found;
    const std::uint64_t oldest = recent_.front().id;
    if (afterId + 1 < oldest) skipped = oldest - afterId - 1;
    const std::size_t from = afterId + 1 <= oldest ? 0 : static_cast<std::size_t>(afterId + 1 - oldest);
    for (std::size_t i = from; i < recent_.size() && found.size() < limit; ++i)
        found.push_back(recent_[i]);
    return found;
}

std::uint64_t Console::idBeforeRecent(std::size_t count) {
    const std::lock_guard<std::mutex> guard(mutex_);
    const std::uint64_t last = nextId_ - 1;
    return last > count ? last - count : 0;
}

std::uint64_t Console::lastId() {
    const std::lock_guard<std::mutex> guard(mutex_);
    return nextId_ - 1;
}

void Console::wakeAll() {
    const std::lock_guard<std::mutex> guard(mutex_);
    arrived_.notify_all();
}

std::vector<TagRow> Console::tags(const std::string &reader, std::size_t limit,
                                  std::uint64_t &lastId) {
    std::vector<TagRow> rows;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        lastId = nextId_ - 1;
        const auto found = readers_.find(reader);
        if (found == readers_.end()) return rows;
        rows.reserve(found->second.tags.size());
        for (const auto &[epc, row] : found->second.tags) rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end(), [](const TagRow &a, const TagRow &b) {
        return a.lastSeenMs != b.lastSeenMs ? a.lastSeenMs > b.lastSeenMs : a.epc < b.epc;
    });
    if (rows.size() > limit) rows.resize(limit);
    return rows;
}

bool Console::tag(const std::string &reader, const std::string &epc, TagRow &row) {
    const std::lock_guard<std::mutex> guard(mutex_);
    const auto found = readers_.find(reader);
    if (found == readers_.end()) return false;
    const auto at = found->second.tags.find(epc);
    if (at == found->second.tags.end()) return false;
    row = at->second;
    return true;
}

std::map<int, std::vector<std::uint32_t>> Console::rates(const std::string &reader,
                                                         long long nowSecond) {
    std::map<int, std::vector<std::uint32_t>> series;
    const long long span = limits_.rateSeconds;
    const std::lock_guard<std::mutex> guard(mutex_);
    const auto found = readers_.find(reader);
    if (found == readers_.end()) return series;
    const Reader &r = found->second;
    for (const auto &[antenna, ring] : r.perSecond) {
        std::vector<std::uint32_t> &out = series[antenna];
        out.reserve(static_cast<std::size_t>(span));
        for (long long s = nowSecond - span + 1; s <= nowSecond; ++s) {
            const bool kept = s <= r.lastSecond && s > r.lastSecond - span;
            out.push_back(kept ? ring[static_cast<std::size_t>(((s % span) + span) % span)] : 0);
        }
    }
    return series;
}

ReaderCounters Console::counters(const std::string &reader) {
    const std::lock_guard<std::mutex> guard(mutex_);
    const auto found = readers_.find(reader);
    return found == readers_.end() ? ReaderCounters{} : found->second.counters;
}

std::uint64_t Console::tagsOverflow() {
    const std::lock_guard<std::mutex> guard(mutex_);
    return tagsOverflow_;
}

}  // namespace tessaro::http
