// Answer frames as the reader sends them, built with the library's CRC. Header
// only and free of GoogleTest, so the benchmarks' instant reader builds its
// answers the same way the tests' fake reader does.
#pragma once

#include <cstdint>
#include <vector>

#include "Tessaro.h"

namespace tessaro::testing {

using Bytes = std::vector<std::uint8_t>;

// `bytes` with their CRC-16 appended, low byte first.
inline Bytes withCrc(Bytes bytes) {
    const std::size_t n = bytes.size();
    bytes.resize(n + 2);
    GetCRC(bytes.data(), static_cast<int>(n));
    return bytes;
}

// A response frame: Len, Adr, reCmd, Status, data, CRC.
inline Bytes answerFrame(std::uint8_t adr, std::uint8_t reCmd, std::uint8_t status,
                         const Bytes &data = {}) {
    Bytes frame = {static_cast<std::uint8_t>(data.size() + 5), adr, reCmd, status};
    frame.insert(frame.end(), data.begin(), data.end());
    return withCrc(frame);
}

}  // namespace tessaro::testing
