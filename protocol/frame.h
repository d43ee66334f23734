// Building a command frame in the command buffer:
//
//     Len | Adr | Cmd | data ... | CRC low | CRC high
//
// Len counts the bytes after itself. A frame must fit one data report (62
// bytes); the builder keeps counting past that so a command can tell how long
// the frame its arguments call for would be, and the exchange refuses to send
// it (ERR_FRAME_TOO_LONG).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaro::protocol {

class CommandFrame {
public:
    // Starts a frame addressed to the byte at `address` with command `code`.
    CommandFrame(const unsigned char *address, std::uint8_t code);

    // Appends the low byte of `value`.
    CommandFrame &byte(int value);
    // Appends `count` bytes from `data`, in memory order.
    CommandFrame &bytes(const unsigned char *data, std::size_t count);
    // The mask block of inventories, tag selection and SetMask: memory bank,
    // the two address bytes as they lie at `maskAddress`, the length in bits,
    // then ceil(length / 8) mask bytes.
    CommandFrame &maskBlock(int maskMem, const unsigned char *maskAddress, int maskLength,
                            const unsigned char *maskData);

    std::uint8_t code() const { return code_; }
    // The Len byte this frame calls for (may exceed what one report carries).
    std::size_t len() const { return size_ + 1; }
    // Whole frame, CRC included.
    std::size_t size() const { return size_ + 2; }
    bool fitsReport() const;

    // Writes Len and the CRC; call once the data is complete. The bytes are in
    // the process-wide command buffer.
    const std::uint8_t *finish() const;

private:
    std::uint8_t *buffer_;
    std::size_t size_;  // bytes so far: Len, Adr, Cmd, data
    std::uint8_t code_;
};

// Number of mask bytes for a mask of `maskLength` bits (low byte used): 0 to 32.
std::size_t maskByteCount(int maskLength);

}  // namespace tessaro::protocol
