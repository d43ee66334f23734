#include "tag_frames.h"

#include <cstring>

#include "TessaroTypes.h"
#include "protocol/exchange.h"

namespace tessaro::gen2 {

namespace {

constexpr std::size_t kStatusOffset = 3;
constexpr std::size_t kCrcSize = 2;
// Len, Adr, reCmd, Status and the CRC: the shortest frame with a Status.
constexpr std::size_t kShortestFrame = 6;

bool inventoryCarriesTags(std::uint8_t status) { return status >= 1 && status <= 4; }
bool readOutCarriesTags(std::uint8_t status) { return status == 1 || status == 3; }

}  // namespace

const TagFrameLayout kInventoryFrames = {inventoryCarriesTags, 5, true};
const TagFrameLayout kReadOutFrames = {readOutCarriesTags, 4, false};

int walkTagFrames(const TagFrameLayout &layout, unsigned char *epcList, unsigned char *antenna,
                  int *totalLength, int *tagCount) {
    const protocol::Answer stream;
    const std::uint8_t *bytes = stream.bytes();
    const std::size_t length = stream.length();
    const std::size_t dataOffset = layout.countOffset + 1;
    std::size_t listLength = 0;
    // The collectors end a stream on a frame with a Status, so the walk
    // always meets one; ERR_COMM stands for a stream that has none.
    int status = ERR_COMM;
    *tagCount = 0;
    for (std::size_t at = 0; at < length;) {
        const std::uint8_t *frame = bytes + at;
        const std::size_t size = frame[0] + 1u;
        if (size > length - at) break;
        at += size;
        if (size < kShortestFrame) continue;
        status = frame[kStatusOffset];
        if (!layout.carriesTags(frame[kStatusOffset])) break;
        if (size < dataOffset + kCrcSize) continue;
        if (layout.hasAntenna) *antenna = frame[layout.countOffset - 1];
        *tagCount += frame[layout.countOffset];
        const std::size_t dataLength = size - dataOffset - kCrcSize;
        std::memcpy(epcList + listLength, frame + dataOffset, dataLength);
        listLength += dataLength;
    }
    *totalLength = static_cast<int>(listLength);
    return status;
}

}  // namespace tessaro::gen2
