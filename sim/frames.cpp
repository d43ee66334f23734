#include "frames.h"

namespace tessaro::sim {

std::uint16_t frameCrc(const std::uint8_t *data, std::size_t length) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408u)
                             : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

void appendFrameCrc(Bytes &bytes) {
    const std::uint16_t crc = frameCrc(bytes.data(), bytes.size());
    bytes.push_back(static_cast<std::uint8_t>(crc & 0xFFu));
    bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
}

Bytes answerFrame(std::uint8_t adr, std::uint8_t reCmd, std::uint8_t status, const Bytes &data) {
    const std::size_t n = data.size() < kMaxAnswerData ? data.size() : kMaxAnswerData;
    Bytes frame;
    frame.reserve(n + 6);
    frame.push_back(static_cast<std::uint8_t>(n + 5));
    frame.push_back(adr);
    frame.push_back(reCmd);
    frame.push_back(status);
    frame.insert(frame.end(), data.begin(), data.begin() + static_cast<long>(n));
    appendFrameCrc(frame);
    return frame;
}

std::uint8_t Cursor::byte() {
    if (at_ >= length_) {
        failed_ = true;
        return 0;
    }
    return data_[at_++];
}

unsigned Cursor::word() {
    const unsigned high = byte();
    return (high << 8) | byte();
}

std::uint32_t Cursor::quad() {
    const std::uint32_t high = word();
    return (high << 16) | word();
}

const std::uint8_t *Cursor::take(std::size_t n) {
    if (n > remaining()) {
        failed_ = true;
        at_ = length_;
        return nullptr;
    }
    const std::uint8_t *at = data_ + at_;
    at_ += n;
    return at;
}

void appendWord(Bytes &bytes, unsigned value) {
    bytes.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFFu));
    bytes.push_back(static_cast<std::uint8_t>(value & 0xFFu));
}

}  // namespace tessaro::sim
