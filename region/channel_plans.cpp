// Region codes 1 to 4 have evenly spaced channels whose texts are printed
// into arrays the caller then owns; region 5 has a fixed table of texts that
// stay the library's.
#include "region/channel_plans.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "Tessaro.h"
#include "link/api_lock.h"

namespace tessaro::region {

namespace {

struct SpacedPlan {
    int channels;
    double firstMHz;
    double spacingMHz;
    int decimals;
};

// Regions 1 to 4.
constexpr SpacedPlan kSpacedPlans[] = {
    {20, 920.125, 0.25, 3},
    {50, 902.75, 0.5, 2},
    {32, 917.1, 0.2, 1},
    {15, 865.1, 0.2, 1},
};
constexpr int kFirstSpacedRegion = 1;
constexpr int kSpacedRegions = sizeof kSpacedPlans / sizeof kSpacedPlans[0];
constexpr int kMostSpacedChannels = [] {
    int most = 0;
    for (const SpacedPlan &plan : kSpacedPlans) most = std::max(most, plan.channels);
    return most;
}();

// Region 5: 1.2 MHz apart for the first four channels, 0.2 MHz after.
constexpr int kTableRegion = 5;
const char *const kTableTexts[] = {
    "916.8 MHz", "918.0 MHz", "919.2 MHz", "920.4 MHz", "920.6 MHz", "920.8 MHz", "921.0 MHz",
    "921.2 MHz", "921.4 MHz", "921.6 MHz", "921.8 MHz", "922.0 MHz", "922.2 MHz", "922.4 MHz",
    "922.6 MHz", "922.8 MHz", "923.0 MHz", "923.2 MHz", "923.4 MHz",
};
constexpr int kTableChannels = sizeof kTableTexts / sizeof kTableTexts[0];

// Every text of regions 1 to 4 is handed out in an array of this size.
constexpr std::size_t kChannelTextSize = 255;

// The code is compared before anything is subtracted from it: every int,
// INT_MIN included, is a code a caller may pass.
const SpacedPlan *spacedPlan(int region) {
    if (region < kFirstSpacedRegion || region >= kFirstSpacedRegion + kSpacedRegions) return nullptr;
    return &kSpacedPlans[region - kFirstSpacedRegion];
}

// Prints every channel of `plan` into a new array and stores them in
// channelList with the null entry after them. Running out of memory part way
// releases what was made and leaves an empty list, never a partial one.
void fillSpaced(const SpacedPlan &plan, char **channelList) {
    char *texts[kMostSpacedChannels];
    for (int i = 0; i < plan.channels; ++i) {
        texts[i] = static_cast<char *>(allocateChannelText(kChannelTextSize));
        if (!texts[i]) {
            while (i > 0) std::free(texts[--i]);
            channelList[0] = nullptr;
            return;
        }
        // Multiplication first, in double: the one-decimal plans hide the
        // rounding of the sums (917.1 + 31 x 0.2 prints as 923.3).
        std::snprintf(texts[i], kChannelTextSize, "%.*f MHz", plan.decimals,
                      i * plan.spacingMHz + plan.firstMHz);
    }
    for (int i = 0; i < plan.channels; ++i) channelList[i] = texts[i];
    channelList[plan.channels] = nullptr;
}

}  // namespace

TextAllocator allocateChannelText = std::malloc;

int channelCount(int region) {
    if (region == kTableRegion) return kTableChannels;
    const SpacedPlan *plan = spacedPlan(region);
    return plan ? plan->channels : 0;
}

}  // namespace tessaro::region

using namespace tessaro;
using namespace tessaro::region;

TESSARO_API int GetChannelList(int region, char **channelList) {
    const ApiLock lock;
    if (region == kTableRegion) {
        // The caller receives char pointers but must not write through these.
        for (int i = 0; i < kTableChannels; ++i) channelList[i] = const_cast<char *>(kTableTexts[i]);
        channelList[kTableChannels] = nullptr;
    } else if (const SpacedPlan *plan = spacedPlan(region)) {
        fillSpaced(*plan, channelList);
    }
    return 0;
}
