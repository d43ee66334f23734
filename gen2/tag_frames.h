// The walk over a streamed answer whose frames carry tags: an inventory's
// answer frames and a buffer read-out's frames, both laid out as
//
//     Len | Adr | reCmd | Status | [Antenna] | Count | EPC-ID data | CRC low | CRC high
//
// The EPC-ID data of the frames taken are joined into the caller's EPC-ID
// list, unchanged: their inner layout is the reader's.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaro::gen2 {

struct TagFrameLayout {
    bool (*carriesTags)(std::uint8_t status);
    std::size_t countOffset;  // the Count byte; the EPC-ID data run from the next one to the CRC
    bool hasAntenna;          // the Antenna byte stands just before the Count byte
};

// Inventory answer frames: Status 1 to 4, Antenna, Count, Len - 7 data bytes.
extern const TagFrameLayout kInventoryFrames;
// Read-out frames: Status 1 or 3, Count, Len - 6 data bytes.
extern const TagFrameLayout kReadOutFrames;

// Walks the stream the last exchange collected, from the front. A frame whose
// Status carries tags is taken: its Antenna byte to *antenna (layouts with
// one), its Count added to *tagCount, its data appended to `epcList`. The
// walk stops at the first frame with another Status. Then *totalLength gets
// the list's length (0, and `epcList` untouched, when nothing was taken).
//
// Every read stays within the collected bytes and within the frame it
// belongs to: a frame too short for a Status (Len below 5) is stepped over; a
// tag-carrying frame too short for its Count and CRC gives nothing but its
// Status; a frame running past the collected bytes ends the walk. The list
// holds at most as many bytes as were collected (RESPONSE_BUFFER_SIZE).
//
// Every frame the walk reads (each with a Status, up to the one it ends on)
// must end with its own CRC: otherwise the walk returns ERR_CRC and writes
// nothing at all, *tagCount included.
//
// Returns the Status of the frame the walk ended on: the last one taken, or
// the first that carries no tags.
int walkTagFrames(const TagFrameLayout &layout, unsigned char *epcList, unsigned char *antenna,
                  int *totalLength, int *tagCount);

}  // namespace tessaro::gen2
