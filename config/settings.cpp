// Reader settings commands: one reader command each, stated as its row of the
// command table (code, data bytes, outputs, acceptance rule). The library
// passes every value through; its meaning is the reader's.
#include "Tessaro.h"
#include "link/api_lock.h"
#include "protocol/exchange.h"

using namespace tessaro;
using namespace tessaro::protocol;

TESSARO_API int SetRegion(unsigned char *address, int maxChannelByte, int minChannelByte,
                          int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x22).byte(maxChannelByte).byte(minChannelByte),
                   portIndex, Rule::AlwaysWriteBack, address);
}

// The reader may answer with its old or its new address; whichever comes back
// is written to `address`, the library keeps none of its own.
TESSARO_API int SetAddress(unsigned char *address, int newAddress, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x24).byte(newAddress), portIndex, Rule::AlwaysWriteBack,
                   address);
}

// Only GetReaderInformation changes the scan time that stretches the
// inventory time bounds, so this leaves it alone.
TESSARO_API int SetInventoryScanTime(unsigned char *address, int scanTime, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x25).byte(scanTime), portIndex, Rule::AlwaysWriteBack,
                   address);
}

TESSARO_API int SetRevDelay(unsigned char *address, int revDelay, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x27).byte(revDelay), portIndex, Rule::NoWriteBack,
                   address);
}

TESSARO_API int SetRfPower(unsigned char *address, int power, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x2F).byte(power), portIndex, Rule::StatusGated, address);
}

TESSARO_API int GetRevDelay(unsigned char *address, unsigned char *revDelay, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x31), portIndex, Rule::NoWriteBack, address,
                   [&](const Answer &answer) { *revDelay = answer.data(0); });
}

TESSARO_API int BuzzerAndLEDControl(unsigned char *address, int controlByte1, int controlByte2,
                                    int controlByte3, int portIndex) {
    const ApiLock lock;
    return command(
        CommandFrame(address, 0x33).byte(controlByte1).byte(controlByte2).byte(controlByte3),
        portIndex, Rule::NoWriteBack, address);
}

TESSARO_API int SetWorkMode(unsigned char *address, int workMode, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x35).byte(workMode), portIndex, Rule::NoWriteBack,
                   address);
}

// Answer data 6 to 41 is laid out like SetMask's request with room for the
// longest mask: bank, two address bytes, length in bits, 32 mask bytes. The
// reader answers in two forms told apart by Len alone: the short one (Len 47)
// ends after the mask, the full one carries three more bytes.
TESSARO_API int GetSystemParameter(unsigned char *address, unsigned char *sysParam0,
                                   unsigned char *sysParam1, unsigned char *sysParam2,
                                   unsigned char *sysParam3, unsigned char *sysParam4,
                                   unsigned char *sysParam5, unsigned char *maskMem,
                                   unsigned char *maskAddress, unsigned char *maskLength,
                                   unsigned char *maskData, unsigned char *sysParam42,
                                   unsigned char *sysParam43, unsigned char *sysParam44,
                                   int portIndex) {
    const ApiLock lock;
    constexpr std::uint8_t kShortFormLen = 47;
    return command(CommandFrame(address, 0x36), portIndex, Rule::NoWriteBack, address,
                   [&](const Answer &answer) {
                       answer.copyEach(0, sysParam0, sysParam1, sysParam2, sysParam3, sysParam4,
                                       sysParam5, maskMem);
                       answer.copyData(7, maskAddress, 2);
                       *maskLength = answer.data(9);
                       answer.copyData(10, maskData, 32);
                       if (answer.len() == kShortFormLen)
                           *sysParam42 = 0;
                       else
                           answer.copyEach(42, sysParam42, sysParam43, sysParam44);
                   });
}

TESSARO_API int SetEASSensitivity(unsigned char *address, int sensitivity, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x37).byte(sensitivity), portIndex, Rule::NoWriteBack,
                   address);
}

TESSARO_API int SetTagCustomFunction(unsigned char *address, unsigned char *customFunction,
                                     int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x3A).byte(*customFunction), portIndex, Rule::StatusGated,
                   address, [&](const Answer &answer) { *customFunction = answer.data(0); });
}

// At most 32 mask bytes: the frame (41 bytes) always fits one report.
TESSARO_API int SetMask(unsigned char *address, int maskMem, const unsigned char *maskAddress,
                        int maskLength, const unsigned char *maskData, int portIndex) {
    const ApiLock lock;
    return command(
        CommandFrame(address, 0x3B).maskBlock(maskMem, maskAddress, maskLength, maskData),
        portIndex, Rule::NoWriteBack, address);
}

