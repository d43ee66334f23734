// Continuous reading of the simulated shelf: tag callbacks, hot-plug, stop
// from a callback, other threads' commands, presence and de-duplication.
#include <gtest/gtest.h>

#include <set>

#include "reading_fixture.h"

namespace tessaro::simtest {
namespace {

class ReadingModes : public Reading, public ::testing::WithParamInterface<int> {};

TEST_P(ReadingModes, EveryShelfTagIsReadInEveryRound) {
    options.mode = GetParam();
    start();
    ASSERT_TRUE(roundsReach(4));
    ASSERT_EQ(TessaroReadingStop(recorder.reading), 0);

    const auto shelf = shelfGen2Tags();
    std::map<std::string, std::set<unsigned long long>> rounds;
    for (const Read &read : recorder.reads) {
        ASSERT_EQ(shelf.count(read.epc), 1u) << read.epc;
        EXPECT_EQ(read.antenna, shelf.at(read.epc)) << read.epc;
        rounds[read.epc].insert(read.round);
    }
    EXPECT_EQ(rounds.size(), shelf.size());
    const unsigned long long completed = stats().rounds - 1;  // the last may have been cut short
    for (const auto &[epc, seen] : rounds)
        for (unsigned long long round = 1; round <= completed; ++round)
            EXPECT_EQ(seen.count(round), 1u) << epc << " in round " << round;
    EXPECT_EQ(stats().running, 0);
}

INSTANTIATE_TEST_SUITE_P(, ReadingModes,
                         ::testing::Values(TESSARO_READING_INVENTORY, TESSARO_READING_FAST,
                                           TESSARO_READING_BUFFERED));

TEST_F(Reading, UnpluggedReaderIsLostThenBackAndReadingGoesOn) {
    options.retryIntervalMs = 500;
    start();
    ASSERT_TRUE(roundsReach(2));
    ASSERT_EQ(TessaroSimSetPlugged(sim, reader, 0), 0);
    ASSERT_TRUE(eventually([&] { return stats().readerLost == 1; }));
    // A command from another thread meanwhile gets a clear refusal.
    unsigned char power = 0;
    EXPECT_EQ(GetSaveLen(&address, &power, port), ERR_PORT_CLOSED);
    const std::size_t readsWhileLost = recorder.holds([](Recorder &r) { return r.reads.size(); });

    ASSERT_EQ(TessaroSimSetPlugged(sim, reader, 1), 0);
    ASSERT_TRUE(eventually([&] {
        return recorder.holds([&](Recorder &r) { return r.reads.size() > readsWhileLost + shelfGen2Tags().size(); });
    }));
    ASSERT_EQ(TessaroReadingStop(recorder.reading), 0);
    EXPECT_EQ(recorder.statuses, (std::vector<int>{TESSARO_READING_LOST, TESSARO_READING_BACK}));
    EXPECT_EQ(stats().lost, 1u);
    EXPECT_EQ(stats().readerLost, 0);
    EXPECT_EQ(GetSaveLen(&address, &power, port), 0);
}

TEST_F(Reading, StopFromInsideACallbackEndsTheReading) {
    recorder.stopAfterReads = 5;
    start();
    ASSERT_TRUE(eventually([&] { return stats().running == 0; }));
    EXPECT_EQ(recorder.freeFromCallback, ERR_PARAMETER);
    EXPECT_EQ(recorder.reads.size(), 5u);
    EXPECT_EQ(recorder.readsAfterStop, 0);
    EXPECT_EQ(TessaroReadingStop(recorder.reading), 0);  // again, from outside
}

TEST_F(Reading, WritesFromAnotherThreadSucceedBetweenRounds) {
    start();
    ASSERT_TRUE(roundsReach(1));
    const Bytes epc = hex("3034257BF7194E40000003E9");
    const unsigned char password[4] = {0, 0, 0, 0};
    for (int value = 1; value <= 5; ++value) {
        const unsigned char word[2] = {0xBE, static_cast<unsigned char>(value)};
        int errorCode = 0;
        ASSERT_EQ(WriteData_G2(&address, epc.data(), 1, 6, 3, 0, word, password, 0, nullptr, 0,
                               nullptr, &errorCode, port),
                  0)
            << "write " << value;
        const unsigned long long rounds = stats().rounds;
        ASSERT_TRUE(roundsReach(rounds + 1));
    }
    EXPECT_EQ(memory(0, TESSARO_SIM_BANK_USER).at(1), 5);
}

TEST_F(Reading, PresenceArrivesAggregatesAndDeparts) {
    options.presence = 1;
    options.departAfterMs = 1000;
    start();
    const auto shelf = shelfGen2Tags();
    auto count = [&](int event, const std::string &epc) {
        return recorder.holds([&](Recorder &r) {
            int n = 0;
            for (const Presence &p : r.presence) n += p.event == event && p.epc == epc;
            return n;
        });
    };
    const std::string moved = "3034257BF7194E40000003E9";
    ASSERT_TRUE(eventually([&] { return count(TESSARO_PRESENCE_ARRIVED, moved) == 1; }));
    ASSERT_EQ(TessaroSimPlaceTag(sim, reader, 0, 0, -41), 0);
    ASSERT_TRUE(eventually([&] { return count(TESSARO_PRESENCE_DEPARTED, moved) == 1; }));
    ASSERT_EQ(TessaroSimPlaceTag(sim, reader, 0, 1, -30), 0);
    ASSERT_TRUE(eventually([&] { return count(TESSARO_PRESENCE_ARRIVED, moved) == 2; }));
    ASSERT_EQ(TessaroReadingStop(recorder.reading), 0);

    // Every shelf tag arrived once; only the moved one departed. Its
    // departure counts the reads made before it and their peak RSSI.
    int readsBefore = 0, peak = -128;
    for (const Read &read : recorder.reads) {
        if (read.epc != moved) continue;
        if (read.rssi == -30) break;
        ++readsBefore;
        peak = std::max(peak, read.rssi);
    }
    int departures = 0;
    for (const Presence &p : recorder.presence) {
        if (p.event == TESSARO_PRESENCE_ARRIVED) {
            EXPECT_EQ(p.reads, 1);
        }
        if (p.event != TESSARO_PRESENCE_DEPARTED) continue;
        ++departures;
        EXPECT_EQ(p.epc, moved);
        EXPECT_EQ(p.reads, readsBefore);
        EXPECT_EQ(p.peakRssi, peak);
    }
    EXPECT_EQ(departures, 1);
    for (const auto &[epc, antenna] : shelf)
        EXPECT_EQ(count(TESSARO_PRESENCE_ARRIVED, epc), epc == moved ? 2 : 1) << epc;
}

TEST_F(Reading, DeduplicationSpacesReportsOfATagByTheWindow) {
    options.pauseMs = 100;
    options.dedupWindowMs = 1000;
    start();
    ASSERT_TRUE(roundsReach(30));
    ASSERT_EQ(TessaroReadingStop(recorder.reading), 0);
    std::map<std::string, std::vector<unsigned long long>> times;
    for (const Read &read : recorder.reads) times[read.epc].push_back(read.at);
    EXPECT_EQ(times.size(), shelfGen2Tags().size());
    for (const auto &[epc, at] : times) {
        EXPECT_GE(at.size(), 2u) << epc;
        for (std::size_t i = 1; i < at.size(); ++i) EXPECT_GE(at[i] - at[i - 1], 1000u) << epc;
    }
    EXPECT_GT(stats().reads, stats().reported);
}

// A reader that refuses every round says so once, not once a round.
TEST_F(Reading, AReaderThatKeepsRefusingIsReportedOnce) {
    options.maskFlag = 1;
    options.maskMem = 9;  // no such bank: the reader answers "parameter"
    options.maskLength = 8;
    start();
    ASSERT_TRUE(roundsReach(5));
    ASSERT_EQ(TessaroReadingStop(recorder.reading), 0);
    EXPECT_EQ(recorder.statuses, std::vector<int>{TESSARO_READING_ERROR});
    EXPECT_EQ(recorder.codes, std::vector<int>{ERR_PARAMETER});
    EXPECT_EQ(recorder.texts, std::vector<std::string>{TessaroReturnCodeText(ERR_PARAMETER)});
    EXPECT_TRUE(recorder.reads.empty());
}

TEST_F(Reading, StartRefusesBadArguments) {
    TessaroReading *reading = nullptr;
    EXPECT_EQ(TessaroReadingStart(0, &options, &reading), ERR_PARAMETER);
    EXPECT_EQ(TessaroReadingStart(MAX_PORTS, &options, &reading), ERR_PARAMETER);
    EXPECT_EQ(TessaroReadingStart(port, nullptr, &reading), ERR_PARAMETER);
    options.mode = 3;
    EXPECT_EQ(TessaroReadingStart(port, &options, &reading), ERR_PARAMETER);
    EXPECT_EQ(reading, nullptr);
}

// TessaroReopenPort finds the slot's own reader again, else a reader no
// other slot holds; never one that another slot holds.
TEST_F(SimTest, ReopenPortFindsTheSlotsReaderAgain) {
    EXPECT_EQ(TessaroReopenPort(0), ERR_PARAMETER);
    EXPECT_EQ(TessaroReopenPort(MAX_PORTS), ERR_PARAMETER);

    unsigned char saveLength = 0;
    ASSERT_EQ(TessaroSimSetPlugged(sim, reader, 0), 0);
    EXPECT_EQ(TessaroReopenPort(port), ERR_COMM);
    EXPECT_EQ(TessaroPortIsOpen(port), 0);
    EXPECT_EQ(GetSaveLen(&address, &saveLength, port), ERR_PORT_CLOSED);
    ASSERT_EQ(TessaroSimSetPlugged(sim, reader, 1), 0);
    EXPECT_EQ(TessaroReopenPort(port), 0);
    EXPECT_EQ(GetSaveLen(&address, &saveLength, port), 0);

    // Port 2 was never opened: it takes the second reader, not the first.
    const int second = TessaroSimAddReader(sim);
    EXPECT_EQ(TessaroPortIsOpen(2), 0);
    ASSERT_EQ(TessaroReopenPort(2), 0);
    EXPECT_EQ(TessaroPortIsOpen(2), 1);
    TessaroSimCounters before{}, after{};
    TessaroSimGetCounters(sim, second, &before);
    EXPECT_EQ(GetSaveLen(&address, &saveLength, 2), 0);
    TessaroSimGetCounters(sim, second, &after);
    EXPECT_EQ(after.framesAnswered, before.framesAnswered + 1);
    EXPECT_EQ(TessaroReopenPort(3), ERR_COMM);  // no reader left that no slot holds
}

}  // namespace
}  // namespace tessaro::simtest
