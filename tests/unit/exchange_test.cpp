// The common exchange and the frame builder, seen from inside the library.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

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
    noteWritten(processState().response, RESPONSE_BUFFER_SIZE);
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

// Clearing the response buffer touches only what earlier collections wrote;
// what is left in it after each exchange must be what clearing all of it
// leaves. The same exchanges run twice, once with every byte marked as
// written before each step (a full clear), and both buffers must agree.
TEST(ResponseClearing, LeavesTheBufferAsAFullClearWould) {
    auto run = [](bool fullClear) {
        FakeBus bus;
        FakeDevice &reader = bus.addReader();
        bus.install();
        int port = 0;
        EXPECT_EQ(OpenUSBPort(&port), 0);
        unsigned char address = 0x00;
        Bytes longStream, readOut;
        for (int i = 0; i < 22; ++i) longStream = joined({longStream, inventoryFrame(0x03, 1, 1, sequence(240, i))});
        longStream = joined({longStream, inventoryFrame(0x01, 1, 1, sequence(40, 9))});  // 5700 bytes
        for (int i = 0; i < 12; ++i) readOut = joined({readOut, readOutFrame(i < 11 ? 0x03 : 0x01, 1, sequence(240, i))});
        const Bytes shortAnswer = answerFrame(0x00, 0x2F, 0x00, bytes({1, 2}));

        const std::function<void()> steps[] = {
            [&] { reader.answer(shortAnswer); exchange(CommandFrame(&address, 0x2F), port); },
            // A read-out collected straight into the caller's own buffer still
            // passes through the response buffer.
            [&] {
                static unsigned char mine[RESPONSE_BUFFER_SIZE];
                int length = 0;
                reader.queueSplit(readOut);
                GetBufferDataFromPort(mine, &length, port);
            },
            [&] { reader.answer(shortAnswer); exchange(CommandFrame(&address, 0x2F), port); },
            [&] { reader.answer(longStream); exchange(CommandFrame(&address, 0x01), port, {Collect::InventoryStream}); },
            [&] { reader.answer(shortAnswer); exchange(CommandFrame(&address, 0x2F), port); },
            [&] { reader.answer(answerFrame(0x00, 0x18, 0x00, sequence(10, 3))); exchange(CommandFrame(&address, 0x18), port, {Collect::LengthEnded}); },
            [&] { exchange(CommandFrame(&address, 0x2F), port); },  // no answer
            [&] { reader.answer(readOut, {30}); exchange(CommandFrame(&address, 0x72), port, {Collect::BufferStream}); },
            [&] { reader.answer(shortAnswer); exchange(CommandFrame(&address, 0x2F), port); },
        };
        std::vector<Bytes> after;
        for (const auto &step : steps) {
            if (fullClear) noteWritten(processState().response, RESPONSE_BUFFER_SIZE);
            step();
            after.emplace_back(processState().response, processState().response + RESPONSE_BUFFER_SIZE);
        }
        return after;
    };
    const std::vector<Bytes> tracked = run(false), full = run(true);
    ASSERT_EQ(tracked.size(), full.size());
    for (std::size_t i = 0; i < tracked.size(); ++i) EXPECT_TRUE(tracked[i] == full[i]) << "after step " << i;
}
