// TessaroPlatformTransport: the build's platform transport, handed to clients
// that wrap it (a recorder, a tracer). The copy carries the platform clock in
// tickMs and sleepMs, so a wrapper can forward those calls too.
#include "TessaroPlatform.h"

#include "transport.h"

namespace {

unsigned TESSARO_CALL platformTick(void *) { return tessaro::link::platformTickMs(); }
void TESSARO_CALL platformSleep(void *, unsigned ms) { tessaro::link::platformSleepMs(ms); }

}  // namespace

extern "C" int TessaroPlatformTransport(TessaroTransport *out) {
    if (!out) return ERR_PARAMETER;
    *out = tessaro::link::platformTransport();
    if (!out->tickMs) out->tickMs = platformTick;
    if (!out->sleepMs) out->sleepMs = platformSleep;
    return TESSARO_OK;
}
