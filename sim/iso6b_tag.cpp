#include "iso6b_tag.h"

#include <algorithm>

namespace tessaro::sim {

namespace {

Outcome overrun() { return Outcome::tagFailed(TESSARO_SIM_TAG_MEMORY_OVERRUN); }

}  // namespace

bool Iso6bTag::hasId(const std::uint8_t *id) const {
    return memory.size() >= kIso6bIdBytes && std::equal(id, id + kIso6bIdBytes, memory.begin());
}

Outcome Iso6bTag::read(unsigned address, unsigned length, Bytes &out) const {
    if (address + length > memory.size()) return overrun();
    out.insert(out.end(), memory.begin() + address, memory.begin() + address + length);
    return Outcome::ok();
}

Outcome Iso6bTag::write(unsigned address, const std::uint8_t *data, unsigned length) {
    if (address + length > memory.size()) return overrun();
    for (unsigned i = address; i < address + length; ++i)
        if (locked[i]) return Outcome::tagFailed(TESSARO_SIM_TAG_MEMORY_LOCKED);
    std::copy(data, data + length, memory.begin() + address);
    return Outcome::ok();
}

Outcome Iso6bTag::lock(unsigned address) {
    if (address >= memory.size()) return overrun();
    locked[address] = 1;
    return Outcome::ok();
}

Outcome Iso6bTag::isLocked(unsigned address, bool &lockedByte) const {
    if (address >= memory.size()) return overrun();
    lockedByte = locked[address] != 0;
    return Outcome::ok();
}

bool Iso6bTag::groupSelects(unsigned condition, unsigned address, std::uint8_t byteMask,
                            const std::uint8_t *data) const {
    int order = 0;  // tag bytes against `data`: -1 lower, 0 equal, 1 greater
    for (unsigned i = 0; i < 8; ++i) {
        if (!((byteMask >> (7 - i)) & 1u)) continue;
        if (address + i >= memory.size()) return false;
        const std::uint8_t tagByte = memory[address + i];
        if (order == 0 && tagByte != data[i]) order = tagByte < data[i] ? -1 : 1;
    }
    switch (condition) {
    case 0: return order == 0;
    case 1: return order != 0;
    case 2: return order > 0;
    case 3: return order < 0;
    default: return false;
    }
}

}  // namespace tessaro::sim
