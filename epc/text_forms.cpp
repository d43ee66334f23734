// Identity to text: the pure identity and tag URIs, the GS1 element string,
// the GS1 key and the GS1 Digital Link URI.
#include <cstring>

#include "TessaroEpc.h"
#include "schemes.h"

namespace tessaro::epc {

namespace {

constexpr char kResolver[] = "https://id.gs1.org";

// A set of characters as a table, built once.
struct CharTable {
    bool holds[256];
};

// Appends to the caller's buffer, never past its size; remembers when
// something did not fit (the text is then cut to "").
class Text {
public:
    Text(char *out, std::size_t size) : buffer_(out), capacity_(size) {}

    Text &add(const char *text) { return add(text, std::strlen(text)); }
    Text &add(const char *text, std::size_t count) {
        if (length_ + count >= capacity_) {
            overflow_ = true;
            return *this;
        }
        std::memcpy(buffer_ + length_, text, count);
        length_ += count;
        return *this;
    }
    Text &add(char c) {
        if (length_ + 1 >= capacity_) {
            overflow_ = true;
            return *this;
        }
        buffer_[length_++] = c;
        return *this;
    }
    Text &number(int value) {
        char digits[20];
        return add(digits, static_cast<std::size_t>(formatDecimal(static_cast<std::uint64_t>(value), digits)));
    }
    // Percent-escapes every character that `keep` does not hold.
    Text &escaped(const char *text, const CharTable &keep) {
        static const char kHex[] = "0123456789ABCDEF";
        for (; *text; ++text) {
            const int c = static_cast<unsigned char>(*text);
            if (keep.holds[c]) {
                add(static_cast<char>(c));
            } else {
                const char triplet[3] = {'%', kHex[c >> 4], kHex[c & 15]};
                add(triplet, 3);
            }
        }
        return *this;
    }
    // The text of a key: `digits` followed by their check digit.
    Text &withCheckDigit(const char *digits, std::size_t count) {
        add(digits, count);
        return add(checkDigit(buffer_ + length_ - count, static_cast<int>(count)));
    }

    int finish() {
        if (!capacity_) return TESSARO_EPC_NO_ROOM;
        if (overflow_) {
            buffer_[0] = 0;
            return TESSARO_EPC_NO_ROOM;
        }
        buffer_[length_] = 0;
        return TESSARO_OK;
    }

private:
    char *buffer_;
    std::size_t capacity_;
    std::size_t length_ = 0;
    bool overflow_ = false;
};

// Characters that stand for themselves in an EPC URI: the rest of the GS1
// set of 82 and the 6-bit sets is escaped (" % & / < > ? and #).
const CharTable kKeepInEpcUri = [] {
    CharTable table{};
    for (int c = 0x21; c < 0x7F; ++c) table.holds[c] = !std::strchr("\"%&/<>?#", c);
    return table;
}();
// In a Digital Link URI only the unreserved characters of URIs stand for themselves.
const CharTable kKeepInWebUri = [] {
    CharTable table{};
    for (int c = 1; c < 0x7F; ++c)
        table.holds[c] = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                         std::strchr("-._~", c);
    return table;
}();

const Scheme *decoded(const TessaroEpcIdentity *identity) {
    return identity ? schemeById(identity->scheme) : nullptr;
}

// The identity's GS1 key (with its check digit) into `text`, as it stands in
// the element string after its application identifier. Returns that AI, or
// null for a scheme without one. `second`: the AI and value of a second
// element, if the scheme has one.
const char *gs1Key(const Scheme &scheme, const TessaroEpcIdentity &id, Text &text,
                   const char *&secondAi, const char *&secondValue) {
    const auto &c = id.components;
    secondAi = secondValue = nullptr;
    char digits[40];
    const std::size_t prefix = std::strlen(c[0]);
    switch (scheme.family) {
    case Family::Sgtin:
    case Family::Itip:
    case Family::Sscc:
        // Indicator (or extension) digit, company prefix, the rest of the reference.
        digits[0] = c[1][0];
        std::memcpy(digits + 1, c[0], prefix);
        std::strcpy(digits + 1 + prefix, c[1] + 1);
        text.withCheckDigit(digits, std::strlen(digits));
        if (scheme.family == Family::Sscc) return "00";
        secondAi = "21";
        secondValue = c[scheme.componentCount - 1];
        if (scheme.family == Family::Sgtin) return "01";
        text.add(c[2]).add(c[3]);
        return "8006";
    case Family::Sgln:
    case Family::Gdti:
    case Family::Sgcn:
    case Family::Grai:
    case Family::Gsrn:
    case Family::Gsrnp:
        std::memcpy(digits, c[0], prefix);
        std::strcpy(digits + prefix, c[1]);
        if (scheme.family == Family::Grai) text.add('0');
        text.withCheckDigit(digits, std::strlen(digits));
        switch (scheme.family) {
        case Family::Sgln:
            if (std::strcmp(c[2], "0") != 0) {
                secondAi = "254";
                secondValue = c[2];
            }
            return "414";
        case Family::Gsrn: return "8018";
        case Family::Gsrnp: return "8017";
        default: text.add(c[2]);
        }
        return scheme.family == Family::Grai ? "8003" : scheme.family == Family::Gdti ? "253" : "255";
    case Family::Giai:
        text.add(c[0]).add(c[1]);
        return "8004";
    case Family::Cpi:
        text.add(c[0]).add(c[1]);
        secondAi = "8011";
        secondValue = c[2];
        return "8010";
    default: return nullptr;
    }
}

}  // namespace

}  // namespace tessaro::epc

