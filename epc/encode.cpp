// Identity to binary EPC. The identity is checked first (checkIdentity), so
// the writing below only lays out fields that are known to fit.
#include <cstring>

#include "TessaroEpc.h"
#include "bits.h"
#include "schemes.h"

namespace tessaro::epc {

namespace {

std::uint64_t number(const char *text) {
    std::uint64_t value = 0;
    for (; *text; ++text) value = value * 10 + static_cast<unsigned>(*text - '0');
    return value;
}

void string7(BitWriter &writer, const char *text, int bits) {
    const int start = writer.position();
    for (; *text; ++text) writer.write(static_cast<unsigned char>(*text), 7);
    writer.write(0, bits - (writer.position() - start));
}

void string6(BitWriter &writer, const char *text) {
    for (; *text; ++text) writer.write(static_cast<unsigned char>(*text) & 0x3F, 6);
    writer.write(0, 6);
}

void cage(BitWriter &writer, const char *text, int charBits) {
    if (std::strlen(text) == 5) writer.write(charBits == 6 ? 0x20 : ' ', charBits);
    for (; *text; ++text) writer.write(static_cast<unsigned char>(*text) & (charBits == 6 ? 0x3F : 0xFF), charBits);
}

// Writes the identity's fields; returns the number of bits.
int layOut(const Scheme &scheme, const TessaroEpcIdentity &id, int partition, BitWriter &writer) {
    writer.write(scheme.header, 8);
    if (scheme.filterBits) writer.write(static_cast<unsigned>(id.filter), scheme.filterBits);
    const auto &c = id.components;
    switch (scheme.family) {
    case Family::Gid:
        writer.write(number(c[0]), 28);
        writer.write(number(c[1]), 24);
        writer.write(number(c[2]), 36);
        return writer.position();
    case Family::Usdod:
        cage(writer, c[0], 8);
        writer.write(number(c[1]), 36);
        return writer.position();
    case Family::Adi:
        cage(writer, c[0], 6);
        string6(writer, c[1]);
        string6(writer, c[2]);
        return writer.position();
    default: break;
    }
    const Partition &row = scheme.partition[partition];
    writer.write(static_cast<unsigned>(partition), 3);
    writer.write(number(c[0]), row.prefixBits);
    switch (scheme.referenceCoding) {
    case Coding::String7: string7(writer, c[1], row.referenceBits); break;
    case Coding::String6: string6(writer, c[1]); break;
    default: writer.write(number(c[1]), row.referenceBits); break;
    }
    int serial = 2;
    if (scheme.family == Family::Itip) {
        writer.write(number(c[2]), 7);
        writer.write(number(c[3]), 7);
        serial = 4;
    }
    switch (scheme.serial.coding) {
    case Coding::Integer: writer.write(number(c[serial]), scheme.serial.bits); break;
    case Coding::String7: string7(writer, c[serial], scheme.serial.bits); break;
    case Coding::NumericString:
        writer.write(kPowersOf10[std::strlen(c[serial])] + number(c[serial]), scheme.serial.bits);
        break;
    case Coding::Reserved: writer.write(0, scheme.serial.bits); break;
    default: break;
    }
    return writer.position();
}

}  // namespace

}  // namespace tessaro::epc

using namespace tessaro::epc;

extern "C" int TESSARO_CALL TessaroEpcEncode(const TessaroEpcIdentity *identity, unsigned char *epc, int size,
                                int *length) {
    if (!identity || !epc || size < 0) return ERR_PARAMETER;
    const Scheme *scheme = schemeById(identity->scheme);
    if (!scheme) return ERR_PARAMETER;
    int partition;
    if (checkIdentity(*scheme, *identity, partition, nullptr, 0)) return TESSARO_EPC_NOT_GS1;
    unsigned char bytes[TESSARO_EPC_MAX_BYTES + 8] = {};
    BitWriter writer(bytes);
    const int bits = layOut(*scheme, *identity, partition, writer);
    const int words = (bits + 15) / 16;
    if (words * 2 > TESSARO_EPC_MAX_BYTES) return TESSARO_EPC_NOT_GS1;
    if (words * 2 > size) return TESSARO_EPC_NO_ROOM;
    std::memcpy(epc, bytes, words * 2);
    if (length) *length = words * 2;
    return TESSARO_OK;
}
