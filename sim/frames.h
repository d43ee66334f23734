// The reader's side of the frame format: checking command frames, reading
// their data bytes within bounds, and building answer frames
//
//     Len | Adr | reCmd | Status | data ... | CRC low | CRC high
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessaro::sim {

using Bytes = std::vector<std::uint8_t>;

// Len is one byte: an answer frame carries at most 250 data bytes.
constexpr std::size_t kMaxAnswerData = 255 - 5;

// CRC-16/MCRF4XX (reflected 0x8408, preset 0xFFFF, no final XOR), computed
// bit by bit: the simulated reader keeps its own code rather than sharing the
// library's table-driven one, so that each checks the other.
std::uint16_t frameCrc(const std::uint8_t *data, std::size_t length);

// `bytes` with their CRC appended, low byte first.
void appendFrameCrc(Bytes &bytes);

// An answer frame with its CRC.
Bytes answerFrame(std::uint8_t adr, std::uint8_t reCmd, std::uint8_t status,
                  const Bytes &data = {});

// Reads the data bytes of a command frame in order. Reading past the end
// yields zeros and marks the cursor failed, so a handler reads its fields
// first and checks once.
class Cursor {
public:
    Cursor(const std::uint8_t *data, std::size_t length) : data_(data), length_(length) {}

    std::uint8_t byte();
    // Two bytes, the first the high one.
    unsigned word();
    // Four bytes in frame order (passwords: the first byte is the most significant).
    std::uint32_t quad();
    // `n` bytes; nullptr (and failed) when fewer remain.
    const std::uint8_t *take(std::size_t n);

    std::size_t remaining() const { return length_ - at_; }
    // The byte `ahead` positions on, without moving; 0 past the end.
    std::uint8_t peek(std::size_t ahead) const { return ahead < remaining() ? data_[at_ + ahead] : 0; }
    bool failed() const { return failed_; }
    // Every byte read, none missing.
    bool complete() const { return !failed_ && at_ == length_; }

private:
    const std::uint8_t *data_;
    std::size_t length_;
    std::size_t at_ = 0;
    bool failed_ = false;
};

// Appends `value` as two bytes, high byte first.
void appendWord(Bytes &bytes, unsigned value);

}  // namespace tessaro::sim
