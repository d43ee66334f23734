// Calibration and factory commands: one reader command each, stated as its row
// of the command table. Calibration values, power lists and adjustment blocks
// pass through byte for byte; their meaning is the reader's, and so is the
// question of when (in or out of the self-test mode) it takes them.
#include "Tessaro.h"
#include "link/api_lock.h"
#include "protocol/exchange.h"

using namespace tessaro;
using namespace tessaro::protocol;

namespace {

constexpr std::uint8_t kSelfTestCode = 0x26;
// Leaving the self-test mode is this byte alone, without a frame around it.
// The reader answers either way with the echo 0x26 or 0xA5.
constexpr std::uint8_t kLeaveSelfTest = 0xA5;

}  // namespace

// Leaving reads no address, so `address` may be null then: the answer's Adr
// is written back only where there is somewhere to write it.
TESSARO_API int InSelfTestMode(unsigned char *address, int enter, int portIndex) {
    const ApiLock lock;
    const int collected = enter != 0 ? exchange(CommandFrame(address, kSelfTestCode), portIndex)
                                     : exchangeBytes(&kLeaveSelfTest, 1, portIndex);
    const int result = collected != 0 ? collected : checkAnswer(kSelfTestCode, kLeaveSelfTest);
    return result != 0 ? result : accept(Rule::AlwaysWriteBack, address, NoOutputs{});
}

TESSARO_API int SetDAC(unsigned char *address, int dacValue, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x29).byte(dacValue), portIndex, Rule::AlwaysWriteBack,
                   address);
}

TESSARO_API int GetDAC(unsigned char *address, unsigned char *dacValue, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x2A), portIndex, Rule::StatusGated, address,
                   [&](const Answer &answer) { *dacValue = answer.data(0); });
}

TESSARO_API int CheckPowerParameter(unsigned char *address, unsigned char *checkResult,
                                    int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x2B), portIndex, Rule::StatusGated, address,
                   [&](const Answer &answer) { *checkResult = answer.data(0); });
}

// 31 list bytes: a 36-byte frame, inside one report.
TESSARO_API int SolidifyDACandPowerlist(unsigned char *address, const unsigned char *powerList,
                                        unsigned char *solidifyResult, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x2C).bytes(powerList, 31), portIndex, Rule::StatusGated,
                   address, [&](const Answer &answer) { *solidifyResult = answer.data(0); });
}

TESSARO_API int GetStartInformation(unsigned char *address, unsigned char *startInfo0,
                                    unsigned char *startInfo1, unsigned char *startInfo2,
                                    unsigned char *startInfo3, unsigned char *startInfo4,
                                    unsigned char *startInfo5, unsigned char *startInfo6,
                                    unsigned char *startInfo7, unsigned char *startInfo8,
                                    int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x2D), portIndex, Rule::StatusGated, address,
                   [&](const Answer &answer) {
                       answer.copyEach(0, startInfo0, startInfo1, startInfo2, startInfo3,
                                       startInfo4, startInfo5, startInfo6, startInfo7, startInfo8);
                   });
}

TESSARO_API int RfOutput(unsigned char *address, int rfOutput, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x30).byte(rfOutput), portIndex, Rule::StatusGated,
                   address);
}

TESSARO_API int DeleteRfOutput(unsigned char *address, unsigned char *deleteResult, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x32), portIndex, Rule::StatusGated, address,
                   [&](const Answer &answer) { *deleteResult = answer.data(0); });
}

// Codes 0x60 and 0x61 are shared with SetWorkTime and GetWorkTime: the reader
// tells the forms apart by their data alone (five bytes under 0x60, one byte
// under 0x61 here).
TESSARO_API int EnableTestFreq(unsigned char *address, const unsigned char *testFrequency,
                               int testMode, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x60).bytes(testFrequency, 4).byte(testMode), portIndex,
                   Rule::StatusGated, address);
}

TESSARO_API int GetADValue(unsigned char *address, int adChannel, unsigned char *adValue,
                           int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x61).byte(adChannel), portIndex, Rule::StatusGated,
                   address, [&](const Answer &answer) { answer.copyData(0, adValue, 2); });
}

TESSARO_API int SetAValue(unsigned char *address, int aSelector, const unsigned char *aValue1,
                          const unsigned char *aValue2, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x62).byte(aSelector).bytes(aValue1, 4).bytes(aValue2, 4),
                   portIndex, Rule::StatusGated, address);
}

// All 148 bytes are copied whatever the answer's length: past its data they
// are its CRC bytes and then zeros.
TESSARO_API int GetAdjustPara(unsigned char *address, unsigned char *adjustPara, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x65), portIndex, Rule::StatusGated, address,
                   [&](const Answer &answer) { answer.copyData(0, adjustPara, 148); });
}

TESSARO_API int SetCheckAnt(unsigned char *address, int checkAnt, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x66).byte(checkAnt), portIndex, Rule::StatusGated,
                   address);
}

TESSARO_API int GetCheckPWR(unsigned char *address, unsigned char *checkPwr1,
                            unsigned char *checkPwr2, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x67), portIndex, Rule::StatusGated, address,
                   [&](const Answer &answer) {
                       answer.copyData(0, checkPwr1, 2);
                       answer.copyData(2, checkPwr2, 2);
                   });
}

TESSARO_API int SetDCOffset(unsigned char *address, const unsigned char *dcOffset, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x6C).bytes(dcOffset, 2), portIndex, Rule::StatusGated,
                   address);
}

TESSARO_API int SetQS(unsigned char *address, int qs1, int qs2, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x81).byte(qs1).byte(qs2), portIndex, Rule::StatusGated,
                   address);
}

TESSARO_API int GetQS(unsigned char *address, unsigned char *qs1, unsigned char *qs2,
                      int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x82), portIndex, Rule::StatusGated, address,
                   [&](const Answer &answer) { answer.copyEach(0, qs1, qs2); });
}

TESSARO_API int SetFlashRom(unsigned char *address, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x84), portIndex, Rule::NoWriteBack, address);
}
