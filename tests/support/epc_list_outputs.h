// What the Gen2 stream commands (inventories, buffer read-out) hand back,
// pre-filled with sentinels so that every byte written can be told apart.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "fake_reader.h"

namespace tessaro::testing {

struct EpcListOutputs {
    EpcListOutputs() { std::memset(epcList, kUntouched, sizeof epcList); }
    unsigned char epcList[EPC_LIST_MAX_BYTES];
    int totalLength = kUntouchedCount;
    int tagCount = kUntouchedCount;

    Bytes list(std::size_t n) const { return Bytes(epcList, epcList + n); }
    bool listUntouched() const { return allAre(epcList, sizeof epcList); }
    // What a walk handed back: `count` tags, `expected` as the list and its
    // length, nothing written after it.
    void expectWalked(int count, const Bytes &expected) const {
        EXPECT_EQ(tagCount, count);
        EXPECT_EQ(totalLength, static_cast<int>(expected.size()));
        EXPECT_EQ(list(expected.size() + 1), joined({expected, {kUntouched}}));
    }
};

}  // namespace tessaro::testing
