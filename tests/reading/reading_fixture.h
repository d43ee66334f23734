// What the continuous-reading tests share: a recorder of the callbacks, a
// fixture that starts a reading on the simulated reader, and a polling wait.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "TessaroErrors.h"
#include "TessaroReading.h"
#include "sim_fixture.h"

namespace tessaro::simtest {

extern const std::string kShelf;

// EPC -> antenna of the Gen2 tags of the shelf file.
std::map<std::string, int> shelfGen2Tags();

struct Read {
    std::string epc;
    int antenna;
    int rssi;
    unsigned long long round;
    unsigned long long at;
    unsigned long long tagsOverflow;  // the reading's counter as the read was handed over
};

struct Presence {
    int event;
    std::string epc;
    int reads;
    int peakRssi;
    unsigned long long at;
};

struct Status {
    int event;
    int code;
    unsigned long long at;
    unsigned long long rounds;  // rounds run when it was reported
};

// What the callbacks saw; they run on the reading's thread.
struct Recorder {
    std::mutex mutex;
    std::vector<Read> reads;
    std::vector<int> statuses;
    std::vector<int> codes;
    std::vector<std::string> texts;
    std::vector<Status> statusEvents;
    std::vector<Presence> presence;
    TessaroReading *reading = nullptr;
    int stopAfterReads = 0;  // > 0: the tag callback stops the reading at this read
    int readsAfterStop = 0;
    int freeFromCallback = -1;
    bool stopped = false;
    // Called on the reading's thread after each read is recorded: what a test
    // changes here happens between two rounds.
    std::function<void(const Read &)> afterRead;

    static void TESSARO_CALL onTag(const TessaroTagRead *read, void *self);
    static void TESSARO_CALL onStatus(const TessaroReadingStatus *status, void *self);
    static void TESSARO_CALL onPresence(const TessaroPresenceEvent *event, void *self);

    template <typename Predicate> auto holds(Predicate predicate) {
        const std::lock_guard<std::mutex> guard(mutex);
        return predicate(*this);
    }
};

// Polls `condition` for at most 20 s of real time (the reading runs on
// virtual time, so it is met in milliseconds when the code is right).
bool eventually(const std::function<bool()> &condition);

// A reading of port 1 with every callback going to `recorder`; the reader is
// set up by the derived fixture (SimTest: the sample shelf, installed).
template <typename Base> class ReadingOn : public Base {
protected:
    void TearDown() override {
        EXPECT_EQ(TessaroReadingFree(recorder.reading), 0);
        recorder.reading = nullptr;
        Base::TearDown();
    }
    void useRecorder() {
        TessaroReadingDefaults(&options);
        options.onTag = Recorder::onTag;
        options.onStatus = Recorder::onStatus;
        options.onPresence = Recorder::onPresence;
        options.userData = &recorder;
    }
    // OpenUSBPort hands the simulator's first reader port 1.
    void start() { ASSERT_EQ(TessaroReadingStart(1, &options, &recorder.reading), 0); }
    TessaroReadingStats stats() {
        TessaroReadingStats s{};
        TessaroReadingGetStats(recorder.reading, &s);
        return s;
    }
    bool roundsReach(unsigned long long rounds) {
        return eventually([&] { return stats().rounds >= rounds; });
    }
    void stop() { ASSERT_EQ(TessaroReadingStop(recorder.reading), 0); }

    TessaroReadingOptions options{};
    Recorder recorder;
};

// The sample shelf on the installed simulator.
class Reading : public ReadingOn<SimTest> {
protected:
    void SetUp() override {
        SimTest::SetUp();
        char error[200] = "";
        ASSERT_EQ(TessaroSimLoadPopulation(sim, reader, kShelf.c_str(), error, sizeof error),
                  static_cast<int>(shelfGen2Tags().size()) + 2)  // and two 6B tags
            << error;
        useRecorder();
    }
};

}  // namespace tessaro::simtest
