/*
 * Tessaro - GS1 EPC identities: decoding and encoding the binary EPCs that
 * the EPC Tag Data Standard defines, and their text forms.
 *
 *   TessaroEpcIdentity id;
 *   char uri[TESSARO_EPC_TEXT_SIZE];
 *   if (TessaroEpcDecode(epc, 12, &id) == 0) {
 *       TessaroEpcPureUri(&id, uri, sizeof uri);  // urn:epc:id:sgtin:0614141.812345.6789
 *   } else {
 *       puts(id.reason);                          // why it is not a GS1 EPC
 *   }
 *
 * Schemes: SGTIN-96/198, SSCC-96, SGLN-96/195, GRAI-96/170, GIAI-96/202,
 * GSRN-96, GSRNP-96, GDTI-96/174, SGCN-96, CPI-96/var, ITIP-110/212, GID-96,
 * USDOD-96 and ADI-var. An EPC of any other header, or whose fields break its
 * scheme's rules (a partition out of range, a number too large for its digits,
 * a leading zero where the scheme forbids one, a character outside the
 * scheme's set, padding bits that are not zero), is not decoded: the call
 * returns TESSARO_EPC_NOT_GS1 and says why in `reason`.
 *
 * An identity is a scheme plus the components of its pure identity URI, as
 * text without percent escapes: for an SGTIN the company prefix, the
 * indicator digit and item reference, and the serial. TessaroEpcComponentName
 * names them.
 *
 * Nothing here allocates or keeps state; every function may be called from any
 * thread. Every text output is NUL-terminated and bounded by the size the
 * caller passes: when it does not fit, the function cuts it to "" (for
 * size > 0) and returns TESSARO_EPC_NO_ROOM. TESSARO_EPC_TEXT_SIZE holds any text of a
 * decoded identity.
 */
#ifndef TESSARO_EPC_H
#define TESSARO_EPC_H

#include <stddef.h>

#include "TessaroTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Return codes beside TESSARO_OK (0) and ERR_PARAMETER (255, a NULL pointer
   or an argument out of range). */
enum {
    TESSARO_EPC_NOT_GS1 = 600, /* the bytes or text are no valid EPC of a known scheme; see reason */
    TESSARO_EPC_NO_FORM = 601, /* the scheme has no such form (GID-96 has no GS1 element string) */
    TESSARO_EPC_NO_ROOM = 602  /* the output does not fit the size given; nothing written */
};

/* Schemes. The names are the standard's ("sgtin-96"), from TessaroEpcSchemeName. */
enum {
    TESSARO_EPC_NONE = 0,
    TESSARO_EPC_SGTIN_96, TESSARO_EPC_SGTIN_198,
    TESSARO_EPC_SSCC_96,
    TESSARO_EPC_SGLN_96, TESSARO_EPC_SGLN_195,
    TESSARO_EPC_GRAI_96, TESSARO_EPC_GRAI_170,
    TESSARO_EPC_GIAI_96, TESSARO_EPC_GIAI_202,
    TESSARO_EPC_GSRN_96, TESSARO_EPC_GSRNP_96,
    TESSARO_EPC_GDTI_96, TESSARO_EPC_GDTI_174,
    TESSARO_EPC_SGCN_96,
    TESSARO_EPC_CPI_96, TESSARO_EPC_CPI_VAR,
    TESSARO_EPC_ITIP_110, TESSARO_EPC_ITIP_212,
    TESSARO_EPC_GID_96,
    TESSARO_EPC_USDOD_96,
    TESSARO_EPC_ADI_VAR,
    TESSARO_EPC_SCHEME_COUNT /* one past the last scheme */
};

enum {
    TESSARO_EPC_MAX_COMPONENTS = 5,   /* ITIP: prefix, item, piece, total, serial */
    TESSARO_EPC_COMPONENT_SIZE = 33,  /* the longest component (ADI part number, 32) + NUL */
    TESSARO_EPC_REASON_SIZE = 96,
    TESSARO_EPC_TEXT_SIZE = 256,      /* any URI or element string of an identity, + NUL */
    TESSARO_EPC_MAX_BYTES = 62        /* the longest EPC: 31 words */
};

/* An identity: decoded from an EPC, parsed from text, or filled in by hand
 * for TessaroEpcEncode. */
typedef struct TessaroEpcIdentity {
    int scheme;              /* TESSARO_EPC_SGTIN_96 ...; TESSARO_EPC_NONE when not decoded */
    int bits;                /* the encoding's length in bits (96, 198, ...) */
    int filter;              /* the filter value; -1 for a scheme without one (GID-96) */
    int companyPrefixLength; /* digits of the GS1 company prefix; 0 for GID, USDOD, ADI */
    int componentCount;      /* components of the pure identity URI, 2 to 5 */
    /* TESSARO_EPC_MAX_COMPONENTS x TESSARO_EPC_COMPONENT_SIZE: each NUL-terminated */
    char components[5][33];
    char reason[96]; /* TESSARO_EPC_REASON_SIZE: why decoding or parsing failed; "" on success */
} TessaroEpcIdentity;

/* Decodes the binary EPC `epc` (the EPC bank from word 2 on, without PC).
 *   epc      [in]  `length` bytes, most significant bit first
 *   length   [in]  1 to TESSARO_EPC_MAX_BYTES; bytes past the scheme's bits must be zero
 *   identity [out] the identity; on failure scheme NONE and the reason filled in
 * Returns TESSARO_OK, TESSARO_EPC_NOT_GS1 (with identity->reason), or
 * ERR_PARAMETER for a NULL pointer or a length out of range (identity, when
 * not NULL, says so too). Reads nothing outside epc[0 .. length - 1]. */