using namespace tessaro::epc;

extern "C" int TESSARO_CALL TessaroEpcPureUri(const TessaroEpcIdentity *identity, char *out, size_t size) {
    const Scheme *scheme = decoded(identity);
    if (!scheme || !out) return ERR_PARAMETER;
    Text text(out, size);
    text.add("urn:epc:id:").add(scheme->uriName).add(':');
    for (int i = 0; i < scheme->componentCount; ++i) {
        if (i) text.add('.');
        text.escaped(identity->components[i], kKeepInEpcUri);
    }
    return text.finish();
}

extern "C" int TESSARO_CALL TessaroEpcTagUri(const TessaroEpcIdentity *identity, char *out, size_t size) {
    const Scheme *scheme = decoded(identity);
    if (!scheme || !out) return ERR_PARAMETER;
    Text text(out, size);
    text.add("urn:epc:tag:").add(scheme->name).add(':');
    if (scheme->filterBits) text.number(identity->filter).add('.');
    for (int i = 0; i < scheme->componentCount; ++i) {
        if (i) text.add('.');
        text.escaped(identity->components[i], kKeepInEpcUri);
    }
    return text.finish();
}

namespace {

int keyForm(const TessaroEpcIdentity *identity, char *out, size_t size, int form) {
    const Scheme *scheme = decoded(identity);
    if (!scheme || !out) return ERR_PARAMETER;
    char keyBuffer[TESSARO_EPC_TEXT_SIZE];
    Text key(keyBuffer, sizeof keyBuffer);
    const char *secondAi, *secondValue;
    const char *ai = gs1Key(*scheme, *identity, key, secondAi, secondValue);
    Text text(out, size);
    if (!ai || key.finish() != TESSARO_OK) {
        text.finish();
        if (size) out[0] = 0;
        return ai ? TESSARO_EPC_NO_ROOM : TESSARO_EPC_NO_FORM;
    }
    switch (form) {
    case 0: text.add(keyBuffer); break;
    case 1:
        text.add('(').add(ai).add(')').add(keyBuffer);
        if (secondAi) text.add('(').add(secondAi).add(')').add(secondValue);
        break;
    default:
        text.add(kResolver).add('/').add(ai).add('/').escaped(keyBuffer, kKeepInWebUri);
        if (secondAi) text.add('/').add(secondAi).add('/').escaped(secondValue, kKeepInWebUri);
        break;
    }
    return text.finish();
}

}  // namespace

extern "C" int TESSARO_CALL TessaroEpcGs1Key(const TessaroEpcIdentity *identity, char *out, size_t size) {
    return keyForm(identity, out, size, 0);
}

extern "C" int TESSARO_CALL TessaroEpcElementString(const TessaroEpcIdentity *identity, char *out, size_t size) {
    return keyForm(identity, out, size, 1);
}

extern "C" int TESSARO_CALL TessaroEpcDigitalLink(const TessaroEpcIdentity *identity, char *out, size_t size) {
    return keyForm(identity, out, size, 2);
}

extern "C" const char *TESSARO_CALL TessaroEpcSchemeName(int scheme) {
    const Scheme *s = schemeById(scheme);
    return s ? s->name : "";
}

extern "C" const char *TESSARO_CALL TessaroEpcComponentName(int scheme, int index) {
    const Scheme *s = schemeById(scheme);
    return s && index >= 0 && index < s->componentCount ? s->components[index] : "";
}
