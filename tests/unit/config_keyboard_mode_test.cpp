// Keyboard-emulation mode: the CRC-only commands against their table, the
// argument tests of SetHidWorkPara and the control report of ChangeToHID.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "config_table.h"
#include "link/process_state.h"

using namespace tessaro;
using namespace tessaro::testing;

namespace {

const std::vector<Row> &keyboardModeTable() {
    // clang-format off
    static const std::vector<Row> rows = {
        // code, request data, rule, outputs; then the call
        {0xA1, {0x02, 0xFF, 0x05, 0x01, 0x00, 0xFF}, Rule::CrcOnly, {},
         CALL(SetHidWorkPara(a, 2, 0xFF, 5, 1, 0, 0xFF, p))},
        {0xA2, {},                                   Rule::CrcOnly, firstDataBytes(6),
         CALL(GetHidWorkPara(a, o, o + 1, o + 2, o + 3, o + 4, o + 5, p))},
        {0xA3, {0x01},                               Rule::CrcOnly, {},
         CALL(SetHidBeepEn(a, 1, p))},
        {0xA4, {},                                   Rule::CrcOnly, {0},
         CALL(GetHidBeepEn(a, o, p))},
    };
    // clang-format on
    return rows;
}

using KeyboardModeCommands = CommandTable;

TEST_F(KeyboardModeCommands, EachCommandFollowsItsRow) {
    for (const Row &row : keyboardModeTable()) check(row);
}

TEST_F(KeyboardModeCommands, SetHidWorkParaTestsTheLowByteOfItsRangedArguments) {
    struct Case {
        int param[6];
        bool accepted;
        std::uint8_t sent[6];
    };
    const Case cases[] = {
        {{0, 0, 0, 0, 0, 0}, false, {}},      // hidParam1 from 1 ...
        {{5, 0, 0, 0, 0, 0}, false, {}},      // ... to 4
        {{1, 0, 16, 0, 0, 0}, false, {}},     // hidParam3 up to 15
        {{1, 0, 0, 2, 0, 0}, false, {}},      // hidParam4 0 or 1
        {{1, 0, 0, 0, 2, 0}, false, {}},      // hidParam5 0 or 1
        {{1, 0, 0, 0, 0, 0}, true, {1, 0, 0, 0, 0, 0}},
        {{4, 0xFF, 15, 1, 1, 0xFF}, true, {4, 0xFF, 15, 1, 1, 0xFF}},
        // Only the low bytes are tested and sent.
        {{0x101, 0, 0x10F, 0x100, 0x301, 0}, true, {1, 0, 0x0F, 0, 1, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.param[0] << " " << c.param[2] << " " << c.param[3] << " " << c.param[4]);
        reader.forget();
        std::memset(processState().response, 0xEE, RESPONSE_BUFFER_SIZE);
        noteWritten(processState().response, RESPONSE_BUFFER_SIZE);
        if (!c.accepted) {
            // A refusal reads no address and leaves the last answer in place.
            EXPECT_EQ(SetHidWorkPara(nullptr, c.param[0], c.param[1], c.param[2], c.param[3],
                                     c.param[4], c.param[5], port),
                      ERR_PARAMETER);
            EXPECT_TRUE(reader.sent.empty());
            EXPECT_EQ(processState().response[0], 0xEE);
            continue;
        }
        reader.answer(answerFrame(0x00, 0xA1, 0x00));
        unsigned char address = 0x00;
        EXPECT_EQ(SetHidWorkPara(&address, c.param[0], c.param[1], c.param[2], c.param[3],
                                 c.param[4], c.param[5], port),
                  0);
        ASSERT_EQ(reader.frames().size(), 1u);
        const Bytes frame = reader.frames()[0];
        EXPECT_EQ(Bytes(frame.begin() + 3, frame.end() - 2), Bytes(c.sent, c.sent + 6));
    }
}

TEST_F(KeyboardModeCommands, ChangeToHIDSendsOnlyItsControlReport) {
    std::memset(processState().response, 0xEE, RESPONSE_BUFFER_SIZE);
    noteWritten(processState().response, RESPONSE_BUFFER_SIZE);
    processState().inventoryInProgress = 1;
    EXPECT_EQ(ChangeToHID(nullptr, port), 0);
    EXPECT_EQ(reader.dialogue(), std::vector<Bytes>{bytes({0x03, CTRL_CHANGE_TO_HID})});
    EXPECT_TRUE(allAre(reader.sent[0].data() + 2, REPORT_SIZE - 2, 0));
    EXPECT_EQ(processState().inventoryInProgress, 1);  // not an exchange: the flag is not touched
    EXPECT_EQ(processState().response[4999],
              0x00);  // the response buffer is cleared as before any command
    processState().inventoryInProgress = 0;
}

TEST_F(KeyboardModeCommands, ChangeToHIDFailsWithCommWhenTheReportDoesNotGoOut) {
    unsigned char address = 0x00;
    EXPECT_EQ(ChangeToHID(&address, 2), ERR_COMM);  // never opened
    reader.failWrite = [](const Report &) { return true; };
    EXPECT_EQ(ChangeToHID(&address, port), ERR_COMM);
    reader.failWrite = nullptr;
    ASSERT_EQ(CloseUSBPort(port), 0);
    reader.forget();
    EXPECT_EQ(ChangeToHID(&address, port), ERR_COMM);  // closed: still 48, never 55
    EXPECT_TRUE(reader.sent.empty());
}

}  // namespace
