#include "schemes.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tessaro::epc {

namespace {

// Partition tables: company prefix bits and digits, then the next field's.
// SGTIN and ITIP: indicator digit and item reference.
constexpr Partition kSgtin[7] = {{40, 12, 4, 1},  {37, 11, 7, 2},  {34, 10, 10, 3}, {30, 9, 14, 4},
                                 {27, 8, 17, 5},  {24, 7, 20, 6},  {20, 6, 24, 7}};
// SSCC (extension digit and serial reference), GSRN and GSRNP (service reference).
constexpr Partition kSscc[7] = {{40, 12, 18, 5}, {37, 11, 21, 6}, {34, 10, 24, 7}, {30, 9, 28, 8},
                                {27, 8, 31, 9},  {24, 7, 34, 10}, {20, 6, 38, 11}};
// SGLN (location reference), GDTI (document type), SGCN (coupon reference).
constexpr Partition kSgln[7] = {{40, 12, 1, 0}, {37, 11, 4, 1}, {34, 10, 7, 2}, {30, 9, 11, 3},
                                {27, 8, 14, 4}, {24, 7, 17, 5}, {20, 6, 21, 6}};
// GRAI: asset type.
constexpr Partition kGrai[7] = {{40, 12, 4, 0}, {37, 11, 7, 1}, {34, 10, 10, 2}, {30, 9, 14, 3},
                                {27, 8, 17, 4}, {24, 7, 20, 5}, {20, 6, 24, 6}};
// GIAI-96: individual asset reference, an integer.
constexpr Partition kGiai96[7] = {{40, 12, 42, 13}, {37, 11, 45, 14}, {34, 10, 48, 15},
                                  {30, 9, 52, 16},  {27, 8, 55, 17},  {24, 7, 58, 18},
                                  {20, 6, 62, 19}};
// GIAI-202: individual asset reference, a 7-bit string of at most these characters.
constexpr Partition kGiai202[7] = {{40, 12, 148, 18}, {37, 11, 151, 19}, {34, 10, 154, 20},
                                   {30, 9, 158, 21},  {27, 8, 161, 22},  {24, 7, 164, 23},
                                   {20, 6, 168, 24}};
// CPI-96: component/part reference, an integer.
constexpr Partition kCpi96[7] = {{40, 12, 11, 3}, {37, 11, 14, 4}, {34, 10, 17, 5}, {30, 9, 21, 6},
                                 {27, 8, 24, 7},  {24, 7, 27, 8},  {20, 6, 31, 9}};
// CPI-var: component/part reference, 6-bit characters (at most these many).
constexpr Partition kCpiVar[7] = {{40, 12, 114, 18}, {37, 11, 120, 19}, {34, 10, 126, 20},
                                  {30, 9, 132, 21},  {27, 8, 138, 22},  {24, 7, 144, 23},
                                  {20, 6, 150, 24}};

using C = Coding;
using F = Family;

constexpr Scheme kSchemes[] = {
    {TESSARO_EPC_SGTIN_96, "sgtin-96", "sgtin", F::Sgtin, 0x30, 96, 3, kSgtin, C::Digits,
     {C::Integer, 38, 0}, 3, {"companyPrefix", "itemReference", "serial"}},
    {TESSARO_EPC_SGTIN_198, "sgtin-198", "sgtin", F::Sgtin, 0x36, 198, 3, kSgtin, C::Digits,
     {C::String7, 140, 20}, 3, {"companyPrefix", "itemReference", "serial"}},
    {TESSARO_EPC_SSCC_96, "sscc-96", "sscc", F::Sscc, 0x31, 96, 3, kSscc, C::Digits,
     {C::Reserved, 24, 0}, 2, {"companyPrefix", "serialReference"}},
    {TESSARO_EPC_SGLN_96, "sgln-96", "sgln", F::Sgln, 0x32, 96, 3, kSgln, C::Digits,
     {C::Integer, 41, 0}, 3, {"companyPrefix", "locationReference", "extension"}},
    {TESSARO_EPC_SGLN_195, "sgln-195", "sgln", F::Sgln, 0x39, 195, 3, kSgln, C::Digits,
     {C::String7, 140, 20}, 3, {"companyPrefix", "locationReference", "extension"}},
    {TESSARO_EPC_GRAI_96, "grai-96", "grai", F::Grai, 0x33, 96, 3, kGrai, C::Digits,
     {C::Integer, 38, 0}, 3, {"companyPrefix", "assetType", "serial"}},
    {TESSARO_EPC_GRAI_170, "grai-170", "grai", F::Grai, 0x37, 170, 3, kGrai, C::Digits,
     {C::String7, 112, 16}, 3, {"companyPrefix", "assetType", "serial"}},
    {TESSARO_EPC_GIAI_96, "giai-96", "giai", F::Giai, 0x34, 96, 3, kGiai96, C::Integer,
     {C::None, 0, 0}, 2, {"companyPrefix", "individualAssetReference"}},
    {TESSARO_EPC_GIAI_202, "giai-202", "giai", F::Giai, 0x38, 202, 3, kGiai202, C::String7,
     {C::None, 0, 0}, 2, {"companyPrefix", "individualAssetReference"}},
    {TESSARO_EPC_GSRN_96, "gsrn-96", "gsrn", F::Gsrn, 0x2D, 96, 3, kSscc, C::Digits,
     {C::Reserved, 24, 0}, 2, {"companyPrefix", "serviceReference"}},
    {TESSARO_EPC_GSRNP_96, "gsrnp-96", "gsrnp", F::Gsrnp, 0x2E, 96, 3, kSscc, C::Digits,
     {C::Reserved, 24, 0}, 2, {"companyPrefix", "serviceReference"}},
    {TESSARO_EPC_GDTI_96, "gdti-96", "gdti", F::Gdti, 0x2C, 96, 3, kSgln, C::Digits,
     {C::Integer, 41, 0}, 3, {"companyPrefix", "documentType", "serial"}},
    {TESSARO_EPC_GDTI_174, "gdti-174", "gdti", F::Gdti, 0x3E, 174, 3, kSgln, C::Digits,
     {C::String7, 119, 17}, 3, {"companyPrefix", "documentType", "serial"}},
    {TESSARO_EPC_SGCN_96, "sgcn-96", "sgcn", F::Sgcn, 0x3F, 96, 3, kSgln, C::Digits,
     {C::NumericString, 41, 12}, 3, {"companyPrefix", "couponReference", "serial"}},
    {TESSARO_EPC_CPI_96, "cpi-96", "cpi", F::Cpi, 0x3C, 96, 3, kCpi96, C::Integer,
     {C::Integer, 31, 0}, 3, {"companyPrefix", "componentPartReference", "serial"}},
    {TESSARO_EPC_CPI_VAR, "cpi-var", "cpi", F::Cpi, 0x3D, 0, 3, kCpiVar, C::String6,
     {C::Integer, 40, 12}, 3, {"companyPrefix", "componentPartReference", "serial"}},
    {TESSARO_EPC_ITIP_110, "itip-110", "itip", F::Itip, 0x40, 110, 3, kSgtin, C::Digits,
     {C::Integer, 38, 0}, 5, {"companyPrefix", "itemReference", "piece", "total", "serial"}},
    {TESSARO_EPC_ITIP_212, "itip-212", "itip", F::Itip, 0x41, 212, 3, kSgtin, C::Digits,
     {C::String7, 140, 20}, 5, {"companyPrefix", "itemReference", "piece", "total", "serial"}},
    {TESSARO_EPC_GID_96, "gid-96", "gid", F::Gid, 0x35, 96, 0, nullptr, C::Integer,
     {C::Integer, 36, 0}, 3, {"generalManager", "objectClass", "serial"}},
    {TESSARO_EPC_USDOD_96, "usdod-96", "usdod", F::Usdod, 0x2F, 96, 4, nullptr, C::None,
     {C::Integer, 36, 0}, 2, {"cage", "serial"}},
    {TESSARO_EPC_ADI_VAR, "adi-var", "adi", F::Adi, 0x3B, 0, 6, nullptr, C::String6,
     {C::String6, 0, 30}, 3, {"cage", "partNumber", "serial"}},
};

// Bits of GID-96's general manager and object class.
constexpr int kGidManagerBits = 28, kGidClassBits = 24;
// ADI-var: at most 32 characters of part number.
constexpr int kAdiPartChars = 32;

bool isDigits(const char *text) {
    if (!*text) return false;
    for (; *text; ++text)
        if (*text < '0' || *text > '9') return false;
    return true;
}

// Parses a decimal number of at most 19 digits; false when it is not one.
bool toNumber(const char *text, std::uint64_t &value) {
    if (!isDigits(text) || std::strlen(text) > 19) return false;
    value = 0;
    for (; *text; ++text) value = value * 10 + static_cast<unsigned>(*text - '0');
    return true;
}

struct Check {
    const Scheme &scheme;
    char *reason;
    std::size_t size;

