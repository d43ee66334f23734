#include "crc.h"

#include "Tessaro.h"
#include "link/api_lock.h"

namespace tessaro::protocol {

namespace {

// One table entry per low byte of the register: the eight shift/XOR steps
// done at once.
constexpr std::uint16_t reflectedStep(std::uint16_t value) {
    for (int bit = 0; bit < 8; ++bit)
        value = (value & 1u) ? static_cast<std::uint16_t>((value >> 1) ^ 0x8408u)
                             : static_cast<std::uint16_t>(value >> 1);
    return value;
}

struct CrcTable {
    std::uint16_t entry[256];
    constexpr CrcTable() : entry() {
        for (int i = 0; i < 256; ++i) entry[i] = reflectedStep(static_cast<std::uint16_t>(i));
    }
};

constexpr CrcTable kTable;

}  // namespace

std::uint16_t crc16(const std::uint8_t *data, std::size_t length, std::uint16_t crc) {
    for (std::size_t i = 0; i < length; ++i)
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kTable.entry[(crc ^ data[i]) & 0xFFu]);
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
