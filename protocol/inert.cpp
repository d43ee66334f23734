// Exports that never reach the reader: the library version, the entry points
// of a serial AT mode this reader family does not have over USB, and the
// empty class that existing applications link against.
#include "Tessaro.h"
#include "link/api_lock.h"

using tessaro::ApiLock;

TESSARO_API int GetSDKVersion(unsigned char *version) {
    const ApiLock lock;
    version[0] = TESSARO_VERSION_MAJOR;
    version[1] = TESSARO_VERSION_MINOR;
    version[2] = TESSARO_VERSION_PATCH;
    return 0;
}

namespace {
int doNothing() {
    const ApiLock lock;
    return 0;
}
}  // namespace

TESSARO_API int SetBaudRate(...) { return doNothing(); }
TESSARO_API int ChangeATMode(...) { return doNothing(); }
TESSARO_API int TransparentCMD(...) { return doNothing(); }
TESSARO_API int ATGetDataFromPort(unsigned char *, int *, int) { return doNothing(); }

CTessaro::CTessaro() = default;
CTessaro &CTessaro::operator=(const CTessaro &) { return *this; }
CTessaro &CTessaro::operator=(CTessaro &&) { return *this; }
