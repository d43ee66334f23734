// Binary EPC to identity. Every field is checked against its scheme's rules
// before it is shown: an EPC that breaks one is refused with the reason,
// never decoded into something it does not say.
#include <cstring>

#include "TessaroEpc.h"
#include "bits.h"
#include "schemes.h"

namespace tessaro::epc {

namespace {

// The PC word: EPC length in words (bits 15-11), toggle (bit 8).
constexpr unsigned kPcLengthShift = 11, kPcToggle = 0x0100;

class Decoder {
public:
    Decoder(const Scheme &scheme, BitReader &reader, TessaroEpcIdentity &identity)
        : scheme_(scheme), reader_(reader), id_(identity) {}

    int run();

private:
    char *component(int index) { return id_.components[index]; }
    // Reads `bits` if they are there; false (and the reason) when the EPC ends first.
    bool take(int bits, std::uint64_t &value) {
        if (!reader_.has(bits)) {
            refuse(&id_, "%s: the EPC ends before the scheme's fields do", scheme_.name);
            return false;
        }
        value = reader_.read(bits);
        return true;
    }
    int integer(int index, int bits, int maxDigits);
    int digits(int index, int bits, int count);
    int string7(int index, int bits, int maxChars);
    int string6(int index, int maxChars, CharSet set, bool mayBeEmpty);
    int cage(int index, int charBits);
    int gs1();

