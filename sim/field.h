// The tags in a reader's field, and which of them answer a command: a tag
// answers when it is at an antenna the command uses, is not killed, and its
// signal is strong enough at the reader's RF power.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "gen2_tag.h"
#include "iso6b_tag.h"

namespace tessaro::sim {

struct FieldTag {
    int kind = TESSARO_SIM_GEN2;
    Gen2Tag gen2;
    Iso6bTag iso6b;
    int antenna = 1;  // 1 to 4; 0 = out of the field
    int rssi = -50;   // dBm at full power
    // In the field only from arriveMs until leaveMs on the simulation's clock
    // (population keys arrive= and leave=): a label passing by.
    std::uint64_t arriveMs = 0;
    std::uint64_t leaveMs = UINT64_MAX;
};

// Signal levels: the reader hears tags down to -80 dBm; writing tag memory
// needs -70 dBm or better (weaker tags answer TAG_ERROR "insufficient power").
constexpr int kSensitivityDbm = -80;
constexpr int kWritePowerDbm = -70;
constexpr int kFullPowerDbm = 30;

// The conditions of one command: which antennas, at what RF power.
struct Air {
    std::uint8_t antennas;  // bit k = antenna k + 1
    int rfPowerDbm;
    std::uint64_t nowMs;    // the simulation's clock, for tags that come and go

    // A tag's RSSI at this power: every dB below full power is a dB less.
    int rssiOf(const FieldTag &tag) const;
    bool hears(const FieldTag &tag) const;
    bool canWrite(const FieldTag &tag) const { return rssiOf(tag) >= kWritePowerDbm; }
};

enum class Hidden { Skip, Include };

// The tags of `kind` that answer, by antenna (1 to 4) and then in field order.
std::vector<FieldTag *> answering(std::vector<FieldTag> &tags, const Air &air, int kind,
                                  Hidden hidden = Hidden::Skip);

// The strongest of `tags` (the first among equals); nullptr when empty.
FieldTag *strongest(const std::vector<FieldTag *> &tags, const Air &air);

}  // namespace tessaro::sim
