// What the Gen2 stream commands (inventories, buffer read-out) hand back,
// pre-filled with sentinels so that every byte written can be told apart.
#pragma once

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "fake_reader.h"

namespace tessaro::testing {

constexpr unsigned char kUntouched = 0xEE;
constexpr int kUntouchedCount = 0x5A5A;

inline Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A write fault that refuses the sync control report alone.
inline bool isSyncReport(const Report &report) {
    return report[0] == REPORT_ID_CONTROL && report[1] == CTRL_SYNC;
}

struct EpcListOutputs {
    EpcListOutputs() { std::memset(epcList, kUntouched, sizeof epcList); }
    unsigned char epcList[EPC_LIST_MAX_BYTES];
    int totalLength = kUntouchedCount;
    int tagCount = kUntouchedCount;

    Bytes list(std::size_t n) const { return Bytes(epcList, epcList + n); }
    bool listUntouched() const {
        return std::all_of(epcList, epcList + sizeof epcList,
                           [](unsigned char b) { return b == kUntouched; });
    }
};

}  // namespace tessaro::testing
