// The 6B tag commands against the scripted reader: request bytes, address
// write-back, the tag error code, and answers too short or too long.
#include <gtest/gtest.h>

#include <functional>

#include "reader_fixture.h"

using namespace tessaro::testing;

namespace {

class Iso6b : public ReaderTest {
protected:
    unsigned char address = 0x00;
    unsigned char tagId[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    int errorCode = kUntouchedCount;

    // Runs `call` against an answer of `status` and `data`, from address 0x09.
    int answered(std::uint8_t code, std::uint8_t status, const Bytes &data,
                 const std::function<int()> &call) {
        reader.forget();
        reader.answer(answerFrame(0x09, code, status, data));
        address = 0x00;
        errorCode = kUntouchedCount;
        return call();
    }

    // The six commands, each with the frame it sends from address 0x3A.
    struct Command {
        const char *name;
        std::uint8_t code;
        std::function<int()> call;
        Bytes frame;
        bool writesBackOnlyOnSuccess;
        bool hasErrorCode;
    };
    std::vector<Command> commands() {
        const Bytes id(tagId, tagId + 8);
        return {
            {"InventorySingle_6B", 0x50,
             [this] { return InventorySingle_6B(&address, &leading_, tagData_, port); },
             withCrc(bytes({0x04, 0x3A, 0x50})), false, false},
            // Only the low byte of each int travels.
            {"InventoryMultiple_6B", 0x51,
             [this] {
                 return InventoryMultiple_6B(&address, 0x101, 0x02, 0x2FF, wordData_, &leading_,
                                             tagData_, &tagCount_, port);
             },
             withCrc(joined({bytes({0x0F, 0x3A, 0x51, 0x01, 0x02, 0xFF}), sequence(8, 0x11)})),
             false, false},
            // The memory address goes before the identifier.
            {"ReadData_6B", 0x52,
             [this] { return ReadData_6B(&address, tagId, 0x12, 8, readData_, &errorCode, port); },
             withCrc(joined({bytes({0x0E, 0x3A, 0x52, 0x12}), id, bytes({0x08})})), false, true},
            {"WriteData_6B", 0x53,
             [this] {
                 return WriteData_6B(&address, tagId, 0x12, writeData_, 4, &written_, &errorCode,
                                     port);
             },
             withCrc(joined({bytes({0x11, 0x3A, 0x53, 0x12}), id, sequence(4, 0xA0)})), false,
             true},
            {"CheckLock_6B", 0x54,
             [this] { return CheckLock_6B(&address, tagId, 0x20, &lockState_, &errorCode, port); },
             withCrc(joined({bytes({0x0D, 0x3A, 0x54, 0x20}), id})), true, true},
            {"Lock_6B", 0x55, [this] { return Lock_6B(&address, tagId, 0x120, &errorCode, port); },
             withCrc(joined({bytes({0x0D, 0x3A, 0x55, 0x20}), id})), false, true},
        };
    }

private:
    unsigned char leading_, tagData_[248], lockState_, written_, readData_[8];
    int tagCount_;
    unsigned char wordData_[8] = {0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18};
    unsigned char writeData_[4] = {0xA0, 0xA1, 0xA2, 0xA3};
};

TEST_F(Iso6b, RequestBytesOfEveryCommand) {
    address = 0x3A;
    for (const Command &c : commands()) {
        SCOPED_TRACE(c.name);
        reader.forget();
        EXPECT_EQ(c.call(), ERR_COMM);  // nobody answers
        EXPECT_EQ(reader.frames(), std::vector<Bytes>{c.frame});
        EXPECT_EQ(reader.dialogue().at(0).at(0), REPORT_ID_DATA);  // no control report before it
    }
}

TEST_F(Iso6b, WriteLengthUpTo48FitsOneReportAndAnythingElseIsRefused) {
    unsigned char writeData[300];
    for (int i = 0; i < 300; ++i) writeData[i] = static_cast<unsigned char>(i);
    unsigned char written = kUntouched;
    for (int length : {0, 48}) {
        reader.forget();
        WriteData_6B(&address, tagId, 0, writeData, length, &written, &errorCode, port);
        const Bytes frame = reader.frames().at(0);
        EXPECT_EQ(frame.size(), 14u + length);
        EXPECT_EQ(frame[0], 13 + length);
        EXPECT_EQ(Bytes(frame.begin() + 12, frame.end() - 2), Bytes(writeData, writeData + length));
    }
    // 300 would be 44 in a byte: refused rather than cut.
    for (int length : {49, 300, -1}) {
        SCOPED_TRACE(length);
        reader.forget();
        address = 0x00;
        reader.answer(answerFrame(0x09, 0x53, 0x00));
        EXPECT_EQ(WriteData_6B(&address, tagId, 0, writeData, length, &written, &errorCode, port),
                  ERR_FRAME_TOO_LONG);
        EXPECT_TRUE(reader.sent.empty());
        EXPECT_EQ(address, 0x00);
        EXPECT_EQ(written, kUntouched);
        EXPECT_EQ(errorCode, kUntouchedCount);
        reader.clearInput();
    }
}

// Each command against an accepted answer of every kind of Status, and a
// wrong echo: who writes the address back, and the tag error code.
TEST_F(Iso6b, AddressWriteBackAndTagErrorCode) {
    for (const Command &c : commands()) {
        SCOPED_TRACE(c.name);
        const std::function<int()> &call = c.call;

        EXPECT_EQ(answered(c.code, 0x00, bytes({0x01}), call), 0);
        EXPECT_EQ(address, 0x09);
        EXPECT_EQ(errorCode, c.hasErrorCode ? -1 : kUntouchedCount);

        EXPECT_EQ(answered(c.code, TAG_ERROR, bytes({0x0B}), call), TAG_ERROR);
        EXPECT_EQ(address, c.writesBackOnlyOnSuccess ? 0x00 : 0x09);
        EXPECT_EQ(errorCode, c.hasErrorCode ? 0x0B : kUntouchedCount);

        // A TAG_ERROR answer without the error byte: its CRC is not taken for one.
        EXPECT_EQ(answered(c.code, TAG_ERROR, {}, call), TAG_ERROR);
        EXPECT_EQ(errorCode, c.hasErrorCode ? 0 : kUntouchedCount);

        EXPECT_EQ(answered(c.code, 0x05, bytes({0x01}), call), 0x05);
        EXPECT_EQ(address, c.writesBackOnlyOnSuccess ? 0x00 : 0x09);
        EXPECT_EQ(errorCode, kUntouchedCount);

        // Correct CRC, another command's echo: nothing written.
        EXPECT_EQ(answered(c.code + 1, 0x00, bytes({0x01}), call), ERR_RESPONSE_CMD);
        EXPECT_EQ(address, 0x00);
        EXPECT_EQ(errorCode, kUntouchedCount);
    }
}

TEST_F(Iso6b, ReadDataCopiesWhatTheAnswerCarriesOnSuccessOnly) {
    unsigned char data[8];
    const auto read = [&] { return ReadData_6B(&address, tagId, 0x12, 8, data, &errorCode, port); };
    struct Case {
        const char *name;
        std::uint8_t status;
        Bytes answerData;
        Bytes expected;
    };
    const Bytes untouched(8, kUntouched);
    const Case cases[] = {
        {"full", 0x00, sequence(8, 0xA0), sequence(8, 0xA0)},
        {"longer than asked", 0x00, sequence(10, 0xA0), sequence(8, 0xA0)},
        // Bytes the answer lacks are 0, not its CRC.
        {"short", 0x00, sequence(3, 0xA0), bytes({0xA0, 0xA1, 0xA2, 0, 0, 0, 0, 0})},
        {"no data", 0x00, {}, untouched},
        {"tag error", TAG_ERROR, sequence(8, 0x0B), untouched},
        {"other status", 0x05, sequence(8, 0xA0), untouched},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::fill(std::begin(data), std::end(data), kUntouched);
        EXPECT_EQ(answered(0x52, c.status, c.answerData, read), c.status);
        EXPECT_EQ(Bytes(data, data + 8), c.expected);
    }
}

TEST_F(Iso6b, WrittenLengthComesFromTheRequestOnSuccess) {
    unsigned char writeData[4] = {1, 2, 3, 4};
    unsigned char written = kUntouched;
    const auto write = [&] {
        return WriteData_6B(&address, tagId, 0x12, writeData, 4, &written, &errorCode, port);
    };
    EXPECT_EQ(answered(0x53, TAG_ERROR, bytes({0x03}), write), TAG_ERROR);
    EXPECT_EQ(written, kUntouched);
    EXPECT_EQ(answered(0x53, 0x00, bytes({0x09}), write), 0);  // no count in the answer
    EXPECT_EQ(written, 4);
    EXPECT_EQ(errorCode, -1);
}

TEST_F(Iso6b, CheckLockReportsTheLockStateOnSuccess) {
    unsigned char lockState = kUntouched;
    const auto check = [&] { return CheckLock_6B(&address, tagId, 0x20, &lockState, &errorCode, port); };
    EXPECT_EQ(answered(0x54, TAG_ERROR, bytes({0x01}), check), TAG_ERROR);
    EXPECT_EQ(lockState, kUntouched);
    EXPECT_EQ(answered(0x54, 0x00, bytes({0x01}), check), 0);
    EXPECT_EQ(lockState, 0x01);
    EXPECT_EQ(answered(0x54, 0x00, {}, check), 0);
    EXPECT_EQ(lockState, 0x00);
}

TEST_F(Iso6b, InventorySingleFillsItsOutputsWheneverTheAnswerCarriesData) {
    unsigned char leading, tagData[11];
    const auto inventory = [&] { return InventorySingle_6B(&address, &leading, tagData, port); };
    struct Case {
        const char *name;
        std::uint8_t status;
        Bytes answerData;
        std::uint8_t leading;
        Bytes tagData;  // eleven bytes: the last one must stay untouched
    };
    Bytes full = sequence(11, 0x40);
    Bytes tagBytes(full.begin() + 1, full.end());
    tagBytes.push_back(kUntouched);
    const Case cases[] = {
        {"Len 5", 0x01, {}, kUntouched, Bytes(11, kUntouched)},
        {"full, status 0", 0x00, full, 0x40, tagBytes},
        {"longer", 0x00, sequence(20, 0x40), 0x40, tagBytes},
        // Fewer than eleven data bytes: never the CRC or older bytes.
        {"short", 0xFB, bytes({0x40, 0x41, 0x42}), 0x40,
         bytes({0x41, 0x42, 0, 0, 0, 0, 0, 0, 0, 0, kUntouched})},
        {"leading byte only", 0x00, bytes({0x40}), 0x40, bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, kUntouched})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        leading = kUntouched;
        std::fill(std::begin(tagData), std::end(tagData), kUntouched);
        EXPECT_EQ(answered(0x50, c.status, c.answerData, inventory), c.status);
        EXPECT_EQ(address, 0x09);
        EXPECT_EQ(leading, c.leading);
        EXPECT_EQ(Bytes(tagData, tagData + 11), c.tagData);
    }
}

TEST_F(Iso6b, InventoryMultipleCopiesTheTagBytesTheAnswerCarries) {
    unsigned char wordData[8] = {};
    unsigned char leading;
    unsigned char tagData[64];
    int tagCount;
    const auto inventory = [&] {
        return InventoryMultiple_6B(&address, 0, 0, 0, wordData, &leading, tagData, &tagCount, port);
    };
    struct Case {
        const char *name;
        std::uint8_t status;
        Bytes answerData;
        std::uint8_t leading;
        int tagCount;
        std::size_t tagBytes;
    };
    const Case cases[] = {
        {"Len 5", 0x00, {}, kUntouched, kUntouchedCount, 0},
        // Len - 7 would be -1: nothing copied, and no count the answer lacks.
        {"one data byte", 0x00, bytes({0x40}), 0x40, 0, 0},
        {"two data bytes", 0x01, bytes({0x40, 0x02}), 0x40, 2, 0},
        // The count is the reader's word; the copy follows the answer's length.
        {"three tags, count says one", 0x03, sequence(26, 0x40), 0x40, 0x41, 24},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        leading = kUntouched;
        tagCount = kUntouchedCount;
        std::fill(std::begin(tagData), std::end(tagData), kUntouched);
        EXPECT_EQ(answered(0x51, c.status, c.answerData, inventory), c.status);
        EXPECT_EQ(address, 0x09);
        EXPECT_EQ(leading, c.leading);
        EXPECT_EQ(tagCount, c.tagCount);
        Bytes expected(64, kUntouched);
        std::copy_n(c.answerData.begin() + (c.tagBytes ? 2 : 0), c.tagBytes, expected.begin());
        EXPECT_EQ(Bytes(tagData, tagData + 64), expected);
    }
}

// A faulty reader whose Len byte disagrees with what arrived: the copy is
// bounded by both, so a 248-byte buffer always suffices.
TEST_F(Iso6b, InventoryMultipleTrustsNeitherLenNorTheCollectedCountAlone) {
    unsigned char wordData[8] = {};
    unsigned char leading;
    int tagCount;
    std::vector<unsigned char> tagData(400, kUntouched);
    const auto inventory = [&] {
        return InventoryMultiple_6B(&address, 0, 0, 0, wordData, &leading, tagData.data(), &tagCount,
                                    port);
    };
    struct Case {
        const char *name;
        std::uint8_t len;
        std::size_t dataBytes;  // what actually arrives
        std::size_t copied;
    };
    const Case cases[] = {
        {"Len claims more than arrived", 0x40, 10, 8},
        {"more arrived than Len claims", 0x10, 300, 0x10 - 7},
        {"largest Len, long answer", 0xFF, 400, 248},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes frame = bytes({c.len, 0x09, 0x51, 0x00});
        const Bytes data = sequence(c.dataBytes, 0x10);
        frame.insert(frame.end(), data.begin(), data.end());
        reader.forget();
        reader.answer(withCrc(frame));
        std::fill(tagData.begin(), tagData.end(), kUntouched);
        ASSERT_EQ(inventory(), 0);
        std::vector<unsigned char> expected(400, kUntouched);
        std::copy_n(data.begin() + 2, c.copied, expected.begin());
        EXPECT_EQ(tagData, expected);
    }
}

}  // namespace
