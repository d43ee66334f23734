#include "field.h"

#include <algorithm>

namespace tessaro::sim {

int Air::rssiOf(const FieldTag &tag) const {
    const int power = std::min(std::max(rfPowerDbm, 0), kFullPowerDbm);
    return tag.rssi - (kFullPowerDbm - power);
}

bool Air::hears(const FieldTag &tag) const {
    if (tag.antenna < 1 || tag.antenna > 4 || !((antennas >> (tag.antenna - 1)) & 1u)) return false;
    if (nowMs < tag.arriveMs || nowMs >= tag.leaveMs) return false;
    if (tag.kind == TESSARO_SIM_GEN2 && tag.gen2.killed) return false;
    return rssiOf(tag) >= kSensitivityDbm;
}

std::vector<FieldTag *> answering(std::vector<FieldTag> &tags, const Air &air, int kind,
                                  Hidden hidden) {
    std::vector<FieldTag *> out;
    for (int antenna = 1; antenna <= 4; ++antenna)
        for (FieldTag &tag : tags) {
            if (tag.antenna != antenna || tag.kind != kind || !air.hears(tag)) continue;
            if (kind == TESSARO_SIM_GEN2 && tag.gen2.hidden && hidden == Hidden::Skip) continue;
            out.push_back(&tag);
        }
    return out;
}

FieldTag *strongest(const std::vector<FieldTag *> &tags, const Air &air) {
    FieldTag *best = nullptr;
    for (FieldTag *tag : tags)
        if (!best || air.rssiOf(*tag) > air.rssiOf(*best)) best = tag;
    return best;
}

}  // namespace tessaro::sim
