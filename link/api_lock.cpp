#include "api_lock.h"

#include <atomic>
#include <chrono>
#include <mutex>

namespace tessaro {

namespace {

std::recursive_mutex &apiMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

using Clock = std::chrono::steady_clock;

// Commands (calls of threads that are not readings) holding or waiting for
// the lock, and when the last one ended.
std::atomic<int> commands{0};
std::atomic<Clock::rep> lastCommandEnd{0};
thread_local bool readingThread = false;

}  // namespace

ApiLock::ApiLock() {
    if (!readingThread) ++commands;
    apiMutex().lock();
}

ApiLock::~ApiLock() {
    if (!readingThread) {
        lastCommandEnd = Clock::now().time_since_epoch().count();
        --commands;
    }
    apiMutex().unlock();
}

void markReadingThread() { readingThread = true; }

bool commandsBusy(unsigned quietMs) {
    if (commands > 0) return true;
    const Clock::time_point end{Clock::duration(lastCommandEnd.load())};
    return Clock::now() - end < std::chrono::milliseconds(quietMs);
}

}  // namespace tessaro
