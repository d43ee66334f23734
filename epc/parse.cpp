// Text to identity: pure identity URIs, tag URIs and GS1 element strings.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "TessaroEpc.h"
#include "schemes.h"

namespace tessaro::epc {

namespace {

constexpr char kPureUri[] = "urn:epc:id:";
constexpr char kTagUri[] = "urn:epc:tag:";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Copies [begin, end) to `out` with %HH escapes resolved; false when an
// escape is broken, it does not fit, or it would hold a NUL.
bool unescape(const char *begin, const char *end, char *out) {
    int count = 0;
    for (const char *p = begin; p < end; ++p) {
        int c = static_cast<unsigned char>(*p);
        if (c == '%') {
            if (end - p < 3 || hexValue(p[1]) < 0 || hexValue(p[2]) < 0) return false;
            c = hexValue(p[1]) * 16 + hexValue(p[2]);
            p += 2;
        }
        if (c == 0 || count == TESSARO_EPC_COMPONENT_SIZE - 1) return false;
        out[count++] = static_cast<char>(c);
    }
    out[count] = 0;
    return true;
}

// Splits "a.b.c" into `count` components: the last takes the rest, dots and
// all (a serial may hold dots).
bool splitComponents(const char *text, int count, TessaroEpcIdentity &id) {
    for (int i = 0; i < count; ++i) {
        const char *end = i + 1 < count ? std::strchr(text, '.') : text + std::strlen(text);
        if (!end || !unescape(text, end, id.components[i])) return false;
        text = end + 1;
    }
    id.componentCount = count;
    return true;
}

// Picks the first of `schemes` that holds the identity; the reason of the
// last one otherwise.
int choose(const Scheme *const *schemes, int count, TessaroEpcIdentity &id) {
    int partition;
    for (int i = 0; i < count; ++i) {
        id.scheme = schemes[i]->id;
        if (checkIdentity(*schemes[i], id, partition, id.reason, sizeof id.reason) == TESSARO_OK) {
            id.reason[0] = 0;
            unsigned char bytes[TESSARO_EPC_MAX_BYTES];
            int length = 0;
            TessaroEpcEncode(&id, bytes, sizeof bytes, &length);
            TessaroEpcIdentity decoded;
            // The length in bits, as decoding it tells.
            id.bits = TessaroEpcDecode(bytes, length, &decoded) == TESSARO_OK ? decoded.bits : length * 8;
            return TESSARO_OK;
        }
    }
    id.scheme = TESSARO_EPC_NONE;
    return TESSARO_EPC_NOT_GS1;
}

// The company prefix length of a GS1 identity from its first component.
void takePrefixLength(const Scheme &scheme, TessaroEpcIdentity &id) {
    id.companyPrefixLength = isGs1(scheme) ? static_cast<int>(std::strlen(id.components[0])) : 0;
}

struct ElementString {
    char ai[5];
    char value[48];
};

// The application identifiers an EPC's element string may hold.
bool isKnownAi(const char *text, std::size_t length) {
    static const char *const kAis[] = {"00", "01", "21", "253", "254", "255", "414", "8003",
                                       "8004", "8006", "8010", "8011", "8017", "8018"};
    for (const char *ai : kAis)
        if (std::strlen(ai) == length && std::strncmp(ai, text, length) == 0) return true;
    return false;
}

// Where the next element starts: "(" and a known AI and ")"; a value may hold
// parentheses of its own.
const char *nextElement(const char *text) {
    for (const char *p = std::strchr(text, '('); p; p = std::strchr(p + 1, '(')) {
        const char *close = std::strchr(p, ')');
        if (close && isKnownAi(p + 1, close - p - 1)) return p;
    }
    return nullptr;
}

// "(01)80614141123458(21)6789" into its elements; -1 when it is not one.
int splitElements(const char *text, ElementString *elements, int capacity) {
    int count = 0;
    while (*text) {
        if (*text != '(' || count == capacity) return -1;
        const char *close = std::strchr(text, ')');
        if (!close || close - text - 1 < 2 || close - text - 1 > 4) return -1;
        ElementString &e = elements[count++];
        std::memcpy(e.ai, text + 1, close - text - 1);
        e.ai[close - text - 1] = 0;
        const char *next = nextElement(close + 1);
        const char *end = next ? next : close + std::strlen(close);
        if (end - close - 1 < 1 || end - close - 1 >= static_cast<long>(sizeof e.value)) return -1;
        std::memcpy(e.value, close + 1, end - close - 1);
        e.value[end - close - 1] = 0;
        text = end;
    }
    return count;
}

const char *findElement(const ElementString *elements, int count, const char *ai) {
    for (int i = 0; i < count; ++i)
        if (std::strcmp(elements[i].ai, ai) == 0) return elements[i].value;
    return nullptr;
}

bool allDigits(const char *text, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

void copyPart(char *out, const char *from, std::size_t count) {
    if (count > TESSARO_EPC_COMPONENT_SIZE - 1) count = TESSARO_EPC_COMPONENT_SIZE - 1;
    std::memcpy(out, from, count);
    out[count] = 0;
}

void copyText(char *out, const char *from) { copyPart(out, from, std::strlen(from)); }

// A key of `digits` digits whose last is its check digit.
int checkKey(TessaroEpcIdentity &id, const char *ai, const char *key, std::size_t digits,
             std::size_t minimum) {
    const std::size_t length = std::strlen(key);
    if (length < minimum || !allDigits(key, digits))
        return refuse(&id, "(%s): %d digits expected", ai, static_cast<int>(digits));
    if (checkDigit(key, static_cast<int>(digits) - 1) != key[digits - 1])
        return refuse(&id, "(%s): the check digit %c is wrong, %c expected", ai, key[digits - 1],
                      checkDigit(key, static_cast<int>(digits) - 1));
    return TESSARO_OK;
}

// Element string to the components of a pure identity URI.
int fromElementString(const char *text, int prefixLength, TessaroEpcIdentity &id, const char *&uriName) {
    ElementString elements[4];
    const int count = splitElements(text, elements, 4);
    if (count < 1) return refuse(&id, "\"%s\" is no GS1 element string like (01)80614141123458(21)6789", text);
    const std::size_t l = static_cast<std::size_t>(prefixLength);
    if (prefixLength < 6 || prefixLength > 12)
        return refuse(&id, "an element string needs the company prefix length (6 to 12 digits)");
    const char *ai = elements[0].ai;
    const char *value = elements[0].value;
    auto *c = id.components;
    const char *serial21 = findElement(elements, count, "21");
    int rc;
    if (!std::strcmp(ai, "01") || !std::strcmp(ai, "8006")) {
        const bool itip = ai[0] == '8';
        if ((rc = checkKey(id, ai, value, 14, itip ? 18 : 14))) return rc;
        if (std::strlen(value) != (itip ? 18u : 14u) || (itip && !allDigits(value, 18)))
            return refuse(&id, "(%s): %d digits expected", ai, itip ? 18 : 14);
        if (!serial21) return refuse(&id, "(%s) needs a serial (21) to be an EPC", ai);
        copyPart(c[0], value + 1, l);
        c[1][0] = value[0];
        copyPart(c[1] + 1, value + 1 + l, 12 - l);
        if (itip) {
            copyPart(c[2], value + 14, 2);
            copyPart(c[3], value + 16, 2);
            copyText(c[4], serial21);
        } else {
            copyText(c[2], serial21);
        }
        uriName = itip ? "itip" : "sgtin";
        id.componentCount = itip ? 5 : 3;
    } else if (!std::strcmp(ai, "00") || !std::strcmp(ai, "8018") || !std::strcmp(ai, "8017")) {
        if ((rc = checkKey(id, ai, value, 18, 18))) return rc;
        if (std::strlen(value) != 18) return refuse(&id, "(%s): 18 digits expected", ai);
        if (ai[0] == '0') {
            copyPart(c[0], value + 1, l);
            c[1][0] = value[0];
            copyPart(c[1] + 1, value + 1 + l, 16 - l);
            uriName = "sscc";
        } else {
            copyPart(c[0], value, l);
            copyPart(c[1], value + l, 17 - l);
            uriName = ai[3] == '8' ? "gsrn" : "gsrnp";
        }
        id.componentCount = 2;
    } else if (!std::strcmp(ai, "414") || !std::strcmp(ai, "253") || !std::strcmp(ai, "255") ||
               !std::strcmp(ai, "8003")) {
        // GLN, GDTI, SGCN: 13 digits (then the serial); GRAI: "0" and 13 digits.
        const bool grai = ai[0] == '8';
        if (grai && value[0] != '0') return refuse(&id, "(8003): the first digit must be 0");
        const char *key = value + (grai ? 1 : 0);
        if ((rc = checkKey(id, ai, key, 13, 13))) return rc;
        copyPart(c[0], key, l);
        copyPart(c[1], key + l, 12 - l);
        if (!std::strcmp(ai, "414")) {
            if (std::strlen(key) != 13) return refuse(&id, "(414): 13 digits expected");
            const char *extension = findElement(elements, count, "254");
            copyText(c[2], extension ? extension : "0");
            uriName = "sgln";
        } else {
            if (!key[13]) return refuse(&id, "(%s) needs a serial to be an EPC", ai);
            copyText(c[2], key + 13);
            uriName = grai ? "grai" : ai[2] == '3' ? "gdti" : "sgcn";
        }
        id.componentCount = 3;
    } else if (!std::strcmp(ai, "8004") || !std::strcmp(ai, "8010")) {
        if (std::strlen(value) <= l || !allDigits(value, l))
            return refuse(&id, "(%s) must start with the %d-digit company prefix", ai, prefixLength);
        copyPart(c[0], value, l);
        copyText(c[1], value + l);
        if (ai[3] == '4') {
            uriName = "giai";
            id.componentCount = 2;
        } else {
            const char *serial = findElement(elements, count, "8011");
            if (!serial) return refuse(&id, "(8010) needs a serial (8011) to be an EPC");
            copyText(c[2], serial);
            uriName = "cpi";
            id.componentCount = 3;
        }
    } else {
        return refuse(&id, "(%s) is no GS1 key that an EPC encodes", ai);
    }
    return TESSARO_OK;
}

int parse(const char *text, int filter, int prefixLength, TessaroEpcIdentity &id) {
    const Scheme *candidates[2];
    int count;
    int uriFilter = -1;
    if (!std::strncmp(text, kPureUri, sizeof kPureUri - 1)) {
        const char *name = text + sizeof kPureUri - 1;
        const char *colon = std::strchr(name, ':');
        count = colon ? schemesByUriName(name, colon - name, candidates) : 0;
        if (!count) return refuse(&id, "\"%s\" names no EPC scheme this encoder knows", text);
        if (!splitComponents(colon + 1, candidates[0]->componentCount, id))
            return refuse(&id, "%s: %d components separated by dots expected, with valid %%-escapes",
                          candidates[0]->uriName, candidates[0]->componentCount);
    } else if (!std::strncmp(text, kTagUri, sizeof kTagUri - 1)) {
        const char *name = text + sizeof kTagUri - 1;
        const char *colon = std::strchr(name, ':');
        const Scheme *scheme = colon ? schemeByName(name, colon - name) : nullptr;
        if (!scheme) return refuse(&id, "\"%s\" names no EPC scheme this encoder knows", text);
        candidates[0] = scheme;
        count = 1;
        const char *rest = colon + 1;
        if (scheme->filterBits) {
            char *end = nullptr;
            if (*rest < '0' || *rest > '9') return refuse(&id, "%s: the tag URI has no filter", scheme->name);
            uriFilter = static_cast<int>(std::strtol(rest, &end, 10));
            if (*end != '.') return refuse(&id, "%s: the tag URI has no filter", scheme->name);
            rest = end + 1;
        }
        if (!splitComponents(rest, scheme->componentCount, id))
            return refuse(&id, "%s: %d components separated by dots expected, with valid %%-escapes",
                          scheme->name, scheme->componentCount);
    } else if (text[0] == '(') {
        const char *uriName = nullptr;
        const int rc = fromElementString(text, prefixLength, id, uriName);
        if (rc) return rc;
        count = schemesByUriName(uriName, std::strlen(uriName), candidates);
        prefixLength = 0;
    } else {
        return refuse(&id, "\"%.40s\" is no EPC URI (urn:epc:id:..., urn:epc:tag:...) or GS1 "
                           "element string", text);
    }
    takePrefixLength(*candidates[0], id);
    if (prefixLength && isGs1(*candidates[0]) && prefixLength != id.companyPrefixLength)
        return refuse(&id, "the company prefix has %d digits, not %d", id.companyPrefixLength,
                      prefixLength);
    if (uriFilter >= 0 && filter >= 0 && uriFilter != filter)
        return refuse(&id, "the tag URI's filter %d differs from the filter %d given", uriFilter, filter);
    id.filter = candidates[0]->filterBits ? (uriFilter >= 0 ? uriFilter : filter >= 0 ? filter : 0) : -1;
    return choose(candidates, count, id);
}

}  // namespace

}  // namespace tessaro::epc

extern "C" int TESSARO_CALL TessaroEpcParse(const char *text, int filter, int companyPrefixLength,
                               TessaroEpcIdentity *identity) {
    if (!identity) return ERR_PARAMETER;
    std::memset(identity, 0, sizeof *identity);
    identity->filter = -1;
    if (!text || filter < -1 || companyPrefixLength < 0) {
        tessaro::epc::refuse(identity, "no text given, or a negative filter or prefix length");
        return ERR_PARAMETER;
    }
    const int rc = tessaro::epc::parse(text, filter, companyPrefixLength, *identity);
    if (rc) {
        char reason[TESSARO_EPC_REASON_SIZE];
        std::memcpy(reason, identity->reason, sizeof reason);
        std::memset(identity, 0, sizeof *identity);
        identity->filter = -1;
        std::memcpy(identity->reason, reason, sizeof reason);
    }
    return rc;
}
