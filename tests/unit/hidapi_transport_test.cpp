#include <gtest/gtest.h>

#include <numeric>

#include "link/transport.h"

namespace {

using tessaro::link::normaliseInputReport;

TEST(HidapiTransport, ReadWithoutReportIdIsShiftedSoByteOneIsTheCount) {
    unsigned char raw[64];
    std::iota(raw, raw + 64, 1);  // 63 bytes as read: count first
    unsigned char report[64] = {};
    EXPECT_EQ(normaliseInputReport(raw, 63, report), 64);
    EXPECT_EQ(report[0], 0);
    EXPECT_EQ(report[1], 1);
    EXPECT_EQ(report[63], 63);
}

TEST(HidapiTransport, NumberedReportsAndFailuresPassUnchanged) {
    unsigned char raw[64];
    std::iota(raw, raw + 64, 1);
    unsigned char report[64] = {};
    EXPECT_EQ(normaliseInputReport(raw, 64, report), 64);
    EXPECT_EQ(report[1], 2);
    for (int got : {0, -1, 10}) {
        unsigned char untouched[64] = {};
        EXPECT_EQ(normaliseInputReport(raw, got, untouched), got);
    }
}

}  // namespace