TESSARO_API int SetResponsePamametersofAuto_runningMode(unsigned char *address, int autoParam1,
                                                        int autoParam2, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x3C).byte(autoParam1).byte(autoParam2), portIndex,
                   Rule::NoWriteBack, address);
}

TESSARO_API int SetInventoryInterval(unsigned char *address, int interval, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x3D).byte(interval), portIndex, Rule::NoWriteBack,
                   address);
}

TESSARO_API int SelectTagType(unsigned char *address, int tagType, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x3E).byte(tagType), portIndex, Rule::NoWriteBack,
                   address);
}

TESSARO_API int SetAntennaMultiplexing(unsigned char *address, int antennaMultiplexing,
                                       int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x3F).byte(antennaMultiplexing), portIndex,
                   Rule::NoWriteBack, address);
}

TESSARO_API int SetBeepNotification(unsigned char *address, int beepNotification, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x40).byte(beepNotification), portIndex, Rule::NoWriteBack,
                   address);
}

TESSARO_API int SetReal_timeClock(unsigned char *address, const unsigned char *clockData,
                                  int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x41).bytes(clockData, 6), portIndex, Rule::NoWriteBack,
                   address);
}

TESSARO_API int GetTime(unsigned char *address, unsigned char *clockData, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x42), portIndex, Rule::NoWriteBack, address,
                   [&](const Answer &answer) { answer.copyData(0, clockData, 6); });
}

TESSARO_API int ClearTagBuffer(unsigned char *address, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x44), portIndex, Rule::NoWriteBack, address);
}

TESSARO_API int SetRelay(unsigned char *address, int relay, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x45).byte(relay), portIndex, Rule::NoWriteBack, address);
}

TESSARO_API int SetGPIO(unsigned char *address, int gpio, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x46).byte(gpio), portIndex, Rule::NoWriteBack, address);
}

TESSARO_API int GetGPIOStatus(unsigned char *address, unsigned char *gpioStatus, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x47), portIndex, Rule::NoWriteBack, address,
                   [&](const Answer &answer) { *gpioStatus = answer.data(0); });
}

TESSARO_API int SetNotificationPulseOutput(unsigned char *address, int pulseOutput, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x48).byte(pulseOutput), portIndex, Rule::NoWriteBack,
                   address);
}

TESSARO_API int SetTriggerTime(unsigned char *address, int triggerTime, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x49).byte(triggerTime), portIndex, Rule::NoWriteBack,
                   address);
}

TESSARO_API int SetTIDParameter(unsigned char *address, int tidParam1, int tidParam2,
                                int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x4A).byte(tidParam1).byte(tidParam2), portIndex,
                   Rule::StatusGated, address);
}

// The reader wants the two bytes 'T' 'E' in front of a new serial number.
TESSARO_API int SetSeriaNo(unsigned char *address, const unsigned char *serialNumber,
                           int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x4B).byte(0x54).byte(0x45).bytes(serialNumber, 4),
                   portIndex, Rule::StatusGated, address);
}

TESSARO_API int GetSeriaNo(unsigned char *address, unsigned char *serialNumber, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x4C), portIndex, Rule::StatusGated, address,
                   [&](const Answer &answer) { answer.copyData(0, serialNumber, 4); });
}

// Codes 0x60 and 0x61 are shared with EnableTestFreq and GetADValue: the
// reader tells the forms apart by their data alone (here a leading 0x00, and
// no data at all).
TESSARO_API int SetWorkTime(unsigned char *address, int workTime1, int workTime2, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x60).byte(0x00).byte(workTime1).byte(workTime2),
                   portIndex, Rule::StatusGated, address);
}

// Answer data byte 0 is not part of the work time.
TESSARO_API int GetWorkTime(unsigned char *address, unsigned char *workTime1,
                            unsigned char *workTime2, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x61), portIndex, Rule::StatusGated, address,
                   [&](const Answer &answer) { answer.copyEach(1, workTime1, workTime2); });
}

TESSARO_API int SetCommType(unsigned char *address, int commType, int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x6A).byte(commType), portIndex, Rule::StatusGated,
                   address);
}

TESSARO_API int GetModuleVersion(unsigned char *address, unsigned char *moduleVersion,
                                 int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x83), portIndex, Rule::NoWriteBack, address,
                   [&](const Answer &answer) { answer.copyData(0, moduleVersion, 2); });
}
