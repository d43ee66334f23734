// The common exchange, the frame builder and the acceptance rules, seen from
// inside the library.
#include <gtest/gtest.h>

#include <cstring>

#include "link/process_state.h"
#include "protocol/crc.h"
#include "protocol/exchange.h"
#include "reader_fixture.h"

using namespace tessaro;
using namespace tessaro::protocol;
using namespace tessaro::testing;

namespace {

class Exchange : public ReaderTest {
protected:
    unsigned char address = 0x00;
};

TEST_F(Exchange, FrameBuilderWritesLenAdrCodeDataAndCrc) {
    address = 0x00;
    ASSERT_EQ(transact(CommandFrame(&address, 0x2F).byte(0x1E), port), ERR_COMM);
    EXPECT_EQ(reader.frames().at(0), bytes({0x05, 0x00, 0x2F, 0x1E, 0x72, 0x34}));
    reader.forget();
    ASSERT_EQ(transact(CommandFrame(&address, 0x36), port), ERR_COMM);
    EXPECT_EQ(reader.frames().at(0), bytes({0x04, 0x00, 0x36, 0xE7, 0x0E}));
}

TEST_F(Exchange, MaskBlockCarriesCeilOfLengthOver8Bytes) {
    const unsigned char maskAddress[2] = {0x12, 0x34};
    unsigned char maskData[40];
    for (int i = 0; i < 40; ++i) maskData[i] = static_cast<unsigned char>(0xA0 + i);
    struct Case {
        int maskLength;
        size_t maskBytes;
    };
    for (Case c : {Case{0, 0}, Case{1, 1}, Case{8, 1}, Case{9, 2}, Case{12, 2}, Case{16, 2},
                   Case{17, 3}, Case{96, 12}, Case{249, 32}, Case{255, 32}, Case{0x108, 1}}) {
        reader.forget();
        transact(CommandFrame(&address, 0x3B).maskBlock(1, maskAddress, c.maskLength, maskData), port);
        const Bytes frame = reader.frames().at(0);
        ASSERT_EQ(frame.size(), 9 + c.maskBytes) << c.maskLength;
        EXPECT_EQ(frame[0], 8 + c.maskBytes);
        EXPECT_EQ(Bytes(frame.begin() + 3, frame.begin() + 7),
                  bytes({0x01, 0x12, 0x34, c.maskLength & 0xFF}));
        EXPECT_EQ(Bytes(frame.begin() + 7, frame.end() - 2), Bytes(maskData, maskData + c.maskBytes));
    }
}

TEST_F(Exchange, FrameLongerThanOneReportIsNeverSent) {
    unsigned char data[100] = {};
    EXPECT_EQ(transact(CommandFrame(&address, 0x03).bytes(data, 57), port), ERR_COMM);  // 62 bytes: sent
    reader.forget();
    EXPECT_EQ(transact(CommandFrame(&address, 0x03).bytes(data, 58), port), ERR_FRAME_TOO_LONG);
    EXPECT_EQ(transact(CommandFrame(&address, 0x03).bytes(data, 100), port), ERR_FRAME_TOO_LONG);
    EXPECT_TRUE(reader.sent.empty());
}

TEST_F(Exchange, CrcIsCheckedBeforeTheEcho) {
    // A length-ended collection takes the frame by its Len byte, so a damaged
    // CRC reaches the check.
    Bytes damaged = answerFrame(0x00, 0x99, 0x00, bytes({1, 2, 3, 4}));
    damaged.back() ^= 0xFF;
    reader.answer(damaged);
    CommandFrame frame(&address, 0x18);
    ASSERT_EQ(exchange(frame, port, {Collect::LengthEnded}), 0);
    EXPECT_EQ(checkAnswer(0x18), ERR_CRC);
    reader.answer(answerFrame(0x00, 0x99, 0x00, bytes({1, 2, 3, 4})));
    CommandFrame again(&address, 0x18);
    ASSERT_EQ(exchange(again, port, {Collect::LengthEnded}), 0);
    EXPECT_EQ(checkAnswer(0x18), ERR_RESPONSE_CMD);
    EXPECT_EQ(checkAnswer(0x18, Echo::Ignore), 0);
}

TEST_F(Exchange, SyncReportGoesFirstAndItsFailureSendsNothingElse) {
    reader.answer(answerFrame(0x00, 0x72, 0x01, bytes({0})));
    CommandFrame frame(&address, 0x72);
    EXPECT_EQ(exchange(frame, port, {Collect::BufferStream, true}), 0);
    EXPECT_EQ(reader.dialogue().at(0), bytes({0x03, CTRL_SYNC}));
    EXPECT_EQ(reader.dialogue().at(1).at(0), REPORT_ID_DATA);

    reader.forget();
    reader.failWrite = [](const Report &r) { return r[0] == REPORT_ID_CONTROL && r[1] == CTRL_SYNC; };
    CommandFrame refused(&address, 0x72);
    EXPECT_EQ(exchange(refused, port, {Collect::BufferStream, true}), ERR_COMM);
    EXPECT_TRUE(reader.sent.empty());
    EXPECT_EQ(processState().inventoryInProgress, 0);
}

TEST_F(Exchange, ResponseBufferIsClearedBeforeEachExchange) {
    std::memset(processState().response, 0xEE, RESPONSE_BUFFER_SIZE);
    reader.answer(answerFrame(0x00, 0x2F, 0x00));
    ASSERT_EQ(transact(CommandFrame(&address, 0x2F), port), 0);
    EXPECT_EQ(processState().response[6], 0);
    EXPECT_EQ(processState().response[4999], 0);
    EXPECT_EQ(processState().response[5000], 0xEE);  // single answers clear 5000 bytes
    const Answer answer;
    EXPECT_EQ(answer.data(100), 0);
    EXPECT_EQ(answer.data(RESPONSE_BUFFER_SIZE), 0);  // past the buffer: nothing is read
}

// --- Inventory time bounds: T = 100 x scan time while the flag is raised ---

class InventoryBounds : public Exchange {
protected:
    void setScanTime(std::uint8_t units) {
        reader.clearInput();
        Bytes info(12, 0x00);
        info[7] = units;
        reader.answer(answerFrame(0x00, 0x21, 0x00, info));
        unsigned char v[2], b[10];
        ASSERT_EQ(GetReaderInformation(&address, v, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &b[6],
                                       &b[7], &b[8], &b[9], port),
                  0);
    }
    unsigned timedExchange(Collect collect, int expected) {
        return bus.elapsedMs([&] {
            CommandFrame frame(&address, 0x01);
            EXPECT_EQ(exchange(frame, port, {collect}), expected);
        });
    }
    void streamNonEndingFrames() {
        reader.answerReports({});
        for (int i = 0; i < 2000; ++i) reader.queue(answerFrame(0x00, 0x01, 0x03, bytes({1, 0})));
    }
};

TEST_F(InventoryBounds, InventoryStreamTakesTwiceTPlus5000) {
    for (std::uint8_t units : {0, 10, 30}) {
        setScanTime(units);
        streamNonEndingFrames();
        EXPECT_NEAR(timedExchange(Collect::InventoryStream, ERR_COMM), 2 * 100 * units + 5000, 50)
            << int(units);
        EXPECT_EQ(processState().inventoryInProgress, 0);
    }
}

TEST_F(InventoryBounds, IdleInventoryStreamGivesUpAfter1000) {
    setScanTime(30);
    EXPECT_NEAR(timedExchange(Collect::InventoryStream, ERR_COMM), 1000, 50);
}

TEST_F(InventoryBounds, LengthEndedTakesTPlus1000) {
    for (std::uint8_t units : {0, 10, 30}) {
        setScanTime(units);
        EXPECT_NEAR(timedExchange(Collect::LengthEnded, ERR_COMM), 100 * units + 1000, 50)
            << int(units);
    }
}

TEST_F(InventoryBounds, BufferStreamIgnoresTheScanTime) {
    setScanTime(30);
    streamNonEndingFrames();
    EXPECT_NEAR(timedExchange(Collect::BufferStream, ERR_COMM), 10000, 50);
}

}  // namespace
