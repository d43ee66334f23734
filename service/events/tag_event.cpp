#include "tag_event.h"

#include "gs1_json.h"

#include <chrono>
#include <cstdio>

namespace tessaro::events {

using nlohmann::json;

const char *typeName(EventType type) {
    switch (type) {
    case EventType::Tag: return "tag";
    case EventType::Arrived: return "arrived";
    case EventType::Departed: return "departed";
    case EventType::Lost: return "lost";
    case EventType::Back: return "back";
    case EventType::Error: return "error";
    case EventType::Dropped: return "dropped";
    case EventType::Journal: return "journal";
    }
    return "tag";
}

std::string hexOf(const unsigned char *bytes, int length) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; bytes && i < length; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

// The civil date of a day count since 1970-01-01 (Howard Hinnant's
// algorithm): portable, and free of the C library's time zone state.
std::string isoTime(long long wallClockMs) {
    if (wallClockMs < 0) wallClockMs = 0;
    const long long days = wallClockMs / 86400000, msOfDay = wallClockMs % 86400000;
    const long long z = days + 719468, era = z / 146097, dayOfEra = z - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    const long long day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const long long month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const long long year = yearOfEra + era * 400 + (month <= 2);
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ", year, month, day,
                  msOfDay / 3600000, msOfDay / 60000 % 60, msOfDay / 1000 % 60, msOfDay % 1000);
    return text;
}

long long wallClockNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

TagEvent fromRead(const TessaroTagRead &read) {
    TagEvent event;
    event.type = EventType::Tag;
    event.wallClockMs = read.wallClockMs;
    event.monotonicMs = read.monotonicMs;
    event.epc = hexOf(read.epc, read.epcLength);
    if (read.tidLength > 0) event.tid = hexOf(read.tid, read.tidLength);
    event.antenna = read.antenna;
    event.rssi = read.rssi;
    event.round = read.round;
    return event;
}

TagEvent fromRecord(const TessaroTagRecord &record) {
    TagEvent event;
    event.type = EventType::Tag;
    event.epc = hexOf(record.epc, record.epcLength);
    event.tid = hexOf(record.tid, record.tidLength);
    event.antenna = record.antenna;
    event.rssi = record.rssi;
    return event;
}

TagEvent fromPresence(const TessaroPresenceEvent &e) {
    TagEvent event;
    event.type = e.event == TESSARO_PRESENCE_ARRIVED ? EventType::Arrived : EventType::Departed;
    event.wallClockMs = e.wallClockMs;
    event.monotonicMs = e.monotonicMs;
    event.epc = hexOf(e.epc, e.epcLength);
    event.antenna = e.antenna;
    event.reads = e.reads;
    event.peakRssi = e.peakRssi;
    event.firstSeenMs = e.firstSeenMs;
    event.lastSeenMs = e.lastSeenMs;
    return event;
}

TagEvent fromStatus(const TessaroReadingStatus &s) {
    TagEvent event;
    event.type = s.event == TESSARO_READING_LOST   ? EventType::Lost
                 : s.event == TESSARO_READING_BACK ? EventType::Back
                                                   : EventType::Error;
    event.wallClockMs = s.wallClockMs;
    event.monotonicMs = s.monotonicMs;
    event.code = s.code;
    event.text = s.text ? s.text : "";
    return event;
}

json toJson(const TagEvent &e) {
    json event{{"schema", kTagEventSchema}, {"type", typeName(e.type)}, {"reader", e.reader},
               {"run", e.run},           {"seq", e.seq},                 {"time", isoTime(e.wallClockMs)}};
    switch (e.type) {
    case EventType::Tag:
        event["monotonicMs"] = e.monotonicMs;
        event["epc"] = e.epc;
        if (!e.tid.empty()) event["tid"] = e.tid;
        event["antenna"] = e.antenna;
        event["rssi"] = e.rssi;
        event["round"] = e.round;
        if (json gs1 = gs1JsonOfEpc<json>(e.epc); !gs1.is_null()) event["gs1"] = std::move(gs1);
        break;
    case EventType::Arrived:
    case EventType::Departed:
        event["monotonicMs"] = e.monotonicMs;
        event["epc"] = e.epc;
        event["antenna"] = e.antenna;
        event["reads"] = e.reads;
        event["peakRssi"] = e.peakRssi;
        event["firstSeenMs"] = e.firstSeenMs;
        event["lastSeenMs"] = e.lastSeenMs;
        if (json gs1 = gs1JsonOfEpc<json>(e.epc); !gs1.is_null()) event["gs1"] = std::move(gs1);
        break;
    case EventType::Lost:
    case EventType::Back:
    case EventType::Error:
        event["monotonicMs"] = e.monotonicMs;
        event["code"] = e.code;
        event["text"] = e.text;
        break;
    case EventType::Dropped:
        event["count"] = e.count;
        event["firstSeq"] = e.firstSeq;
        event["lastSeq"] = e.lastSeq;
        break;
    case EventType::Journal:
        event["text"] = e.text;
        if (!e.movedTo.empty()) event["movedTo"] = e.movedTo;
        event["recovered"] = e.recovered;
        event["lost"] = e.count;
        if (e.count > 0 && e.firstSeq > 0) {
            event["firstSeq"] = e.firstSeq;
            event["lastSeq"] = e.lastSeq;
        }
        break;
    }
    return event;
}

// Paths and texts may hold bytes that are not UTF-8: replaced, never thrown.
std::string serialize(const TagEvent &event) {
    return toJson(event).dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string readerStatusJson(const std::string &reader, const char *state, long long wallClockMs) {
    return json{{"schema", kStatusSchema},
                {"reader", reader},
                {"state", state},
                {"time", isoTime(wallClockMs)}}
        .dump();
}

}  // namespace tessaro::events
