#include "api_lock.h"

#include <mutex>

namespace tessaro {

namespace {
std::recursive_mutex &apiMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}
}  // namespace

ApiLock::ApiLock() { apiMutex().lock(); }
ApiLock::~ApiLock() { apiMutex().unlock(); }

}  // namespace tessaro
