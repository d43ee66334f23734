// Gen2 memory access: reading, writing and erasing words (16-bit units) of a
// tag's memory. Each command is one frame and one answer; the tag is named by
// tag selection (but for WriteEPC_G2), the password follows the command's own
// fields, and the tag's error byte comes back in errorCode.
#include <algorithm>

#include "Tessaro.h"
#include "link/api_lock.h"
#include "tag_selection.h"

using namespace tessaro;
using namespace tessaro::gen2;
using namespace tessaro::protocol;

namespace {

// WriteData_G2 and WriteEPC_G2 refuse frames above this Len themselves, a
// little short of what one report carries; the other commands are held to the
// report only.
constexpr std::size_t kWriteMaxLen = 60;

enum class SizeCheck { Own, ReportOnly };

// Where a command reads, erases or writes: the memory bank and the word
// pointer, one byte or (extended commands) two, sent in memory order.
struct Words {
    Words(int bank, int wordPointer)
        : memBank(bank), pointer{static_cast<unsigned char>(wordPointer), 0}, pointerSize(1) {}
    Words(int bank, const unsigned char *wordPointer)
        : memBank(bank), pointer{wordPointer[0], wordPointer[1]}, pointerSize(2) {}

    int memBank;
    unsigned char pointer[2];
    std::size_t pointerSize;
};

// ReadData_G2, ExtReadData_G2, BlockErase_G2: the tag, the bank, the word
// pointer, wordCount, the password, the mask block. `data` (null for an
// erase) receives the words read: the answer's data, no more than the
// 2 x wordCount bytes the caller was asked to provide.
int wordsCommand(std::uint8_t code, unsigned char *address, const TagSelection &tag,
                 const Words &words, int wordCount, const unsigned char *password, Rule rule,
                 unsigned char *data, int *errorCode, int portIndex) {
    return selectingCommand(
        address, code, tag,
        [&](CommandFrame &frame) {
            frame.byte(words.memBank)
                .bytes(words.pointer, words.pointerSize)
                .byte(wordCount)
                .bytes(password, kPasswordSize);
        },
        portIndex, rule, errorCode,
        [&](const Answer &answer) {
            if (!data) return;
            const std::size_t room = 2u * static_cast<std::uint8_t>(wordCount);
            answer.copyData(0, data, std::min(answer.carriedDataLength(), room));
        });
}

// WriteData_G2, BlockWrite_G2, ExtWriteData_G2: writeWords before the tag,
// then the bank, the word pointer, 2 x writeWords bytes, the password, the
// mask block. The answer's address is written back after status 0.
int writeCommand(std::uint8_t code, unsigned char *address, const TagSelection &tag, int writeWords,
                 const Words &words, const unsigned char *writeData, const unsigned char *password,
                 SizeCheck check, int *errorCode, int portIndex) {
    if (tag.refused()) return ERR_PARAMETER;
    CommandFrame frame(address, code);
    frame.byte(writeWords);
    tag.name(frame)
        .byte(words.memBank)
        .bytes(words.pointer, words.pointerSize)
        .bytes(writeData, 2u * static_cast<std::uint8_t>(writeWords))
        .bytes(password, kPasswordSize);
    tag.mask(frame);
    if (check == SizeCheck::Own && frame.len() > kWriteMaxLen) return ERR_FRAME_TOO_LONG;
    return tagCommand(frame, portIndex, Rule::StatusGated, address, errorCode);
}

}  // namespace

TESSARO_API int ReadData_G2(unsigned char *address, const unsigned char *epc, int epcWords,
                            int memBank, int wordPointer, int wordCount,
                            const unsigned char *password, int maskMem,
                            const unsigned char *maskAddress, int maskLength,
                            const unsigned char *maskData, unsigned char *data, int *errorCode,
                            int portIndex) {
    const ApiLock lock;
    return wordsCommand(0x02, address, {epc, epcWords, maskMem, maskAddress, maskLength, maskData},
                        {memBank, wordPointer}, wordCount, password, Rule::StatusGated, data,
                        errorCode, portIndex);
}

