// The replay transport: answers the host from a transcript and notes where
// the host's reports differ from the recorded ones. The transcript is
// untrusted text: every line is checked before it is used.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "TessaroSim.h"

namespace {

constexpr int kReportSize = 64;
constexpr unsigned short kVendorId = 0x0470, kProductId = 0xA112;

struct Entry {
    bool write;                        // '>' host to reader, '<' reader to host
    unsigned timeMs;
    int result;                        // 64, 0 (none), -1 (error or failed write)
    unsigned char report[kReportSize];
    int line;
};

void say(const std::string &message, char *out, std::size_t size) {
    if (out && size > 0) std::snprintf(out, size, "%s", message.c_str());
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string hexOf(const unsigned char *bytes, int length) {
    std::string text;
    char pair[3];
    for (int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
        text += pair;
    }
    return text;
}

// One line into `entry`; an empty string when it parses, else why not.
std::string parseLine(const std::string &line, Entry &entry) {
    std::istringstream fields(line);
    std::string direction, time, payload, extra, more;
    fields >> direction >> time >> payload >> extra >> more;
    if (direction != ">" && direction != "<") return "a report line starts with > or <";
    entry.write = direction == ">";
    if (time.empty() || time.size() > 10 || time.find_first_not_of("0123456789") != std::string::npos)
        return "the time is not a number of milliseconds";
    const unsigned long long ms = std::stoull(time);
    if (ms > 0xFFFFFFFFull) return "the time is not a number of milliseconds";
    entry.timeMs = static_cast<unsigned>(ms);
    std::memset(entry.report, 0, sizeof entry.report);
    if (!more.empty()) return "too many fields";
    if (!entry.write && (payload == "none" || payload == "error")) {
        if (!extra.empty()) return "too many fields";
        entry.result = payload == "none" ? 0 : -1;
        return "";
    }
    if (payload.size() != 2 * kReportSize) return "a report is 128 hex digits";
    for (int i = 0; i < kReportSize; ++i) {
        const int high = hexDigit(payload[2 * i]), low = hexDigit(payload[2 * i + 1]);
        if (high < 0 || low < 0) return "a report is 128 hex digits";
        entry.report[i] = static_cast<unsigned char>(high << 4 | low);
    }
    if (!extra.empty() && !(entry.write && extra == "failed")) return "unknown field '" + extra + "'";
    entry.result = extra.empty() ? kReportSize : -1;
    return "";
}

}  // namespace

struct TessaroSimReplay {
    std::mutex mutex;
    std::vector<Entry> entries;
    std::size_t next = 0;
    unsigned nowMs = 0;
    int differences = 0;
    std::string firstDifference;
    int device = 0;  // its address is the handle

