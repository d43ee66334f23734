// Faults armed on a reader (TessaroSimInjectFault). Counters count down as
// the fault strikes; -1 means "until cleared" where a kind allows it.
#pragma once

#include <cstdint>
#include <vector>

namespace tessaro::sim {

struct Faults {
    // Input reports (those that carry answer bytes).
    int drop = 0;
    int duplicate = 0;
    int delay = 0;
    unsigned delayMs = 0;
    int corrupt = 0;
    unsigned corruptAt = 0;  // frame byte inverted
    int badCount = 0;
    int unplugAfter = -1;    // input reports still delivered; -1: not armed

    // Output reports.
    int refuseWrites = 0;
    int refuseKind = 0;      // 0 any, 2 data, 3 control

    int silentReads = 0;

    // Answers.
    int wrongEcho = 0;
    int badCrc = 0;

    // Report sizes for answers; empty = 62.
    std::vector<std::uint8_t> splits;

    // Counts one strike of a fault whose counter is `counter`.
    static bool strike(int &counter) {
        if (counter == 0) return false;
        if (counter > 0) --counter;
        return true;
    }
};

}  // namespace tessaro::sim
