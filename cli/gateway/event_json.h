// The JSON of the events a gateway publishes (docs/schemas/tag-event.json):
// one object per event, on one line.
#pragma once

#include <cstdint>
#include <string>

#include "TessaroReading.h"

namespace tessaro::gateway {

// Schema identifier carried in every event; its number changes with any
// change that breaks a consumer.
inline constexpr const char *kTagEventSchema = "tessaro.tag-event/1";
inline constexpr const char *kStatusSchema = "tessaro.reader-status/1";

// Where an event comes from and its place in that reader's sequence.
struct EventSource {
    std::string reader;   // the reader's serial number, hex
    std::uint64_t seq;    // 1, 2, 3 ... per reader and gateway run
};

std::string hexOf(const unsigned char *bytes, int length);
// Milliseconds since 1970 as "2026-12-07T10:56:12.345Z".
std::string isoTime(long long wallClockMs);

std::string tagEventJson(const EventSource &source, const TessaroTagRead &read);
std::string presenceEventJson(const EventSource &source, const TessaroPresenceEvent &event);
std::string statusEventJson(const EventSource &source, const TessaroReadingStatus &status);
// `count` events of this reader were dropped, sequence numbers first to last.
std::string droppedEventJson(const EventSource &source, std::uint64_t count, std::uint64_t first,
                             std::uint64_t last, long long wallClockMs);
// The retained status of a reader: "online", "offline" or "lost".
std::string readerStatusJson(const std::string &reader, const char *state, long long wallClockMs);

}  // namespace tessaro::gateway
