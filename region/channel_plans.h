// The frequency plans of region codes 1 to 5.
#pragma once

#include <cstddef>

namespace tessaro::region {

// Channels in the plan of `region`; 0 for a code without a plan.
int channelCount(int region);

// Where the channel texts of regions 1 to 4 come from. The caller of
// GetChannelList releases them with free(), so this must be malloc or
// something free() accepts; tests point it at an allocator that runs out.
using TextAllocator = void *(*)(std::size_t size);
extern TextAllocator allocateChannelText;

}  // namespace tessaro::region
