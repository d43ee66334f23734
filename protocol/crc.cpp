#include "crc.h"

#include "Tessaro.h"
#include "link/api_lock.h"

namespace tessaro::protocol {

namespace {

// The eight shift/XOR steps of one byte, for every value of the register's
// low byte.
constexpr std::uint16_t reflectedStep(std::uint16_t value) {
    for (int bit = 0; bit < 8; ++bit)
        value = (value & 1u) ? static_cast<std::uint16_t>((value >> 1) ^ 0x8408u)
                             : static_cast<std::uint16_t>(value >> 1);
    return value;
}

// Eight bytes at a time ("slicing by 8"): entry[k][b] is what byte value b
// contributes when k more bytes follow it in the same step. entry[0] is the
// plain one-byte table.
struct CrcTables {
    std::uint16_t entry[8][256];
    constexpr CrcTables() : entry() {
        for (int b = 0; b < 256; ++b) entry[0][b] = reflectedStep(static_cast<std::uint16_t>(b));
        for (int k = 1; k < 8; ++k)
            for (int b = 0; b < 256; ++b)
                entry[k][b] = static_cast<std::uint16_t>((entry[k - 1][b] >> 8) ^
                                                         entry[0][entry[k - 1][b] & 0xFFu]);
    }
};

constexpr CrcTables kTables;

}  // namespace

std::uint16_t crc16(const std::uint8_t *data, std::size_t length, std::uint16_t crc) {
    const auto &t = kTables.entry;
    for (; length >= 8; data += 8, length -= 8) {
        // The register's two bytes meet the first two data bytes.
        const unsigned low = (crc ^ data[0]) & 0xFFu, high = ((crc >> 8) ^ data[1]) & 0xFFu;
        crc = static_cast<std::uint16_t>(t[7][low] ^ t[6][high] ^ t[5][data[2]] ^ t[4][data[3]] ^
                                         t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^
                                         t[0][data[7]]);
    }
    for (; length > 0; ++data, --length)
        crc = static_cast<std::uint16_t>((crc >> 8) ^ t[0][(crc ^ *data) & 0xFFu]);
    return crc;
}

void appendCrc(std::uint8_t *data, std::size_t length) {
    const std::uint16_t crc = crc16(data, length);
    data[length] = static_cast<std::uint8_t>(crc & 0xFFu);
    data[length + 1] = static_cast<std::uint8_t>(crc >> 8);
}

}  // namespace tessaro::protocol

TESSARO_API void GetCRC(unsigned char *data, int length) {
    const tessaro::ApiLock lock;
    tessaro::protocol::appendCrc(data, length > 0 ? static_cast<std::size_t>(length) : 0);
}

TESSARO_API int CheckCRC(unsigned char *data, int length) {
    const tessaro::ApiLock lock;
    const std::size_t n = length > 0 ? static_cast<std::size_t>(length) : 0;
    return tessaro::protocol::crc16(data, n) == 0 ? 0 : ERR_CRC;
}
