#include <gtest/gtest.h>

#include <cstring>

#include "fake_reader.h"

using tessaro::testing::Bytes;
using tessaro::testing::bytes;

namespace {

unsigned crcOf(const char *text) {
    unsigned char buffer[64] = {};
    const int n = static_cast<int>(std::strlen(text));
    std::memcpy(buffer, text, static_cast<size_t>(n));
    GetCRC(buffer, n);
    return buffer[n] | (buffer[n + 1] << 8);
}

TEST(Crc, MatchesPublishedCheckValues) {
    EXPECT_EQ(crcOf("123456789"), 0x6F91u);
    EXPECT_EQ(crcOf("abc"), 0x61DAu);
}

TEST(Crc, IsAppendedLowByteFirst) {
    Bytes frame = bytes({0x04, 0x00, 0x21, 0xAA, 0xBB});
    GetCRC(frame.data(), 3);
    EXPECT_EQ(CheckCRC(frame.data(), 5), 0);
    EXPECT_EQ(frame, bytes({0x04, 0x00, 0x21, 0xD9, 0x6A}));  // CheckCRC only reads
}

TEST(Crc, CheckFailsOnAnyChangedByte) {
    const Bytes intact = bytes({0x04, 0x00, 0x21, 0xD9, 0x6A});
    for (size_t i = 0; i < intact.size(); ++i) {
        Bytes damaged = intact;
        damaged[i] ^= 0x01;
        EXPECT_EQ(CheckCRC(damaged.data(), 5), ERR_CRC) << "byte " << i;
    }
}

TEST(Crc, LengthZero) {
    unsigned char buffer[2] = {0x12, 0x34};
    GetCRC(buffer, 0);
    EXPECT_EQ(buffer[0], 0xFF);
    EXPECT_EQ(buffer[1], 0xFF);
    EXPECT_EQ(CheckCRC(buffer, 0), ERR_CRC);
}

}  // namespace

// The CRC computed a bit at a time, as the reader does.
unsigned bitwiseCrc(const unsigned char *data, int length) {
    unsigned crc = 0xFFFF;
    for (int i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
    }
    return crc;
}

TEST(Crc, AgreesWithTheBitwiseCrcAtEveryLength) {
    // Lengths on both sides of each 8-byte step, bytes of every bit pattern.
    unsigned char data[80];
    for (int i = 0; i < 80; ++i) data[i] = static_cast<unsigned char>(i * 37 + 11);
    for (int length = 0; length <= 78; ++length) {
        unsigned char buffer[80];
        std::memcpy(buffer, data, sizeof buffer);
        GetCRC(buffer, length);
        EXPECT_EQ(buffer[length] | (buffer[length + 1] << 8), bitwiseCrc(data, length)) << length;
    }
}
