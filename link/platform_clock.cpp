// The monotonic clock behind tickMs and sleepMs when a transport brings none.
#include <chrono>
#include <thread>

#include "transport.h"

namespace tessaro::link {

unsigned platformTickMs() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<unsigned>(ms);  // wraps at 2^32 like the reader's tick counter
}

void platformSleepMs(unsigned ms) {
    if (ms == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace tessaro::link