TESSARO_API int WriteData_G2(unsigned char *address, const unsigned char *epc, int writeWords,
                             int epcWords, int memBank, int wordPointer,
                             const unsigned char *writeData, const unsigned char *password,
                             int maskMem, const unsigned char *maskAddress, int maskLength,
                             const unsigned char *maskData, int *errorCode, int portIndex) {
    const ApiLock lock;
    return writeCommand(0x03, address, {epc, epcWords, maskMem, maskAddress, maskLength, maskData},
                        writeWords, {memBank, wordPointer}, writeData, password, SizeCheck::Own,
                        errorCode, portIndex);
}

TESSARO_API int WriteEPC_G2(unsigned char *address, const unsigned char *password,
                            const unsigned char *epc, int epcWords, int *errorCode, int portIndex) {
    const ApiLock lock;
    CommandFrame frame(address, 0x04);
    frame.byte(epcWords)
        .bytes(password, kPasswordSize)
        .bytes(epc, 2u * static_cast<std::uint8_t>(epcWords));
    if (frame.len() > kWriteMaxLen) return ERR_FRAME_TOO_LONG;
    return tagCommand(frame, portIndex, Rule::NoWriteBack, address, errorCode);
}

TESSARO_API int BlockErase_G2(unsigned char *address, const unsigned char *epc, int epcWords,
                              int memBank, int wordPointer, int wordCount,
                              const unsigned char *password, int maskMem,
                              const unsigned char *maskAddress, int maskLength,
                              const unsigned char *maskData, int *errorCode, int portIndex) {
    const ApiLock lock;
    return wordsCommand(0x07, address, {epc, epcWords, maskMem, maskAddress, maskLength, maskData},
                        {memBank, wordPointer}, wordCount, password, Rule::NoWriteBack, nullptr,
                        errorCode, portIndex);
}

TESSARO_API int BlockWrite_G2(unsigned char *address, const unsigned char *epc, int writeWords,
                              int epcWords, int memBank, int wordPointer,
                              const unsigned char *writeData, const unsigned char *password,
                              int maskMem, const unsigned char *maskAddress, int maskLength,
                              const unsigned char *maskData, int *errorCode, int portIndex) {
    const ApiLock lock;
    return writeCommand(0x10, address, {epc, epcWords, maskMem, maskAddress, maskLength, maskData},
                        writeWords, {memBank, wordPointer}, writeData, password,
                        SizeCheck::ReportOnly, errorCode, portIndex);
}

TESSARO_API int ExtReadData_G2(unsigned char *address, const unsigned char *epc, int epcWords,
                               int memBank, const unsigned char *wordPointer, int wordCount,
                               const unsigned char *password, int maskMem,
                               const unsigned char *maskAddress, int maskLength,
                               const unsigned char *maskData, unsigned char *data, int *errorCode,
                               int portIndex) {
    const ApiLock lock;
    return wordsCommand(0x15, address, {epc, epcWords, maskMem, maskAddress, maskLength, maskData},
                        {memBank, wordPointer}, wordCount, password, Rule::StatusGated, data,
                        errorCode, portIndex);
}

TESSARO_API int ExtWriteData_G2(unsigned char *address, const unsigned char *epc, int writeWords,
                                int epcWords, int memBank, const unsigned char *wordPointer,
                                const unsigned char *writeData, const unsigned char *password,
                                int maskMem, const unsigned char *maskAddress, int maskLength,
                                const unsigned char *maskData, int *errorCode, int portIndex) {
    const ApiLock lock;
    return writeCommand(0x16, address, {epc, epcWords, maskMem, maskAddress, maskLength, maskData},
                        writeWords, {memBank, wordPointer}, writeData, password,
                        SizeCheck::ReportOnly, errorCode, portIndex);
}
