// A continuous reading gives way to other threads' commands: a series of them
// runs before the next round, and commands without end cannot stop it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "TessaroReading.h"
#include "sim_fixture.h"

namespace tessaro::simtest {
namespace {

// The simulated reader on the real clock: a round takes real time, during
// which the reading's next round and a command wait for the same lock.
class GiveWay : public ::testing::Test {
protected:
    void SetUp() override {
        sim = TessaroSimCreate(TESSARO_SIM_REAL_CLOCK);
        ASSERT_NE(sim, nullptr);
        const int reader = TessaroSimAddReader(sim);
        ASSERT_EQ(TessaroSimAddTag(sim, reader, "gen2 epc=3034257BF7194E40000003E9 userwords=32 antenna=1", nullptr, 0), 0);
        ASSERT_EQ(TessaroSimInstall(sim), 0);
        ASSERT_EQ(OpenUSBPort(&port), 0);
        TessaroReadingOptions options;
        TessaroReadingDefaults(&options);
        options.pauseMs = 0;  // round after round
        ASSERT_EQ(TessaroReadingStart(port, &options, &reading), 0);
        ASSERT_TRUE(roundsReach(1));
    }
    void TearDown() override {
        EXPECT_EQ(TessaroReadingFree(reading), 0);
        TessaroSimDestroy(sim);
    }

    unsigned long long rounds() {
        TessaroReadingStats s{};
        TessaroReadingGetStats(reading, &s);
        return s.rounds;
    }
    bool roundsReach(unsigned long long n) {
        for (int i = 0; i < 20000 && rounds() < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return rounds() >= n;
    }
    int readUserWord() {
        const Bytes epc = hex("3034257BF7194E40000003E9");
        const unsigned char password[4] = {};
        unsigned char data[2];
        int errorCode = 0;
        return ReadData_G2(&address, epc.data(), 6, 3, 0, 1, password, 0, nullptr, 0, nullptr, data, &errorCode,
                           port);
    }

    TessaroSim *sim = nullptr;
    int port = 0;
    unsigned char address = 0;
    TessaroReading *reading = nullptr;
};

TEST_F(GiveWay, ASeriesOfCommandsRunsBetweenTwoRounds) {
    const unsigned long long before = rounds();
    for (int i = 0; i < 10; ++i) ASSERT_EQ(readUserWord(), 0) << "read " << i;
    // The round under way when the series began may end meanwhile; no other.
    EXPECT_LE(rounds() - before, 2u);
    EXPECT_TRUE(roundsReach(rounds() + 1)) << "the reading goes on after them";
}

TEST_F(GiveWay, CommandsWithoutEndDoNotStopTheReading) {
    std::atomic<bool> done{false};
    std::thread busy([&] {
        while (!done) readUserWord();
    });
    const unsigned long long before = rounds();
    const bool roundsRan = roundsReach(before + 2);
    done = true;
    busy.join();
    EXPECT_TRUE(roundsRan);
}

}  // namespace
}  // namespace tessaro::simtest
