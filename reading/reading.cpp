// Continuous reading: a thread per reading that runs rounds of the exported
// inventory commands, decodes their EPC-ID lists and hands the tags, the
// reader's state changes and the tags' presence to the caller's callbacks.
#include "TessaroReading.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "Tessaro.h"
#include "TessaroErrors.h"
#include "TessaroRecords.h"
#include "link/api_lock.h"
#include "link/transport.h"

namespace tessaro::reading {

namespace {

// Pauses are slept in slices of this length so that a stop is seen quickly.
constexpr unsigned kSliceMs = 50;
// Between rounds the reading waits while other threads' commands run, and
// this long after the last one (the next of a series is on its way), but
// not beyond the bound: commands without end cannot stop the reading.
constexpr unsigned kCommandQuietMs = 10;
constexpr unsigned kGiveWayMaxMs = 1000;

long long wallClockMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

bool isCommFailure(int code) { return code == ERR_COMM || code == ERR_PORT_CLOSED; }

// Results of a round that carry tags or simply found none.
bool isRoundResult(int code) { return (code >= 1 && code <= 4) || code == 0xFB; }

struct TagMemory {
    // de-duplication
    bool reported = false;
    unsigned long long lastReported = 0;
    // presence
    bool present = false;
    int reads = 0;
    int peakRssi = 0;
    int antenna = 0;
    unsigned long long firstSeen = 0;
    unsigned long long lastSeen = 0;
};

}  // namespace

}  // namespace tessaro::reading

using namespace tessaro::reading;

struct TessaroReading {
    TessaroReading(int port, const TessaroReadingOptions &o) : portIndex(port), options(o) {}

    void run();
    bool pause(unsigned ms);
    unsigned long long now();
    int round(int &totalLength);
    void deliver(int totalLength);
    TagMemory *track(const TessaroTagRecord &record, unsigned long long at);
    bool fresh(TagMemory *tag, unsigned long long at);
    void presenceRead(TagMemory &tag, const TessaroTagRecord &record, unsigned long long at);
    void presenceEvent(int event, const unsigned char *epc, int epcLength, const TagMemory &tag,
                       unsigned long long at);
    void presenceDepartures(unsigned long long at);
    void status(int event, int code);
    bool lookForReader();
    void stats(TessaroReadingStats &out);

    const int portIndex;
    const TessaroReadingOptions options;
    std::thread thread;
    std::atomic<std::thread::id> threadId{};  // set by the thread itself
    std::atomic<bool> stopRequested{false};
    std::mutex stopMutex;  // one stopper joins the thread

    // The reading's thread alone touches what follows, except the counters,
    // which TessaroReadingGetStats reads under countersMutex.
    unsigned char list[EPC_LIST_MAX_BYTES] = {};
    unsigned lastTick = 0;
    unsigned long long monotonic = 0;
    unsigned long long roundNumber = 0;
    int lastError = 0;
    std::unordered_map<std::string, TagMemory> tags;

    std::mutex countersMutex;
    TessaroReadingStats counters{};
};

unsigned long long TessaroReading::now() {
    const unsigned tick = tessaro::link::tickMs();
    monotonic += tick - lastTick;  // unsigned: the tick counter's wrap does no harm
    lastTick = tick;
    return monotonic;
}

