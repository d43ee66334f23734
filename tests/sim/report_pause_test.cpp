// A shorter report pause against the simulated reader: every answer intact,
// and time saved wherever the pauses, not the reader's own work, are the cost.
#include <string>
#include <vector>

#include "TessaroTiming.h"
#include "sim_fixture.h"

namespace tessaro::simtest {
namespace {

constexpr int kTags = 200;
// The simulated reader's own inventory time: 20 ms before the first tag,
// then 4 ms per tag (docs/simulator.md).
constexpr unsigned kScanMs = 20 + 4 * kTags;

class ReportPause : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        addNumberedTags(kTags);
    }
    void TearDown() override {
        TessaroSetReportPause(TESSARO_REPORT_PAUSE_DEFAULT_MS);
        SimTest::TearDown();
    }

    static std::vector<std::string> numberedEpcs() {
        std::vector<std::string> out;
        for (int i = 0; i < kTags; ++i) out.push_back(numberedEpc(i));
        return out;
    }

    // Virtual milliseconds an inventory takes at `pauseMs`; every tag must come back.
    unsigned inventoryMs(unsigned pauseMs) {
        EXPECT_EQ(TessaroSetReportPause(pauseMs), 0);
        Inventory result;
        const unsigned took = elapsedMs([&] { result = inventory(); });
        EXPECT_EQ(result.result, TESSARO_SIM_STATUS_INVENTORY_DONE) << "pause " << pauseMs;
        EXPECT_EQ(result.tagCount, kTags) << "pause " << pauseMs;
        EXPECT_EQ(result.epcs(), numberedEpcs()) << "pause " << pauseMs;
        return took;
    }

    // Virtual milliseconds a read-out of the reader's tag buffer takes at `pauseMs`.
    unsigned readOutMs(unsigned pauseMs) {
        EXPECT_EQ(TessaroSetReportPause(pauseMs), 0);
        Bytes list(EPC_LIST_MAX_BYTES);
        int total = -1, count = -1;
        int result = -1;
        const unsigned took =
            elapsedMs([&] { result = ReadBuffer_G2(&address, &total, &count, list.data(), port); });
        EXPECT_EQ(result, 1) << "pause " << pauseMs;
        EXPECT_EQ(count, kTags) << "pause " << pauseMs;
        std::vector<std::string> epcs;
        for (const SeenTag &tag : decodeList(list.data(), total)) epcs.push_back(tag.epc);
        EXPECT_EQ(epcs, numberedEpcs()) << "pause " << pauseMs;
        return took;
    }
};

TEST_F(ReportPause, ReadyAnswerComesInATenthOfTheTimeAtATenthOfThePause) {
    int bufferCount = -1, tagCount = -1;
    const unsigned char maskAddress[2] = {0, 0x20}, maskData[1] = {0};
    ASSERT_EQ(InventoryBuffer_G2(&address, 4, 0, 1, maskAddress, 0, maskData, 0, 0, 0, 0, 0, 0, 0,
                                 0, &bufferCount, &tagCount, port),
              0);
    ASSERT_EQ(bufferCount, kTags);

    const unsigned slow = readOutMs(50);
    const unsigned fast = readOutMs(5);
    EXPECT_EQ(fast * 10, slow);
    EXPECT_GE(slow, 2000u) << "dozens of reports";
}

TEST_F(ReportPause, InventoryAtAShortPauseTakesTheReadersScanTimeAndLittleMore) {
    const unsigned slow = inventoryMs(50);
    const unsigned fast = inventoryMs(5);
    // The pause cannot make the reader singulate tags faster: at 5 ms the
    // reports keep up with the scan, and the last frame (five reports) follows
    // it. At 50 ms the reports are the cost.
    EXPECT_GE(fast, kScanMs);
    EXPECT_LE(fast, kScanMs + 5 * 5);
    EXPECT_GT(slow, 3 * fast);
}

TEST_F(ReportPause, NoPauseEndsEvenOnAClockThatOnlyReportsMove) {
    // With no pause, only the reader's busy reports move virtual time on.
    const unsigned took = inventoryMs(0);
    EXPECT_GE(took, kScanMs);
    EXPECT_LE(took, kScanMs + 5);
}

}  // namespace
}  // namespace tessaro::simtest
