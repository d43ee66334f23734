// The Gen2 memory, tag-state and security commands: their request bytes in
// EPC selection, mask selection and refusal, and how each maps its answer
// onto `address`, errorCode and its outputs.
#include <gtest/gtest.h>

#include <cstring>

#include "epc_list_outputs.h"
#include "reader_fixture.h"

using namespace tessaro::testing;

namespace {

constexpr unsigned char kAdr = 0x07;
constexpr unsigned char kAnswerAdr = 0x09;

const unsigned char kEpc[62] = {0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA,
                                0xEB, 0xEC, 0xED, 0xEE, 0xEF};
const unsigned char kPassword[4] = {0x11, 0x22, 0x33, 0x44};
const unsigned char kMaskAddress[2] = {0x00, 0x20};
const unsigned char kMaskData[32] = {0xAB, 0xCD, 0xEF, 0x12};
const unsigned char kExtPointer[2] = {0x12, 0x34};
const unsigned char kWriteData[64] = {0xD0, 0xD1};

// The arguments and outputs of one call; outputs start as sentinels. The
// pointers of the selection not in use are null: they must not be read.
struct Call {
    explicit Call(int portIndex, int words = 2) : port(portIndex), epcWords(words) {
        std::memset(data, kUntouched, sizeof data);
        if (words == 255) epc = nullptr;
        else maskAddress = maskData = nullptr;
    }
    int port;
    int epcWords;
    const unsigned char *epc = kEpc;
    const unsigned char *maskAddress = kMaskAddress;
    const unsigned char *maskData = kMaskData;
    unsigned char address = kAdr;
    int errorCode = kUntouchedCount;
    unsigned char data[64];
    unsigned char privacyState = kUntouched;
    unsigned char qtParameter = kUntouched;
};

enum class Output { None, Data, PrivacyState, QtParameter };

struct TagCommand {
    const char *name;
    std::uint8_t code;
    bool selects;     // names its tag by EPC or mask
    Bytes head;       // bytes before the tag
    Bytes fields;     // bytes after the tag, before the mask block
    bool writesBack;  // the answer's address is stored after Status 0
    Output output;
    int (*run)(Call &);
};

// Arguments: memBank 1, wordPointer 2 (or 12 34), wordCount 3, writeWords 1,
// lockTarget 5, lockAction 6, lockParameter 7, easFlag 8, qtParameter 0x80,
// mask: bank 2, address 00 20, 12 bits.
const TagCommand kCommands[] = {
    {"ReadData_G2", 0x02, true, {}, bytes({0x01, 0x02, 0x03, 0x11, 0x22, 0x33, 0x44}), true,
     Output::Data,
     [](Call &c) {
         return ReadData_G2(&c.address, c.epc, c.epcWords, 1, 2, 3, kPassword, 2, c.maskAddress, 12,
                            c.maskData, c.data, &c.errorCode, c.port);
     }},
    {"WriteData_G2", 0x03, true, bytes({0x01}),
     bytes({0x01, 0x02, 0xD0, 0xD1, 0x11, 0x22, 0x33, 0x44}), true, Output::None,
     [](Call &c) {
         return WriteData_G2(&c.address, c.epc, 1, c.epcWords, 1, 2, kWriteData, kPassword, 2,
                             c.maskAddress, 12, c.maskData, &c.errorCode, c.port);
     }},
    {"WriteEPC_G2", 0x04, false, {}, bytes({0x02, 0x11, 0x22, 0x33, 0x44, 0xE0, 0xE1, 0xE2, 0xE3}),
     false, Output::None,
     [](Call &c) { return WriteEPC_G2(&c.address, kPassword, kEpc, 2, &c.errorCode, c.port); }},
    {"BlockErase_G2", 0x07, true, {}, bytes({0x01, 0x02, 0x03, 0x11, 0x22, 0x33, 0x44}), false,
     Output::None,
     [](Call &c) {
         return BlockErase_G2(&c.address, c.epc, c.epcWords, 1, 2, 3, kPassword, 2, c.maskAddress,
                              12, c.maskData, &c.errorCode, c.port);
     }},
    {"BlockWrite_G2", 0x10, true, bytes({0x01}),
     bytes({0x01, 0x02, 0xD0, 0xD1, 0x11, 0x22, 0x33, 0x44}), true, Output::None,
     [](Call &c) {
         return BlockWrite_G2(&c.address, c.epc, 1, c.epcWords, 1, 2, kWriteData, kPassword, 2,
                              c.maskAddress, 12, c.maskData, &c.errorCode, c.port);
     }},
    {"ExtReadData_G2", 0x15, true, {}, bytes({0x01, 0x12, 0x34, 0x03, 0x11, 0x22, 0x33, 0x44}),
     true, Output::Data,
     [](Call &c) {
         return ExtReadData_G2(&c.address, c.epc, c.epcWords, 1, kExtPointer, 3, kPassword, 2,
                               c.maskAddress, 12, c.maskData, c.data, &c.errorCode, c.port);
     }},
    {"ExtWriteData_G2", 0x16, true, bytes({0x01}),
     bytes({0x01, 0x12, 0x34, 0xD0, 0xD1, 0x11, 0x22, 0x33, 0x44}), true, Output::None,
     [](Call &c) {
         return ExtWriteData_G2(&c.address, c.epc, 1, c.epcWords, 1, kExtPointer, kWriteData,
                                kPassword, 2, c.maskAddress, 12, c.maskData, &c.errorCode, c.port);
     }},
    {"KillTag_G2", 0x05, true, {}, bytes({0x11, 0x22, 0x33, 0x44}), false, Output::None,
     [](Call &c) {
         return KillTag_G2(&c.address, c.epc, c.epcWords, kPassword, 2, c.maskAddress, 12,
                           c.maskData, &c.errorCode, c.port);
     }},
    {"Lock_G2", 0x06, true, {}, bytes({0x05, 0x06, 0x11, 0x22, 0x33, 0x44}), false, Output::None,
     [](Call &c) {
         return Lock_G2(&c.address, c.epc, c.epcWords, 5, 6, kPassword, 2, c.maskAddress, 12,
                        c.maskData, &c.errorCode, c.port);
     }},
    {"SetPrivacyByEPC_G2", 0x08, true, {}, bytes({0x11, 0x22, 0x33, 0x44}), false, Output::None,
     [](Call &c) {
         return SetPrivacyByEPC_G2(&c.address, c.epc, c.epcWords, kPassword, 2, c.maskAddress, 12,
                                   c.maskData, &c.errorCode, c.port);
     }},
    {"SetPrivacyWithoutEPC_G2", 0x09, false, {}, bytes({0x11, 0x22, 0x33, 0x44}), false,
     Output::None,
     [](Call &c) { return SetPrivacyWithoutEPC_G2(&c.address, kPassword, &c.errorCode, c.port); }},
    {"ResetPrivacy_G2", 0x0A, false, {}, bytes({0x11, 0x22, 0x33, 0x44}), false, Output::None,
     [](Call &c) { return ResetPrivacy_G2(&c.address, kPassword, &c.errorCode, c.port); }},
    {"CheckPrivacy_G2", 0x0B, false, {}, {}, false, Output::PrivacyState,
     [](Call &c) { return CheckPrivacy_G2(&c.address, &c.privacyState, &c.errorCode, c.port); }},
    {"EASConfigure_G2", 0x0C, true, {}, bytes({0x11, 0x22, 0x33, 0x44, 0x08}), true, Output::None,
     [](Call &c) {
         return EASConfigure_G2(&c.address, c.epc, c.epcWords, kPassword, 8, 2, c.maskAddress, 12,
                                c.maskData, &c.errorCode, c.port);
     }},
    {"EASAlarm_G2", 0x0D, false, {}, {}, true, Output::None,
     [](Call &c) { return EASAlarm_G2(&c.address, &c.errorCode, c.port); }},
    {"BlockLock_G2", 0x0E, true, {}, bytes({0x11, 0x22, 0x33, 0x44, 0x07}), false, Output::None,
     [](Call &c) {
         return BlockLock_G2(&c.address, c.epc, c.epcWords, kPassword, 7, 2, c.maskAddress, 12,
                             c.maskData, &c.errorCode, c.port);
     }},
    {"GetMonza4QTWorkParamter_G2", 0x11, true, {}, bytes({0x11, 0x22, 0x33, 0x44}), true,
     Output::QtParameter,
     [](Call &c) {
         return GetMonza4QTWorkParamter_G2(&c.address, c.epc, c.epcWords, kPassword, 2,
                                           c.maskAddress, 12, c.maskData, &c.qtParameter,
                                           &c.errorCode, c.port);
     }},
    {"SetMonza4QTWorkParamter_G2", 0x12, true, {}, bytes({0x00, 0x80, 0x11, 0x22, 0x33, 0x44}),
     true, Output::None,
     [](Call &c) {
         return SetMonza4QTWorkParamter_G2(&c.address, c.epc, c.epcWords, 0x80, kPassword, 2,
                                           c.maskAddress, 12, c.maskData, &c.errorCode, c.port);
     }},
};

// The frame a command must send: Len, Adr, code, its head, the tag (EPC
// length 2 and four EPC bytes, or 0xFF), its fields, the mask block under
// mask selection, the CRC.
Bytes expectedFrame(const TagCommand &command, bool byMask) {
    Bytes frame = {0x00, kAdr, command.code};
    frame.insert(frame.end(), command.head.begin(), command.head.end());
    if (command.selects) {
        const Bytes tag = byMask ? bytes({0xFF}) : bytes({0x02, 0xE0, 0xE1, 0xE2, 0xE3});
        frame.insert(frame.end(), tag.begin(), tag.end());
    }
    frame.insert(frame.end(), command.fields.begin(), command.fields.end());
    if (command.selects && byMask) {
        const Bytes mask = bytes({0x02, 0x00, 0x20, 0x0C, 0xAB, 0xCD});
        frame.insert(frame.end(), mask.begin(), mask.end());
    }
    frame[0] = static_cast<std::uint8_t>(frame.size() + 1);
    return withCrc(frame);
}

bool outputsUntouched(const Call &c) {
    return c.privacyState == kUntouched && c.qtParameter == kUntouched &&
           allAre(c.data, sizeof c.data);
}

using TagCommands = ReaderTest;

TEST_F(TagCommands, RequestBytesUnderEpcAndMaskSelection) {
    for (const TagCommand &command : kCommands) {
        for (bool byMask : {false, true}) {
            if (byMask && !command.selects) continue;
            SCOPED_TRACE(std::string(command.name) + (byMask ? " mask" : " EPC"));
            reader.forget();
            reader.answer(answerFrame(kAnswerAdr, command.code, 0x00));
            Call call(port, byMask ? 255 : 2);
            command.run(call);
            EXPECT_EQ(reader.dialogue().at(0).at(0), REPORT_ID_DATA);  // no control report first
            EXPECT_EQ(reader.frames(), std::vector<Bytes>{expectedFrame(command, byMask)});
        }
    }
}

TEST_F(TagCommands, EpcWordsTooManyForOneReportOrOutOfRangeSendNothing) {
    struct Case {
        int epcWords;
        int result;
    };
    // 31 words make a frame of at least Len 2 x 31 + 9 = 71; 32 to 254 are
    // refused by value, and only the low byte counts (0x120 is 32).
    const Case cases[] = {{31, ERR_FRAME_TOO_LONG}, {32, ERR_PARAMETER}, {254, ERR_PARAMETER},
                          {0x120, ERR_PARAMETER}};
    for (const TagCommand &command : kCommands) {
        if (!command.selects) continue;
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(command.name) + " " + std::to_string(c.epcWords));
            Call call(port, c.epcWords);
            EXPECT_EQ(command.run(call), c.result);
            EXPECT_TRUE(reader.sent.empty());
            EXPECT_EQ(call.address, kAdr);
            EXPECT_EQ(call.errorCode, kUntouchedCount);
            EXPECT_TRUE(outputsUntouched(call));
        }
    }
}

