// The reader's tag buffer: the buffered inventory, the save length, clearing
// and counting (outputs written whatever the Status), and the read-out walk.
#include <gtest/gtest.h>

#include <cstring>

#include "epc_list_outputs.h"
#include "reader_fixture.h"

using namespace tessaro::testing;

namespace {

const unsigned char kMaskAddress[2] = {0x00, 0x20};
const unsigned char kMaskData[32] = {0xAB, 0xCD, 0xEF};

class Buffer : public ReaderTest {
protected:
    // qValue 4, session 0, mask bank 2 at 00 20 of 12 bits, TID 10 20, target 30 40 50.
    int inventoryBuffer(int flags, int *bufferCount, int *tagCount) {
        return InventoryBuffer_G2(&address, 4, 0, 2, kMaskAddress, 12, kMaskData, flags, 0x10,
                                  0x20, flags, 0x30, 0x40, 0x50, flags, bufferCount, tagCount,
                                  port);
    }
    unsigned char address = 0x00;
};

TEST_F(Buffer, InventoryBufferSendsTheInventoryRequestUnderItsOwnCode) {
    int bufferCount = 0, tagCount = 0;
    inventoryBuffer(1, &bufferCount, &tagCount);
    EXPECT_EQ(reader.frames().at(0),
              withCrc(bytes({0x11, 0x00, 0x18, 0x04, 0x00, 0x02, 0x00, 0x20, 0x0C, 0xAB, 0xCD, 0x10,
                             0x20, 0x30, 0x40, 0x50})));
    EXPECT_EQ(reader.dialogue().at(0).at(0), REPORT_ID_DATA);  // no sync report
}

TEST_F(Buffer, InventoryBufferCountsAreBigEndianWhateverTheStatus) {
    for (std::uint8_t status : {0x00, 0x05}) {
        reader.answer(answerFrame(0x09, 0x18, status, bytes({0x01, 0x2C, 0x00, 0x05})));
        int bufferCount = kUntouchedCount, tagCount = kUntouchedCount;
        EXPECT_EQ(inventoryBuffer(0, &bufferCount, &tagCount), status);
        EXPECT_EQ(bufferCount, 300);
        EXPECT_EQ(tagCount, 5);
        EXPECT_EQ(address, 0x00);
    }
}

TEST_F(Buffer, InventoryBufferFailuresWriteNothing) {
    Bytes damaged = answerFrame(0x09, 0x18, 0x00, bytes({0x01, 0x2C, 0x00, 0x05}));
    damaged.back() ^= 0x01;
    struct Case {
        Bytes answer;
        int result;
    };
    for (const Case &c : {Case{damaged, ERR_CRC},
                          Case{answerFrame(0x09, 0x19, 0x00, bytes({1, 2})), ERR_RESPONSE_CMD},
                          Case{{}, ERR_COMM}}) {
        if (!c.answer.empty()) reader.answer(c.answer);
        int bufferCount = kUntouchedCount, tagCount = kUntouchedCount;
        EXPECT_EQ(inventoryBuffer(0, &bufferCount, &tagCount), c.result);
        EXPECT_EQ(bufferCount, kUntouchedCount);
        EXPECT_EQ(tagCount, kUntouchedCount);
    }
    ASSERT_EQ(CloseUSBPort(port), 0);
    int bufferCount = kUntouchedCount, tagCount = kUntouchedCount;
    EXPECT_EQ(inventoryBuffer(0, &bufferCount, &tagCount), ERR_PORT_CLOSED);
    EXPECT_EQ(bufferCount, kUntouchedCount);
}

TEST_F(Buffer, SingleAnswerCommandsHandOverTheirDataWhateverTheStatus) {
    struct Outputs {
        unsigned char saveLength = kUntouched;
        int bufferCount = kUntouchedCount;
    };
    struct Case {
        const char *name;
        Bytes request;
        int (*run)(unsigned char *, Outputs &, int);
        int expectedSaveLength, expectedBufferCount;  // after an answer with data 01 02
    };
    const Case cases[] = {
        {"SetSaveLen", withCrc(bytes({0x05, 0x00, 0x70, 0x21})),
         [](unsigned char *a, Outputs &, int p) { return SetSaveLen(a, 0x121, p); }, kUntouched,
         kUntouchedCount},
        {"GetSaveLen", withCrc(bytes({0x04, 0x00, 0x71})),
         [](unsigned char *a, Outputs &o, int p) { return GetSaveLen(a, &o.saveLength, p); }, 0x01,
         kUntouchedCount},
        {"ClearBuffer_G2", withCrc(bytes({0x04, 0x00, 0x73})),
         [](unsigned char *a, Outputs &, int p) { return ClearBuffer_G2(a, p); }, kUntouched,
         kUntouchedCount},
        {"GetBufferCnt_G2", withCrc(bytes({0x04, 0x00, 0x74})),
         [](unsigned char *a, Outputs &o, int p) { return GetBufferCnt_G2(a, &o.bufferCount, p); },
         kUntouched, 0x0102},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint8_t code = c.request[2];
        for (std::uint8_t status : {0x00, 0x05}) {
            reader.forget();
            reader.answer(answerFrame(0x09, code, status, bytes({0x01, 0x02})));
            Outputs o;
            EXPECT_EQ(c.run(&address, o, port), status);
            EXPECT_EQ(reader.frames(), std::vector<Bytes>{c.request});
            EXPECT_EQ(o.saveLength, c.expectedSaveLength);
            EXPECT_EQ(o.bufferCount, c.expectedBufferCount);
            EXPECT_EQ(address, 0x00);  // never written back
        }
        for (const Bytes &answer : {answerFrame(0x09, code ^ 0x80, 0x00, bytes({1, 2})), Bytes{}}) {
            if (!answer.empty()) reader.answer(answer);
            Outputs o;
            EXPECT_EQ(c.run(&address, o, port), answer.empty() ? ERR_COMM : ERR_RESPONSE_CMD);
            EXPECT_EQ(o.saveLength, kUntouched);
            EXPECT_EQ(o.bufferCount, kUntouchedCount);
        }
    }
}

TEST_F(Buffer, CountsAShortAnswerLacksRead0) {
    reader.answer(answerFrame(0x09, 0x18, 0x00, bytes({0x01, 0x2C, 0x07})));
    int bufferCount = kUntouchedCount, tagCount = kUntouchedCount;
    EXPECT_EQ(inventoryBuffer(0, &bufferCount, &tagCount), 0);
    EXPECT_EQ(bufferCount, 300);
    EXPECT_EQ(tagCount, 0x0700);

    reader.answer(answerFrame(0x09, 0x71, 0x00));
    unsigned char saveLength = kUntouched;
    EXPECT_EQ(GetSaveLen(&address, &saveLength, port), 0);
    EXPECT_EQ(saveLength, 0);
}

// --- Read-out -------------------------------------------------------------

class ReadOut : public Buffer {
protected:
    using Outputs = EpcListOutputs;
    int readBuffer(Outputs &o) {
        return ReadBuffer_G2(&address, &o.totalLength, &o.tagCount, o.epcList, port);
    }
};

TEST_F(ReadOut, SyncReportThenTheRequest) {
    reader.answer(readOutFrame(0x01, 0));
    Outputs o;
    EXPECT_EQ(readBuffer(o), 1);
    EXPECT_EQ(reader.dialogue().at(0), bytes({0x03, CTRL_SYNC}));
    EXPECT_EQ(reader.frames(), std::vector<Bytes>{withCrc(bytes({0x04, 0x00, 0x72}))});
    EXPECT_EQ(address, 0x00);

    reader.forget();
    reader.failWrite = isSyncReport;
    Outputs refused;
    EXPECT_EQ(readBuffer(refused), ERR_COMM);
    EXPECT_TRUE(reader.sent.empty());
    EXPECT_EQ(refused.totalLength, kUntouchedCount);
    EXPECT_EQ(refused.tagCount, kUntouchedCount);
}

TEST_F(ReadOut, AnAnswerOfAtMostTenBytesMeansAnEmptyBuffer) {
    // One record of three bytes still makes only ten.
    for (const Bytes &answer :
         {readOutFrame(0x01, 0), readOutFrame(0x01, 1, bytes({1, 2, 3}))}) {
        reader.answer(answer);
        Outputs o;
        EXPECT_EQ(readBuffer(o), 1);
        EXPECT_EQ(o.totalLength, 0);
        EXPECT_EQ(o.tagCount, 0);
        EXPECT_TRUE(o.listUntouched());
    }
}

TEST_F(ReadOut, FramesAreJoinedAndCountsSummed) {
    const Bytes stream = joined({readOutFrame(0x03, 2, bytes({0xA1, 0xA2, 0xA3, 0xA4})),
                                 readOutFrame(0x03, 1, bytes({0xB1, 0xB2})),
                                 readOutFrame(0x01, 1, bytes({0xC1}))});
    reader.answer(stream, {4, 13, 2});
    Outputs o;  // tagCount starts at a sentinel: the count must not add to it
    EXPECT_EQ(readBuffer(o), 1);
    o.expectWalked(4, bytes({0xA1, 0xA2, 0xA3, 0xA4, 0xB1, 0xB2, 0xC1}));
}

TEST_F(ReadOut, WalkEndsOnAFrameWithAnotherStatus) {
    reader.answer(joined({readOutFrame(0x03, 2, bytes({0xA1, 0xA2})),
                          readOutFrame(0x02, 5, bytes({0xB1, 0xB2})),
                          readOutFrame(0x01, 1, bytes({0xC1}))}));
    Outputs o;
    EXPECT_EQ(readBuffer(o), 2);
    o.expectWalked(2, bytes({0xA1, 0xA2}));
}

TEST_F(ReadOut, FramesTooShortForACountGiveNothing) {
    // Len 2 (no Status) and Len 5 (Status 3, no Count), then proper frames.
    reader.answer(joined({bytes({0x02, 0xAA, 0xBB}), answerFrame(0x09, 0x72, 0x03),
                          readOutFrame(0x03, 1, bytes({0xB1, 0xB2})),
                          readOutFrame(0x01, 1, bytes({0xC1}))}));
    Outputs o;
    EXPECT_EQ(readBuffer(o), 1);
    o.expectWalked(2, bytes({0xB1, 0xB2, 0xC1}));
}

TEST_F(ReadOut, AnswerLongerThanTheWorkAreasIsRefused) {
    Bytes stream;
    while (stream.size() <= RESPONSE_BUFFER_SIZE)
        stream = joined({stream, readOutFrame(0x03, 1, Bytes(56, 0xA5))});
    reader.answer(joined({stream, readOutFrame(0x01, 0)}));
    Outputs o;
    EXPECT_EQ(readBuffer(o), ERR_COMM);
    EXPECT_EQ(o.totalLength, kUntouchedCount);
    EXPECT_EQ(o.tagCount, kUntouchedCount);
    EXPECT_TRUE(o.listUntouched());
}

}  // namespace
