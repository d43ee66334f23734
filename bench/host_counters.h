// What a call costs the host besides time: heap allocations (every malloc,
// calloc and realloc of the process, the library's included, is counted) and,
// where the kernel gives a hardware counter, instructions.
#pragma once

#include <cstdint>
#include <string>

namespace tessaro::bench {

// Allocations made by the process so far.
std::uint64_t allocations();

// Instructions retired by this thread in user space, from a hardware counter.
class InstructionCounter {
public:
    InstructionCounter();
    ~InstructionCounter();
    InstructionCounter(const InstructionCounter &) = delete;
    InstructionCounter &operator=(const InstructionCounter &) = delete;

    bool available() const { return fd_ >= 0; }
    // Why there is no counter (empty when there is one).
    const std::string &unavailableReason() const { return reason_; }
    void start();
    // Instructions since start(); 0 without a counter.
    std::uint64_t stop();

private:
    int fd_ = -1;
    std::string reason_;
};

}  // namespace tessaro::bench