TESSARO_API int TESSARO_CALL TessaroEpcDecode(const unsigned char *epc, int length,
                                 TessaroEpcIdentity *identity);

/* Decodes an EPC bank read from word 1 on: the PC word, then the EPC. The PC's
 * length field says how many EPC words follow; a PC whose toggle bit (0x0100)
 * is set announces a non-EPC numbering system and is TESSARO_EPC_NOT_GS1.
 *   bank   [in] `length` bytes: PC (2 bytes, high byte first), EPC
 *   length [in] 2 to 2 + TESSARO_EPC_MAX_BYTES; must hold the words the PC announces
 * Returns as TessaroEpcDecode. */
TESSARO_API int TESSARO_CALL TessaroEpcDecodeBank(const unsigned char *bank, int length,
                                     TessaroEpcIdentity *identity);

/* Reads an identity from text: a pure identity URI ("urn:epc:id:sgtin:0614141.812345.6789"),
 * a tag URI ("urn:epc:tag:sgtin-96:3.0614141.812345.6789") or a GS1 element
 * string ("(01)80614141123458(21)6789"). Every rule is checked: check digits,
 * the digits of each field, ranges, character sets.
 *   text   [in] NUL-terminated
 *   filter [in] 0 to the scheme's largest filter; -1: the tag URI's, or 0
 *               (a tag URI whose filter differs from a filter given is refused)
 *   companyPrefixLength [in] 6 to 12, needed for an element string (where the
 *               prefix's length cannot be seen); 0 otherwise, or the URI's
 *   identity [out] the identity, in the shortest scheme that holds it (a pure
 *               URI or element string of an SGTIN with serial 6789 is SGTIN-96,
 *               with serial "A1" SGTIN-198); a tag URI names its scheme
 * Returns TESSARO_OK, TESSARO_EPC_NOT_GS1 with identity->reason, or ERR_PARAMETER. */
TESSARO_API int TESSARO_CALL TessaroEpcParse(const char *text, int filter, int companyPrefixLength,
                                TessaroEpcIdentity *identity);

/* Encodes an identity into a binary EPC, zero-padded to whole words.
 *   identity [in]  as decoded, parsed, or filled in by hand (its components
 *                  are checked as TessaroEpcParse checks them)
 *   epc      [out] at least the encoding's words x 2 bytes (TESSARO_EPC_MAX_BYTES always fits)
 *   size     [in]  bytes at `epc`
 *   length   [out] bytes written (12 for a 96-bit scheme); may be NULL
 * Returns TESSARO_OK, TESSARO_EPC_NOT_GS1 (a component breaks the scheme's
 * rules; the identity is const, so the reason is not given here: parse
 * the text with TessaroEpcParse to learn it), TESSARO_EPC_NO_ROOM, or
 * ERR_PARAMETER. Nothing is written to `epc` unless the result is TESSARO_OK. */
TESSARO_API int TESSARO_CALL TessaroEpcEncode(const TessaroEpcIdentity *identity, unsigned char *epc,
                                 int size, int *length);

/* The text forms of a decoded or parsed identity. Each writes a NUL-terminated
 * text of at most `size` bytes to `out` [out] and returns TESSARO_OK,
 * TESSARO_EPC_NO_FORM (the scheme has no such form; out gets ""),
 * TESSARO_EPC_NO_ROOM, or ERR_PARAMETER (NULL, or an identity that is not
 * decoded). */

/* "urn:epc:id:sgtin:0614141.812345.6789": components percent-escaped as URIs need. */
TESSARO_API int TESSARO_CALL TessaroEpcPureUri(const TessaroEpcIdentity *identity, char *out, size_t size);
/* "urn:epc:tag:sgtin-96:3.0614141.812345.6789": the scheme, the filter, the components. */
TESSARO_API int TESSARO_CALL TessaroEpcTagUri(const TessaroEpcIdentity *identity, char *out, size_t size);
/* "(01)80614141123458(21)6789": the GS1 element string with its check digit.
 * TESSARO_EPC_NO_FORM for GID-96, USDOD-96 and ADI-var. */
TESSARO_API int TESSARO_CALL TessaroEpcElementString(const TessaroEpcIdentity *identity, char *out,
                                        size_t size);
/* "https://id.gs1.org/01/80614141123458/21/6789": the GS1 Digital Link URI on
 * GS1's resolver. TESSARO_EPC_NO_FORM for GID-96, USDOD-96 and ADI-var. */
TESSARO_API int TESSARO_CALL TessaroEpcDigitalLink(const TessaroEpcIdentity *identity, char *out,
                                      size_t size);
/* The GS1 key alone, with its check digit where it has one: the GTIN
 * "80614141123458" of an SGTIN, the SSCC, the GLN, the GRAI (with serial), ...
 * TESSARO_EPC_NO_FORM for GID-96, USDOD-96 and ADI-var. */
TESSARO_API int TESSARO_CALL TessaroEpcGs1Key(const TessaroEpcIdentity *identity, char *out, size_t size);

/* The scheme's name: "sgtin-96", "cpi-var", ...; "" for an unknown number.
 * A constant of the library: never NULL. */
TESSARO_API const char *TESSARO_CALL TessaroEpcSchemeName(int scheme);

/* The name of component `index` (0 to componentCount - 1) of the scheme's
 * identities, as a JSON key would use it: "companyPrefix", "itemReference",
 * "serial", ...; "" for an unknown scheme or index. Never NULL. */
TESSARO_API const char *TESSARO_CALL TessaroEpcComponentName(int scheme, int index);

#ifdef __cplusplus
}
#endif

#endif /* TESSARO_EPC_H */
