// The reader's keyboard-emulation mode: the switch into it and its settings.
// These commands judge the answer by its CRC alone: the echo is not looked at,
// the address is never written back, and the get commands fill their outputs
// whatever the Status.
#include <cstdint>

#include "Tessaro.h"
#include "link/api_lock.h"
#include "protocol/exchange.h"

using namespace tessaro;
using namespace tessaro::protocol;

namespace {

// Only the low byte of an argument travels, so only the low byte is tested.
std::uint8_t lowByte(int value) { return static_cast<std::uint8_t>(value); }

}  // namespace

// Not a reader command: one control report, no answer awaited. The library
// keeps no record of the reader's mode; every command stays available.
TESSARO_API int ChangeToHID(unsigned char * /*address*/, int portIndex) {
    const ApiLock lock;
    return sendControlReport(CTRL_CHANGE_TO_HID, portIndex);
}

// A refused argument leaves everything as it was: nothing is sent, `address`
// is not read and the response buffer keeps the last answer.
TESSARO_API int SetHidWorkPara(unsigned char *address, int hidParam1, int hidParam2, int hidParam3,
                               int hidParam4, int hidParam5, int hidParam6, int portIndex) {
    const ApiLock lock;
    if (lowByte(hidParam1) < 1 || lowByte(hidParam1) > 4 || lowByte(hidParam3) > 15 ||
        lowByte(hidParam4) > 1 || lowByte(hidParam5) > 1)
        return ERR_PARAMETER;
    return command(CommandFrame(address, 0xA1)
                       .byte(hidParam1)
                       .byte(hidParam2)
                       .byte(hidParam3)
                       .byte(hidParam4)
                       .byte(hidParam5)
                       .byte(hidParam6),
                   portIndex, Rule::CrcOnly, address);
}

TESSARO_API int GetHidWorkPara(unsigned char *address, unsigned char *hidParam1,
                               unsigned char *hidParam2, unsigned char *hidParam3,
                               unsigned char *hidParam4, unsigned char *hidParam5,
                               unsigned char *hidParam6, int portIndex) {
    const ApiLock lock;
    return command(
        CommandFrame(address, 0xA2), portIndex, Rule::CrcOnly, address, [&](const Answer &answer) {
            answer.copyEach(0, hidParam1, hidParam2, hidParam3, hidParam4, hidParam5, hidParam6);
        });
}

TESSARO_API int SetHidBeepEn(unsigned char *address, int hidBeepEnable, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0xA3).byte(hidBeepEnable), portIndex, Rule::CrcOnly,
                   address);
}

TESSARO_API int GetHidBeepEn(unsigned char *address, unsigned char *hidBeepEnable, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0xA4), portIndex, Rule::CrcOnly, address,
                   [&](const Answer &answer) { *hidBeepEnable = answer.data(0); });
}
