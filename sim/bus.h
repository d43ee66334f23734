// The simulated USB bus: its readers in enumeration order, the clock, and the
// transport seam's calls. Every call takes the bus's lock; with the real
// clock, waits are slept outside it.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "TessaroSim.h"
#include "clock.h"
#include "reader.h"

struct TessaroSim {
    explicit TessaroSim(bool virtualClock) : clock(virtualClock) {}

    std::mutex mutex;
    tessaro::sim::SimClock clock;
    std::vector<std::unique_ptr<tessaro::sim::Reader>> readers;

    // The reader `index`, or nullptr.
    tessaro::sim::Reader *reader(int index);
    TessaroTransport transport();
};

namespace tessaro::sim {

// Unplugs `reader`: its open handles die for good.
void unplug(Reader &reader);

}  // namespace tessaro::sim
