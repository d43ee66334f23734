#include "event_json.h"

#include <ctime>
#include <nlohmann/json.hpp>

namespace tessaro::gateway {

using nlohmann::json;

std::string hexOf(const unsigned char *bytes, int length) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; bytes && i < length; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

std::string isoTime(long long wallClockMs) {
    const std::time_t seconds = static_cast<std::time_t>(wallClockMs / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(wallClockMs % 1000));
    return text;
}

namespace {

json header(const EventSource &source, const char *type, long long wallClockMs,
            unsigned long long monotonicMs) {
    return json{{"schema", kTagEventSchema}, {"type", type},
                {"reader", source.reader},   {"seq", source.seq},
                {"time", isoTime(wallClockMs)}, {"monotonicMs", monotonicMs}};
}

}  // namespace

std::string tagEventJson(const EventSource &source, const TessaroTagRead &read) {
    json event = header(source, "tag", read.wallClockMs, read.monotonicMs);
    event["epc"] = hexOf(read.epc, read.epcLength);
    if (read.tidLength > 0) event["tid"] = hexOf(read.tid, read.tidLength);
    event["antenna"] = read.antenna;
    event["rssi"] = read.rssi;
    event["round"] = read.round;
    return event.dump();
}

std::string presenceEventJson(const EventSource &source, const TessaroPresenceEvent &e) {
    json event = header(source, e.event == TESSARO_PRESENCE_ARRIVED ? "arrived" : "departed",
                        e.wallClockMs, e.monotonicMs);
    event["epc"] = hexOf(e.epc, e.epcLength);
    event["antenna"] = e.antenna;
    event["reads"] = e.reads;
    event["peakRssi"] = e.peakRssi;
    event["firstSeenMs"] = e.firstSeenMs;
    event["lastSeenMs"] = e.lastSeenMs;
    return event.dump();
}

std::string statusEventJson(const EventSource &source, const TessaroReadingStatus &s) {
    const char *type = s.event == TESSARO_READING_LOST   ? "lost"
                       : s.event == TESSARO_READING_BACK ? "back"
                                                         : "error";
    json event = header(source, type, s.wallClockMs, s.monotonicMs);
    event["code"] = s.code;
    event["text"] = s.text ? s.text : "";
    return event.dump();
}

std::string droppedEventJson(const EventSource &source, std::uint64_t count, std::uint64_t first,
                             std::uint64_t last, long long wallClockMs) {
    json event = header(source, "dropped", wallClockMs, 0);
    event.erase("monotonicMs");
    event["count"] = count;
    event["firstSeq"] = first;
    event["lastSeq"] = last;
    return event.dump();
}

std::string readerStatusJson(const std::string &reader, const char *state, long long wallClockMs) {
    return json{{"schema", kStatusSchema},
                {"reader", reader},
                {"state", state},
                {"time", isoTime(wallClockMs)}}
        .dump();
}

}  // namespace tessaro::gateway
