// Reader configuration end to end: what a set command stores, the matching
// get command, GetReaderInformation and GetSystemParameter give back; the
// reader's own range checks; address changes; regions; calibration in and out
// of self-test mode; the keyboard-emulation mode.
#include <cstdlib>

#include "sim_fixture.h"

namespace tessaro::simtest {
namespace {

class Config : public SimTest {
protected:
    // GetReaderInformation's twelve data bytes.
    Bytes information() {
        Bytes info;
        EXPECT_EQ(readerInformation(info), 0);
        return info;
    }
    // GetSystemParameter's 45 data bytes.
    Bytes systemParameters() {
        Bytes p(45, 0xEE);
        EXPECT_EQ(GetSystemParameter(&address, &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &p[6], &p[7], &p[9],
                                     &p[10], &p[42], &p[43], &p[44], port),
                  0);
        return p;
    }
};

TEST_F(Config, SettingsComeBackInTheReaderInformation) {
    struct Case {
        const char *name;
        std::function<int()> set;
        std::size_t informationByte;
        unsigned char value;
    };
    const Case cases[] = {
        {"SetRfPower", [&] { return SetRfPower(&address, 17, port); }, 6, 17},
        {"SetInventoryScanTime", [&] { return SetInventoryScanTime(&address, 25, port); }, 7, 25},
        {"SetAntennaMultiplexing", [&] { return SetAntennaMultiplexing(&address, 0x05, port); }, 8, 0x05},
        {"SetBeepNotification", [&] { return SetBeepNotification(&address, 0, port); }, 9, 0},
        {"SetWorkMode", [&] { return SetWorkMode(&address, 2, port); }, 10, 2},
        {"SetCommType", [&] { return SetCommType(&address, 1, port); }, 11, 1},
        {"SetRegion max", [&] { return SetRegion(&address, 0x13, 0x42, port); }, 4, 0x13},
        {"SetRegion min", [&] { return SetRegion(&address, 0x13, 0x42, port); }, 5, 0x42},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(c.set(), 0) << c.name;
        EXPECT_EQ(information()[c.informationByte], c.value) << c.name;
    }
    EXPECT_EQ(hexOf(information().data(), 2), hexOf(state().version, 2));
    EXPECT_EQ(systemParameters()[0], 2) << "the work mode is also GetSystemParameter's first byte";
}

TEST_F(Config, SettingsComeBackInTheSystemParameters) {
    const unsigned char maskAddress[2] = {0x00, 0x20};
    const unsigned char maskData[2] = {0xAB, 0xC0};
    ASSERT_EQ(SetResponsePamametersofAuto_runningMode(&address, 1, 2, port), 0);
    ASSERT_EQ(SelectTagType(&address, 4, port), 0);
    ASSERT_EQ(SetInventoryInterval(&address, 7, port), 0);
    ASSERT_EQ(SetTriggerTime(&address, 9, port), 0);
    ASSERT_EQ(SetMask(&address, 1, maskAddress, 12, maskData, port), 0);
    ASSERT_EQ(SetEASSensitivity(&address, 0x33, port), 0);
    ASSERT_EQ(SetTIDParameter(&address, 2, 4, port), 0);
    // Work mode, auto-running answer, tag type, interval, trigger time; the
    // mask (bank, address, bits, 32 mask bytes); EAS sensitivity, TID parameter.
    EXPECT_EQ(hexOf(systemParameters().data(), 45),
              "00" "0102" "04" "07" "09" "01" "0020" "0C" "ABC0" + std::string(60, '0') + "33" "0204");

    ASSERT_EQ(SetMask(&address, 2, maskAddress, 0, maskData, port), 0);
    EXPECT_EQ(hexOf(systemParameters().data() + 6, 6), "020020000000") << "a new mask replaces the old one whole";
}

TEST_F(Config, GetCommandsReturnWhatTheSetCommandsStored) {
    unsigned char byte = 0;
    ASSERT_EQ(SetRevDelay(&address, 9, port), 0);
    ASSERT_EQ(GetRevDelay(&address, &byte, port), 0);
    EXPECT_EQ(byte, 9);

    const unsigned char serial[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    unsigned char serialBack[4] = {};
    ASSERT_EQ(SetSeriaNo(&address, serial, port), 0);
    ASSERT_EQ(GetSeriaNo(&address, serialBack, port), 0);
    EXPECT_EQ(hexOf(serialBack, 4), "DEADBEEF");

    unsigned char workTime[2] = {};
    ASSERT_EQ(SetWorkTime(&address, 7, 9, port), 0);
    ASSERT_EQ(GetWorkTime(&address, &workTime[0], &workTime[1], port), 0);
    EXPECT_EQ(hexOf(workTime, 2), "0709");

    TessaroSimReaderState s = state();
    s.gpioInputs = 0x10;
    setState(s);
    ASSERT_EQ(SetGPIO(&address, 0x03, port), 0);
    ASSERT_EQ(GetGPIOStatus(&address, &byte, port), 0);
    EXPECT_EQ(byte, 0x13) << "outputs as set, with the input lines";

    unsigned char module[2] = {};
    ASSERT_EQ(GetModuleVersion(&address, module, port), 0);
    EXPECT_EQ(hexOf(module, 2), hexOf(s.moduleVersion, 2));

    unsigned char function = 0x5A;
    ASSERT_EQ(SetTagCustomFunction(&address, &function, port), 0);
    EXPECT_EQ(function, 0x5A);
    EXPECT_EQ(state().customFunction, 0x5A);

    ASSERT_EQ(BuzzerAndLEDControl(&address, 1, 2, 3, port), 0);
    ASSERT_EQ(SetRelay(&address, 1, port), 0);
    ASSERT_EQ(SetNotificationPulseOutput(&address, 6, port), 0);
    s = state();
    EXPECT_EQ(hexOf(s.buzzerLed, 3), "010203");
    EXPECT_EQ(s.relay, 1);
    EXPECT_EQ(s.pulseOutput, 6);
}

TEST_F(Config, TheClockRunsWithTheSimulation) {
    const unsigned char leapEve[6] = {24, 2, 28, 23, 59, 30};
    ASSERT_EQ(SetReal_timeClock(&address, leapEve, port), 0);
    TessaroSimAdvanceMs(sim, 45000);
    unsigned char clock[6] = {};
    ASSERT_EQ(GetTime(&address, clock, port), 0);
    // 23:59:30 + 45 s and the two exchanges' few hundred milliseconds.
    const unsigned char expected[6] = {24, 2, 29, 0, 0, 15};
    EXPECT_EQ(hexOf(clock, 6), hexOf(expected, 6));

    const unsigned char noSuchDay[6] = {23, 2, 29, 12, 0, 0};
    EXPECT_EQ(SetReal_timeClock(&address, noSuchDay, port), TESSARO_SIM_STATUS_PARAMETER);
    ASSERT_EQ(GetTime(&address, clock, port), 0);
    EXPECT_EQ(clock[1], 2);
    EXPECT_EQ(clock[2], 29) << "a refused clock leaves the running one alone";
}

TEST_F(Config, TheReaderRefusesValuesOutsideItsRanges) {
    struct Refusal {
        const char *name;
        std::function<int()> call;
    };
    const Refusal cases[] = {
        {"SetRfPower 31", [&] { return SetRfPower(&address, 31, port); }},
        {"SetInventoryScanTime 2", [&] { return SetInventoryScanTime(&address, 2, port); }},
        {"SetAntennaMultiplexing 0", [&] { return SetAntennaMultiplexing(&address, 0, port); }},
        {"SetAddress 0xFF", [&] { return SetAddress(&address, 0xFF, port); }},
        {"SetRegion band 0", [&] { return SetRegion(&address, 0x05, 0x00, port); }},
        {"SetRegionAndChannel min above max", [&] { return SetRegionAndChannel(&address, 1, 9, 3, port); }},
    };
    const TessaroSimReaderState before = state();
    for (const Refusal &c : cases) EXPECT_EQ(c.call(), TESSARO_SIM_STATUS_PARAMETER) << c.name;
    const TessaroSimReaderState after = state();
    EXPECT_EQ(after.rfPower, before.rfPower);
    EXPECT_EQ(after.scanTime, before.scanTime);
    EXPECT_EQ(after.antennaMask, before.antennaMask);
    EXPECT_EQ(after.address, before.address);
    EXPECT_EQ(after.maxChannelByte, before.maxChannelByte);
    EXPECT_EQ(after.minChannelByte, before.minChannelByte);
}

TEST_F(Config, ANewAddressTakesEffectForLaterFrames) {
    ASSERT_EQ(SetAddress(&address, 0x12, port), 0);
    EXPECT_EQ(address, 0x12) << "the reader answers from its new address, which is written back";
    EXPECT_EQ(state().address, 0x12);

    unsigned char old = 0x00;
    unsigned char power = 0;
    EXPECT_EQ(GetRevDelay(&old, &power, port), ERR_COMM) << "frames for the old address are ignored";
    EXPECT_EQ(GetRevDelay(&address, &power, port), 0);
    unsigned char broadcast = 0xFF;
    ASSERT_EQ(SetRfPower(&broadcast, 20, port), 0);
    EXPECT_EQ(broadcast, 0x12) << "broadcast reaches it, and the answer names it";
}

TEST_F(Config, TheLibrarysRegionPlansAndTheReadersAgree) {
    // Every plan's default channels are taken; so is its last channel, and
    // the one after it is not (region 5 lies inside band 2's 50 channels).
    for (int region = 1; region <= 5; ++region) {
        EXPECT_EQ(SetRegionWithDefaultChannel(&address, region, port), 0) << region;
        char *channels[64] = {};
        ASSERT_EQ(GetChannelList(region, channels), 0);
        int count = 0;
        while (channels[count]) ++count;
        EXPECT_EQ(SetRegionAndChannel(&address, region, 0, count - 1, port), 0) << region;
        if (region == 5) continue;  // constant texts, and channels past 18 still lie in band 2
        for (int i = 0; i < count; ++i) std::free(channels[i]);
        EXPECT_EQ(SetRegionAndChannel(&address, region, 0, count, port), TESSARO_SIM_STATUS_PARAMETER) << region;
    }
}

TEST_F(Config, CalibrationNeedsTheSelfTestMode) {
    unsigned char byte = 0;
    EXPECT_EQ(SetDAC(&address, 0x55, port), TESSARO_SIM_STATUS_ILLEGAL);
    EXPECT_EQ(GetDAC(&address, &byte, port), TESSARO_SIM_STATUS_ILLEGAL);
    ASSERT_EQ(InSelfTestMode(&address, 1, port), 0);
    EXPECT_EQ(state().selfTestMode, 1);

    ASSERT_EQ(SetDAC(&address, 0x55, port), 0);
    ASSERT_EQ(GetDAC(&address, &byte, port), 0);
    EXPECT_EQ(byte, 0x55);

    unsigned char list[31];
    for (int i = 0; i < 31; ++i) list[i] = static_cast<unsigned char>(10 + i);
    unsigned char result = 0xEE;
    ASSERT_EQ(SolidifyDACandPowerlist(&address, list, &result, port), 0);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(CheckPowerParameter(&address, &result, port), 0);
    EXPECT_EQ(result, 0) << "a rising power list checks out";
    list[20] = 0;
    ASSERT_EQ(SolidifyDACandPowerlist(&address, list, &result, port), 0);
    ASSERT_EQ(CheckPowerParameter(&address, &result, port), 0);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(hexOf(state().powerList, 31), hexOf(list, 31));

    ASSERT_EQ(RfOutput(&address, 1, port), 0);
    EXPECT_EQ(state().rfOutput, 1);
    ASSERT_EQ(DeleteRfOutput(&address, &result, port), 0);
    EXPECT_EQ(state().rfOutput, 0);

    const unsigned char frequency[4] = {0x0D, 0xBB, 0xA0, 0x00};
    const unsigned char a1[4] = {1, 2, 3, 4}, a2[4] = {5, 6, 7, 8};
    const unsigned char dcOffset[2] = {0x7F, 0x01};
    ASSERT_EQ(EnableTestFreq(&address, frequency, 2, port), 0);
    ASSERT_EQ(SetAValue(&address, 3, a1, a2, port), 0);
    ASSERT_EQ(SetCheckAnt(&address, 1, port), 0);
    ASSERT_EQ(SetDCOffset(&address, dcOffset, port), 0);
    ASSERT_EQ(SetQS(&address, 5, 6, port), 0);
    unsigned char adjust[148];
    ASSERT_EQ(GetAdjustPara(&address, adjust, port), 0);
    EXPECT_EQ(hexOf(adjust + 24, 8), "0102030405060708") << "A value 3";
    const unsigned char tail[] = {0x55, 5, 6, 0x7F, 0x01, 1, 0, 2, 0x0D, 0xBB, 0xA0, 0x00};
    EXPECT_EQ(hexOf(adjust + 128, 12), hexOf(tail, 12));
    unsigned char qs[2] = {};
    ASSERT_EQ(GetQS(&address, &qs[0], &qs[1], port), 0);
    EXPECT_EQ(hexOf(qs, 2), "0506");

    unsigned char ad[2] = {}, forward[2] = {}, reflected[2] = {};
    ASSERT_EQ(GetADValue(&address, 2, ad, port), 0);
    EXPECT_EQ(hexOf(ad, 2), hexOf(state().adValues[2], 2));
    ASSERT_EQ(GetCheckPWR(&address, forward, reflected, port), 0);
    EXPECT_EQ(hexOf(forward, 2) + hexOf(reflected, 2), hexOf(state().checkPower, 4));

    TessaroSimReaderState s = state();
    for (int i = 0; i < 9; ++i) s.startInfo[i] = static_cast<unsigned char>(0xA0 + i);
    setState(s);
    unsigned char info[9] = {};
    ASSERT_EQ(GetStartInformation(&address, &info[0], &info[1], &info[2], &info[3], &info[4], &info[5],
                                  &info[6], &info[7], &info[8], port),
              0);
    EXPECT_EQ(hexOf(info, 9), "A0A1A2A3A4A5A6A7A8");

    ASSERT_EQ(SetFlashRom(&address, port), 0);
    EXPECT_EQ(state().flashWrites, 1);

    ASSERT_EQ(InSelfTestMode(&address, 0, port), 0);
    EXPECT_EQ(state().selfTestMode, 0);
    EXPECT_EQ(SetDAC(&address, 0x10, port), TESSARO_SIM_STATUS_ILLEGAL);
    EXPECT_EQ(SetWorkTime(&address, 1, 2, port), 0) << "0x60 with three bytes is the work time: no self-test";
}

TEST_F(Config, KeyboardModeSettingsRoundTrip) {
    unsigned char p[6] = {};
    ASSERT_EQ(SetHidWorkPara(&address, 2, 0x33, 5, 1, 0, 0x44, port), 0);
    ASSERT_EQ(GetHidWorkPara(&address, &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], port), 0);
    EXPECT_EQ(hexOf(p, 6), "023305010044");

    unsigned char beep = 0xEE;
    ASSERT_EQ(SetHidBeepEn(&address, 0, port), 0);
    ASSERT_EQ(GetHidBeepEn(&address, &beep, port), 0);
    EXPECT_EQ(beep, 0);

    ASSERT_EQ(ChangeToHID(&address, port), 0);
    EXPECT_EQ(state().keyboardMode, 1);
    EXPECT_EQ(counters().changeToHid, 1);
    EXPECT_EQ(GetHidBeepEn(&address, &beep, port), 0) << "the reader goes on answering";
}

}  // namespace
}  // namespace tessaro::simtest