    const Scheme &scheme_;
    BitReader &reader_;
    TessaroEpcIdentity &id_;
};

int Decoder::integer(int index, int bits, int maxDigits) {
    std::uint64_t value;
    if (!take(bits, value)) return TESSARO_EPC_NOT_GS1;
    if (maxDigits && value >= kPowersOf10[maxDigits])
        return refuse(&id_, "%s: the %s has more than %d digits", scheme_.name,
                      scheme_.components[index], maxDigits);
    component(index)[formatDecimal(value, component(index))] = 0;
    return TESSARO_OK;
}

int Decoder::digits(int index, int bits, int count) {
    std::uint64_t value;
    if (!take(bits, value)) return TESSARO_EPC_NOT_GS1;
    if (value >= kPowersOf10[count])
        return refuse(&id_, "%s: the %s (%llu) has more than %d digits", scheme_.name,
                      scheme_.components[index], static_cast<unsigned long long>(value), count);
    formatDigits(value, count, component(index));
    component(index)[count] = 0;
    return TESSARO_OK;
}

int Decoder::string7(int index, int bits, int maxChars) {
    if (!reader_.has(bits))
        return refuse(&id_, "%s: the EPC ends before the scheme's fields do", scheme_.name);
    const int end = reader_.position() + bits;
    char *out = component(index);
    int count = 0;
    while (count < maxChars) {
        const int c = static_cast<int>(reader_.read(7));
        if (c == 0) break;
        if (!inSet82(c))
            return refuse(&id_, "%s: the %s holds a character (0x%02X) outside its set",
                          scheme_.name, scheme_.components[index], c);
        out[count++] = static_cast<char>(c);
    }
    out[count] = 0;
    if (count == 0) return refuse(&id_, "%s: the %s is empty", scheme_.name, scheme_.components[index]);
    // After the last character the field is zero to its end.
    const int left = end - reader_.position();
    BitReader rest = reader_;
    std::uint64_t value;
    for (int remaining = left; remaining > 0; remaining -= 64) {
        value = rest.read(remaining < 64 ? remaining : 64);
        if (value) return refuse(&id_, "%s: the %s is not zero-padded", scheme_.name, scheme_.components[index]);
    }
    reader_ = rest;
    return TESSARO_OK;
}

int Decoder::string6(int index, int maxChars, CharSet set, bool mayBeEmpty) {
    char *out = component(index);
    int count = 0;
    for (;;) {
        std::uint64_t c;
        if (!take(6, c)) return TESSARO_EPC_NOT_GS1;
        if (c == 0) break;
        // 6-bit characters are the low six bits of ASCII 0x20 to 0x5F.
        const int ascii = c < 32 ? static_cast<int>(c) + 64 : static_cast<int>(c);
        if (count == maxChars)
            return refuse(&id_, "%s: the %s is longer than %d characters", scheme_.name,
                          scheme_.components[index], maxChars);
        if (!inCharSet(set, ascii, count == 0))
            return refuse(&id_, "%s: the %s holds a character ('%c') outside its set", scheme_.name,
                          scheme_.components[index], ascii);
        out[count++] = static_cast<char>(ascii);
    }
    out[count] = 0;
    if (!count && !mayBeEmpty)
        return refuse(&id_, "%s: the %s is empty", scheme_.name, scheme_.components[index]);
    return TESSARO_OK;
}

// A CAGE code or DoDAAC in six characters of `charBits` bits; a five-letter
// CAGE code stands behind a space.
int Decoder::cage(int index, int charBits) {
    char *out = component(index);
    int count = 0;
    for (int i = 0; i < 6; ++i) {
        std::uint64_t c;
        if (!take(charBits, c)) return TESSARO_EPC_NOT_GS1;
        int ascii = static_cast<int>(c);
        if (charBits == 6 && ascii < 32) ascii += 64;
        if (i == 0 && ascii == ' ') continue;
        if (!((ascii >= 'A' && ascii <= 'Z') || (ascii >= '0' && ascii <= '9')))
            return refuse(&id_, "%s: the CAGE/DoDAAC holds a character (0x%02X) that is no capital or digit",
                          scheme_.name, ascii);
        out[count++] = static_cast<char>(ascii);
    }
    out[count] = 0;
    return TESSARO_OK;
}

int Decoder::gs1() {
    std::uint64_t value;
    if (!take(3, value)) return TESSARO_EPC_NOT_GS1;
    if (value > 6) return refuse(&id_, "%s: partition 7 is out of range (0 to 6)", scheme_.name);
    const Partition &row = scheme_.partition[value];
    id_.companyPrefixLength = row.prefixDigits;
    int rc = digits(0, row.prefixBits, row.prefixDigits);
    if (rc) return rc;
    switch (scheme_.referenceCoding) {
    case Coding::Digits: rc = digits(1, row.referenceBits, row.referenceDigits); break;
    case Coding::Integer: rc = integer(1, row.referenceBits, row.referenceDigits); break;
    case Coding::String7: rc = string7(1, row.referenceBits, row.referenceDigits); break;
    default: rc = string6(1, row.referenceDigits, CharSet::Cpi, false); break;
    }
    if (rc) return rc;
    int serialIndex = 2;
    if (scheme_.family == Family::Itip) {
        if ((rc = digits(2, 7, 2)) || (rc = digits(3, 7, 2))) return rc;
        serialIndex = 4;
    }
    const Field &serial = scheme_.serial;
    switch (serial.coding) {
    case Coding::Integer: return integer(serialIndex, serial.bits, serial.maxChars);
    case Coding::String7: return string7(serialIndex, serial.bits, serial.maxChars);
    case Coding::NumericString: {
        if (!take(serial.bits, value)) return TESSARO_EPC_NOT_GS1;
        char text[21];
        const int count = formatDecimal(value, text);
        if (text[0] != '1' || count < 2 || count - 1 > serial.maxChars)
            return refuse(&id_, "%s: the serial's numeric string does not start with the digit 1 "
                                "followed by 1 to %d digits", scheme_.name, serial.maxChars);
        std::memcpy(component(serialIndex), text + 1, count - 1);
        component(serialIndex)[count - 1] = 0;
        return TESSARO_OK;
    }
    case Coding::Reserved:
        if (!take(serial.bits, value)) return TESSARO_EPC_NOT_GS1;
        if (value) return refuse(&id_, "%s: the %d reserved bits are not zero", scheme_.name, serial.bits);
        return TESSARO_OK;
    default: return TESSARO_OK;
    }
}

int Decoder::run() {
    std::uint64_t value;
    reader_.read(8);  // the header, already known
    id_.componentCount = scheme_.componentCount;
    id_.filter = -1;
    if (scheme_.filterBits) {
        if (!take(scheme_.filterBits, value)) return TESSARO_EPC_NOT_GS1;
        id_.filter = static_cast<int>(value);
    }
    if (scheme_.bits && !reader_.has(scheme_.bits - reader_.position()))
        return refuse(&id_, "%s needs %d bits, the EPC has %d", scheme_.name, scheme_.bits,
                      reader_.position() + reader_.left());
    int rc;
    switch (scheme_.family) {
    case Family::Gid:
        rc = integer(0, 28, 0);
        if (!rc) rc = integer(1, 24, 0);
        if (!rc) rc = integer(2, 36, 0);
        break;
    case Family::Usdod:
        rc = cage(0, 8);
        if (!rc) rc = integer(1, 36, 0);
        break;
    case Family::Adi:
        rc = cage(0, 6);
        if (!rc) rc = string6(1, 32, CharSet::Adi, true);
        if (!rc && id_.components[1][0] == '#')
            rc = refuse(&id_, "%s: the part number holds '#'", scheme_.name);
        if (!rc) rc = string6(2, scheme_.serial.maxChars, CharSet::Adi, false);
        break;
    default: rc = gs1(); break;
    }
    if (rc) return rc;
    id_.bits = reader_.position();
    if (!reader_.restIsZero())
        return refuse(&id_, "%s: the bits after the %d-bit encoding are not zero", scheme_.name, id_.bits);
    id_.scheme = scheme_.id;
    return TESSARO_OK;
}

int decode(const unsigned char *epc, int length, TessaroEpcIdentity *identity) {
    if (!identity) return ERR_PARAMETER;
    std::memset(identity, 0, sizeof *identity);
    identity->filter = -1;
    if (!epc || length < 1 || length > TESSARO_EPC_MAX_BYTES) {
        refuse(identity, "no EPC given (1 to %d bytes)", TESSARO_EPC_MAX_BYTES);
        return ERR_PARAMETER;
    }
    const Scheme *scheme = schemeByHeader(epc[0]);
    if (!scheme) {
        if (epc[0] == 0) return refuse(identity, "header 0x00: the EPC is not programmed");
        return refuse(identity, "header 0x%02X is no EPC scheme this decoder knows", epc[0]);
    }
    BitReader reader(epc, length * 8);
    Decoder decoder(*scheme, reader, *identity);
    const int rc = decoder.run();
    if (rc) {
        const TessaroEpcIdentity copy = *identity;
        std::memset(identity, 0, sizeof *identity);
        identity->filter = -1;
        std::memcpy(identity->reason, copy.reason, sizeof copy.reason);
    }
    return rc;
}

}  // namespace

}  // namespace tessaro::epc