TEST_F(TagCommands, AnswerMappingAfterEachKindOfResult) {
    const Bytes answerData = bytes({0x01, 0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46});
    for (const TagCommand &command : kCommands) {
        SCOPED_TRACE(command.name);

        // Status 0: errorCode -1, the address as the command's rule says, the outputs.
        reader.answer(answerFrame(kAnswerAdr, command.code, 0x00, answerData));
        Call success(port);
        EXPECT_EQ(command.run(success), 0);
        EXPECT_EQ(success.errorCode, -1);
        EXPECT_EQ(success.address, command.writesBack ? kAnswerAdr : kAdr);
        Call expected(port);
        if (command.output == Output::Data)  // 3 words asked for: 6 bytes, no more
            std::memcpy(expected.data, answerData.data(), 6);
        if (command.output == Output::PrivacyState) expected.privacyState = 0x01;
        if (command.output == Output::QtParameter) expected.qtParameter = 0x40;
        EXPECT_EQ(Bytes(success.data, success.data + 64), Bytes(expected.data, expected.data + 64));
        EXPECT_EQ(success.privacyState, expected.privacyState);
        EXPECT_EQ(success.qtParameter, expected.qtParameter);

        // TAG_ERROR: the tag's error byte, nothing else.
        reader.answer(answerFrame(kAnswerAdr, command.code, TAG_ERROR, bytes({0x0B, 0x40, 0x41})));
        Call tagError(port);
        EXPECT_EQ(command.run(tagError), TAG_ERROR);
        EXPECT_EQ(tagError.errorCode, 11);
        EXPECT_EQ(tagError.address, kAdr);
        EXPECT_TRUE(outputsUntouched(tagError));

        // Another status, a wrong echo, no answer: nothing written at all.
        struct Failure {
            int result;
            Bytes answer;
        };
        for (const Failure &failure :
             {Failure{0x05, answerFrame(kAnswerAdr, command.code, 0x05, answerData)},
              Failure{ERR_RESPONSE_CMD,
                      answerFrame(kAnswerAdr, command.code ^ 0x80, 0x00, answerData)},
              Failure{ERR_COMM, {}}}) {
            if (!failure.answer.empty()) reader.answer(failure.answer);
            Call call(port);
            EXPECT_EQ(command.run(call), failure.result);
            EXPECT_EQ(call.errorCode, kUntouchedCount);
            EXPECT_EQ(call.address, kAdr);
            EXPECT_TRUE(outputsUntouched(call));
        }
    }
}

