// The one event type of Tessaro's long-running outputs and of the tool's
// inventories: a tag read, a tag arriving or departing, a change of the
// reader's state, events dropped, the journal's own notices. The service
// stamps each with its reader, run and sequence number, journals it as JSON
// (docs/schemas/tag-event.json) and hands it to its outputs.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "TessaroReading.h"
#include "TessaroRecords.h"

namespace tessaro::events {

// Carried in every event; the number changes with any change a consumer could
// notice.
inline constexpr const char *kTagEventSchema = "tessaro.tag-event/2";
inline constexpr const char *kStatusSchema = "tessaro.reader-status/1";

enum class EventType { Tag, Arrived, Departed, Lost, Back, Error, Dropped, Journal };

// "tag", "arrived", ... as the JSON's `type` says it.
const char *typeName(EventType type);

struct TagEvent {
    EventType type = EventType::Tag;

    // Where it comes from and its place there. The tool's own inventories
    // leave reader empty and run and seq 0.
    std::string reader;              // the reader's serial number, hex
    std::uint64_t run = 0;           // the service run that made it: 1, 2, 3 ...
    std::uint64_t seq = 0;           // 1, 2, 3 ... per reader, across runs
    long long wallClockMs = 0;       // since 1970, UTC
    unsigned long long monotonicMs = 0;  // since the reading started

    // tag, arrived, departed
    std::string epc, tid;            // hex; tid only with a TID inventory
    int antenna = 0;
    int rssi = 0;                    // dBm
    unsigned long long round = 0;    // tag: the inventory round, from 1
    int reads = 0, peakRssi = 0;     // arrived, departed
    unsigned long long firstSeenMs = 0, lastSeenMs = 0;

    // lost, back, error: the return code and its text; journal: what was found
    int code = 0;
    std::string text;

    // dropped: which events of this reader were dropped; journal: the events
    // that could not be recovered (0 when none)
    std::uint64_t count = 0, firstSeq = 0, lastSeq = 0;
    // journal: where the damaged part was moved, and what was recovered of it
    std::string movedTo;
    std::uint64_t recovered = 0;
};

TagEvent fromRead(const TessaroTagRead &read);
// A record of an inventory's EPC-ID list (the tool's own inventories).
TagEvent fromRecord(const TessaroTagRecord &record);
TagEvent fromPresence(const TessaroPresenceEvent &event);
TagEvent fromStatus(const TessaroReadingStatus &status);

// The event as the service publishes it: one JSON object.
nlohmann::json toJson(const TagEvent &event);
std::string serialize(const TagEvent &event);

// The retained status of a reader: "online", "lost" or "offline".
std::string readerStatusJson(const std::string &reader, const char *state, long long wallClockMs);

std::string hexOf(const unsigned char *bytes, int length);
// Milliseconds since 1970 as "2026-12-07T10:56:12.345Z".
std::string isoTime(long long wallClockMs);
long long wallClockNowMs();

}  // namespace tessaro::events
