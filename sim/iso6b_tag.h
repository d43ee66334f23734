// An ISO 18000-6B tag: byte memory whose first eight bytes are the tag's
// identifier, and a lock per byte. Bytes 0 to 17 (identifier and
// manufacturer data) come locked from the factory; a lock is for ever.
#pragma once

#include <cstdint>
#include <vector>

#include "frames.h"
#include "outcome.h"

namespace tessaro::sim {

constexpr unsigned kIso6bIdBytes = 8;
constexpr unsigned kIso6bFactoryBytes = 18;
constexpr unsigned kIso6bDefaultSize = 216;

class Iso6bTag {
public:
    std::vector<std::uint8_t> memory;
    std::vector<std::uint8_t> locked;  // one per memory byte, 1 = locked

    Bytes id() const { return Bytes(memory.begin(), memory.begin() + kIso6bIdBytes); }
    bool hasId(const std::uint8_t *id) const;

    Outcome read(unsigned address, unsigned length, Bytes &out) const;
    // All or nothing: every byte's lock is checked before the first is written.
    Outcome write(unsigned address, const std::uint8_t *data, unsigned length);
    Outcome lock(unsigned address);
    Outcome isLocked(unsigned address, bool &lockedByte) const;

    // GROUP_SELECT: condition 0 equal, 1 not equal, 2 greater than, 3 lower
    // than, comparing the eight bytes from `address` whose bits are set in
    // `byteMask` (bit 7 = first byte), as one big-endian number.
    bool groupSelects(unsigned condition, unsigned address, std::uint8_t byteMask,
                      const std::uint8_t *data) const;
};

}  // namespace tessaro::sim
