// The three streamed collectors: end tests, time bounds and byte bounds.
#include <gtest/gtest.h>

#include <cstring>

#include "reader_fixture.h"

using namespace tessaro::testing;

namespace {

// An inventory answer frame: Len, Adr, reCmd 0x01, Status, Antenna, Count,
// EPC-ID data, CRC.
Bytes inventoryFrame(std::uint8_t status, const Bytes &epcData = {}) {
    Bytes data = {0x01, static_cast<std::uint8_t>(epcData.size() / 4)};
    data.insert(data.end(), epcData.begin(), epcData.end());
    return answerFrame(0x00, 0x01, status, data);
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

class Collectors : public ReaderTest {
protected:
    // Sets the scan time the inventory bounds are derived from (units of 100 ms).
    void readScanTime(std::uint8_t units) {
        Bytes info(12, 0x00);
        info[7] = units;
        reader.answer(answerFrame(0x00, 0x21, 0x00, info));
        unsigned char address = 0, v[2], b[10];
        ASSERT_EQ(GetReaderInformation(&address, v, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &b[6],
                                       &b[7], &b[8], &b[9], port),
                  0);
    }
    // Collects with `collector`, reporting the virtual time it took.
    unsigned timed(int (*collector)(unsigned char *, int *, int), int expected) {
        return bus.elapsedMs([&] { EXPECT_EQ(collector(response, &length, port), expected); });
    }

    unsigned char response[RESPONSE_BUFFER_SIZE] = {};
    int length = -1;
};

// --- GetInventoryDataFromPort1 -------------------------------------------

TEST_F(Collectors, InventoryFramesInSeparateReports) {
    const Bytes first = inventoryFrame(0x03, Bytes(8, 0xE1));
    const Bytes last = inventoryFrame(0x01, Bytes(4, 0xE2));
    reader.queue(first);
    reader.queue(last);
    EXPECT_EQ(GetInventoryDataFromPort1(response, &length, port), 0);
    EXPECT_EQ(Bytes(response, response + length), join({first, last}));
}

TEST_F(Collectors, InventoryFramesInOneReport) {
    const Bytes both = join({inventoryFrame(0x03, Bytes(8, 0xE1)), inventoryFrame(0x01)});
    reader.queue(both);
    EXPECT_EQ(GetInventoryDataFromPort1(response, &length, port), 0);
    EXPECT_EQ(Bytes(response, response + length), both);
}

TEST_F(Collectors, InventoryFrameSplitAcrossReports) {
    const Bytes stream = join({inventoryFrame(0x03, Bytes(40, 0xE1)), inventoryFrame(0x02, Bytes(40, 0xE2))});
    for (size_t at = 0; at < stream.size(); at += 7)
        reader.queue(Bytes(stream.begin() + static_cast<long>(at),
                           stream.begin() + static_cast<long>(std::min(stream.size(), at + 7))));
    EXPECT_EQ(GetInventoryDataFromPort1(response, &length, port), 0);
    EXPECT_EQ(length, static_cast<int>(stream.size()));
}

TEST_F(Collectors, EveryEndStatusEndsAnInventoryAndNoOtherDoes) {
    for (int status = 0; status < 256; ++status) {
        const bool ends = status == 1 || status == 2 || status == 0xF8 || status == 0xF9 ||
                          status == 0xFB || status == 0xFD || status == 0xFE || status == 0xFF;
        reader.queue(inventoryFrame(static_cast<std::uint8_t>(status)));
        EXPECT_EQ(GetInventoryDataFromPort1(response, &length, port), ends ? 0 : ERR_COMM) << status;
    }
}

TEST_F(Collectors, InventoryEndFrameFollowedByStrayBytes) {
    reader.queue(join({inventoryFrame(0x01), bytes({0x00, 0x00})}));
    EXPECT_EQ(GetInventoryDataFromPort1(response, &length, port), 0);
    reader.queue(join({inventoryFrame(0x01), bytes({0x00, 0x07})}));
    EXPECT_EQ(GetInventoryDataFromPort1(response, &length, port), ERR_COMM);
}

TEST_F(Collectors, InventoryTimeBounds) {
    // Nothing arrives: 1000 ms whatever the scan time.
    EXPECT_NEAR(timed(GetInventoryDataFromPort1, ERR_COMM), 1000, 50);
    EXPECT_EQ(length, 0);

    // Frames that never end: 2 x T + 5000 with T = 1000 ms while no inventory
    // is in progress (the exported collector called directly).
    for (int i = 0; i < 400; ++i) reader.queue(inventoryFrame(0x03));
    EXPECT_NEAR(timed(GetInventoryDataFromPort1, ERR_COMM), 7000, 50);
}

TEST_F(Collectors, GatheredBytesStayInTheResponseBufferAfterFailure) {
    const Bytes first = inventoryFrame(0x03, Bytes(4, 0xE1));
    reader.queue(first);
    unsigned char elsewhere[RESPONSE_BUFFER_SIZE];
    std::memset(elsewhere, 0xCC, sizeof elsewhere);
    EXPECT_EQ(GetInventoryDataFromPort1(elsewhere, &length, port), ERR_COMM);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(elsewhere[0], 0xCC);  // nothing copied to the destination
}

TEST_F(Collectors, InventoryStreamLongerThanTheResponseBuffer) {
    bus.frozen = true;
    for (int i = 0; i < 200; ++i) reader.queue(inventoryFrame(0x03, Bytes(48, 0xE1)));
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

// --- GetBufferDataFromPort -----------------------------------------------

Bytes readoutFrame(std::uint8_t status, const Bytes &records = {}) {
    Bytes data = {static_cast<std::uint8_t>(records.size() / 4)};
    data.insert(data.end(), records.begin(), records.end());
    return answerFrame(0x00, 0x72, status, data);
}

TEST_F(Collectors, BufferReadOutEndsOnAStatusOneFrameAtTheEnd) {
    const Bytes stream = join({readoutFrame(3, Bytes(8, 1)), readoutFrame(3, Bytes(4, 2)), readoutFrame(1)});
    reader.queue(stream);
    EXPECT_EQ(GetBufferDataFromPort(response, &length, port), 0);
    EXPECT_EQ(Bytes(response, response + length), stream);
}

TEST_F(Collectors, BufferReadOutStatusOneFollowedByMoreDoesNotEnd) {
    reader.queue(join({readoutFrame(1), readoutFrame(3)}));
    EXPECT_NEAR(timed(GetBufferDataFromPort, ERR_COMM), 10000, 50);
    EXPECT_GT(length, 0);
}

TEST_F(Collectors, BufferReadOutIdleStart) {
    EXPECT_NEAR(timed(GetBufferDataFromPort, ERR_COMM), 1000, 50);
    EXPECT_EQ(length, 0);
}

TEST_F(Collectors, BufferReadOutBeyondTheResponseBuffer) {
    // Far beyond 20000 bytes on a clock that does not move: refused once the
    // 6000-byte response buffer is full, nothing written past it.
    bus.frozen = true;
    for (int i = 0; i < 400; ++i) reader.queue(Bytes(62, 0x11));
    EXPECT_EQ(GetBufferDataFromPort(response, &length, port), ERR_COMM);
    EXPECT_EQ(length, 96 * 62);
}

// --- GetDataFromPort_buff ------------------------------------------------

TEST_F(Collectors, LengthEndedAnswerCompletesByItsLenByte) {
    Bytes frame(18, 0x5A);
    frame[0] = 0x11;
    reader.queue(Bytes(frame.begin(), frame.begin() + 9));
    reader.queue(Bytes(frame.begin() + 9, frame.end()));
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

TEST_F(Collectors, LengthEndedHasNoIdleRule) {
    EXPECT_NEAR(timed(GetDataFromPort_buff, ERR_COMM), 2000, 50);
}

TEST_F(Collectors, WithoutAnInventoryInProgressTheScanTimeDoesNotCount) {
    // Called directly, with no inventory in progress, the collectors use
    // T = 1000 ms whatever the scan time (the stretched bounds are tested
    // through the exchange that raises the flag).
    readScanTime(30);
    for (int i = 0; i < 400; ++i) reader.queue(inventoryFrame(0x03));
    EXPECT_NEAR(timed(GetInventoryDataFromPort1, ERR_COMM), 7000, 50);
    reader.clearInput();
    EXPECT_NEAR(timed(GetDataFromPort_buff, ERR_COMM), 2000, 50);
}

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

TEST_F(Collectors, MissingReportsCountAsEmpty) {
    reader.timeoutReads = 3;
    reader.queue(inventoryFrame(0x01));
    EXPECT_EQ(GetInventoryDataFromPort1(response, &length, port), 0);
}

}  // namespace
