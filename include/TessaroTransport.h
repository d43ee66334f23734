/*
 * Tessaro - the transport seam.
 *
 * Everything the library says to a reader goes through one struct of function
 * pointers. The library installs the platform HID transport at load (hidapi;
 * on Windows the system's HID class driver); a test, the simulated reader or a
 * bridge to a remote reader installs its own with TessaroSetTransport.
 */
#ifndef TESSARO_TRANSPORT_H
#define TESSARO_TRANSPORT_H

#include <stddef.h>

#include "TessaroTypes.h"

#define TESSARO_TRANSPORT_VERSION 1

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TessaroTransport {
    int version;        /* TESSARO_TRANSPORT_VERSION */
    void *context;      /* handed back as the first argument of every call */

    /* Path of the HID interface at enumeration position `index` (0, 1, 2, ...):
       writes a NUL-terminated path of at most `size` bytes and returns 0,
       or returns non-zero when there is no interface at that position. */
    int (TESSARO_CALL *interfacePath)(void *context, int index, char *path, size_t size);
    /* Opens the interface for reading and writing; NULL when it cannot. */
    void *(TESSARO_CALL *open)(void *context, const char *path);
    /* Vendor and product id of an open interface; 0 when they could be read. */
    int (TESSARO_CALL *attributes)(void *context, void *device,
                                   unsigned short *vendorId, unsigned short *productId);
    /* Writes one 64-byte output report, waiting at most waitMs.
       Returns the number of bytes written (64 = complete), -1 on error. */
    int (TESSARO_CALL *writeReport)(void *context, void *device,
                                    const unsigned char *report, unsigned waitMs);
    /* Reads one 64-byte input report, waiting at most waitMs.
       Returns the number of bytes read (64 = complete), 0 when none came
       in time, -1 on error. */
    int (TESSARO_CALL *readReport)(void *context, void *device,
                                   unsigned char *report, unsigned waitMs);
    void (TESSARO_CALL *close)(void *context, void *device);
    /* Millisecond tick counter (wraps at 2^32) and sleep.
       Either may be NULL: the platform clock is used then. */
    unsigned (TESSARO_CALL *tickMs)(void *context);
    void (TESSARO_CALL *sleepMs)(void *context, unsigned ms);
} TessaroTransport;

/* Routes the reader link through `transport` (the struct is copied; its
   context must outlive its use). NULL restores the platform HID transport.
   Before switching, every handle still held in the port table is closed
   through the transport that opened it, and the library returns to its
   load state: port table empty, command/response buffers zeroed, response
   length 0, inventory-in-progress flag 0, scan time 0.
   Returns 0, or 255 (ERR_PARAMETER) when version is not 1 or one of
   interfacePath, open, attributes, writeReport, readReport, close is NULL;
   then nothing changes. */
TESSARO_API int TESSARO_CALL TessaroSetTransport(const TessaroTransport *transport);

#ifdef __cplusplus
}
#endif

#endif /* TESSARO_TRANSPORT_H */
