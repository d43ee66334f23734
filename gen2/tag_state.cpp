// Gen2 tag state and security: kill, lock, privacy, EAS and the Monza 4QT
// parameter. Each command is one frame and one answer. Note where the
// command's own bytes stand: before the password in Lock_G2 and
// SetMonza4QTWorkParamter_G2, after it in EASConfigure_G2 and BlockLock_G2;
// the mask block always comes last.
#include "Tessaro.h"
#include "link/api_lock.h"
#include "tag_selection.h"

using namespace tessaro;
using namespace tessaro::gen2;
using namespace tessaro::protocol;

TESSARO_API int KillTag_G2(unsigned char *address, const unsigned char *epc, int epcWords,
                           const unsigned char *killPassword, int maskMem,
                           const unsigned char *maskAddress, int maskLength,
                           const unsigned char *maskData, int *errorCode, int portIndex) {
    const ApiLock lock;
    return selectingCommand(
        address, 0x05, {epc, epcWords, maskMem, maskAddress, maskLength, maskData},
        [&](CommandFrame &frame) { frame.bytes(killPassword, kPasswordSize); }, portIndex,
        Rule::NoWriteBack, errorCode);
}

TESSARO_API int Lock_G2(unsigned char *address, const unsigned char *epc, int epcWords,
                        int lockTarget, int lockAction, const unsigned char *password, int maskMem,
                        const unsigned char *maskAddress, int maskLength,
                        const unsigned char *maskData, int *errorCode, int portIndex) {
    const ApiLock lock;
    return selectingCommand(
        address, 0x06, {epc, epcWords, maskMem, maskAddress, maskLength, maskData},
        [&](CommandFrame &frame) {
            frame.byte(lockTarget).byte(lockAction).bytes(password, kPasswordSize);
        },
        portIndex, Rule::NoWriteBack, errorCode);
}

TESSARO_API int SetPrivacyByEPC_G2(unsigned char *address, const unsigned char *epc, int epcWords,
                                   const unsigned char *password, int maskMem,
                                   const unsigned char *maskAddress, int maskLength,
                                   const unsigned char *maskData, int *errorCode, int portIndex) {
    const ApiLock lock;
    return selectingCommand(
        address, 0x08, {epc, epcWords, maskMem, maskAddress, maskLength, maskData},
        [&](CommandFrame &frame) { frame.bytes(password, kPasswordSize); }, portIndex,
        Rule::NoWriteBack, errorCode);
}

TESSARO_API int SetPrivacyWithoutEPC_G2(unsigned char *address, const unsigned char *password,
                                        int *errorCode, int portIndex) {
    const ApiLock lock;
    return tagCommand(CommandFrame(address, 0x09).bytes(password, kPasswordSize), portIndex,
                      Rule::NoWriteBack, address, errorCode);
}

TESSARO_API int ResetPrivacy_G2(unsigned char *address, const unsigned char *password,
                                int *errorCode, int portIndex) {
    const ApiLock lock;
    return tagCommand(CommandFrame(address, 0x0A).bytes(password, kPasswordSize), portIndex,
                      Rule::NoWriteBack, address, errorCode);
}

TESSARO_API int CheckPrivacy_G2(unsigned char *address, unsigned char *privacyState, int *errorCode,
                                int portIndex) {
    const ApiLock lock;
    return tagCommand(CommandFrame(address, 0x0B), portIndex, Rule::NoWriteBack, address, errorCode,
                      [&](const Answer &answer) { *privacyState = answer.carriedData(0); });
}

TESSARO_API int EASConfigure_G2(unsigned char *address, const unsigned char *epc, int epcWords,
                                const unsigned char *password, int easFlag, int maskMem,
                                const unsigned char *maskAddress, int maskLength,
                                const unsigned char *maskData, int *errorCode, int portIndex) {
    const ApiLock lock;
    return selectingCommand(
        address, 0x0C, {epc, epcWords, maskMem, maskAddress, maskLength, maskData},
        [&](CommandFrame &frame) { frame.bytes(password, kPasswordSize).byte(easFlag); }, portIndex,
        Rule::StatusGated, errorCode);
}

TESSARO_API int EASAlarm_G2(unsigned char *address, int *errorCode, int portIndex) {
    const ApiLock lock;
    return tagCommand(CommandFrame(address, 0x0D), portIndex, Rule::StatusGated, address,
                      errorCode);
}

TESSARO_API int BlockLock_G2(unsigned char *address, const unsigned char *epc, int epcWords,
                             const unsigned char *password, int lockParameter, int maskMem,
                             const unsigned char *maskAddress, int maskLength,
                             const unsigned char *maskData, int *errorCode, int portIndex) {
    const ApiLock lock;
    return selectingCommand(
        address, 0x0E, {epc, epcWords, maskMem, maskAddress, maskLength, maskData},
        [&](CommandFrame &frame) { frame.bytes(password, kPasswordSize).byte(lockParameter); },
        portIndex, Rule::NoWriteBack, errorCode);
}

TESSARO_API int GetMonza4QTWorkParamter_G2(unsigned char *address, const unsigned char *epc,
                                           int epcWords, const unsigned char *password, int maskMem,
                                           const unsigned char *maskAddress, int maskLength,
                                           const unsigned char *maskData,
                                           unsigned char *qtParameter, int *errorCode,
                                           int portIndex) {
    const ApiLock lock;
    // The parameter comes back as two bytes: 0x00, then the parameter.
    return selectingCommand(
        address, 0x11, {epc, epcWords, maskMem, maskAddress, maskLength, maskData},
        [&](CommandFrame &frame) { frame.bytes(password, kPasswordSize); }, portIndex,
        Rule::StatusGated, errorCode,
        [&](const Answer &answer) { *qtParameter = answer.carriedData(1); });
}

TESSARO_API int SetMonza4QTWorkParamter_G2(unsigned char *address, const unsigned char *epc,
                                           int epcWords, int qtParameter,
                                           const unsigned char *password, int maskMem,
                                           const unsigned char *maskAddress, int maskLength,
                                           const unsigned char *maskData, int *errorCode,
                                           int portIndex) {
    const ApiLock lock;
    // The parameter travels as two bytes: 0x00, then the parameter.
    return selectingCommand(
        address, 0x12, {epc, epcWords, maskMem, maskAddress, maskLength, maskData},
        [&](CommandFrame &frame) {
            frame.byte(0x00).byte(qtParameter).bytes(password, kPasswordSize);
        },
        portIndex, Rule::StatusGated, errorCode);
}