TEST_F(TagCommands, ClosedPortGives55AndWritesNothing) {
    ASSERT_EQ(CloseUSBPort(port), 0);
    for (const TagCommand &command : kCommands) {
        Call call(port);
        EXPECT_EQ(command.run(call), ERR_PORT_CLOSED) << command.name;
        EXPECT_EQ(call.errorCode, kUntouchedCount);
        EXPECT_EQ(call.address, kAdr);
        EXPECT_TRUE(outputsUntouched(call));
    }
}

TEST_F(TagCommands, WriteDataAndWriteEpcRefuseLenAbove60) {
    unsigned char address = kAdr;
    int errorCode = kUntouchedCount;
    auto writeData = [&](int writeWords, int epcWords, int maskLength) {
        reader.forget();
        return WriteData_G2(&address, kEpc, writeWords, epcWords, 1, 2, kWriteData, kPassword, 2,
                            kMaskAddress, maskLength, kMaskData, &errorCode, port);
    };
    auto blockWrite = [&](int writeWords, int epcWords, int maskLength) {
        reader.forget();
        return BlockWrite_G2(&address, kEpc, writeWords, epcWords, 1, 2, kWriteData, kPassword, 2,
                             kMaskAddress, maskLength, kMaskData, &errorCode, port);
    };
    auto writeEpc = [&](int epcWords) {
        reader.forget();
        return WriteEPC_G2(&address, kPassword, kEpc, epcWords, &errorCode, port);
    };
    auto sentLen = [&]() { return reader.frames().empty() ? -1 : reader.frames()[0][0]; };

    EXPECT_EQ(writeData(18, 6, 0), ERR_COMM);  // 2e + 2w + 12 = 60: sent
    EXPECT_EQ(sentLen(), 60);
    EXPECT_EQ(writeData(19, 6, 0), ERR_FRAME_TOO_LONG);  // 62
    EXPECT_TRUE(reader.sent.empty());
    EXPECT_EQ(writeData(30, 40, 0), ERR_PARAMETER);  // epcWords is checked first
    EXPECT_EQ(writeData(22, 255, 8), ERR_FRAME_TOO_LONG);  // 2w + m + 16 = 61
    EXPECT_TRUE(reader.sent.empty());
    // BlockWrite_G2 has no check of its own: 61 fits one report and goes out.
    EXPECT_EQ(blockWrite(22, 255, 8), ERR_COMM);
    EXPECT_EQ(sentLen(), 61);
    EXPECT_EQ(blockWrite(23, 255, 8), ERR_FRAME_TOO_LONG);  // 63
    EXPECT_TRUE(reader.sent.empty());

    EXPECT_EQ(writeEpc(25), ERR_COMM);  // 2e + 9 = 59: sent
    EXPECT_EQ(sentLen(), 59);
    for (int words : {26, 200}) {  // no ERR_PARAMETER here
        EXPECT_EQ(writeEpc(words), ERR_FRAME_TOO_LONG);
        EXPECT_TRUE(reader.sent.empty());
    }
    EXPECT_EQ(errorCode, kUntouchedCount);
    EXPECT_EQ(address, kAdr);
}

