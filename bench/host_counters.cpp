#include "host_counters.h"

#include <linux/perf_event.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

// glibc's allocator under its own names: the functions below count each call
// and hand it on. Memory from any of them is freed by glibc's free.
extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *pointer, std::size_t size);
}

namespace {
std::atomic<std::uint64_t> allocationCount{0};
}

extern "C" void *malloc(std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

extern "C" void *calloc(std::size_t count, std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

extern "C" void *realloc(void *pointer, std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}

namespace tessaro::bench {

std::uint64_t allocations() { return allocationCount.load(std::memory_order_relaxed); }

InstructionCounter::InstructionCounter() {
    perf_event_attr attr;
    std::memset(&attr, 0, sizeof attr);
    attr.type = PERF_TYPE_HARDWARE;
    attr.size = sizeof attr;
    attr.config = PERF_COUNT_HW_INSTRUCTIONS;
    attr.disabled = 1;
    attr.exclude_kernel = 1;
    attr.exclude_hv = 1;
    fd_ = static_cast<int>(syscall(SYS_perf_event_open, &attr, 0, -1, -1, 0));
    if (fd_ < 0) {
        const int error = errno;
        reason_ = std::string("perf_event_open: ") + std::strerror(error);
        if (error == ENOENT || error == EOPNOTSUPP)
            reason_ += " (no hardware instruction counter on this machine, e.g. a virtual one)";
        else if (error == EACCES || error == EPERM)
            reason_ += " (see /proc/sys/kernel/perf_event_paranoid)";
    }
}

InstructionCounter::~InstructionCounter() {
    if (fd_ >= 0) close(fd_);
}

void InstructionCounter::start() {
    if (fd_ < 0) return;
    ioctl(fd_, PERF_EVENT_IOC_RESET, 0);
    ioctl(fd_, PERF_EVENT_IOC_ENABLE, 0);
}

std::uint64_t InstructionCounter::stop() {
    if (fd_ < 0) return 0;
    ioctl(fd_, PERF_EVENT_IOC_DISABLE, 0);
    std::uint64_t count = 0;
    if (read(fd_, &count, sizeof count) != static_cast<ssize_t>(sizeof count)) return 0;
    return count;
}

}  // namespace tessaro::bench
