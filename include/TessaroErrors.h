/*
 * Tessaro - texts for return codes, so that every application tells its users
 * the same thing.
 *
 *   int rc = ReadData_G2(...);
 *   if (rc != 0) fprintf(stderr, "%s\n", TessaroReturnCodeText(rc));
 */
#ifndef TESSARO_ERRORS_H
#define TESSARO_ERRORS_H

#include "TessaroTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Names and explains a return code of any exported operation: 0, the
 * library's own codes and the reader's statuses.
 *   code [in] the int an operation returned
 * Returns "NAME: sentence."; for a code that is neither, a text that says the
 * code is unknown. Never NULL; a constant of the library, not to be freed. */
TESSARO_API const char *TessaroReturnCodeText(int code);

#ifdef __cplusplus
}
#endif

#endif /* TESSARO_ERRORS_H */