bool TessaroReading::pause(unsigned ms) {
    while (ms > 0 && !stopRequested) {
        const unsigned slice = ms < kSliceMs ? ms : kSliceMs;
        tessaro::link::sleepMs(slice);
        ms -= slice;
    }
    // Commands of other threads (tag operations, settings) go first: a series
    // of them runs before the next round, within a bound.
    for (unsigned waited = 0; waited < kGiveWayMaxMs && !stopRequested && tessaro::commandsBusy(kCommandQuietMs); ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::yield();  // let commands of other threads take the lock
    return !stopRequested;
}

int TessaroReading::round(int &totalLength) {
    const TessaroReadingOptions &o = options;
    unsigned char address = o.address;
    int tagCount = 0;
    totalLength = 0;
    switch (o.mode) {
    case TESSARO_READING_FAST: {
        unsigned char antenna = static_cast<unsigned char>(o.antenna);
        return Fast_EPC_Inventory_G2(&address, o.qValue, o.session, o.target, o.scanTime, &antenna,
                                     list, &totalLength, &tagCount, portIndex);
    }
    case TESSARO_READING_BUFFERED: {
        int bufferCount = 0;
        const int result = InventoryBuffer_G2(
            &address, o.qValue, o.session, o.maskMem, o.maskAddress, o.maskLength, o.maskData,
            o.maskFlag, o.tidAddress, o.tidLength, o.tidFlag, o.target, o.antenna, o.scanTime,
            o.targetFlag, &bufferCount, &tagCount, portIndex);
        if (isCommFailure(result)) return result;
        const int readOut = ReadBuffer_G2(&address, &totalLength, &tagCount, list, portIndex);
        if (isCommFailure(readOut)) return readOut;
        const int cleared = ClearBuffer_G2(&address, portIndex);
        return isCommFailure(cleared) ? cleared : readOut;
    }
    default: {
        unsigned char antenna = 0;
        return Inventory_G2(&address, o.qValue, o.session, o.maskMem, o.maskAddress, o.maskLength,
                            o.maskData, o.maskFlag, o.tidAddress, o.tidLength, o.tidFlag,
                            o.target, o.antenna, o.scanTime, o.targetFlag, list, &antenna,
                            &totalLength, &tagCount, portIndex);
    }
    }
}

void TessaroReading::status(int event, int code) {
    if (!options.onStatus || stopRequested) return;
    TessaroReadingStatus s{};
    s.portIndex = portIndex;
    s.event = event;
    s.code = code;
    s.text = TessaroReturnCodeText(code);
    s.monotonicMs = now();
    s.wallClockMs = wallClockMs();
    options.onStatus(&s, options.userData);
}

// The reading's memory of a tag, added when new; nullptr when maxTags are
// remembered and none of them can be forgotten (present, or inside its
// de-duplication window).
TagMemory *TessaroReading::track(const TessaroTagRecord &record, unsigned long long at) {
    const std::string key(reinterpret_cast<const char *>(record.epc),
                          static_cast<std::size_t>(record.epcLength));
    auto found = tags.find(key);
    if (found != tags.end()) return &found->second;
    if (tags.size() >= options.maxTags) {
        for (auto it = tags.begin(); it != tags.end();) {
            const TagMemory &old = it->second;
            if (!old.present && at - old.lastReported >= options.dedupWindowMs)
                it = tags.erase(it);
            else
                ++it;
        }
    }
    if (tags.size() >= options.maxTags) {
        const std::lock_guard<std::mutex> guard(countersMutex);
        ++counters.tagsOverflow;
        return nullptr;
    }
    return &tags.emplace(key, TagMemory{}).first->second;
}

// Whether a read is reported: not when the same EPC was reported within the
// de-duplication window.
bool TessaroReading::fresh(TagMemory *tag, unsigned long long at) {
    if (options.dedupWindowMs == 0 || !tag) return true;
    if (tag->reported && at - tag->lastReported < options.dedupWindowMs) return false;
    tag->reported = true;
    tag->lastReported = at;
    return true;
}

// Adds a read to the tag's presence; the first read after an absence makes
// its arrival event.
void TessaroReading::presenceRead(TagMemory &tag, const TessaroTagRecord &record,
                                  unsigned long long at) {
    if (!tag.present) {
        tag.present = true;
        tag.reads = 0;
        tag.firstSeen = at;
        tag.peakRssi = record.rssi;
    }
    ++tag.reads;
    if (record.rssi > tag.peakRssi) tag.peakRssi = record.rssi;
    tag.antenna = record.antenna;
    tag.lastSeen = at;
    if (tag.reads == 1) presenceEvent(TESSARO_PRESENCE_ARRIVED, record.epc, record.epcLength, tag, at);
}

void TessaroReading::presenceEvent(int event, const unsigned char *epc, int epcLength,
                                   const TagMemory &tag, unsigned long long at) {
    if (!options.onPresence || stopRequested) return;
    TessaroPresenceEvent e{};
    e.portIndex = portIndex;
    e.event = event;
    e.epc = epc;
    e.epcLength = epcLength;
    e.antenna = tag.antenna;
    e.reads = tag.reads;
    e.peakRssi = tag.peakRssi;
    e.firstSeenMs = tag.firstSeen;
    e.lastSeenMs = tag.lastSeen;
    e.monotonicMs = at;
    e.wallClockMs = wallClockMs();
    options.onPresence(&e, options.userData);
}

void TessaroReading::deliver(int totalLength) {
    if (totalLength <= 0 || totalLength > EPC_LIST_MAX_BYTES) return;
    const unsigned long long at = now();
    const long long wall = wallClockMs();
    const bool remembering = options.dedupWindowMs > 0 || options.presence;
    int offset = 0;
    int decoded;
    TessaroTagRecord record;
    while (!stopRequested && (decoded = TessaroNextTagRecord(list, totalLength, &offset, &record)) == 1) {
        TagMemory *tag = remembering ? track(record, at) : nullptr;
        const bool report = fresh(tag, at);
        if (tag && options.presence) presenceRead(*tag, record, at);
        {
            const std::lock_guard<std::mutex> guard(countersMutex);
            ++counters.reads;
            if (report) ++counters.reported;
        }
        if (!report || !options.onTag || stopRequested) continue;
        TessaroTagRead r{};
        r.portIndex = portIndex;
        r.round = roundNumber;
        r.epc = record.epc;
        r.epcLength = record.epcLength;
        r.tid = record.tid;
        r.tidLength = record.tidLength;
        r.rssi = record.rssi;
        r.antenna = record.antenna;
        r.monotonicMs = at;
        r.wallClockMs = wall;
        options.onTag(&r, options.userData);
    }
    if (decoded == -1) {
        const std::lock_guard<std::mutex> guard(countersMutex);
        ++counters.badLists;
    }
}

void TessaroReading::presenceDepartures(unsigned long long at) {
    if (!options.presence) return;
    for (auto &[epc, tag] : tags) {
        if (!tag.present || at - tag.lastSeen < options.departAfterMs) continue;
        tag.present = false;
        presenceEvent(TESSARO_PRESENCE_DEPARTED, reinterpret_cast<const unsigned char *>(epc.data()),
                      static_cast<int>(epc.size()), tag, at);
    }
}
// One look for the lost reader: reopen its port and ask it who it is.
bool TessaroReading::lookForReader() {
    if (TessaroReopenPort(portIndex) != 0) return false;
    unsigned char address = options.address;
    unsigned char version[2];
    unsigned char info[11];
    return GetReaderInformation(&address, version, &info[0], &info[1], &info[2], &info[3],
                                &info[4], &info[5], &info[6], &info[7], &info[8], &info[9],
                                portIndex) == 0;
}

void TessaroReading::run() {
    threadId = std::this_thread::get_id();
    tessaro::markReadingThread();
    lastTick = tessaro::link::tickMs();
    unsigned failures = 0;
    while (!stopRequested) {
        ++roundNumber;
        int totalLength = 0;
        const int result = round(totalLength);
        {
            const std::lock_guard<std::mutex> guard(countersMutex);
            ++counters.rounds;
        }
        if (isCommFailure(result)) {
            if (++failures < options.lostAfterFailures) continue;
            failures = 0;
            TessaroReopenPort(portIndex);  // closes the dead handle at once
            {
                const std::lock_guard<std::mutex> guard(countersMutex);
                ++counters.lost;
                counters.readerLost = 1;
            }
            status(TESSARO_READING_LOST, result);
            bool back = false;
            while (!back && pause(options.retryIntervalMs)) back = lookForReader();
            if (!back) break;
            {
                const std::lock_guard<std::mutex> guard(countersMutex);
                counters.readerLost = 0;
            }
            // Departures wait while the reader is away: restart every clock.
            const unsigned long long at = now();
            for (auto &entry : tags) entry.second.lastSeen = at;
            lastError = 0;
            status(TESSARO_READING_BACK, 0);
            continue;
        }
        failures = 0;
        const int error = isRoundResult(result) ? 0 : result;
        if (error != lastError) {
            lastError = error;
            status(TESSARO_READING_ERROR, error);
        }
        deliver(totalLength);
        presenceDepartures(now());
        if (!pause(options.pauseMs)) break;
    }
    const std::lock_guard<std::mutex> guard(countersMutex);
    counters.running = 0;
}

void TessaroReading::stats(TessaroReadingStats &out) {
    const std::lock_guard<std::mutex> guard(countersMutex);
    out = counters;
}

extern "C" {

TESSARO_API int TessaroReadingDefaults(TessaroReadingOptions *options) {
    if (!options) return ERR_PARAMETER;
    *options = TessaroReadingOptions{};
    options->mode = TESSARO_READING_INVENTORY;
    options->address = 0xFF;
    options->qValue = 4;
    options->maskMem = 1;
    options->maskAddress[1] = 0x20;
    options->pauseMs = 100;
    options->lostAfterFailures = 2;
    options->retryIntervalMs = 1000;
    options->departAfterMs = 3000;
    options->maxTags = 4096;
    return 0;
}

TESSARO_API int TessaroReadingStart(int portIndex, const TessaroReadingOptions *options,
                                    TessaroReading **reading) {
    if (!options || !reading || portIndex < 1 || portIndex >= MAX_PORTS) return ERR_PARAMETER;
    if (options->mode < TESSARO_READING_INVENTORY || options->mode > TESSARO_READING_BUFFERED ||
        options->maskLength < 0 || options->maskLength > 255)
        return ERR_PARAMETER;
    TessaroReadingOptions checked = *options;
    if (checked.lostAfterFailures == 0) checked.lostAfterFailures = 1;
    auto *created = new (std::nothrow) TessaroReading(portIndex, checked);
    if (!created) return ERR_COMM;
    created->counters.running = 1;
    // Written before the thread starts, so that its callbacks may use it.
    TessaroReading *const before = *reading;
    *reading = created;
    try {
        created->thread = std::thread([created] { created->run(); });
    } catch (...) {
        *reading = before;
        delete created;
        return ERR_COMM;
    }
    return 0;
}

TESSARO_API int TessaroReadingStop(TessaroReading *reading) {
    if (!reading) return ERR_PARAMETER;
    reading->stopRequested = true;
    if (std::this_thread::get_id() == reading->threadId.load()) return 0;
    const std::lock_guard<std::mutex> guard(reading->stopMutex);
    if (reading->thread.joinable()) reading->thread.join();
    return 0;
}

TESSARO_API int TessaroReadingFree(TessaroReading *reading) {
    if (!reading) return 0;
    if (std::this_thread::get_id() == reading->threadId.load()) return ERR_PARAMETER;
    TessaroReadingStop(reading);
    delete reading;
    return 0;
}

TESSARO_API int TessaroReadingGetStats(TessaroReading *reading, TessaroReadingStats *stats) {
    if (!reading || !stats) return ERR_PARAMETER;
    reading->stats(*stats);
    return 0;
}

}  // extern "C"
