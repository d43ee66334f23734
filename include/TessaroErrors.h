/*
 * Tessaro - texts for return codes and tag error bytes, so that every
 * application tells its users the same thing.
 *
 *   int rc = ReadData_G2(...);
 *   if (rc != 0) fprintf(stderr, "%s\n", TessaroReturnCodeText(rc));
 *
 * Every text is a constant of the library: never NULL, never to be freed or
 * modified, the same on every call and safe to use from any thread.
 */
#ifndef TESSARO_ERRORS_H
#define TESSARO_ERRORS_H

#include "TessaroTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Names and explains a return code of any exported operation: 0, the
 * library's own codes (ERR_COMM, ERR_CRC, ERR_PORT_CLOSED, ERR_RESPONSE_CMD,
 * ERR_PARAMETER, ERR_FRAME_TOO_LONG) and the reader's statuses (1 to 4 of an
 * inventory, 0xF8 to 0xFF).
 *   code [in] the int an operation returned
 * Returns "NAME: sentence." (e.g. "ERR_COMM: no complete answer came from the
 * reader in time, or the port was never opened."); for a code that is neither,
 * a text that says the code is unknown. Never NULL. */
TESSARO_API const char *TESSARO_CALL TessaroReturnCodeText(int code);

/* Names and explains a tag's error byte, the `errorCode` a tag command writes
 * after TAG_ERROR (252).
 *   errorByte [in] 0 to 255 (-1, the value after success, is named too)
 * Returns "name: sentence." (e.g. "memory overrun: ..."), or a text that says
 * the byte is unknown. Never NULL. */
TESSARO_API const char *TESSARO_CALL TessaroTagErrorText(int errorByte);

#ifdef __cplusplus
}
#endif

#endif /* TESSARO_ERRORS_H */