using namespace tessaro::epc;

extern "C" int TESSARO_CALL TessaroEpcDecode(const unsigned char *epc, int length, TessaroEpcIdentity *identity) {
    return decode(epc, length, identity);
}

extern "C" int TESSARO_CALL TessaroEpcDecodeBank(const unsigned char *bank, int length,
                                    TessaroEpcIdentity *identity) {
    if (!identity) return ERR_PARAMETER;
    if (!bank || length < 2 || length > 2 + TESSARO_EPC_MAX_BYTES) {
        std::memset(identity, 0, sizeof *identity);
        identity->filter = -1;
        refuse(identity, "no PC word and EPC given");
        return ERR_PARAMETER;
    }
    const unsigned pc = (bank[0] << 8) | bank[1];
    const int words = static_cast<int>(pc >> kPcLengthShift);
    if (pc & kPcToggle) {
        std::memset(identity, 0, sizeof *identity);
        identity->filter = -1;
        return refuse(identity, "the PC's toggle bit is set: the bank holds an ISO application "
                                "family identifier, not an EPC");
    }
    if (words == 0 || 2 + 2 * words > length) {
        std::memset(identity, 0, sizeof *identity);
        identity->filter = -1;
        return refuse(identity, "the PC announces %d EPC words, %d bytes follow it", words, length - 2);
    }
    return decode(bank + 2, 2 * words, identity);
}
