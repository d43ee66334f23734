#include "tag_frames.h"

#include <cstring>

#include "TessaroTypes.h"
#include "protocol/crc.h"
#include "protocol/exchange.h"

namespace tessaro::gen2 {

namespace {

constexpr std::size_t kStatusOffset = 3;
constexpr std::size_t kCrcSize = 2;
// Len, Adr, reCmd, Status and the CRC: the shortest frame with a Status.
constexpr std::size_t kShortestFrame = 6;

bool inventoryCarriesTags(std::uint8_t status) { return status >= 1 && status <= 4; }
bool readOutCarriesTags(std::uint8_t status) { return status == 1 || status == 3; }

// Calls `visit(frame, size)` for each frame with a Status, from the front,
// for as long as `visit` returns true. Frames too short for a Status are
// stepped over; a frame running past the collected bytes ends the walk.
template <class Visit>
void eachFrame(const std::uint8_t *bytes, std::size_t length, Visit &&visit) {
    for (std::size_t at = 0; at < length;) {
        const std::uint8_t *frame = bytes + at;
        const std::size_t size = frame[0] + 1u;
        if (size > length - at) return;
        at += size;
        if (size >= kShortestFrame && !visit(frame, size)) return;
    }
}

}  // namespace

const TagFrameLayout kInventoryFrames = {inventoryCarriesTags, 5, true};
const TagFrameLayout kReadOutFrames = {readOutCarriesTags, 4, false};

int walkTagFrames(const TagFrameLayout &layout, unsigned char *epcList, unsigned char *antenna,
                  int *totalLength, int *tagCount) {
    const protocol::Answer stream;
    const std::uint8_t *bytes = stream.bytes();
    const std::size_t length = stream.length();
    const std::size_t dataOffset = layout.countOffset + 1;
    const auto carriesTags = [&](const std::uint8_t *frame) {
        return layout.carriesTags(frame[kStatusOffset]);
    };

    // Every frame the walk will read is checked first, so that a damaged one
    // fails the answer before any of its bytes reach an output.
    bool intact = true;
    eachFrame(bytes, length, [&](const std::uint8_t *frame, std::size_t size) {
        intact = protocol::crc16(frame, size) == 0;
        return intact && carriesTags(frame);
    });
    if (!intact) return ERR_CRC;

    std::size_t listLength = 0;
    // The collectors end a stream on a frame with a Status, so the walk
    // always meets one; ERR_COMM stands for a stream that has none.
    int status = ERR_COMM;
    *tagCount = 0;
    eachFrame(bytes, length, [&](const std::uint8_t *frame, std::size_t size) {
        status = frame[kStatusOffset];
        if (!carriesTags(frame)) return false;
        if (size < dataOffset + kCrcSize) return true;
        if (layout.hasAntenna) *antenna = frame[layout.countOffset - 1];
        *tagCount += frame[layout.countOffset];
        const std::size_t dataLength = size - dataOffset - kCrcSize;
        std::memcpy(epcList + listLength, frame + dataOffset, dataLength);
        listLength += dataLength;
        return true;
    });
    *totalLength = static_cast<int>(listLength);
    return status;
}

}  // namespace tessaro::gen2
