// Reader settings commands against their command table, and the cases the
// table cannot show: the two answer forms of GetSystemParameter, mask
// lengths, the shared codes 0x60/0x61 and the scan time.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "config_table.h"
#include "link/process_state.h"

using namespace tessaro;
using namespace tessaro::testing;

namespace {

const unsigned char kMaskAddress[2] = {0x12, 0x34};
const unsigned char kMaskData[2] = {0xA1, 0xA2};
const unsigned char kClock[6] = {0x24, 0x05, 0x17, 0x09, 0x30, 0x15};
const unsigned char kSerial[4] = {0xDE, 0xAD, 0xBE, 0xEF};

const std::vector<Row> &settingsTable() {
    // clang-format off
    static const std::vector<Row> rows = {
        // code, request data, rule, outputs; then the call
        {0x22, {0x31, 0x80},                         Rule::AlwaysWriteBack, {},
         CALL(SetRegion(a, 0x31, 0x80, p))},
        {0x24, {0x07},                               Rule::AlwaysWriteBack, {},
         CALL(SetAddress(a, 0x107, p))},
        {0x25, {0x1E},                               Rule::AlwaysWriteBack, {},
         CALL(SetInventoryScanTime(a, 0x1E, p))},
        {0x27, {0x03},                               Rule::NoWriteBack,     {},
         CALL(SetRevDelay(a, 3, p))},
        {0x2F, {0x1E},                               Rule::StatusGated,     {},
         CALL(SetRfPower(a, 0x21E, p))},
        {0x31, {},                                   Rule::NoWriteBack,     {0},
         CALL(GetRevDelay(a, o, p))},
        {0x33, {0x01, 0x02, 0x03},                   Rule::NoWriteBack,     {},
         CALL(BuzzerAndLEDControl(a, 1, 2, 3, p))},
        {0x35, {0x02},                               Rule::NoWriteBack,     {},
         CALL(SetWorkMode(a, 2, p))},
        // sysParam0-5 at 0-5, maskMem 6, maskAddress 7-8, maskLength 9,
        // maskData 10-41, sysParam42-44 at 42-44.
        {0x36, {},                                   Rule::NoWriteBack,     firstDataBytes(45),
         CALL(GetSystemParameter(a, o, o + 1, o + 2, o + 3, o + 4, o + 5, o + 6, o + 7, o + 9,
                                 o + 10, o + 42, o + 43, o + 44, p))},
        {0x37, {0x08},                               Rule::NoWriteBack,     {},
         CALL(SetEASSensitivity(a, 8, p))},
        // The byte at customFunction is sent, then replaced on Status 0.
        {0x3A, {kUntouched},                         Rule::StatusGated,     {0},
         CALL(SetTagCustomFunction(a, o, p))},
        {0x3B, {0x01, 0x12, 0x34, 0x0C, 0xA1, 0xA2}, Rule::NoWriteBack,     {},
         CALL(SetMask(a, 1, kMaskAddress, 12, kMaskData, p))},
        {0x3C, {0x11, 0x22},                         Rule::NoWriteBack,     {},
         CALL(SetResponsePamametersofAuto_runningMode(a, 0x11, 0x22, p))},
        {0x3D, {0x0A},                               Rule::NoWriteBack,     {},
         CALL(SetInventoryInterval(a, 10, p))},
        {0x3E, {0x01},                               Rule::NoWriteBack,     {},
         CALL(SelectTagType(a, 1, p))},
        {0x3F, {0x0F},                               Rule::NoWriteBack,     {},
         CALL(SetAntennaMultiplexing(a, 0x0F, p))},
        {0x40, {0x01},                               Rule::NoWriteBack,     {},
         CALL(SetBeepNotification(a, 1, p))},
        {0x41, {0x24, 0x05, 0x17, 0x09, 0x30, 0x15}, Rule::NoWriteBack,     {},
         CALL(SetReal_timeClock(a, kClock, p))},
        {0x42, {},                                   Rule::NoWriteBack,     firstDataBytes(6),
         CALL(GetTime(a, o, p))},
        {0x44, {},                                   Rule::NoWriteBack,     {},
         CALL(ClearTagBuffer(a, p))},
        {0x45, {0x01},                               Rule::NoWriteBack,     {},
         CALL(SetRelay(a, 1, p))},
        {0x46, {0x03},                               Rule::NoWriteBack,     {},
         CALL(SetGPIO(a, 3, p))},
        {0x47, {},                                   Rule::NoWriteBack,     {0},
         CALL(GetGPIOStatus(a, o, p))},
        {0x48, {0x05},                               Rule::NoWriteBack,     {},
         CALL(SetNotificationPulseOutput(a, 5, p))},
        {0x49, {0x09},                               Rule::NoWriteBack,     {},
         CALL(SetTriggerTime(a, 9, p))},
        {0x4A, {0x02, 0x06},                         Rule::StatusGated,     {},
         CALL(SetTIDParameter(a, 2, 6, p))},
        // Two fixed bytes, 'T' 'E', go before the serial number.
        {0x4B, {0x54, 0x45, 0xDE, 0xAD, 0xBE, 0xEF}, Rule::StatusGated,     {},
         CALL(SetSeriaNo(a, kSerial, p))},
        {0x4C, {},                                   Rule::StatusGated,     firstDataBytes(4),
         CALL(GetSeriaNo(a, o, p))},
        {0x60, {0x00, 0x07, 0x09},                   Rule::StatusGated,     {},
         CALL(SetWorkTime(a, 7, 9, p))},
        {0x61, {},                                   Rule::StatusGated,     {1, 2},
         CALL(GetWorkTime(a, o, o + 1, p))},
        {0x6A, {0x01},                               Rule::StatusGated,     {},
         CALL(SetCommType(a, 1, p))},
        {0x83, {},                                   Rule::NoWriteBack,     {0, 1},
         CALL(GetModuleVersion(a, o, p))},
    };
    // clang-format on
    return rows;
}

using SettingsCommands = CommandTable;

TEST_F(SettingsCommands, EachCommandFollowsItsRow) {
    for (const Row &row : settingsTable()) check(row);
}

TEST_F(SettingsCommands, GetSystemParameterTellsItsFormsApartByLen) {
    struct Case {
        const char *name;
        std::size_t dataBytes;
        std::uint8_t status;
    };
    for (Case c : {Case{"short form, Len 47", 42, 0}, Case{"full form, Len 50", 45, 0},
                   Case{"Len 48", 43, 0}, Case{"non-zero status", 45, 0x05}}) {
        SCOPED_TRACE(c.name);
        const Bytes data = sequence(c.dataBytes, 0x40);
        const Bytes answer = answerFrame(0x3C, 0x36, c.status, data);
        reader.answer(answer);
        unsigned char address = 0x5A;
        OutputBytes o;
        o.fill(kUntouched);
        const int result =
            GetSystemParameter(&address, &o[0], &o[1], &o[2], &o[3], &o[4], &o[5], &o[6], &o[7],
                               &o[9], &o[10], &o[42], &o[43], &o[44], port);
        EXPECT_EQ(result, c.status);
        EXPECT_EQ(address, 0x5A);  // never written
        if (c.status != 0) {
            EXPECT_TRUE(allAre(o.data(), o.size()));
            continue;
        }
        // Outputs 0 to 41 always come from data bytes 0 to 41, the mask's 32 bytes included.
        EXPECT_EQ(Bytes(o.begin(), o.begin() + 42), Bytes(data.begin(), data.begin() + 42));
        if (c.dataBytes == 42) {
            EXPECT_EQ(o[42], 0x00);  // not the CRC byte that lies there
            EXPECT_EQ(o[43], kUntouched);
            EXPECT_EQ(o[44], kUntouched);
        } else {
            // Any other Len: bytes 42 to 44 from their fixed places, whatever lies there.
            EXPECT_EQ(Bytes(o.begin() + 42, o.begin() + 45),
                      Bytes(answer.begin() + 46, answer.begin() + 49));
        }
        EXPECT_EQ(o[45], kUntouched);
    }
}

TEST_F(SettingsCommands, SetMaskReadsAndSendsCeilOfLengthOver8MaskBytes) {
    struct Case {
        int maskLength;
        std::size_t maskBytes;
    };
    // Only the low byte of the length counts: 0x108 is 8 bits.
    for (Case c : {Case{0, 0}, Case{8, 1}, Case{9, 2}, Case{255, 32}, Case{0x108, 1}}) {
        SCOPED_TRACE(c.maskLength);
        // Exactly the bytes the mask calls for: reading one more is caught
        // by the address sanitizer; a length of 0 reads nothing at all.
        const Bytes mask = sequence(c.maskBytes, 0xB0);
        const unsigned char maskAddress[2] = {0x00, 0x20};
        reader.forget();
        reader.answer(answerFrame(0x3C, 0x3B, 0x00));
        unsigned char address = 0x00;
        EXPECT_EQ(SetMask(&address, 1, maskAddress, c.maskLength,
                          mask.empty() ? nullptr : mask.data(), port),
                  0);
        Bytes expected = {static_cast<std::uint8_t>(8 + c.maskBytes), 0x00, 0x3B, 0x01, 0x00, 0x20,
                          static_cast<std::uint8_t>(c.maskLength & 0xFF)};
        expected.insert(expected.end(), mask.begin(), mask.end());
        ASSERT_EQ(reader.frames().size(), 1u);
        EXPECT_EQ(reader.frames()[0], withCrc(expected));
        EXPECT_EQ(reader.frames()[0].size(), 9 + c.maskBytes);
    }
}

TEST_F(SettingsCommands, SharedCodes0x60And0x61KeepTheirOwnForms) {
    unsigned char address = 0x00;
    const unsigned char frequency[4] = {0x01, 0x02, 0x03, 0x04};
    reader.answer(answerFrame(0x00, 0x60, 0x00));
    EXPECT_EQ(SetWorkTime(&address, 7, 9, port), 0);
    reader.answer(answerFrame(0x00, 0x60, 0x00));
    EXPECT_EQ(EnableTestFreq(&address, frequency, 5, port), 0);

    // One answer, two readings: GetWorkTime skips data byte 0, GetADValue starts there.
    const Bytes answer = answerFrame(0x00, 0x61, 0x00, bytes({0x00, 0x07, 0x09}));
    unsigned char workTime[2] = {kUntouched, kUntouched}, adValue[2] = {kUntouched, kUntouched};
    reader.answer(answer);
    EXPECT_EQ(GetWorkTime(&address, &workTime[0], &workTime[1], port), 0);
    reader.answer(answer);
    EXPECT_EQ(GetADValue(&address, 3, adValue, port), 0);
    EXPECT_EQ(Bytes(workTime, workTime + 2), bytes({0x07, 0x09}));
    EXPECT_EQ(Bytes(adValue, adValue + 2), bytes({0x00, 0x07}));

    EXPECT_EQ(reader.frames(),
              (std::vector<Bytes>{withCrc(bytes({0x07, 0x00, 0x60, 0x00, 0x07, 0x09})),
                                  withCrc(bytes({0x09, 0x00, 0x60, 0x01, 0x02, 0x03, 0x04, 0x05})),
                                  withCrc(bytes({0x04, 0x00, 0x61})),
                                  withCrc(bytes({0x05, 0x00, 0x61, 0x03}))}));
}

TEST_F(SettingsCommands, SetInventoryScanTimeLeavesTheInventoryTimeBoundAlone) {
    setScanTime(10);  // 1000 ms, as the reader reports it ...
    unsigned char address = 0x00;
    reader.answer(answerFrame(0x00, 0x25, 0x00));
    ASSERT_EQ(SetInventoryScanTime(&address, 30, port), 0);  // ... then takes 3000 ms

    // An inventory stream that never ends is still given 2 x 1000 + 5000 ms.
    queueEndlessInventory();
    const unsigned elapsed = bus.elapsedMs([&] {
        protocol::CommandFrame inventory(&address, 0x01);
        EXPECT_EQ(protocol::exchange(inventory, port, {protocol::Collect::InventoryStream}),
                  ERR_COMM);
    });
    EXPECT_NEAR(elapsed, 2 * 1000 + 5000, 50);
}

}  // namespace
