// Every exported operation starts with
//
//     const tessaro::ApiLock lock;
//
// so that calls from several threads take turns instead of sharing the command
// and response buffers mid-exchange. The lock is recursive: an exported
// operation may call another one (SetRegionAndChannel calls SetRegion).
#pragma once

namespace tessaro {

class ApiLock {
public:
    ApiLock();
    ~ApiLock();
    ApiLock(const ApiLock &) = delete;
    ApiLock &operator=(const ApiLock &) = delete;
};

}  // namespace tessaro
