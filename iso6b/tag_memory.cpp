// 6B tag memory: read, write, lock a byte, and ask whether a byte is locked.
// A tag is named by its eight identifier bytes, sent in the caller's order
// after the memory address.
#include "Tessaro.h"
#include "protocol/tag_command.h"
#include "link/api_lock.h"

using namespace tessaro;
using namespace tessaro::protocol;

namespace {

constexpr std::size_t kTagIdBytes = 8;
constexpr int kMaxWriteLength = 48;  // makes a 62-byte frame

}  // namespace

TESSARO_API int ReadData_6B(unsigned char *address, unsigned char *tagId, int startAddress,
                            int readLength, unsigned char *data, int *errorCode, int portIndex) {
    const ApiLock lock;
    const std::uint8_t length = static_cast<std::uint8_t>(readLength);
    return tagCommand(
        CommandFrame(address, 0x52).byte(startAddress).bytes(tagId, kTagIdBytes).byte(length),
        portIndex, Rule::AlwaysWriteBack, address, errorCode, [&](const Answer &answer) {
            if (answer.carriedDataLength() > 0) answer.copyCarried(0, data, length);
        });
}

TESSARO_API int WriteData_6B(unsigned char *address, unsigned char *tagId, int startAddress,
                             unsigned char *writeData, int writeLength,
                             unsigned char *writtenLength, int *errorCode, int portIndex) {
    const ApiLock lock;
    // More than 48 bytes make a frame longer than one report. The length is
    // taken whole: a low byte that fits (300 is 44) would write fewer bytes
    // than the caller asked for.
    if (writeLength < 0 || writeLength > kMaxWriteLength) return ERR_FRAME_TOO_LONG;
    const std::uint8_t length = static_cast<std::uint8_t>(writeLength);
    return tagCommand(
        CommandFrame(address, 0x53).byte(startAddress).bytes(tagId, kTagIdBytes).bytes(writeData, length),
        portIndex, Rule::AlwaysWriteBack, address, errorCode,
        // The answer carries no count: the reader wrote what was sent.
        [&](const Answer &) { *writtenLength = length; });
}

TESSARO_API int Lock_6B(unsigned char *address, unsigned char *tagId, int byteAddress,
                        int *errorCode, int portIndex) {
    const ApiLock lock;
    return tagCommand(CommandFrame(address, 0x55).byte(byteAddress).bytes(tagId, kTagIdBytes),
                      portIndex, Rule::AlwaysWriteBack, address, errorCode);
}

TESSARO_API int CheckLock_6B(unsigned char *address, unsigned char *tagId, int byteAddress,
                             unsigned char *lockState, int *errorCode, int portIndex) {
    const ApiLock lock;
    return tagCommand(CommandFrame(address, 0x54).byte(byteAddress).bytes(tagId, kTagIdBytes),
                      portIndex, Rule::StatusGated, address, errorCode,
                      [&](const Answer &answer) { *lockState = answer.carriedData(0); });
}
