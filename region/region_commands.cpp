// Setting a region with a channel range: the region code's four band bits
// travel in the top two bits of the region command's two data bytes, beside
// the highest and the lowest channel index.
#include "Tessaro.h"
#include "link/api_lock.h"
#include "region/channel_plans.h"

using namespace tessaro;
using namespace tessaro::region;

namespace {

constexpr int kChannelBits = 0x3F;
// The reader knows region 5 as region 2's band with channel indexes shifted
// by 26; the sum wraps within the six channel bits.
constexpr int kShiftedRegion = 5;
constexpr int kShiftedChannelOffset = 26;
constexpr int kShiftedRegionMinBits = 0x80;

// Masking before the sum gives the same six bits and cannot overflow.
int shifted(int channel) { return ((channel & kChannelBits) + kShiftedChannelOffset) & kChannelBits; }

}  // namespace

TESSARO_API int SetRegionAndChannel(unsigned char *address, int region, int minChannel,
                                    int maxChannel, int portIndex) {
    const ApiLock lock;
    if (region == kShiftedRegion) {
        return SetRegion(address, shifted(maxChannel), shifted(minChannel) | kShiftedRegionMinBits,
                         portIndex);
    }
    return SetRegion(address, (maxChannel & kChannelBits) | ((region & 0x0C) << 4),
                     (minChannel & kChannelBits) | ((region & 0x03) << 6), portIndex);
}

TESSARO_API int SetRegionWithDefaultChannel(unsigned char *address, int region, int portIndex) {
    const ApiLock lock;
    // A code without a plan has no channel range to set.
    const int channels = channelCount(region);
    if (channels == 0) return ERR_PARAMETER;
    return SetRegionAndChannel(address, region, 0, channels - 1, portIndex);
}
