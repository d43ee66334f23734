// Reading and writing bit fields, most significant bit first, as the EPC
// bank holds them.
#pragma once

#include <cstdint>

namespace tessaro::epc {

class BitReader {
public:
    BitReader(const unsigned char *data, int bits) : data_(data), bits_(bits) {}

    int position() const { return position_; }
    int left() const { return bits_ - position_; }
    bool has(int count) const { return count <= bits_ - position_; }

    // The next `count` bits (0 to 64) as a number; the caller checks has().
    std::uint64_t read(int count) {
        std::uint64_t value = 0;
        while (count > 0) {
            const int offset = position_ & 7;
            const int take = count < 8 - offset ? count : 8 - offset;
            const unsigned byte = data_[position_ >> 3];
            value = (value << take) | ((byte >> (8 - offset - take)) & ((1u << take) - 1));
            position_ += take;
            count -= take;
        }
        return value;
    }

    // True when every bit from here to the end is zero.
    bool restIsZero() const {
        BitReader copy = *this;
        while (copy.left() > 0) {
            const int take = copy.left() < 64 ? copy.left() : 64;
            if (copy.read(take) != 0) return false;
        }
        return true;
    }

private:
    const unsigned char *data_;
    int bits_;
    int position_ = 0;
};

// Writes into a buffer the caller zeroed and sized.
class BitWriter {
public:
    explicit BitWriter(unsigned char *data) : data_(data) {}

    int position() const { return position_; }

    // The low `count` bits of `value`; above 64, the bits beyond the value's
    // are zeros (padding).
    void write(std::uint64_t value, int count) {
        while (count > 0) {
            const int offset = position_ & 7;
            const int take = count < 8 - offset ? count : 8 - offset;
            const int shift = count - take;
            const unsigned part = shift >= 64 ? 0u : static_cast<unsigned>(value >> shift) & ((1u << take) - 1);
            data_[position_ >> 3] = static_cast<unsigned char>(data_[position_ >> 3] |
                                                               (part << (8 - offset - take)));
            position_ += take;
            count -= take;
        }
    }

private:
    unsigned char *data_;
    int position_ = 0;
};

}  // namespace tessaro::epc