    int fail(const char *format, ...) const
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
    {
        if (reason && size) {
            int used = std::snprintf(reason, size, "%s: ", scheme.name);
            if (used < 0 || static_cast<std::size_t>(used) >= size) used = 0;
            std::va_list arguments;
            va_start(arguments, format);
            std::vsnprintf(reason + used, size - used, format, arguments);
            va_end(arguments);
        }
        return TESSARO_EPC_NOT_GS1;
    }

    // A number without leading zero below 2^bits and of at most maxDigits digits.
    int integer(const char *what, const char *text, int bits, int maxDigits) const {
        std::uint64_t value;
        if (!toNumber(text, value)) return fail("the %s \"%s\" is not a number", what, text);
        if (text[0] == '0' && text[1]) return fail("the %s \"%s\" has a leading zero", what, text);
        if ((bits < 64 && value >> bits) || (maxDigits && std::strlen(text) > static_cast<size_t>(maxDigits)))
            return fail("the %s %s is too large for the scheme", what, text);
        return TESSARO_OK;
    }

    int digits(const char *what, const char *text, int count) const {
        if (std::strlen(text) != static_cast<size_t>(count) || (count && !isDigits(text)))
            return fail("the %s \"%s\" must be %d digits", what, text, count);
        return TESSARO_OK;
    }

