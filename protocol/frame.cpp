#include "frame.h"

#include <cstring>

#include "crc.h"
#include "link/process_state.h"

namespace tessaro::protocol {

CommandFrame::CommandFrame(const unsigned char *address, std::uint8_t code)
    : buffer_(processState().command), size_(0), code_(code) {
    std::memset(buffer_, 0, kCommandBufferSize);
    byte(0);  // Len, written by finish()
    byte(*address);
    byte(code);
}

CommandFrame &CommandFrame::byte(int value) {
    if (size_ < kCommandBufferSize) buffer_[size_] = static_cast<std::uint8_t>(value);
    ++size_;
    return *this;
}

CommandFrame &CommandFrame::bytes(const unsigned char *data, std::size_t count) {
    // Past the command buffer only the length is counted: such a frame is
    // never sent, and the caller's bytes beyond it are not read.
    for (std::size_t i = 0; i < count; ++i, ++size_)
        if (size_ < kCommandBufferSize) buffer_[size_] = data[i];
    return *this;
}

CommandFrame &CommandFrame::maskBlock(int maskMem, const unsigned char *maskAddress,
                                      int maskLength, const unsigned char *maskData) {
    return byte(maskMem).bytes(maskAddress, 2).byte(maskLength).bytes(maskData,
                                                                      maskByteCount(maskLength));
}

bool CommandFrame::fitsReport() const { return size() <= kMaxFrameBytes; }

const std::uint8_t *CommandFrame::finish() const {
    if (fitsReport()) {
        buffer_[0] = static_cast<std::uint8_t>(len());
        appendCrc(buffer_, size_);
    }
    return buffer_;
}

std::size_t maskByteCount(int maskLength) {
    const unsigned bits = static_cast<std::uint8_t>(maskLength);
    return (bits + 7) / 8;
}

}  // namespace tessaro::protocol