TEST_F(TagCommands, ReadCopiesNoMoreThanAskedForAndCarried) {
    struct Case {
        Bytes answer;
        Bytes copied;
    };
    const Case cases[] = {
        {answerFrame(kAnswerAdr, 0x02, 0x00, bytes({0xA1, 0xA2})), bytes({0xA1, 0xA2})},
        {answerFrame(kAnswerAdr, 0x02, 0x00, Bytes(300, 0xA5)), Bytes(6, 0xA5)},  // 3 words
        // Len claims two data bytes; four more follow before a CRC over all.
        {withCrc(bytes({0x07, kAnswerAdr, 0x02, 0x00, 0xA1, 0xA2, 0x00, 0x00, 0xB1, 0xB2})),
         bytes({0xA1, 0xA2})},
    };
    for (const Case &c : cases) {
        reader.answer(c.answer);
        Call call(port);
        ASSERT_EQ(kCommands[0].run(call), 0);  // ReadData_G2, 3 words
        EXPECT_EQ(Bytes(call.data, call.data + c.copied.size() + 1),
                  joined({c.copied, bytes({kUntouched})}));
    }
}

TEST_F(TagCommands, FieldsAShortAnswerLacksRead0NeverItsCrc) {
    for (const TagCommand &command : kCommands) {
        SCOPED_TRACE(command.name);
        reader.answer(answerFrame(kAnswerAdr, command.code, TAG_ERROR));
        Call tagError(port);
        EXPECT_EQ(command.run(tagError), TAG_ERROR);
        EXPECT_EQ(tagError.errorCode, 0);

        // Status 0 without data: fixed fields read 0, nothing is copied as data.
        reader.answer(answerFrame(kAnswerAdr, command.code, 0x00));
        Call success(port);
        EXPECT_EQ(command.run(success), 0);
        Call expected(port);
        if (command.output == Output::PrivacyState) expected.privacyState = 0x00;
        if (command.output == Output::QtParameter) expected.qtParameter = 0x00;
        EXPECT_EQ(success.privacyState, expected.privacyState);
        EXPECT_EQ(success.qtParameter, expected.qtParameter);
        EXPECT_EQ(success.data[0], kUntouched);
    }
}

TEST_F(TagCommands, LenFollowsEpcWordsAndMaskLength) {
    struct Case {
        int epcWords;
        int maskLength;
        std::uint8_t len;
    };
    // ReadData_G2: 2e + 12 under EPC selection, m + 16 under mask selection.
    for (Case c : {Case{0, 0, 12}, Case{24, 0, 60}, Case{0x1FF, 9, 18} /* low byte 255 */}) {
        reader.forget();
        int errorCode = 0;
        unsigned char address = 0x00;
        ReadData_G2(&address, kEpc, c.epcWords, 1, 2, 6, kPassword, 0, kMaskAddress, c.maskLength,
                    kMaskData, nullptr, &errorCode, port);
        ASSERT_EQ(reader.frames().size(), 1u);
        EXPECT_EQ(reader.frames()[0][0], c.len) << c.epcWords << " " << c.maskLength;
        EXPECT_EQ(reader.frames()[0].size(), c.len + 1u);
    }
}

}  // namespace
