// Channel plans and the two region setters built on SetRegion.
#include <gtest/gtest.h>
#include <malloc.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "reader_fixture.h"
#include "region/channel_plans.h"

#if defined(__SANITIZE_ADDRESS__)
#  include <sanitizer/lsan_interface.h>
#endif

using namespace tessaro::testing;

namespace {

// The usable size of a block from malloc.
std::size_t allocationSize(void *block) {
#ifdef _WIN32
    return _msize(block);
#else
    return malloc_usable_size(block);
#endif
}

// Under AddressSanitizer: no memory is unreachable at this point.
bool noLeaks() {
#if defined(__SANITIZE_ADDRESS__)
    return __lsan_do_recoverable_leak_check() == 0;
#else
    return true;
#endif
}

constexpr int kListSize = 64;
char kSentinelStorage[] = "untouched";
char *const kSentinelText = kSentinelStorage;

struct List {
    char *entries[kListSize];
    List() { std::fill(std::begin(entries), std::end(entries), kSentinelText); }
    int count() const {
        int n = 0;
        while (n < kListSize && entries[n] && entries[n] != kSentinelText) ++n;
        return n;
    }
    bool untouched(int from = 0) const {
        return std::all_of(entries + from, entries + kListSize,
                           [](const char *e) { return e == kSentinelText; });
    }
    void release() {
        for (int i = 0; i < count(); ++i) std::free(entries[i]);
    }
};

// Plans of regions 1 to 4 in thousandths of a MHz: every text is formed here
// in integers, away from the library's doubles; the first and last are
// spelled out (923.3 MHz is 917.1 + 31 x 0.2, which doubles do not hit).
struct Plan {
    int region;
    int channels;
    long firstKHz;
    long spacingKHz;
    int decimals;
    const char *firstText;
    const char *lastText;
};
const Plan kPlans[] = {
    {1, 20, 920125, 250, 3, "920.125 MHz", "924.875 MHz"},
    {2, 50, 902750, 500, 2, "902.75 MHz", "927.25 MHz"},
    {3, 32, 917100, 200, 1, "917.1 MHz", "923.3 MHz"},
    {4, 15, 865100, 200, 1, "865.1 MHz", "867.9 MHz"},
};

std::string expectedText(const Plan &plan, int channel) {
    const long kHz = plan.firstKHz + channel * plan.spacingKHz;
    long divisor = 1;
    for (int d = plan.decimals; d < 3; ++d) divisor *= 10;
    char text[32];
    std::snprintf(text, sizeof text, "%ld.%0*ld MHz", kHz / 1000, plan.decimals,
                  (kHz % 1000) / divisor);
    return text;
}

TEST(ChannelList, TextsOfTheSpacedPlans) {
    for (const Plan &plan : kPlans) {
        SCOPED_TRACE(plan.region);
        List list;
        ASSERT_EQ(GetChannelList(plan.region, list.entries), 0);
        ASSERT_EQ(list.count(), plan.channels);
        EXPECT_EQ(list.entries[plan.channels], nullptr);
        EXPECT_TRUE(list.untouched(plan.channels + 1));
        EXPECT_STREQ(list.entries[0], plan.firstText);
        EXPECT_STREQ(list.entries[plan.channels - 1], plan.lastText);
        for (int i = 0; i < plan.channels; ++i) {
            EXPECT_EQ(list.entries[i], expectedText(plan, i)) << i;
            EXPECT_GE(allocationSize(list.entries[i]), 255u);  // an array of 255 characters
        }
        list.release();
    }
}

TEST(ChannelList, Region5HandsOutTheSameConstantTexts) {
    const char *const expected[] = {
        "916.8 MHz", "918.0 MHz", "919.2 MHz", "920.4 MHz", "920.6 MHz", "920.8 MHz", "921.0 MHz",
        "921.2 MHz", "921.4 MHz", "921.6 MHz", "921.8 MHz", "922.0 MHz", "922.2 MHz", "922.4 MHz",
        "922.6 MHz", "922.8 MHz", "923.0 MHz", "923.2 MHz", "923.4 MHz"};
    List first, second;
    ASSERT_EQ(GetChannelList(5, first.entries), 0);
    ASSERT_EQ(GetChannelList(5, second.entries), 0);
    ASSERT_EQ(first.count(), 19);
    EXPECT_EQ(first.entries[19], nullptr);
    EXPECT_TRUE(first.untouched(20));
    for (int i = 0; i < 19; ++i) {
        EXPECT_STREQ(first.entries[i], expected[i]);
        EXPECT_EQ(first.entries[i], second.entries[i]);
    }
}

// Fresh arrays every call, which the caller releases with free():
// AddressSanitizer reports a mismatched release, LeakSanitizer whatever stays
// unreleased.
TEST(ChannelList, SpacedPlansHandOutFreshArraysTheCallerFrees) {
    for (int region = 1; region <= 4; ++region) {
        List first, second;
        GetChannelList(region, first.entries);
        GetChannelList(region, second.entries);
        for (int i = 0; i < first.count(); ++i) {
            EXPECT_NE(first.entries[i], second.entries[i]);
            EXPECT_STREQ(first.entries[i], second.entries[i]);
        }
        // The caller may write into its own arrays.
        first.entries[0][0] = 'x';
        EXPECT_NE(second.entries[0][0], 'x');
        first.release();
        second.release();
    }
    EXPECT_TRUE(noLeaks());
}

TEST(ChannelList, CodesWithoutAPlanLeaveTheListUntouched) {
    for (int region : {0, 6, -1, 261 /* low byte 5 */, INT_MIN, INT_MIN + 1, INT_MAX}) {
        List list;
        EXPECT_EQ(GetChannelList(region, list.entries), 0) << region;
        EXPECT_TRUE(list.untouched()) << region;
    }
}

class ChannelListOutOfMemory : public ::testing::Test {
protected:
    void TearDown() override { tessaro::region::allocateChannelText = std::malloc; }
    static void *failAfter(std::size_t size) {
        if (allowed == 0) return nullptr;
        --allowed;
        return std::malloc(size);
    }
    static inline int allowed = 0;
};

TEST_F(ChannelListOutOfMemory, LeavesAnEmptyListAndNothingAllocated) {
    tessaro::region::allocateChannelText = failAfter;
    for (int region = 1; region <= 4; ++region) {
        const int channels = kPlans[region - 1].channels;
        for (int succeeding : {0, channels - 1}) {
            SCOPED_TRACE(std::to_string(region) + " after " + std::to_string(succeeding));
            allowed = succeeding;
            List list;
            EXPECT_EQ(GetChannelList(region, list.entries), 0);
            EXPECT_EQ(list.entries[0], nullptr);
            EXPECT_TRUE(list.untouched(1));
            EXPECT_EQ(allowed, 0);  // it did try
        }
        allowed = channels;  // just enough
        List list;
        GetChannelList(region, list.entries);
        EXPECT_EQ(list.count(), channels);
        list.release();
    }
    // The constant texts need no memory.
    allowed = 0;
    List list;
    GetChannelList(5, list.entries);
    EXPECT_EQ(list.count(), 19);
    EXPECT_TRUE(noLeaks());
}

class RegionSetters : public ReaderTest {
protected:
    // The two data bytes of the region command sent by `call`, answered with
    // Status 0 from address 0x09.
    Bytes sentBytes(const std::function<int(unsigned char *)> &call) {
        reader.forget();
        reader.answer(answerFrame(0x09, 0x22, 0x00));
        unsigned char address = 0x00;
        EXPECT_EQ(call(&address), 0);
        EXPECT_EQ(address, 0x09);
        if (reader.frames().size() != 1) return {};
        const Bytes frame = reader.frames()[0];
        EXPECT_EQ(frame.size(), 7u);
        EXPECT_EQ(frame[2], 0x22);
        return Bytes(frame.begin() + 3, frame.begin() + 5);
    }
};

TEST_F(RegionSetters, DefaultChannelsOfEveryPlan) {
    struct Case {
        int region, lastChannel;
        Bytes sent;
    };
    for (const Case &c : {Case{1, 19, bytes({0x13, 0x40})}, Case{2, 49, bytes({0x31, 0x80})},
                          Case{3, 31, bytes({0x1F, 0xC0})}, Case{4, 14, bytes({0x4E, 0x00})},
                          Case{5, 18, bytes({0x2C, 0x9A})}}) {
        SCOPED_TRACE(c.region);
        EXPECT_EQ(sentBytes([&](unsigned char *a) { return SetRegionWithDefaultChannel(a, c.region, port); }),
                  c.sent);
        // The same bytes as the explicit range 0 to n - 1.
        EXPECT_EQ(sentBytes([&](unsigned char *a) {
                      return SetRegionAndChannel(a, c.region, 0, c.lastChannel, port);
                  }),
                  c.sent);
    }
}

TEST_F(RegionSetters, DefaultChannelsOfACodeWithoutAPlanAreRefused) {
    for (int region : {0, 6, -1, INT_MIN, INT_MIN + 1, INT_MAX}) {
        reader.answer(answerFrame(0x09, 0x22, 0x00));
        unsigned char address = 0x00;
        EXPECT_EQ(SetRegionWithDefaultChannel(&address, region, port), ERR_PARAMETER) << region;
        EXPECT_EQ(address, 0x00);
        EXPECT_TRUE(reader.sent.empty());
        reader.clearInput();
    }
}

TEST_F(RegionSetters, ChannelRangeEncodings) {
    struct Case {
        const char *name;
        int region, minChannel, maxChannel;
        Bytes sent;
    };
    const Case cases[] = {
        {"region 5, whole plan", 5, 0, 18, bytes({0x2C, 0x9A})},
        {"region 5, sum wraps", 5, 40, 40, bytes({0x02, 0x82})},
        {"region 5, index 37 is the last before the wrap", 5, 37, 37, bytes({0x3F, 0xBF})},
        {"region 0", 0, 3, 10, bytes({0x0A, 0x03})},
        {"channel 70 masked to 6", 1, 0, 70, bytes({0x06, 0x40})},
        {"all band bits", 15, 63, 63, bytes({0xFF, 0xFF})},
        {"code 6, no plan, general rule", 6, 1, 2, bytes({0x42, 0x81})},
        {"code 21 keeps its low four bits", 21, 1, 2, bytes({0x42, 0x41})},
        {"largest indexes", 1, INT_MAX, INT_MAX, bytes({0x3F, 0x7F})},
        {"region 5, largest indexes", 5, INT_MAX, INT_MAX, bytes({0x19, 0x99})},
        {"smallest indexes", 1, INT_MIN, INT_MIN, bytes({0x00, 0x40})},
        {"region 5, smallest indexes", 5, INT_MIN, INT_MIN, bytes({0x1A, 0x9A})},
        {"smallest code: band bits 0", INT_MIN, 1, 2, bytes({0x02, 0x01})},
        {"largest code: band bits 15", INT_MAX, 1, 2, bytes({0xC2, 0xC1})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sentBytes([&](unsigned char *a) {
                      return SetRegionAndChannel(a, c.region, c.minChannel, c.maxChannel, port);
                  }),
                  c.sent);
    }
}

TEST_F(RegionSetters, FailuresOfTheRegionCommandAreReturned) {
    unsigned char address = 0x00;
    EXPECT_EQ(SetRegionAndChannel(&address, 1, 0, 19, port), ERR_COMM);  // no answer
    reader.answer(answerFrame(0x09, 0x22, 0x05));
    EXPECT_EQ(SetRegionWithDefaultChannel(&address, 2, port), 0x05);
}

}  // namespace
