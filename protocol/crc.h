// CRC-16/MCRF4XX as the reader uses it: polynomial 0x1021 processed
// bit-reflected (0x8408), initial value 0xFFFF, no final XOR, appended low byte
// first. Because there is no final XOR, the CRC over an intact frame together
// with its two CRC bytes is 0: every received frame is judged by that residue.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaro::protocol {

constexpr std::uint16_t kCrcInitial = 0xFFFF;

// Continues `crc` over `length` bytes; start from kCrcInitial.
std::uint16_t crc16(const std::uint8_t *data, std::size_t length,
                    std::uint16_t crc = kCrcInitial);

// Appends the CRC of the first `length` bytes behind them, low byte first.
void appendCrc(std::uint8_t *data, std::size_t length);

}  // namespace tessaro::protocol
