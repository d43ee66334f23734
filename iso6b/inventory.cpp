// 6B inventories: one tag, or the tags a group selection matches. Their
// outputs follow the presence of data in the answer, not its Status: the
// reader reports a partial result with a non-zero Status.
#include "Tessaro.h"
#include "protocol/tag_command.h"
#include "link/api_lock.h"

using namespace tessaro;
using namespace tessaro::protocol;

namespace {

// Transacts, writes the address back whatever the Status, and hands an
// answer that carries data to `fill`. Returns the Status.
template <class Fill>
int inventory(const CommandFrame &frame, int portIndex, unsigned char *address, Fill &&fill) {
    const int result = transact(frame, portIndex);
    if (result != 0) return result;
    const int status = accept(Rule::AlwaysWriteBack, address, NoOutputs{});
    const Answer answer;
    if (answer.carriedDataLength() > 0) fill(answer);
    return status;
}

constexpr std::size_t kSingleTagBytes = 10;

}  // namespace

TESSARO_API int InventorySingle_6B(unsigned char *address, unsigned char *leadingByte,
                                   unsigned char *tagData, int portIndex) {
    const ApiLock lock;
    return inventory(CommandFrame(address, 0x50), portIndex, address, [&](const Answer &answer) {
        *leadingByte = answer.data(0);
        answer.copyCarried(1, tagData, kSingleTagBytes);
    });
}

TESSARO_API int InventoryMultiple_6B(unsigned char *address, int condition, int startAddress,
                                     int mask, unsigned char *wordData,
                                     unsigned char *leadingByte, unsigned char *tagData,
                                     int *tagCount, int portIndex) {
    const ApiLock lock;
    return inventory(
        CommandFrame(address, 0x51).byte(condition).byte(startAddress).byte(mask).bytes(wordData, 8),
        portIndex, address, [&](const Answer &answer) {
            *leadingByte = answer.data(0);
            *tagCount = answer.carriedData(1);
            // The tag bytes run to the end of the answer's data; tagCount is
            // the reader's word and does not size the copy.
            const std::size_t carried = answer.carriedDataLength();
            answer.copyData(2, tagData, carried > 2 ? carried - 2 : 0);
        });
}
