#include "reading_fixture.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace tessaro::simtest {

const std::string kShelf = std::string(TESSARO_SOURCE_DIR) + "/sim/populations/shelf.tags";

std::map<std::string, int> shelfGen2Tags() {
    std::map<std::string, int> tags;
    std::ifstream file(kShelf);
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind("gen2 ", 0) != 0) continue;
        std::istringstream fields(line);
        std::string field, epc;
        int antenna = 0;
        while (fields >> field) {
            if (field.rfind("epc=", 0) == 0) epc = field.substr(4);
            if (field.rfind("antenna=", 0) == 0) antenna = std::stoi(field.substr(8));
        }
        tags[epc] = antenna;
    }
    return tags;
}

namespace {
TessaroReadingStats statsOf(TessaroReading *reading) {
    TessaroReadingStats stats{};
    TessaroReadingGetStats(reading, &stats);
    return stats;
}
}  // namespace

void TESSARO_CALL Recorder::onTag(const TessaroTagRead *read, void *self) {
    auto &r = *static_cast<Recorder *>(self);
    const std::lock_guard<std::mutex> guard(r.mutex);
    if (r.stopped) ++r.readsAfterStop;
    r.reads.push_back({hexOf(read->epc, read->epcLength), read->antenna, read->rssi, read->round,
                       read->monotonicMs, statsOf(r.reading).tagsOverflow});
    if (r.stopAfterReads > 0 && static_cast<int>(r.reads.size()) == r.stopAfterReads) {
        r.freeFromCallback = TessaroReadingFree(r.reading);
        TessaroReadingStop(r.reading);
        r.stopped = true;
    }
    if (r.afterRead) r.afterRead(r.reads.back());
}

void TESSARO_CALL Recorder::onStatus(const TessaroReadingStatus *status, void *self) {
    auto &r = *static_cast<Recorder *>(self);
    const std::lock_guard<std::mutex> guard(r.mutex);
    r.statuses.push_back(status->event);
    r.codes.push_back(status->code);
    r.texts.push_back(status->text);
    r.statusEvents.push_back(
        {status->event, status->code, status->monotonicMs, statsOf(r.reading).rounds});
}

void TESSARO_CALL Recorder::onPresence(const TessaroPresenceEvent *event, void *self) {
    auto &r = *static_cast<Recorder *>(self);
    const std::lock_guard<std::mutex> guard(r.mutex);
    r.presence.push_back({event->event, hexOf(event->epc, event->epcLength), event->reads,
                          event->peakRssi, event->monotonicMs});
}

bool eventually(const std::function<bool()> &condition) {
    for (int i = 0; i < 20000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

}  // namespace tessaro::simtest
