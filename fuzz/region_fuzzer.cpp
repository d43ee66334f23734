// The region functions with every int: GetChannelList into a list of exactly
// the documented n + 1 entries (none for a code without a plan), and the two
// setters, whose region command meets an arbitrary answer.
#include <cstdlib>

#include "Tessaro.h"
#include "fuzz_reader.h"

using namespace tessaro::fuzz;

namespace {

int channelsOf(int region) {
    switch (region) {
    case 1: return 20;
    case 2: return 50;
    case 3: return 32;
    case 4: return 15;
    case 5: return 19;
    default: return -1;  // nothing written, not even the null entry
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Head head;
    const int port = openFuzzReader(data, size, head);
    if (port < 0) return 0;
    const int region = head.arg(0);
    const auto address = heapBytes(1, 0x00);

    switch (head.selector() % 3) {
    case 0: {
        const int n = channelsOf(region);
        const std::size_t entries = static_cast<std::size_t>(n + 1);
        std::unique_ptr<char *[]> list(new char *[entries]);
        GetChannelList(region, list.get());
        if (n > 0 && region != 5)
            for (int i = 0; i < n && list[i]; ++i) std::free(list[i]);
        break;
    }
    case 1: SetRegionAndChannel(address.get(), region, head.arg(1), head.arg(2), port); break;
    default: SetRegionWithDefaultChannel(address.get(), region, port); break;
    }
    return 0;
}
