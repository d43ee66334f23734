// The three streamed collectors: end tests, time bounds and byte bounds.
#include <gtest/gtest.h>

#include <cstring>

#include "link/process_state.h"
#include "protocol/exchange.h"
#include "reader_fixture.h"

using namespace tessaro;
using namespace tessaro::protocol;
using namespace tessaro::testing;

namespace {

class Collectors : public ReaderTest {
protected:
    // Collects with `collector`, reporting the virtual time it took.
    unsigned timed(int (TESSARO_CALL *collector)(unsigned char *, int *, int), int expected) {
        return bus.elapsedMs([&] { EXPECT_EQ(collector(response, &length, port), expected); });
    }
    // The same through the exchange, which raises the inventory flag for the
    // inventory and length-ended collectors.
    unsigned timedExchange(Collect collect, int expected) {
        return bus.elapsedMs([&] {
            unsigned char address = 0x00;
            CommandFrame frame(&address, 0x01);
            EXPECT_EQ(exchange(frame, port, {collect}), expected);
        });
    }

    unsigned char response[RESPONSE_BUFFER_SIZE] = {};
    int length = -1;
};

// --- GetInventoryDataFromPort1 -------------------------------------------

TEST_F(Collectors, InventoryFramesJoinedHoweverTheReportsCutThem) {
    const Bytes first = inventoryFrame(0x03, 1, 2, Bytes(8, 0xE1));
    const Bytes stream = joined({first, inventoryFrame(0x01, 1, 1, Bytes(40, 0xE2))});
    using Split = std::vector<std::size_t>;
    for (const Split &split : {Split{}, Split{first.size()}, Split(10, 7)}) {
        reader.queueSplit(stream, split);
        EXPECT_EQ(GetInventoryDataFromPort1(response, &length, port), 0);
        EXPECT_EQ(Bytes(response, response + length), stream);
    }
}

TEST_F(Collectors, EveryEndStatusEndsAnInventoryAndNoOtherDoes) {
    for (int status = 0; status < 256; ++status) {
        const bool ends = status == 1 || status == 2 || status == 0xF8 || status == 0xF9 ||
                          status == 0xFB || status == 0xFD || status == 0xFE || status == 0xFF;
        reader.queue(inventoryFrame(static_cast<std::uint8_t>(status), 1, 0));
        EXPECT_EQ(GetInventoryDataFromPort1(response, &length, port), ends ? 0 : ERR_COMM) << status;
    }
}

TEST_F(Collectors, InventoryEndFrameFollowedByStrayBytes) {
    reader.queue(joined({inventoryFrame(0x01, 1, 0), bytes({0x00, 0x00})}));
    EXPECT_EQ(GetInventoryDataFromPort1(response, &length, port), 0);
    reader.queue(joined({inventoryFrame(0x01, 1, 0), bytes({0x00, 0x07})}));
    EXPECT_EQ(GetInventoryDataFromPort1(response, &length, port), ERR_COMM);
}

TEST_F(Collectors, GatheredBytesStayInTheResponseBufferAfterFailure) {
    const Bytes first = inventoryFrame(0x03, 1, 1, Bytes(4, 0xE1));
    reader.queue(first);
    unsigned char elsewhere[RESPONSE_BUFFER_SIZE];
    std::memset(elsewhere, 0xCC, sizeof elsewhere);
    EXPECT_EQ(GetInventoryDataFromPort1(elsewhere, &length, port), ERR_COMM);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(elsewhere[0], 0xCC);  // nothing copied to the destination
    EXPECT_EQ(Bytes(processState().response, processState().response + first.size()), first);
}

TEST_F(Collectors, InventoryStreamLongerThanTheResponseBuffer) {
    bus.frozen = true;
    for (int i = 0; i < 200; ++i) reader.queue(inventoryFrame(0x03, 1, 12, Bytes(48, 0xE1)));
    EXPECT_EQ(GetInventoryDataFromPort1(response, &length, port), ERR_COMM);
}

TEST_F(Collectors, DamagedLenBytesCannotHangTheWalk) {
    // Len 0 frames, a Len that runs past everything, garbage: only the time
    // bound ends it.
    reader.queue(bytes({0x00, 0x00, 0x00}));
    reader.queue(bytes({0x02, 0x01, 0x01}));
    reader.queue(Bytes(62, 0xFF));
    EXPECT_NEAR(timed(GetInventoryDataFromPort1, ERR_COMM), 7000, 50);
}

TEST_F(Collectors, MissingReportsCountAsEmpty) {
    reader.timeoutReads = 3;
    reader.queue(inventoryFrame(0x01, 1, 0));
    EXPECT_EQ(GetInventoryDataFromPort1(response, &length, port), 0);
}

// --- GetBufferDataFromPort -----------------------------------------------

TEST_F(Collectors, BufferReadOutEndsOnAStatusOneFrameAtTheEnd) {
    const Bytes stream = joined({readOutFrame(3, 2, Bytes(8, 1)), readOutFrame(3, 1, Bytes(4, 2)),
                                 readOutFrame(1, 0)});
    reader.queue(stream);
    EXPECT_EQ(GetBufferDataFromPort(response, &length, port), 0);
    EXPECT_EQ(Bytes(response, response + length), stream);
}

TEST_F(Collectors, BufferReadOutStatusOneFollowedByMoreDoesNotEnd) {
    reader.queue(joined({readOutFrame(1, 0), readOutFrame(3, 0)}));
    EXPECT_NEAR(timed(GetBufferDataFromPort, ERR_COMM), 10000, 50);
    EXPECT_GT(length, 0);
}

TEST_F(Collectors, BufferReadOutBeyondTheResponseBuffer) {
    // Far beyond 20000 bytes of intact frames on a clock that does not move:
    // refused once the 6000-byte response buffer is full, nothing written past it.
    bus.frozen = true;
    for (int i = 0; i < 400; ++i) reader.queue(readOutFrame(3, 1, Bytes(55, 0x11)));
    EXPECT_EQ(GetBufferDataFromPort(response, &length, port), ERR_COMM);
    EXPECT_EQ(length, 96 * 62);
}

// --- GetDataFromPort_buff ------------------------------------------------

TEST_F(Collectors, LengthEndedAnswerCompletesByItsLenByte) {
    Bytes frame(18, 0x5A);
    frame[0] = 0x11;
    reader.queueSplit(frame, {9});
    EXPECT_EQ(GetDataFromPort_buff(response, &length, port), 0);
    EXPECT_EQ(length, 18);
}

TEST_F(Collectors, LengthEndedAnswerWithTooManyBytesOrAShortLen) {
    Bytes longer(19, 0x00);
    longer[0] = 0x11;
    reader.queue(longer);
    EXPECT_NEAR(timed(GetDataFromPort_buff, ERR_COMM), 2000, 50);
    reader.queue(bytes({0x03, 0x00, 0x00, 0x00}));
    EXPECT_NEAR(timed(GetDataFromPort_buff, ERR_COMM), 2000, 50);
}

// --- All three ------------------------------------------------------------

TEST_F(Collectors, ClosedPortBeforeAnyReport) {
    ASSERT_EQ(CloseUSBPort(port), 0);
    reader.forget();
    for (auto collector : {GetInventoryDataFromPort1, GetBufferDataFromPort, GetDataFromPort_buff}) {
        length = 5;
        EXPECT_EQ(collector(response, &length, port), ERR_PORT_CLOSED);
        EXPECT_EQ(length, 0);
    }
    EXPECT_TRUE(reader.sent.empty());
}

TEST_F(Collectors, AnUnpluggedReaderIsWaitedOutNotSpunThrough) {
    // Every poll fails at once; each still costs the report pause, so the
    // collectors end on their time bounds rather than loop without a pause.
    reader.unplugged = true;
    EXPECT_NEAR(timed(GetInventoryDataFromPort1, ERR_COMM), 1000, 50);
    EXPECT_NEAR(timed(GetBufferDataFromPort, ERR_COMM), 1000, 50);
    EXPECT_NEAR(timed(GetDataFromPort_buff, ERR_COMM), 2000, 50);
}

// --- Time bounds: T = 100 x scan time while the inventory flag is raised,
// 1000 ms otherwise --------------------------------------------------------

TEST_F(Collectors, CalledDirectlyTheyIgnoreTheScanTime) {
    setScanTime(30);
    // Nothing arrives: inventory and buffer streams give up after 1000 ms;
    // the length-ended collector has no such rule and waits T + 1000.
    EXPECT_NEAR(timed(GetInventoryDataFromPort1, ERR_COMM), 1000, 50);
    EXPECT_EQ(length, 0);
    EXPECT_NEAR(timed(GetBufferDataFromPort, ERR_COMM), 1000, 50);
    EXPECT_NEAR(timed(GetDataFromPort_buff, ERR_COMM), 2000, 50);
    // Frames that never end: 2 x T + 5000.
    queueEndlessInventory();
    EXPECT_NEAR(timed(GetInventoryDataFromPort1, ERR_COMM), 7000, 50);
}

TEST_F(Collectors, InventoryStreamTakesTwiceTPlus5000) {
    for (std::uint8_t units : {0, 30}) {
        setScanTime(units);
        queueEndlessInventory();
        EXPECT_NEAR(timedExchange(Collect::InventoryStream, ERR_COMM), 2 * 100 * units + 5000, 50)
            << int(units);
        EXPECT_EQ(processState().inventoryInProgress, 0);
    }
}

TEST_F(Collectors, IdleInventoryStreamGivesUpAfter1000) {
    setScanTime(30);
    EXPECT_NEAR(timedExchange(Collect::InventoryStream, ERR_COMM), 1000, 50);
}

TEST_F(Collectors, LengthEndedTakesTPlus1000) {
    for (std::uint8_t units : {0, 30}) {
        setScanTime(units);
        EXPECT_NEAR(timedExchange(Collect::LengthEnded, ERR_COMM), 100 * units + 1000, 50)
            << int(units);
    }
}

}  // namespace
