// The GS1 EPC codec: the standard's worked examples, round trips over random
// valid identities of every scheme, and a table of EPCs and texts that must
// be refused with their reason.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "TessaroEpc.h"
#include "epc/schemes.h"

namespace {

std::vector<unsigned char> bytes(const std::string &hex) {
    std::vector<unsigned char> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string hex(const unsigned char *data, int length) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (int i = 0; i < length; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

using Form = decltype(&TessaroEpcPureUri);  // carries the calling convention

std::string form(Form function, const TessaroEpcIdentity &id) {
    char text[TESSARO_EPC_TEXT_SIZE];
    return function(&id, text, sizeof text) == TESSARO_OK ? text : "-";
}

std::string encodeText(const std::string &text, int filter = -1, int prefixLength = 0) {
    TessaroEpcIdentity id;
    if (TessaroEpcParse(text.c_str(), filter, prefixLength, &id) != TESSARO_OK) return id.reason;
    unsigned char epc[TESSARO_EPC_MAX_BYTES];
    int length = 0;
    EXPECT_EQ(TessaroEpcEncode(&id, epc, sizeof epc, &length), TESSARO_OK) << text;
    return hex(epc, length);
}

// Worked examples. Binary encodings other than the SGTIN-96 one were worked
// out by hand from the coding tables of the EPC Tag Data Standard (TDS 1.13,
// section 14.5) for the standard's own identities; the one from a public
// implementation says so.
struct Example {
    const char *source;
    const char *hex;
    const char *tagUri;
    const char *pureUri;
    const char *elementString;
    const char *digitalLink;
};

const Example kExamples[] = {
    {"TDS 1.13 Annex E (example of a specific trade item, SGTIN-96); also this issue's example",
     "3074257BF7194E4000001A85", "urn:epc:tag:sgtin-96:3.0614141.812345.6789",
     "urn:epc:id:sgtin:0614141.812345.6789", "(01)80614141123458(21)6789",
     "https://id.gs1.org/01/80614141123458/21/6789"},
    {"TDS 1.13 section 7.2 (SSCC example); binary from Table 14-5",
     "3174257BF4499602D2000000", "urn:epc:tag:sscc-96:3.0614141.1234567890",
     "urn:epc:id:sscc:0614141.1234567890", "(00)106141412345678908",
     "https://id.gs1.org/00/106141412345678908"},
    {"EPCtagCoder (public Java implementation), README: SSCC-96 example",
     "31AC16465751CCD0C2000000", "urn:epc:tag:sscc-96:5.023356789.30200002",
     "urn:epc:id:sscc:023356789.30200002", "(00)302335678902000022",
     "https://id.gs1.org/00/302335678902000022"},
    {"TDS 1.13 section 7.3 (SGLN with extension); binary from Table 14-6",
     "3274257BF46072000000162E", "urn:epc:tag:sgln-96:3.0614141.12345.5678",
     "urn:epc:id:sgln:0614141.12345.5678", "(414)0614141123452(254)5678",
     "https://id.gs1.org/414/0614141123452/254/5678"},
    {"TDS 1.13 section 7.4 (GRAI example); binary from Table 14-8",
     "3374257BF40C0E4000000190", "urn:epc:tag:grai-96:3.0614141.12345.400",
     "urn:epc:id:grai:0614141.12345.400", "(8003)00614141123452400",
     "https://id.gs1.org/8003/00614141123452400"},
    {"TDS 1.13 section 7.5 (GIAI example); binary from Table 14-10",
     "3474257BF400000000BC6038", "urn:epc:tag:giai-96:3.0614141.12345400",
     "urn:epc:id:giai:0614141.12345400", "(8004)061414112345400",
     "https://id.gs1.org/8004/061414112345400"},
    {"TDS 1.13 section 7.6 (GSRN example); binary from Table 14-12",
     "2D74257BF4499602D2000000", "urn:epc:tag:gsrn-96:3.0614141.1234567890",
     "urn:epc:id:gsrn:0614141.1234567890", "(8018)061414112345678902",
     "https://id.gs1.org/8018/061414112345678902"},
    {"TDS 1.13 section 7.10 (SGCN example); binary from Table 14-17",
     "3F74F4E4E612640000019907", "urn:epc:tag:sgcn-96:3.4012345.67890.04711",
     "urn:epc:id:sgcn:4012345.67890.04711", "(255)401234567890104711",
     "https://id.gs1.org/255/401234567890104711"},
    {"TDS 1.13 section 6.3.9 (GID example); binary from Table 14-4",
     "355AB1C60003039000000190", "urn:epc:tag:gid-96:95100000.12345.400",
     "urn:epc:id:gid:95100000.12345.400", "-", "-"},
    {"TDS 1.13 section 6.3.10 (ADI example); binary from Table 14-15",
     "3B020CF5E76C9047759AD00373DC7602E7200000", "urn:epc:tag:adi-var:0.35962.PQ7VZ4.M37GXB92",
     "urn:epc:id:adi:35962.PQ7VZ4.M37GXB92", "-", "-"},
    {"TDS 1.13 section 7.9 (CPI example); binary from Table 14-19",
     "3D74257BF71CB30420C000075BCD1500", "urn:epc:tag:cpi-var:3.0614141.123ABC.123456789",
     "urn:epc:id:cpi:0614141.123ABC.123456789", "(8010)0614141123ABC(8011)123456789",
     "https://id.gs1.org/8010/0614141123ABC/8011/123456789"},
};

TEST(EpcWorkedExamples, DecodeToEveryForm) {
    for (const Example &e : kExamples) {
        SCOPED_TRACE(e.source);
        const auto epc = bytes(e.hex);
        TessaroEpcIdentity id;
        ASSERT_EQ(TessaroEpcDecode(epc.data(), static_cast<int>(epc.size()), &id), TESSARO_OK) << id.reason;
        EXPECT_EQ(form(TessaroEpcTagUri, id), e.tagUri);
        EXPECT_EQ(form(TessaroEpcPureUri, id), e.pureUri);
        EXPECT_EQ(form(TessaroEpcElementString, id), e.elementString);
        EXPECT_EQ(form(TessaroEpcDigitalLink, id), e.digitalLink);
    }
}

TEST(EpcWorkedExamples, EncodeFromTagUriAndElementString) {
    for (const Example &e : kExamples) {
        SCOPED_TRACE(e.source);
        EXPECT_EQ(encodeText(e.tagUri), e.hex);
        if (e.elementString[0] != '-') {
            TessaroEpcIdentity fromUri;
            ASSERT_EQ(TessaroEpcParse(e.tagUri, -1, 0, &fromUri), TESSARO_OK);
            EXPECT_EQ(encodeText(e.elementString, fromUri.filter, fromUri.companyPrefixLength),
                      encodeText(e.pureUri, fromUri.filter)) << e.elementString;
        }
    }
}

TEST(EpcWorkedExamples, DecodeBankReadsThePcWord) {
    // PC 0x3000: six EPC words, no toggle, then the SGTIN-96 and a word to spare.
    const auto bank = bytes("30003074257BF7194E4000001A850000");
    TessaroEpcIdentity id;
    ASSERT_EQ(TessaroEpcDecodeBank(bank.data(), static_cast<int>(bank.size()), &id), TESSARO_OK);
    EXPECT_EQ(form(TessaroEpcGs1Key, id), "80614141123458");
    EXPECT_EQ(id.filter, 3);
    EXPECT_EQ(id.bits, 96);
}

TEST(EpcWorkedExamples, PureUriPicksTheShortestSchemeThatHoldsIt) {
    struct Case { const char *text; const char *scheme; } cases[] = {
        {"urn:epc:id:sgtin:0614141.812345.6789", "sgtin-96"},
        {"urn:epc:id:sgtin:0614141.812345.06789", "sgtin-198"},  // leading zero
        {"urn:epc:id:sgtin:0614141.812345.32a%2Fb", "sgtin-198"},
        {"urn:epc:id:sgtin:0614141.812345.274877906944", "sgtin-198"},  // 2^38
        {"urn:epc:id:grai:0614141.12345.A1", "grai-170"},
        {"urn:epc:id:cpi:0614141.5678.12345", "cpi-96"},
        {"urn:epc:id:cpi:0614141.05678.12345", "cpi-var"},
        {"urn:epc:id:itip:4012345.012345.01.02.987", "itip-110"},
        {"(8004)0614141ABC-123", "giai-202"},
    };
    for (const Case &c : cases) {
        TessaroEpcIdentity id;
        ASSERT_EQ(TessaroEpcParse(c.text, 1, c.text[0] == '(' ? 7 : 0, &id), TESSARO_OK)
            << c.text << ": " << id.reason;
        EXPECT_STREQ(TessaroEpcSchemeName(id.scheme), c.scheme) << c.text;
    }
}

// ---- Round trips --------------------------------------------------------

using tessaro::epc::Coding;
using tessaro::epc::Family;
using tessaro::epc::Scheme;

class Generator {
public:
    explicit Generator(unsigned seed) : random_(seed) {}

    int below(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
    std::uint64_t number(int bits, int digits) {
        std::uint64_t limit = bits >= 64 ? ~0ull : (1ull << bits) - 1;
        if (digits && digits < 20 && tessaro::epc::kPowersOf10[digits] - 1 < limit)
            limit = tessaro::epc::kPowersOf10[digits] - 1;
        // Small and large values both: pick a random length first.
        const int length = 1 + below(64);
        std::uint64_t value = (static_cast<std::uint64_t>(random_()) << 32) ^ random_();
        if (length < 64) value &= (1ull << length) - 1;
        return limit == ~0ull ? value : value % (limit + 1);
    }
    void digits(char *out, int count) {
        for (int i = 0; i < count; ++i) out[i] = static_cast<char>('0' + below(10));
        out[count] = 0;
    }
    void integer(char *out, int bits, int digits) {
        out[tessaro::epc::formatDecimal(number(bits, digits), out)] = 0;
    }
    void text(char *out, int minimum, int maximum, const char *alphabet, const char *first = nullptr) {
        const int length = minimum + below(maximum - minimum + 1);
        for (int i = 0; i < length; ++i) {
            const char *set = i == 0 && first ? first : alphabet;
            out[i] = set[below(static_cast<int>(std::strlen(set)))];
        }
        out[length] = 0;
    }

    TessaroEpcIdentity identity(const Scheme &s) {
        static const char kSet82[] =
            "!\"%&'()*+,-./0123456789:;<=>?ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
        static const char kCpi[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ#-/";
        static const char kAdi[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-/";
        static const char kAdiFirst[] = "#0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-/";
        static const char kCage[] = "0123456789ABCDEFGHJKLMNPQRSTUVWXYZ";
        TessaroEpcIdentity id{};
        id.scheme = s.id;
        id.componentCount = s.componentCount;
        id.filter = s.filterBits ? below(1 << s.filterBits) : -1;
        auto &c = id.components;
        switch (s.family) {
        case Family::Gid:
            integer(c[0], 28, 0);
            integer(c[1], 24, 0);
            integer(c[2], 36, 0);
            return id;
        case Family::Usdod:
            text(c[0], 5, 6, kCage);
            integer(c[1], 36, 0);
            return id;
        case Family::Adi:
            text(c[0], 5, 6, kCage);
            text(c[1], 0, 32, kAdi);
            text(c[2], 1, 30, kAdi, kAdiFirst);
            return id;
        default: break;
        }
        const int partition = below(7);
        const auto &row = s.partition[partition];
        id.companyPrefixLength = row.prefixDigits;
        digits(c[0], row.prefixDigits);
        switch (s.referenceCoding) {
        case Coding::Digits: digits(c[1], row.referenceDigits); break;
        case Coding::Integer: integer(c[1], row.referenceBits, row.referenceDigits); break;
        case Coding::String7: text(c[1], 1, row.referenceDigits, kSet82); break;
        default: text(c[1], 1, row.referenceDigits, kCpi); break;
        }
        const int serial = s.componentCount - 1;
        if (s.family == Family::Itip) {
            digits(c[2], 2);
            digits(c[3], 2);
        }
        switch (s.serial.coding) {
        case Coding::Integer: integer(c[serial], s.serial.bits, s.serial.maxChars); break;
        case Coding::String7: text(c[serial], 1, s.serial.maxChars, kSet82); break;
        case Coding::NumericString: digits(c[serial], 1 + below(s.serial.maxChars)); break;
        default: break;
        }
        return id;
    }

private:
    std::mt19937 random_;
};

bool sameIdentity(const TessaroEpcIdentity &a, const TessaroEpcIdentity &b) {
    if (a.filter != b.filter || a.componentCount != b.componentCount) return false;
    for (int i = 0; i < a.componentCount; ++i)
        if (std::strcmp(a.components[i], b.components[i]) != 0) return false;
    return true;
}

TEST(EpcRoundTrip, TenThousandRandomIdentitiesOfEverySchemeSurviveEveryForm) {
    constexpr int kPerScheme = 10000;
    Generator generate(19);
    for (int scheme = TESSARO_EPC_SGTIN_96; scheme < TESSARO_EPC_SCHEME_COUNT; ++scheme) {
        const Scheme &s = *tessaro::epc::schemeById(scheme);
        SCOPED_TRACE(s.name);
        for (int n = 0; n < kPerScheme; ++n) {
            const TessaroEpcIdentity original = generate.identity(s);
            unsigned char epc[TESSARO_EPC_MAX_BYTES];
            int length = 0;
            ASSERT_EQ(TessaroEpcEncode(&original, epc, sizeof epc, &length), TESSARO_OK)
                << original.components[0] << "." << original.components[1] << "."
                << original.components[2];
            TessaroEpcIdentity decoded;
            ASSERT_EQ(TessaroEpcDecode(epc, length, &decoded), TESSARO_OK) << decoded.reason;
            ASSERT_EQ(decoded.scheme, scheme);
            ASSERT_TRUE(sameIdentity(original, decoded)) << hex(epc, length);
            ASSERT_EQ((decoded.bits + 15) / 16 * 2, length);
            if (s.bits) {
                ASSERT_EQ(decoded.bits, s.bits);
            }

            // The tag URI names the scheme: parsed, it encodes to the same bytes.
            const std::string tagUri = form(TessaroEpcTagUri, decoded);
            TessaroEpcIdentity parsed;
            ASSERT_EQ(TessaroEpcParse(tagUri.c_str(), -1, 0, &parsed), TESSARO_OK) << tagUri << ": " << parsed.reason;
            ASSERT_EQ(parsed.scheme, scheme) << tagUri;
            ASSERT_TRUE(sameIdentity(parsed, decoded)) << tagUri;

            // The pure URI and the element string give the identity back
            // (perhaps in a shorter scheme).
            const std::string pureUri = form(TessaroEpcPureUri, decoded);
            ASSERT_EQ(TessaroEpcParse(pureUri.c_str(), decoded.filter < 0 ? -1 : decoded.filter, 0, &parsed),
                      TESSARO_OK) << pureUri << ": " << parsed.reason;
            ASSERT_TRUE(sameIdentity(parsed, decoded)) << pureUri;
            const std::string elements = form(TessaroEpcElementString, decoded);
            if (elements != "-") {
                ASSERT_EQ(TessaroEpcParse(elements.c_str(), decoded.filter, decoded.companyPrefixLength,
                                          &parsed), TESSARO_OK) << elements << ": " << parsed.reason;
                ASSERT_TRUE(sameIdentity(parsed, decoded)) << elements;
            }
        }
    }
}

// ---- Refusals -----------------------------------------------------------

// A copy of `hex` with `count` bits from bit `position` set to `value`.
std::string withBits(const std::string &hex, int position, int count, std::uint64_t value) {
    auto data = bytes(hex);
    for (int i = 0; i < count; ++i) {
        const int bit = position + i;
        const int on = static_cast<int>((value >> (count - 1 - i)) & 1);
        data[bit / 8] = static_cast<unsigned char>((data[bit / 8] & ~(0x80 >> (bit % 8))) | (on << (7 - bit % 8)));
    }
    return ::hex(data.data(), static_cast<int>(data.size()));
}

const std::string kSgtin96 = "3074257BF7194E4000001A85";
const std::string kSgtin198 = "3674257BF7194E59B2C2BF100000000000000000000000000000";  // serial "32a/b"

TEST(EpcRefusals, EpcsThatBreakTheirSchemeAreNotGs1WithTheirReason) {
    struct Case { std::string hex; const char *reason; } cases[] = {
        {withBits(kSgtin96, 11, 3, 7), "partition 7 is out of range"},
        // Partition 6: a 6-digit prefix in 20 bits, here 1048575.
        {withBits(withBits(kSgtin96, 11, 3, 6), 14, 20, 0xFFFFF), "companyPrefix (1048575) has more than 6 digits"},
        // Partition 5: a 6-digit item reference in 20 bits.
        {withBits(kSgtin96, 38, 20, 0xFFFFF), "itemReference (1048575) has more than 6 digits"},
        {withBits(kSgtin198, 58, 7, '#'), "serial holds a character (0x23) outside its set"},
        {withBits(kSgtin198, 58, 7, 0x7F), "outside its set"},
        {withBits(kSgtin198, 58 + 7 * 6, 7, 'x'), "serial is not zero-padded"},
        {withBits(kSgtin198, 58, 35, 0), "serial is empty"},
        {withBits("3174257BF4499602D2000000", 80, 1, 1), "the 24 reserved bits are not zero"},
        // SGCN serial as a numeric string must start with the digit 1.
        {withBits("3F74F4E4E612640000019907", 55, 41, 204711), "does not start with the digit 1"},
        {"E20034120000000000000000", "header 0xE2 is no EPC scheme"},
        {"000000000000000000000000", "not programmed"},
        {kSgtin198.substr(0, 24), "sgtin-198 needs 198 bits, the EPC has 96"},
        {kSgtin96 + "0001", "bits after the 96-bit encoding are not zero"},
        // ITIP-110: piece 100 does not fit two digits.
        {withBits("4074F4E4E40C0E40820000000F6C", 58, 7, 100), "piece (100) has more than 2 digits"},
        // USDOD-96: a CAGE code in lower case.
        {withBits("2F02032533139342DFDC1C35", 20, 8, 's'), "CAGE/DoDAAC holds a character (0x73)"},
        // ADI-var: part number starting with '#', serial without its end.
        {withBits("3B020CF5E76C9047759AD00373DC7602E7200000", 50, 6, '#' & 0x3F), "part number holds '#'"},
        {"3B020CF5E76C9047759AD00373DC7602E72FFFFF", "outside its set"},
        // CPI-96: a 3-digit part reference in 11 bits, here 2047.
        {withBits(withBits("3C74257BF4000B1700003039", 11, 3, 0), 14, 40, 614141), "more than 3 digits"},
        {"30", "ends before"},
    };
    for (const auto &c : cases) {
        const auto epc = bytes(c.hex);
        TessaroEpcIdentity id;
        EXPECT_EQ(TessaroEpcDecode(epc.data(), static_cast<int>(epc.size()), &id), TESSARO_EPC_NOT_GS1) << c.hex;
        EXPECT_EQ(id.scheme, TESSARO_EPC_NONE);
        EXPECT_NE(std::string(id.reason).find(c.reason), std::string::npos) << c.hex << ": " << id.reason;
    }
}

TEST(EpcRefusals, PcWordsThatAnnounceNoEpc) {
    struct Case { std::string hex; const char *reason; } cases[] = {
        {"3100" + kSgtin96, "toggle bit is set"},
        {"3800" + kSgtin96, "announces 7 EPC words, 12 bytes follow"},
        {"0000" + kSgtin96, "announces 0 EPC words"},
    };
    for (const auto &c : cases) {
        const auto bank = bytes(c.hex);
        TessaroEpcIdentity id;
        EXPECT_EQ(TessaroEpcDecodeBank(bank.data(), static_cast<int>(bank.size()), &id), TESSARO_EPC_NOT_GS1);
        EXPECT_NE(std::string(id.reason).find(c.reason), std::string::npos) << c.hex << ": " << id.reason;
    }
}

TEST(EpcRefusals, EveryCheckDigitIsComputedAndChecked) {
    // GTINs of item references 812340 to 812349 (prefix 0614141, indicator 8)
    // take every check digit once (worked out by hand with the GS1 check
    // digit rule: weights 3 and 1 from the right).
    const char *const checkDigits = "3074185296";
    for (int item = 0; item < 10; ++item) {
        const std::string gtin = "806141411234" + std::to_string(item);
        for (char digit = '0'; digit <= '9'; ++digit) {
            TessaroEpcIdentity id;
            const std::string text = "(01)" + gtin + digit + "(21)1";
            EXPECT_EQ(TessaroEpcParse(text.c_str(), 0, 7, &id) == TESSARO_OK, digit == checkDigits[item]) << text;
        }
    }
}

TEST(EpcRefusals, TextsThatBreakARuleAreRefusedWithTheirReason) {
    struct Case { const char *text; int filter, prefixLength; const char *reason; } cases[] = {
        {"(01)80614141123457(21)6789", 3, 7, "check digit 7 is wrong, 8 expected"},
        {"(01)80614141123458(21)6789", 3, 0, "needs the company prefix length"},
        {"(01)80614141123458", 3, 7, "needs a serial (21)"},
        {"(8003)10614141123452400", 3, 7, "first digit must be 0"},
        {"(10)ABC", 3, 7, "no GS1 key"},
        {"urn:epc:tag:sgtin-96:3.0614141.812345.06789", -1, 0, "leading zero"},
        {"urn:epc:tag:sgtin-96:3.0614141.812345.274877906944", -1, 0, "too large for the scheme"},
        {"urn:epc:tag:sgtin-96:8.0614141.812345.1", -1, 0, "filter 8 is out of range (0 to 7)"},
        {"urn:epc:tag:sgtin-96:1.0614141.812345.1", 3, 0, "filter 1 differs from the filter 3"},
        {"urn:epc:id:sgtin:0614141.81234.1", -1, 0, "\"81234\" must be 6 digits"},
        {"urn:epc:id:sgtin:06141.8123456.1", -1, 0, "must be 6 to 12 digits"},
        {"urn:epc:id:sgtin:0614141.812345.ab%23", -1, 0, "character (0x23) outside its set"},
        {"urn:epc:id:sgtin:0614141.812345.123456789012345678901", -1, 0, "21 characters, at most 20"},
        {"urn:epc:id:sgtin:0614141.812345.%4", -1, 0, "valid %-escapes"},
        {"urn:epc:id:sgtin:0614141.812345", -1, 0, "3 components"},
        {"urn:epc:id:sgtin:0614141.812345.1", -1, 8, "not 8"},
        {"urn:epc:id:usdod:2S1.1", -1, 0, "must be 5 or 6 characters"},
        {"urn:epc:id:adi:35962.%23PQ.1", -1, 0, "part number may not hold '#'"},
        {"urn:epc:id:sgcn:4012345.67890.0471a", -1, 0, "must be 1 to 12 digits"},
        {"urn:epc:id:giai:0614141.", -1, 0, "is empty"},
        {"urn:epc:id:upui:1.2", -1, 0, "names no EPC scheme"},
        {"3074257BF7194E4000001A85", -1, 0, "is no EPC URI"},
    };
    for (const auto &c : cases) {
        TessaroEpcIdentity id;
        EXPECT_EQ(TessaroEpcParse(c.text, c.filter, c.prefixLength, &id), TESSARO_EPC_NOT_GS1) << c.text;
        EXPECT_NE(std::string(id.reason).find(c.reason), std::string::npos) << c.text << ": " << id.reason;
    }
}

TEST(EpcInterface, OutputsStayWithinTheSizeGiven) {
    const auto epc = bytes(kSgtin96);
    TessaroEpcIdentity id;
    ASSERT_EQ(TessaroEpcDecode(epc.data(), 12, &id), TESSARO_OK);
    char text[64];
    std::memset(text, 'x', sizeof text);
    const size_t uriLength = std::strlen("urn:epc:tag:sgtin-96:3.0614141.812345.6789");
    EXPECT_EQ(TessaroEpcTagUri(&id, text, uriLength), TESSARO_EPC_NO_ROOM);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(text[uriLength], 'x') << "nothing written past the size given";
    EXPECT_EQ(TessaroEpcTagUri(&id, text, uriLength + 1), TESSARO_OK);
    unsigned char out[12];
    EXPECT_EQ(TessaroEpcEncode(&id, out, 11, nullptr), TESSARO_EPC_NO_ROOM);
    EXPECT_EQ(TessaroEpcDecode(nullptr, 12, &id), ERR_PARAMETER);
    EXPECT_EQ(TessaroEpcDecode(epc.data(), 0, &id), ERR_PARAMETER);
    EXPECT_EQ(TessaroEpcDecode(epc.data(), 63, &id), ERR_PARAMETER);
    EXPECT_EQ(TessaroEpcPureUri(&id, text, sizeof text), ERR_PARAMETER);  // not decoded
    TessaroEpcIdentity gid;
    ASSERT_EQ(TessaroEpcParse("urn:epc:id:gid:1.2.3", -1, 0, &gid), TESSARO_OK);
    EXPECT_EQ(TessaroEpcElementString(&gid, text, sizeof text), TESSARO_EPC_NO_FORM);
    EXPECT_STREQ(TessaroEpcComponentName(TESSARO_EPC_SGTIN_96, 2), "serial");
    EXPECT_STREQ(TessaroEpcComponentName(TESSARO_EPC_SGTIN_96, 3), "");
    EXPECT_STREQ(TessaroEpcSchemeName(99), "");
}

}  // namespace
