/*
 * Tessaro - the platform's own HID transport, for transports that wrap it.
 *
 * TessaroSetTransport (TessaroTransport.h) replaces the reader link's
 * transport. A transport that only watches or records the reports still has
 * to reach the reader: it takes the platform transport from here and forwards
 * every call to it.
 *
 *   TessaroTransport usb;
 *   TessaroPlatformTransport(&usb);
 *   ... a wrapper whose functions call usb.writeReport(usb.context, ...) ...
 */
#ifndef TESSARO_PLATFORM_H
#define TESSARO_PLATFORM_H

#include "TessaroTypes.h"
#include "TessaroTransport.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Fills *out with the transport this build uses for USB readers when no other
 * is installed (hidapi on Linux and macOS). Its functions may be called
 * whatever transport is installed; tickMs and sleepMs are the platform clock.
 *   out [out] receives a copy of the transport (version 1)
 * Returns 0, or ERR_PARAMETER (255) when out is NULL. */
TESSARO_API int TESSARO_CALL TessaroPlatformTransport(TessaroTransport *out);

#ifdef __cplusplus
}
#endif

#endif /* TESSARO_PLATFORM_H */
