#include <gtest/gtest.h>

#include "reader_fixture.h"

using namespace tessaro::testing;

namespace {

using ReportTransfer = ReaderTest;

TEST_F(ReportTransfer, ControlAndDataReports) {
    struct Case {
        Bytes data;
        Bytes expectedStart;  // the rest of the report is zero
    };
    const Case cases[] = {
        {bytes({0x03, 0x0F}), bytes({0x03, 0x0F})},
        {bytes({0x03, 0xA0}), bytes({0x03, 0xA0})},
        {bytes({0x03, 0x21}), bytes({0x03, 0x21})},
        {bytes({0x04, 0x00, 0x21, 0xD9, 0x6A}), bytes({0x02, 0x05, 0x04, 0x00, 0x21, 0xD9, 0x6A})},
        // 03 followed by something that is no control code: a data report.
        {bytes({0x03, 0x02}), bytes({0x02, 0x02, 0x03, 0x02})},
        // A single 03 byte: too short to be a control report.
        {bytes({0x03}), bytes({0x02, 0x01, 0x03})},
        {bytes({0xA5}), bytes({0x02, 0x01, 0xA5})},
    };
    for (const Case &c : cases) {
        reader.forget();
        Bytes data = c.data;
        EXPECT_EQ(SendDataToPort(data.data(), static_cast<unsigned>(data.size()), port), 1);
        ASSERT_EQ(reader.sent.size(), 1u);
        const Report &r = reader.sent[0];
        EXPECT_EQ(Bytes(r.begin(), r.begin() + static_cast<long>(c.expectedStart.size())),
                  c.expectedStart);
        EXPECT_TRUE(allAre(r.data() + c.expectedStart.size(), r.size() - c.expectedStart.size(), 0));
    }
}

TEST_F(ReportTransfer, DataBeyondOneReportIsRefused) {
    Bytes frame(62, 0x11);
    EXPECT_EQ(SendDataToPort(frame.data(), 62, port), 1);
    frame.push_back(0x11);
    EXPECT_EQ(SendDataToPort(frame.data(), 63, port), 0);
    EXPECT_EQ(reader.sent.size(), 1u);
}

TEST_F(ReportTransfer, FailedWriteAndClosedPort) {
    Bytes control = bytes({0x03, 0x0A});
    reader.failWrite = [](const Report &) { return true; };
    EXPECT_EQ(SendDataToPort(control.data(), 2, port), 0);
    reader.failWrite = nullptr;
    ASSERT_EQ(CloseUSBPort(port), 0);
    EXPECT_EQ(SendDataToPort(control.data(), 2, port), 0);
    EXPECT_TRUE(reader.sent.empty());
}

class SingleAnswer : public ReaderTest {
protected:
    unsigned char response[RESPONSE_BUFFER_SIZE] = {};
    int length = 0;
};

TEST_F(SingleAnswer, BytesAfterTheCrcCompleteOnlyWhenTheyAreZeros) {
    // Zeros keep the residue at 0: complete at once, and counted.
    reader.queue(joined({answerFrame(0x00, 0x21, 0x00), Bytes(4, 0x00)}));
    EXPECT_EQ(GetDataFromPort(response, &length, port), 0);
    EXPECT_EQ(length, 10);
    reader.queue(joined({answerFrame(0x00, 0x21, 0x00), bytes({0x07})}));
    EXPECT_EQ(GetDataFromPort(response, &length, port), ERR_COMM);
}

TEST_F(SingleAnswer, EmptyReportsHoldUntilTheTimeRule) {
    // The bound depends on what the caller's length variable holds: 1000 ms
    // while it is 0, 2000 ms otherwise.
    for (int previous : {0, 18}) {
        length = previous;
        const unsigned spent = bus.elapsedMs([&] { EXPECT_EQ(GetDataFromPort(response, &length, port), ERR_COMM); });
        const unsigned bound = previous == 0 ? 1000u : 2000u;
        EXPECT_GT(spent, bound) << previous;
        EXPECT_LE(spent, bound + 50) << previous;
        EXPECT_EQ(length, previous);
    }
}

TEST_F(SingleAnswer, AReportThatDoesNotComeEndsTheExchange) {
    response[0] = 0x77;
    reader.timeoutReads = 1;
    const unsigned spent = bus.elapsedMs([&] { EXPECT_EQ(GetDataFromPort(response, &length, port), ERR_COMM); });
    EXPECT_EQ(spent, 150u);  // one read wait and one pause
    EXPECT_EQ(response[0], 0);
}

TEST_F(SingleAnswer, FailedPollOrAckEndsTheExchange) {
    for (std::uint8_t code : {CTRL_POLL, CTRL_ACK}) {
        reader.failWrite = [code](const Report &r) { return r[0] == REPORT_ID_CONTROL && r[1] == code; };
        reader.queue(answerFrame(0x00, 0x21, 0x00));
        response[0] = 0x77;
        EXPECT_EQ(GetDataFromPort(response, &length, port), ERR_COMM);
        EXPECT_EQ(response[0], 0x77);
    }
}

TEST_F(SingleAnswer, ReportClaimingMoreThan62BytesIsRefused) {
    Report lying = inputReport(answerFrame(0x00, 0x21, 0x00));
    lying[1] = 0xFF;
    reader.queue(lying);
    EXPECT_EQ(GetDataFromPort(response, &length, port), ERR_COMM);
    EXPECT_EQ(length, 0);
}

TEST_F(SingleAnswer, AnAnswerLongerThanTheBufferIsRefused) {
    // With a clock that never moves only the buffer bound can end a stream of
    // reports that never closes the CRC.
    bus.frozen = true;
    for (int i = 0; i < 120; ++i) reader.queue(Bytes(62, 0x5A));
    EXPECT_EQ(GetDataFromPort(response, &length, port), ERR_COMM);
    EXPECT_EQ(reader.controls().size(), 2u * 97);  // 96 reports fit, the 97th does not
}

TEST(SingleAnswerClock, ATickCounterThatWrapsDoesNoHarm) {
    FakeBus bus(0xFFFFFF00u);  // wraps 256 ms into the exchange
    FakeDevice &reader = bus.addReader();
    bus.install();
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    unsigned char response[RESPONSE_BUFFER_SIZE];
    int length = 0;
    // An answer that arrives after the wrap is still taken.
    for (int i = 0; i < 8; ++i) reader.queue(Bytes{});
    reader.queue(answerFrame(0x00, 0x21, 0x00));
    EXPECT_EQ(GetDataFromPort(response, &length, port), 0);
    EXPECT_LT(bus.nowMs(), 0x1000u);
    // Idle across a wrap: still ends after about 1000 ms, not at once, not never.
    FakeBus late(0xFFFFFE00u);
    late.addReader();
    late.install();
    ASSERT_EQ(OpenUSBPort(&port), 0);
    length = 0;
    const unsigned spent = late.elapsedMs([&] { EXPECT_EQ(GetDataFromPort(response, &length, port), ERR_COMM); });
    EXPECT_GT(spent, 1000u);
    EXPECT_LE(spent, 1050u);
}

}  // namespace
