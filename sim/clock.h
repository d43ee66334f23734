// Time in the simulation: a virtual millisecond counter that moves only when
// someone waits (tests), or the monotonic clock (demos, the CLI). The reader's
// real-time clock and its inventory timing both run on it.
#pragma once

#include <chrono>
#include <cstdint>

namespace tessaro::sim {

class SimClock {
public:
    explicit SimClock(bool virtualTime);

    bool isVirtual() const { return virtual_; }
    std::uint64_t nowMs() const;
    // Virtual: the counter moves on. Real: nothing (the caller sleeps, outside
    // any lock).
    void advance(unsigned ms);

private:
    bool virtual_;
    std::uint64_t counterMs_ = 0;
    std::chrono::steady_clock::time_point start_;
};

// Sleeps for real (ms 0: yields).
void sleepFor(unsigned ms);

// The reader's calendar: seconds since 2000-01-01 00:00:00, and the six clock
// bytes of SetReal_timeClock / GetTime (year - 2000, month, day, hour, minute,
// second).
std::uint64_t secondsFromClockBytes(const unsigned char clock[6]);
void clockBytesFromSeconds(std::uint64_t seconds, unsigned char clock[6]);
bool isValidClock(const unsigned char clock[6]);

}  // namespace tessaro::sim
