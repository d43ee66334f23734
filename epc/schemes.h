// The binary schemes of the EPC Tag Data Standard as tables: header, length,
// filter, partition table and how each field is coded. Decoding, encoding and
// the text forms all read these tables.
#pragma once

#include <cstddef>
#include <cstdint>

#include "TessaroEpc.h"

namespace tessaro::epc {

// One row of a partition table: the company prefix and the field after it.
struct Partition {
    std::uint8_t prefixBits, prefixDigits, referenceBits, referenceDigits;
};

enum class Family { Sgtin, Sscc, Sgln, Grai, Giai, Gsrn, Gsrnp, Gdti, Sgcn, Cpi, Itip, Gid, Usdod, Adi };

// How a field is coded.
enum class Coding : std::uint8_t {
    None,          // no such field
    Digits,        // exactly the partition's digits, leading zeros kept
    Integer,       // decimal without leading zero, below 2^bits (and maxChars digits, where set)
    String7,       // characters of the GS1 set of 82, 7 bits each, zero-padded to the field
    String6,       // 6-bit characters ended by a zero character (variable length)
    NumericString, // digits with leading zeros, coded as the integer "1" followed by them
    Reserved       // bits that must be zero
};

struct Field {
    Coding coding;
    std::uint16_t bits;    // String6: 0 (variable)
    std::uint8_t maxChars; // String7/String6: characters; Integer: digits (0: no limit)
};

// Which characters a String6 field takes.
enum class CharSet : std::uint8_t { Gs1, Cpi, Adi };

struct Scheme {
    int id;
    const char *name;    // "sgtin-96"
    const char *uriName; // "sgtin"
    Family family;
    std::uint8_t header;
    std::uint16_t bits;  // 0: variable length
    std::uint8_t filterBits;
    const Partition *partition; // null for GID, USDOD, ADI
    Coding referenceCoding;     // the field after the company prefix (Digits, Integer, String7, String6)
    Field serial;               // the last field
    int componentCount;
    const char *components[TESSARO_EPC_MAX_COMPONENTS];
};

const Scheme *schemeById(int id);
const Scheme *schemeByHeader(unsigned header);
const Scheme *schemeByName(const char *name, std::size_t length);
// The schemes of a pure identity URI's name ("sgtin"), shortest encoding first.
int schemesByUriName(const char *name, std::size_t length, const Scheme *out[2]);
// A family's name in URIs, for messages.
bool isGs1(const Scheme &scheme);

// Characters: the GS1 set of 82 (serials of 7-bit strings), and the sets of
// the 6-bit fields.
bool inSet82(int c);
bool inCharSet(CharSet set, int c, bool first);

extern const std::uint64_t kPowersOf10[20];

// Digits of a decimal number without leading zeros; writes them at `out`
// and returns their count (at most 20).
int formatDecimal(std::uint64_t value, char *out);
// The same, zero-padded to `width` digits (the caller checked it fits).
void formatDigits(std::uint64_t value, int width, char *out);

// GS1 check digit of `count` digits (weights 3, 1, 3, ... from the right).
char checkDigit(const char *digits, int count);

// Writes a reason: "scheme: text" into identity->reason; returns
// TESSARO_EPC_NOT_GS1.
int refuse(TessaroEpcIdentity *identity, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Checks the components of an identity against its scheme. On success fills
// `partition` (-1 for schemes without one) and returns TESSARO_OK; otherwise
// writes the reason to `reason` (may be null) and returns TESSARO_EPC_NOT_GS1.
int checkIdentity(const Scheme &scheme, const TessaroEpcIdentity &identity, int &partition,
                  char *reason, std::size_t reasonSize);

}  // namespace tessaro::epc
