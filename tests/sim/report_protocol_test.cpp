// The reader's end of the report protocol, driven through the simulator's
// transport functions directly: enumeration, poll / read / acknowledge, sync,
// address filtering, busy reports and report splitting.
#include <algorithm>
#include <array>

#include "sim_fixture.h"

namespace tessaro::simtest {
namespace {

using Report = std::array<unsigned char, REPORT_SIZE>;

class ReportTest : public SimBus {
protected:
    void SetUp() override {
        SimBus::SetUp();
        ASSERT_EQ(TessaroSimGetTransport(sim, &t), 0);
        device = t.open(t.context, "sim:0");
        ASSERT_NE(device, nullptr);
    }
    void TearDown() override {
        if (device) t.close(t.context, device);
        SimBus::TearDown();
    }

    int write(const Report &report) { return t.writeReport(t.context, device, report.data(), 50); }
    int control(unsigned char code) { return write(Report{REPORT_ID_CONTROL, code}); }
    int sendFrame(const Bytes &frame) {
        Report report{REPORT_ID_DATA, static_cast<unsigned char>(frame.size())};
        std::copy(frame.begin(), frame.end(), report.begin() + 2);
        return write(report);
    }
    // Poll, read; the report's frame bytes (count byte 1); `got` the read's result.
    Bytes pollAndRead(int &got) {
        control(CTRL_POLL);
        Report report{};
        got = t.readReport(t.context, device, report.data(), 100);
        return Bytes(report.begin() + 2, report.begin() + 2 + std::min<int>(report[1], 62));
    }
    Bytes cycle() {
        int got = 0;
        Bytes bytes = pollAndRead(got);
        EXPECT_EQ(got, REPORT_SIZE);
        control(CTRL_ACK);
        return bytes;
    }
    // Reads reports until one carries bytes (at most `limit` polls).
    Bytes nextAnswerReport(int limit = 100) {
        for (int i = 0; i < limit; ++i) {
            Bytes bytes = cycle();
            if (!bytes.empty()) return bytes;
            t.sleepMs(t.context, 50);
        }
        return {};
    }