    int characters(const char *what, const char *text, int minimum, int maximum, CharSet set,
                   bool sevenBit) const {
        const std::size_t length = std::strlen(text);
        if (length < static_cast<size_t>(minimum)) return fail("the %s is empty", what);
        if (length > static_cast<size_t>(maximum))
            return fail("the %s has %d characters, at most %d fit", what, static_cast<int>(length), maximum);
        for (std::size_t i = 0; i < length; ++i) {
            const int c = static_cast<unsigned char>(text[i]);
            if (sevenBit ? !inSet82(c) : !inCharSet(set, c, i == 0))
                return fail("the %s has a character (0x%02X) outside its set", what, c);
        }
        return TESSARO_OK;
    }

    // A CAGE code or DoDAAC: 5 or 6 capital letters and digits.
    int cage(const char *text) const {
        const std::size_t length = std::strlen(text);
        if (length < 5 || length > 6) return fail("the CAGE/DoDAAC \"%s\" must be 5 or 6 characters", text);
        for (std::size_t i = 0; i < length; ++i)
            if (!((text[i] >= 'A' && text[i] <= 'Z') || (text[i] >= '0' && text[i] <= '9')))
                return fail("the CAGE/DoDAAC \"%s\" may hold only capitals and digits", text);
        return TESSARO_OK;
    }
};

}  // namespace

const std::uint64_t kPowersOf10[20] = {1ull,
                                       10ull,
                                       100ull,
                                       1000ull,
                                       10000ull,
                                       100000ull,
                                       1000000ull,
                                       10000000ull,
                                       100000000ull,
                                       1000000000ull,
                                       10000000000ull,
                                       100000000000ull,
                                       1000000000000ull,
                                       10000000000000ull,
                                       100000000000000ull,
                                       1000000000000000ull,
                                       10000000000000000ull,
                                       100000000000000000ull,
                                       1000000000000000000ull,
                                       10000000000000000000ull};

// The table lists the schemes in the order of their numbers.
static_assert(sizeof kSchemes / sizeof kSchemes[0] == TESSARO_EPC_SCHEME_COUNT - 1, "a scheme without its row");

const Scheme *schemeById(int id) {
    if (id < 1 || id >= TESSARO_EPC_SCHEME_COUNT) return nullptr;
    const Scheme &scheme = kSchemes[id - 1];
    return scheme.id == id ? &scheme : nullptr;
}

const Scheme *schemeByHeader(unsigned header) {
    for (const Scheme &scheme : kSchemes)
        if (scheme.header == header) return &scheme;
    return nullptr;
}

const Scheme *schemeByName(const char *name, std::size_t length) {
    for (const Scheme &scheme : kSchemes)
        if (std::strlen(scheme.name) == length && std::strncmp(scheme.name, name, length) == 0)
            return &scheme;
    return nullptr;
}

int schemesByUriName(const char *name, std::size_t length, const Scheme *out[2]) {
    int count = 0;
    for (const Scheme &scheme : kSchemes)
        if (std::strlen(scheme.uriName) == length &&
            std::strncmp(scheme.uriName, name, length) == 0 && count < 2)
            out[count++] = &scheme;
    return count;
}

bool isGs1(const Scheme &scheme) {
    return scheme.family != Family::Gid && scheme.family != Family::Usdod &&
           scheme.family != Family::Adi;
}

bool inSet82(int c) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
    return c != 0 && std::strchr("!\"%&'()*+,-./:;<=>?_", c) != nullptr;
}

bool inCharSet(CharSet set, int c, bool first) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '-' || c == '/') return true;
    if (c == '#') return set == CharSet::Cpi || (set == CharSet::Adi && first);
    return set == CharSet::Gs1 && inSet82(c);
}

int formatDecimal(std::uint64_t value, char *out) {
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    for (int i = 0; i < count; ++i) out[i] = digits[count - 1 - i];
    return count;
}

