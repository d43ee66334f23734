// The common exchange and the frame builder, seen from inside the library.
#include <gtest/gtest.h>

#include <cstring>

#include "link/process_state.h"
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
    reader.answer(readOutFrame(0x01, 0));
    CommandFrame frame(&address, 0x72);
    EXPECT_EQ(exchange(frame, port, {Collect::BufferStream, true}), 0);
    EXPECT_EQ(reader.dialogue().at(0), bytes({0x03, CTRL_SYNC}));
    EXPECT_EQ(reader.dialogue().at(1).at(0), REPORT_ID_DATA);

    // The inventory flag, raised for an inventory, comes down again.
    reader.forget();
    reader.failWrite = isSyncReport;
    CommandFrame refused(&address, 0x01);
    EXPECT_EQ(exchange(refused, port, {Collect::InventoryStream, true}), ERR_COMM);
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

}  // namespace