    TessaroTransport t{};
    void *device = nullptr;
};

TEST_F(ReportTest, ReadersAreEnumeratedInTheOrderTheyWerePlugged) {
    TessaroSimAddReader(sim);
    char path[32];
    ASSERT_EQ(t.interfacePath(t.context, 0, path, sizeof path), 0);
    EXPECT_STREQ(path, "sim:0");
    ASSERT_EQ(t.interfacePath(t.context, 1, path, sizeof path), 0);
    EXPECT_STREQ(path, "sim:1");
    EXPECT_NE(t.interfacePath(t.context, 2, path, sizeof path), 0);
    EXPECT_NE(t.interfacePath(t.context, 1, path, 4), 0) << "a path that does not fit is refused";

    EXPECT_EQ(t.open(t.context, "/dev/hidraw0"), nullptr);
    EXPECT_EQ(t.open(t.context, "sim:7"), nullptr);
}

TEST_F(ReportTest, TheReaderSendsOnlyWhenPolled) {
    ASSERT_EQ(sendFrame(commandFrame(0x00, 0x21)), REPORT_SIZE);
    Report report{};
    const unsigned before = t.tickMs(t.context);
    EXPECT_EQ(t.readReport(t.context, device, report.data(), 100), 0);
    EXPECT_EQ(t.tickMs(t.context) - before, 100u) << "an unpolled read waits out its wait";

    const Bytes answer = cycle();
    ASSERT_EQ(answer.size(), 18u);
    EXPECT_EQ(CheckCRC(const_cast<unsigned char *>(answer.data()), 18), 0);
    EXPECT_EQ(answer[2], 0x21);
    EXPECT_EQ(answer[3], 0x00);
    EXPECT_TRUE(cycle().empty()) << "after the acknowledgement the reader has nothing more";
}

TEST_F(ReportTest, AReportThatWasNotAcknowledgedComesAgain) {
    sendFrame(commandFrame(0x00, 0x21));
    int got = 0;
    const Bytes first = pollAndRead(got);
    ASSERT_EQ(first.size(), 18u);
    EXPECT_EQ(pollAndRead(got), first);
    control(CTRL_ACK);
    EXPECT_TRUE(cycle().empty());
}

TEST_F(ReportTest, AnswersAreCutIntoReportsAndEveryFrameStartsANewOne) {
    const unsigned char sizes[] = {10, 5};
    ASSERT_EQ(TessaroSimSplitReports(sim, reader, sizes, 2), 0);
    sendFrame(commandFrame(0x00, 0x21));
    const Bytes parts[] = {cycle(), cycle(), cycle()};
    EXPECT_EQ(parts[0].size(), 10u);
    EXPECT_EQ(parts[1].size(), 5u);
    EXPECT_EQ(parts[2].size(), 3u) << "the last size repeats until the frame ends";
    EXPECT_TRUE(cycle().empty());

    const unsigned char tooLarge[] = {63};
    EXPECT_EQ(TessaroSimSplitReports(sim, reader, tooLarge, 1), TESSARO_SIM_ERROR);
    EXPECT_EQ(TessaroSimSplitReports(sim, reader, nullptr, 0), 0);
}

TEST_F(ReportTest, SyncDropsWhatIsLeftOfAnAnswer) {
    const unsigned char sizes[] = {10};
    TessaroSimSplitReports(sim, reader, sizes, 1);
    sendFrame(commandFrame(0x00, 0x21));
    EXPECT_EQ(cycle().size(), 10u);
    control(CTRL_SYNC);
    EXPECT_TRUE(cycle().empty());
    EXPECT_EQ(counters().syncs, 1);
}

TEST_F(ReportTest, FramesThatAreDamagedOrForAnotherAddressGetNoAnswer) {
    Bytes damaged = commandFrame(0x00, 0x21);
    damaged[3] ^= 0x01;
    const Bytes cases[] = {
        commandFrame(0x05, 0x21),            // another reader's address
        damaged,                             // CRC does not hold
        Bytes{0x05, 0x00, 0x21, 0xD9, 0x6A}, // Len disagrees with the bytes sent
    };
    for (const Bytes &frame : cases) {
        sendFrame(frame);
        EXPECT_TRUE(cycle().empty()) << hexOf(frame.data(), static_cast<int>(frame.size()));
    }
    sendFrame(commandFrame(0xFF, 0x21));
    const Bytes answer = cycle();
    ASSERT_EQ(answer.size(), 18u) << "broadcast reaches every reader";
    EXPECT_EQ(answer[1], 0x00) << "the answer carries the reader's own address";

    EXPECT_EQ(counters().framesIgnored, 3);
    EXPECT_EQ(counters().framesAnswered, 1);
}

TEST_F(ReportTest, UnknownCommandsAndWrongLengthsAreAnsweredWithTheirStatus) {
    sendFrame(commandFrame(0x00, 0x9C));
    EXPECT_EQ(cycle()[3], TESSARO_SIM_STATUS_ILLEGAL);
    sendFrame(commandFrame(0x00, 0x2F, {30, 1}));  // SetRfPower with a stray byte
    EXPECT_EQ(cycle()[3], TESSARO_SIM_STATUS_LENGTH);
    sendFrame(commandFrame(0x00, 0x21, {0}));
    EXPECT_EQ(cycle()[3], TESSARO_SIM_STATUS_LENGTH);
}

TEST_F(ReportTest, WhileAnInventoryRunsPollsGetEmptyBusyReports) {
    addNumberedTags(30);
    control(CTRL_SYNC);
    sendFrame(commandFrame(0x00, 0x01, {4, 0}));
    int got = 0;
    EXPECT_TRUE(pollAndRead(got).empty()) << "nothing is ready the moment the command arrives";
    EXPECT_EQ(got, REPORT_SIZE) << "a busy report is an empty report, not a missing one";
    control(CTRL_ACK);
    const Bytes first = nextAnswerReport();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first[2], 0x01);
    EXPECT_EQ(first[3], TESSARO_SIM_STATUS_MORE_FRAMES) << "30 tags do not fit one frame";
    EXPECT_GT(counters().busyReports, 0);
}

TEST_F(ReportTest, TheLeavingByteOfTheSelfTestModeIsAnsweredWithoutAFrame) {
    sendFrame(commandFrame(0x00, 0x26));
    EXPECT_EQ(cycle()[3], 0x00);
    EXPECT_EQ(state().selfTestMode, 1);

    sendFrame({0xA5});
    const Bytes answer = cycle();
    ASSERT_EQ(answer.size(), 6u);
    EXPECT_EQ(answer[2], 0xA5);
    EXPECT_EQ(state().selfTestMode, 0);
}

}  // namespace
}  // namespace tessaro::simtest
