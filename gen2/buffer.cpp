// The reader's tag buffer: an inventory whose tags stay in the reader
// (InventoryBuffer_G2), the save-length setting, the read-out of the buffer
// as a stream of frames, clearing and counting. None of these commands
// writes the answer's address back; the single answers hand their data over
// whatever their Status.
#include "Tessaro.h"
#include "inventory_request.h"
#include "link/api_lock.h"
#include "protocol/exchange.h"
#include "tag_frames.h"

using namespace tessaro;
using namespace tessaro::gen2;
using namespace tessaro::protocol;

namespace {

// A read-out of at most this many bytes holds no tag: the reader's way of
// saying that the buffer is empty.
constexpr std::size_t kEmptyReadOutMax = 10;

// Once CRC and echo hold (`result` 0), fills the outputs from the answer
// whatever its Status, and returns the Status.
template <class Fill = NoOutputs>
int answerWhateverStatus(int result, Fill &&fill = {}) {
    if (result != 0) return result;
    const Answer answer;
    fill(answer);
    return answer.status();
}

// Two answer data bytes as a big-endian count.
int bigEndian(const Answer &answer, std::size_t first) {
    return answer.carriedData(first) * 256 + answer.carriedData(first + 1);
}

}  // namespace

TESSARO_API int InventoryBuffer_G2(unsigned char *address, int qValue, int session, int maskMem,
                                   const unsigned char *maskAddress, int maskLength,
                                   const unsigned char *maskData, int maskFlag, int tidAddress,
                                   int tidLength, int tidFlag, int target, int antenna,
                                   int scanTime, int targetFlag, int *bufferCount, int *tagCount,
                                   int portIndex) {
    const ApiLock lock;
    const CommandFrame request = inventoryRequest(
        address, 0x18, qValue, session, maskMem, maskAddress, maskLength, maskData, maskFlag,
        tidAddress, tidLength, tidFlag, target, antenna, scanTime, targetFlag);
    // This answer is recognised by its Len byte; its CRC is checked here.
    int result = exchange(request, portIndex, {Collect::LengthEnded});
    if (result == 0) result = checkAnswer(request.code());
    return answerWhateverStatus(result, [&](const Answer &answer) {
        *bufferCount = bigEndian(answer, 0);
        *tagCount = bigEndian(answer, 2);
    });
}

TESSARO_API int SetSaveLen(unsigned char *address, int saveLength, int portIndex) {
    const ApiLock lock;
    return answerWhateverStatus(transact(CommandFrame(address, 0x70).byte(saveLength), portIndex));
}

TESSARO_API int GetSaveLen(unsigned char *address, unsigned char *saveLength, int portIndex) {
    const ApiLock lock;
    return answerWhateverStatus(transact(CommandFrame(address, 0x71), portIndex),
                                [&](const Answer &answer) { *saveLength = answer.carriedData(0); });
}

TESSARO_API int ReadBuffer_G2(unsigned char *address, int *totalLength, int *tagCount,
                              unsigned char *epcList, int portIndex) {
    const ApiLock lock;
    // Neither CRC nor echo of the read-out frames is checked: the collector
    // delivers whole frames up to a closing Status-1 frame.
    const int result =
        exchange(CommandFrame(address, 0x72), portIndex, {Collect::BufferStream, true});
    if (result != 0) return result;
    if (Answer().length() <= kEmptyReadOutMax) {
        *totalLength = 0;
        *tagCount = 0;
        return Answer().status();
    }
    return walkTagFrames(kReadOutFrames, epcList, nullptr, totalLength, tagCount);
}

TESSARO_API int ClearBuffer_G2(unsigned char *address, int portIndex) {
    const ApiLock lock;
    return answerWhateverStatus(transact(CommandFrame(address, 0x73), portIndex));
}

TESSARO_API int GetBufferCnt_G2(unsigned char *address, int *bufferCount, int portIndex) {
    const ApiLock lock;
    return answerWhateverStatus(transact(CommandFrame(address, 0x74), portIndex),
                                [&](const Answer &answer) { *bufferCount = bigEndian(answer, 0); });
}
