// Calibration and factory commands against their command table, the two
// branches of InSelfTestMode and the fixed 148 bytes of GetAdjustPara.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "config_table.h"

using namespace tessaro;
using namespace tessaro::testing;

namespace {

const unsigned char kPowerList[31] = {
    0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10,
    0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F};
const unsigned char kFrequency[4] = {0xC0, 0xD4, 0x01, 0x00};
const unsigned char kAValue1[4] = {0x11, 0x12, 0x13, 0x14};
const unsigned char kAValue2[4] = {0x21, 0x22, 0x23, 0x24};
const unsigned char kDcOffset[2] = {0x34, 0x12};

const std::vector<Row> &calibrationTable() {
    // clang-format off
    static const std::vector<Row> rows = {
        // code, request data, rule, outputs; then the call
        {0x26, {},                                Rule::AlwaysWriteBack, {},
         CALL(InSelfTestMode(a, 1, p))},
        {0x29, {0x80},                            Rule::AlwaysWriteBack, {},
         CALL(SetDAC(a, 0x80, p))},
        {0x2A, {},                                Rule::StatusGated,     {0},
         CALL(GetDAC(a, o, p))},
        {0x2B, {},                                Rule::StatusGated,     {0},
         CALL(CheckPowerParameter(a, o, p))},
        {0x2C, Bytes(kPowerList, kPowerList + 31), Rule::StatusGated,    {0},
         CALL(SolidifyDACandPowerlist(a, kPowerList, o, p))},
        {0x2D, {},                                Rule::StatusGated,     firstDataBytes(9),
         CALL(GetStartInformation(a, o, o + 1, o + 2, o + 3, o + 4, o + 5, o + 6, o + 7, o + 8,
                                  p))},
        {0x30, {0x01},                            Rule::StatusGated,     {},
         CALL(RfOutput(a, 1, p))},
        {0x32, {},                                Rule::StatusGated,     {0},
         CALL(DeleteRfOutput(a, o, p))},
        {0x60, {0xC0, 0xD4, 0x01, 0x00, 0x02},    Rule::StatusGated,     {},
         CALL(EnableTestFreq(a, kFrequency, 2, p))},
        {0x61, {0x03},                            Rule::StatusGated,     {0, 1},
         CALL(GetADValue(a, 3, o, p))},
        {0x62, {0x01, 0x11, 0x12, 0x13, 0x14, 0x21, 0x22, 0x23, 0x24},
                                                  Rule::StatusGated,     {},
         CALL(SetAValue(a, 1, kAValue1, kAValue2, p))},
        {0x65, {},                                Rule::StatusGated,     firstDataBytes(148),
         CALL(GetAdjustPara(a, o, p))},
        {0x66, {0x01},                            Rule::StatusGated,     {},
         CALL(SetCheckAnt(a, 1, p))},
        // checkPwr1 gets data bytes 0 and 1, checkPwr2 bytes 2 and 3, each in order.
        {0x67, {},                                Rule::StatusGated,     {0, 1, 2, 3},
         CALL(GetCheckPWR(a, o, o + 2, p))},
        {0x6C, {0x34, 0x12},                      Rule::StatusGated,     {},
         CALL(SetDCOffset(a, kDcOffset, p))},
        {0x81, {0x04, 0x05},                      Rule::StatusGated,     {},
         CALL(SetQS(a, 4, 5, p))},
        {0x82, {},                                Rule::StatusGated,     {0, 1},
         CALL(GetQS(a, o, o + 1, p))},
        {0x84, {},                                Rule::NoWriteBack,     {},
         CALL(SetFlashRom(a, p))},
    };
    // clang-format on
    return rows;
}

using CalibrationCommands = CommandTable;

TEST_F(CalibrationCommands, EachCommandFollowsItsRow) {
    for (const Row &row : calibrationTable()) check(row);
}

TEST_F(CalibrationCommands, SelfTestModeIsEnteredByAnyNonZeroInt) {
    for (int enter : {0x100, INT_MIN}) {  // low bytes 0: the whole int counts
        SCOPED_TRACE(enter);
        reader.forget();
        reader.answer(answerFrame(0x00, 0x26, 0x00));
        unsigned char address = 0x00;
        EXPECT_EQ(InSelfTestMode(&address, enter, port), 0);
        EXPECT_EQ(reader.frames(), std::vector<Bytes>{bytes({0x04, 0x00, 0x26, 0x66, 0x1E})});
    }
}

TEST_F(CalibrationCommands, LeavingSelfTestModeSendsTheBareByteAndReadsNoAddress) {
    reader.answer(answerFrame(0x3C, 0xA5, 0x00));
    EXPECT_EQ(InSelfTestMode(nullptr, 0, port), 0);
    EXPECT_EQ(reader.dialogue(),
              (std::vector<Bytes>{bytes({0x02, 0x01, 0xA5}), bytes({0x03, CTRL_POLL}),
                                  bytes({0x03, CTRL_ACK})}));

    // With somewhere to write it, the answer's address comes back whatever the Status.
    reader.answer(answerFrame(0x3C, 0x26, 0x05));
    unsigned char address = 0x5A;
    EXPECT_EQ(InSelfTestMode(&address, 0, port), 5);
    EXPECT_EQ(address, 0x3C);

    EXPECT_EQ(InSelfTestMode(nullptr, 0, port), ERR_COMM);  // no answer, nowhere to write
}

TEST_F(CalibrationCommands, SelfTestModeAcceptsEitherEchoInEitherBranch) {
    for (int enter : {1, 0}) {
        for (std::uint8_t echo : {0x26, 0xA5, 0x27}) {
            SCOPED_TRACE(::testing::Message() << "enter " << enter << ", echo " << int(echo));
            reader.answer(answerFrame(0x3C, echo, 0x00));
            unsigned char address = 0x5A;
            const bool accepted = echo != 0x27;
            EXPECT_EQ(InSelfTestMode(&address, enter, port), accepted ? 0 : ERR_RESPONSE_CMD);
            EXPECT_EQ(address, accepted ? 0x3C : 0x5A);
        }
    }
}

TEST_F(CalibrationCommands, GetAdjustParaAlwaysFills148Bytes) {
    // A short answer: ten data bytes, then the CRC, then the cleared buffer.
    const Bytes data = bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    const Bytes answer = answerFrame(0x3C, 0x65, 0x00, data);
    reader.answer(answer);
    unsigned char address = 0x5A, adjust[150];
    std::fill(std::begin(adjust), std::end(adjust), kUntouched);
    EXPECT_EQ(GetAdjustPara(&address, adjust, port), 0);

    Bytes expected = data;
    expected.insert(expected.end(), answer.end() - 2, answer.end());
    expected.resize(148, 0x00);
    EXPECT_EQ(Bytes(adjust, adjust + 148), expected);
    EXPECT_EQ(adjust[148], kUntouched);
    EXPECT_EQ(adjust[149], kUntouched);
}

}  // namespace
