// Every exported operation starts with
//
//     const tessaro::ApiLock lock;
//
// so that calls from several threads take turns instead of sharing the command
// and response buffers mid-exchange. The lock is recursive: an exported
// operation may call another one (SetRegionAndChannel calls SetRegion).
//
// A continuous reading gives way to the commands of other threads: its thread
// marks itself, and before each round it waits while another thread's command
// holds or waits for the lock, or ended a moment ago (the next one of a
// series, such as the reads of a whole memory bank, is usually on its way).
// Without that the reading's next round wins the race for the lock nearly
// every time, and each command waits a whole round.
#pragma once

namespace tessaro {

class ApiLock {
public:
    ApiLock();
    ~ApiLock();
    ApiLock(const ApiLock &) = delete;
    ApiLock &operator=(const ApiLock &) = delete;
};

// Marks the calling thread as a continuous reading's: its calls are not
// commands that readings give way to.
void markReadingThread();

// True while a command of another thread holds or waits for the lock, or
// one ended less than `quietMs` ago (real time).
bool commandsBusy(unsigned quietMs);

}  // namespace tessaro