void formatDigits(std::uint64_t value, int width, char *out) {
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

char checkDigit(const char *digits, int count) {
    int sum = 0;
    for (int i = 0; i < count; ++i) {
        const int weight = (count - i) % 2 ? 3 : 1;
        sum += weight * (digits[i] - '0');
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

int refuse(TessaroEpcIdentity *identity, const char *format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(identity->reason, sizeof identity->reason, format, arguments);
    va_end(arguments);
    identity->scheme = TESSARO_EPC_NONE;
    return TESSARO_EPC_NOT_GS1;
}

int checkIdentity(const Scheme &scheme, const TessaroEpcIdentity &identity, int &partition,
                  char *reason, std::size_t reasonSize) {
    const Check check{scheme, reason, reasonSize};
    partition = -1;
    if (identity.componentCount != scheme.componentCount)
        return check.fail("%d components given, the scheme has %d", identity.componentCount,
                          scheme.componentCount);
    for (int i = 0; i < scheme.componentCount; ++i)
        if (!std::memchr(identity.components[i], 0, TESSARO_EPC_COMPONENT_SIZE))
            return check.fail("component %d is not terminated", i + 1);
    const int maxFilter = (1 << scheme.filterBits) - 1;
    if (scheme.filterBits ? identity.filter < 0 || identity.filter > maxFilter : identity.filter != -1)
        return scheme.filterBits ? check.fail("the filter %d is out of range (0 to %d)", identity.filter, maxFilter)
                                 : check.fail("the scheme has no filter");
    const char *c[TESSARO_EPC_MAX_COMPONENTS];
    for (int i = 0; i < TESSARO_EPC_MAX_COMPONENTS; ++i) c[i] = identity.components[i];
    const char *const last = c[scheme.componentCount - 1];
    int rc;
    switch (scheme.family) {
    case Family::Gid:
        if ((rc = check.integer("general manager", c[0], kGidManagerBits, 0)) ||
            (rc = check.integer("object class", c[1], kGidClassBits, 0)))
            return rc;
        return check.integer("serial", c[2], scheme.serial.bits, 0);
    case Family::Usdod:
        if ((rc = check.cage(c[0]))) return rc;
        return check.integer("serial", c[1], scheme.serial.bits, 0);
    case Family::Adi:
        if ((rc = check.cage(c[0])) ||
            (rc = check.characters("part number", c[1], 0, kAdiPartChars, CharSet::Adi, false)))
            return rc;
        if (c[1][0] == '#') return check.fail("the part number may not hold '#'");
        return check.characters("serial", c[2], 1, scheme.serial.maxChars, CharSet::Adi, false);
    default: break;
    }

    // The GS1 schemes: company prefix, reference, [piece, total,] serial.
    const std::size_t prefixLength = std::strlen(c[0]);
    if (!isDigits(c[0]) || prefixLength < 6 || prefixLength > 12)
        return check.fail("the company prefix \"%s\" must be 6 to 12 digits", c[0]);
    if (identity.companyPrefixLength != static_cast<int>(prefixLength))
        return check.fail("the company prefix has %d digits, not %d", static_cast<int>(prefixLength),
                          identity.companyPrefixLength);
    partition = 12 - static_cast<int>(prefixLength);
    const Partition &row = scheme.partition[partition];
    const char *referenceName = scheme.components[1];
    switch (scheme.referenceCoding) {
    case Coding::Digits: rc = check.digits(referenceName, c[1], row.referenceDigits); break;
    case Coding::Integer:
        rc = check.integer(referenceName, c[1], row.referenceBits, row.referenceDigits);
        break;
    case Coding::String7:
        rc = check.characters(referenceName, c[1], 1, row.referenceDigits, CharSet::Gs1, true);
        break;
    default:
        rc = check.characters(referenceName, c[1], 1, row.referenceDigits, CharSet::Cpi, false);
        break;
    }
    if (rc) return rc;
    if (scheme.family == Family::Itip &&
        ((rc = check.digits("piece", c[2], 2)) || (rc = check.digits("total", c[3], 2))))
        return rc;
    switch (scheme.serial.coding) {
    case Coding::Integer:
        return check.integer(scheme.components[scheme.componentCount - 1], last, scheme.serial.bits,
                             scheme.serial.maxChars);
    case Coding::String7:
        return check.characters(scheme.components[scheme.componentCount - 1], last, 1,
                                scheme.serial.maxChars, CharSet::Gs1, true);
    case Coding::NumericString:
        if (!isDigits(last) || std::strlen(last) > scheme.serial.maxChars)
            return check.fail("the serial \"%s\" must be 1 to %d digits", last, scheme.serial.maxChars);
        return TESSARO_OK;
    default: return TESSARO_OK;
    }
}

}  // namespace tessaro::epc