    void differ(const std::string &what) {
        if (differences++ == 0) firstDifference = what;
    }
    // The next entry, if it goes in the expected direction; moves the clock.
    const Entry *take(bool write) {
        if (next >= entries.size()) return nullptr;
        const Entry &entry = entries[next];
        if (entry.write != write) return nullptr;
        ++next;
        if (entry.timeMs > nowMs) nowMs = entry.timeMs;
        return &entry;
    }
};

namespace {

TessaroSimReplay &self(void *context) { return *static_cast<TessaroSimReplay *>(context); }

int TESSARO_CALL replayPath(void *, int index, char *path, size_t size) {
    if (index != 0 || !path || size < sizeof "replay:0") return 1;
    std::memcpy(path, "replay:0", sizeof "replay:0");
    return 0;
}

void *TESSARO_CALL replayOpen(void *context, const char *path) {
    return path && std::strcmp(path, "replay:0") == 0 ? &self(context).device : nullptr;
}

int TESSARO_CALL replayAttributes(void *, void *, unsigned short *vendorId,
                                  unsigned short *productId) {
    *vendorId = kVendorId;
    *productId = kProductId;
    return 0;
}

int TESSARO_CALL replayWrite(void *context, void *, const unsigned char *report, unsigned) {
    TessaroSimReplay &replay = self(context);
    const std::lock_guard<std::mutex> guard(replay.mutex);
    const std::size_t at = replay.next;
    const Entry *entry = replay.take(true);
    if (!entry) {
        replay.differ(at >= replay.entries.size()
                          ? "the host wrote " + hexOf(report, kReportSize) + " after the transcript's end"
                          : "line " + std::to_string(replay.entries[at].line) +
                                ": the host wrote where the reader answered (" +
                                hexOf(report, kReportSize) + ")");
        return -1;
    }
    if (std::memcmp(entry->report, report, kReportSize) != 0)
        replay.differ("line " + std::to_string(entry->line) + ": the host wrote\n  " +
                      hexOf(report, kReportSize) + "\nwhere the transcript has\n  " +
                      hexOf(entry->report, kReportSize));
    return entry->result;
}

int TESSARO_CALL replayRead(void *context, void *, unsigned char *report, unsigned waitMs) {
    TessaroSimReplay &replay = self(context);
    const std::lock_guard<std::mutex> guard(replay.mutex);
    const std::size_t at = replay.next;
    const Entry *entry = replay.take(false);
    if (!entry) {
        replay.differ(at >= replay.entries.size()
                          ? "the host read after the transcript's end"
                          : "line " + std::to_string(replay.entries[at].line) +
                                ": the host read where it wrote when recorded");
        replay.nowMs += waitMs;
        return 0;
    }
    if (entry->result == kReportSize) std::memcpy(report, entry->report, kReportSize);
    return entry->result;
}

void TESSARO_CALL replayClose(void *, void *) {}

unsigned TESSARO_CALL replayTick(void *context) {
    TessaroSimReplay &replay = self(context);
    const std::lock_guard<std::mutex> guard(replay.mutex);
    return replay.nowMs;
}

void TESSARO_CALL replaySleep(void *context, unsigned ms) {
    TessaroSimReplay &replay = self(context);
    const std::lock_guard<std::mutex> guard(replay.mutex);
    replay.nowMs += ms;
}

}  // namespace

extern "C" {

TESSARO_SIM_API TessaroSimReplay *TessaroSimReplayOpenText(const char *text, char *error,
                                                           size_t errorSize) {
    if (!text) {
        say("no transcript", error, errorSize);
        return nullptr;
    }
    TessaroSimReplay *replay = new (std::nothrow) TessaroSimReplay;
    if (!replay) {
        say("out of memory", error, errorSize);
        return nullptr;
    }
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        Entry entry{};
        entry.line = number;
        const std::string problem = parseLine(line, entry);
        if (!problem.empty()) {
            say("line " + std::to_string(number) + ": " + problem, error, errorSize);
            delete replay;
            return nullptr;
        }
        replay->entries.push_back(entry);
    }
    say("", error, errorSize);
    return replay;
}

TESSARO_SIM_API TessaroSimReplay *TessaroSimReplayOpen(const char *path, char *error,
                                                       size_t errorSize) {
    std::ifstream file(path ? path : "");
    if (!path || !file) {
        say(path ? std::string("cannot read ") + path + ": " + std::strerror(errno)
                 : std::string("cannot read (no path)"),
            error, errorSize);
        return nullptr;
    }
    std::stringstream text;
    text << file.rdbuf();
    return TessaroSimReplayOpenText(text.str().c_str(), error, errorSize);
}

TESSARO_SIM_API int TessaroSimReplayGetTransport(TessaroSimReplay *replay,
                                                 TessaroTransport *transport) {
    if (!replay || !transport) return TESSARO_SIM_ERROR;
    *transport = TessaroTransport{TESSARO_TRANSPORT_VERSION, replay, replayPath, replayOpen,
                                  replayAttributes, replayWrite, replayRead, replayClose,
                                  replayTick, replaySleep};
    return 0;
}

TESSARO_SIM_API int TessaroSimReplayDifferences(TessaroSimReplay *replay, char *report,
                                                size_t reportSize) {
    if (!replay) return TESSARO_SIM_ERROR;
    const std::lock_guard<std::mutex> guard(replay->mutex);
    say(replay->firstDifference, report, reportSize);
    return replay->differences;
}

TESSARO_SIM_API int TessaroSimReplayRemaining(TessaroSimReplay *replay) {
    if (!replay) return TESSARO_SIM_ERROR;
    const std::lock_guard<std::mutex> guard(replay->mutex);
    return static_cast<int>(replay->entries.size() - replay->next);
}

TESSARO_SIM_API void TessaroSimReplayDestroy(TessaroSimReplay *replay) { delete replay; }

}  // extern "C"
