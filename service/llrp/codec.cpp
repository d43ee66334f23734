#include "codec.h"

#include <cstdio>
#include <cstdlib>

namespace tessaro::llrp {

namespace {

using Path = std::vector<std::uint16_t>;

std::uint16_t mCode(Problem p) {
    switch (p) {
    case Problem::ParameterError: return kMParameterError;
    case Problem::FieldError: return kMFieldError;
    case Problem::UnexpectedParameter: return kMUnexpectedParameter;
    case Problem::MissingParameter: return kMMissingParameter;
    case Problem::DuplicateParameter: return kMDuplicateParameter;
    case Problem::OverflowField: return kMOverflowField;
    case Problem::UnknownParameter: return kMUnknownParameter;
    case Problem::UnsupportedParameter: return kMUnsupportedParameter;
    case Problem::UnsupportedMessage: return kMUnsupportedMessage;
    case Problem::UnsupportedVersion: return kMUnsupportedVersion;
    }
    return kMParameterError;
}

// The same problem found inside a parameter: P_ codes are the M_ ones + 100.
std::uint16_t pCode(Problem p) {
    const std::uint16_t m = mCode(p);
    return m <= kMOverflowField || m == kMUnknownParameter ? m + 100
           : m == kMUnsupportedParameter                  ? kPUnsupportedParameter
                                                          : kPParameterError;
}

bool fieldProblem(Problem p) { return p == Problem::FieldError || p == Problem::OverflowField; }

std::uint16_t be16(const std::uint8_t *p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

std::uint32_t be32(const std::uint8_t *p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// Whether `bytes` are well-formed UTF-8: no stray continuation bytes, no
// truncated sequences, no overlong forms, no surrogates, nothing above U+10FFFF.
bool validUtf8(const std::vector<std::uint8_t> &bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t b = bytes[i];
        std::size_t extra;
        std::uint32_t codePoint;
        if (b < 0x80) { ++i; continue; }
        if (b >= 0xC2 && b <= 0xDF) { extra = 1; codePoint = b & 0x1F; }
        else if (b >= 0xE0 && b <= 0xEF) { extra = 2; codePoint = b & 0x0F; }
        else if (b >= 0xF0 && b <= 0xF4) { extra = 3; codePoint = b & 0x07; }
        else return false;
        if (bytes.size() - i <= extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) return false;
            codePoint = codePoint << 6 | (bytes[i + k] & 0x3F);
        }
        if ((extra == 2 && (codePoint < 0x800 || (codePoint >= 0xD800 && codePoint <= 0xDFFF))) ||
            (extra == 3 && (codePoint < 0x10000 || codePoint > 0x10FFFF)))
            return false;
        i += extra + 1;
    }
    return true;
}

// Reads bit fields and byte fields from a bounded span, most significant bit first.
class BitReader {
public:
    BitReader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
    std::size_t bitsLeft() const { return size_ * 8 - bit_; }
    std::size_t bytesLeft() const { return bitsLeft() / 8; }
    std::size_t bytePosition() const { return bit_ / 8; }
    // The next `count` bits (at most 64) as a number. The caller checked
    // that they are there.
    std::uint64_t take(unsigned count) {
        std::uint64_t v = 0;
        for (unsigned i = 0; i < count; ++i, ++bit_)
            v = v << 1 | ((data_[bit_ / 8] >> (7 - bit_ % 8)) & 1u);
        return v;
    }
    void takeBytes(std::size_t count, std::vector<std::uint8_t> &out) {
        const std::uint8_t *from = data_ + bit_ / 8;
        out.assign(from, from + count);
        bit_ += count * 8;
    }

private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t bit_ = 0;
};

class Decoder {
public:
    explicit Decoder(Fault &fault) : fault_(fault) {}

    bool element(const Definition &d, const std::uint8_t *data, std::size_t size, Element &out,
                 const Path &path, unsigned depth) {
        out = Element(&d);
        if (depth > kMaxDepth)
            return fail(Problem::ParameterError, path, -1,
                        d.name + " is nested more than " + std::to_string(kMaxDepth) + " deep");
        std::size_t used = 0;
        if (!fields(d, data, size, out, path, used)) return false;
        return children(d, data + used, size - used, out, path, depth);
    }

    bool parameter(const std::uint8_t *data, std::size_t size, Element &out) {
        const Definition *c = nullptr;
        std::size_t length = 0, headerBytes = 0;
        if (!header(data, size, "the buffer", {}, c, length, headerBytes)) return false;
        if (length != size)
            return fail(Problem::ParameterError, {c->type}, -1,
                        c->name + " is " + std::to_string(length) + " bytes, " + std::to_string(size) +
                            " were given");
        return element(*c, data + headerBytes, length - headerBytes, out, {c->type}, 1);
    }

private:
    bool fail(Problem problem, Path path, int field, std::string description,
              std::uint16_t fieldCode = kAInvalid) {
        fault_.problem = problem;
        fault_.path = std::move(path);
        fault_.field = field;
        fault_.fieldCode = fieldCode;
        fault_.description = std::move(description);
        return false;
    }

    bool fields(const Definition &d, const std::uint8_t *data, std::size_t size, Element &out,
                const Path &path, std::size_t &used) {
        BitReader in(data, size);
        int number = 0;  // fields are numbered without the reserved runs
        for (std::size_t i = 0; i < d.fields.size(); ++i) {
            const FieldDef &f = d.fields[i];
            Value &v = out.values()[i];
            const auto overflow = [&](std::size_t need) {
                return fail(Problem::OverflowField, path, number,
                            d.name + " field " + f.name + " needs " + std::to_string(need) +
                                " bytes, " + std::to_string(in.bytesLeft()) + " are left");
            };
            std::size_t itemBytes = 0;
            switch (f.kind) {
            case FieldKind::Reserved:
                if (in.bitsLeft() < f.bits) return overflow((f.bits + 7) / 8);
                in.take(f.bits);
                continue;  // not numbered
            case FieldKind::U1: case FieldKind::U2: case FieldKind::U8: case FieldKind::U16:
            case FieldKind::U32: case FieldKind::U64:
                if (in.bitsLeft() < f.bits) return overflow((f.bits + 7) / 8);
                v.number = in.take(f.bits);
                break;
            case FieldKind::S8: case FieldKind::S16: {
                if (in.bitsLeft() < f.bits) return overflow(f.bits / 8);
                const std::uint64_t raw = in.take(f.bits);
                const std::uint64_t sign = 1ull << (f.bits - 1);
                v.number = (raw ^ sign) - sign;  // sign-extended
                break;
            }
            case FieldKind::U96:
                if (in.bytesLeft() < 12) return overflow(12);
                in.takeBytes(12, v.bytes);
                break;
            case FieldKind::U1V: case FieldKind::U8V: case FieldKind::U16V: case FieldKind::U32V:
            case FieldKind::UTF8V: {
                if (in.bytesLeft() < 2) return overflow(2);
                const std::size_t count = static_cast<std::size_t>(in.take(16));
                const std::size_t bytes = f.kind == FieldKind::U1V    ? (count + 7) / 8
                                          : f.kind == FieldKind::U16V ? count * 2
                                          : f.kind == FieldKind::U32V ? count * 4
                                                                      : count;
                if (in.bytesLeft() < bytes) return overflow(bytes);
                if (f.kind == FieldKind::U16V || f.kind == FieldKind::U32V) {
                    itemBytes = f.kind == FieldKind::U16V ? 2 : 4;
                    v.items.resize(count);
                    for (auto &item : v.items) item = static_cast<std::uint32_t>(in.take(8 * itemBytes));
                } else {
                    in.takeBytes(bytes, v.bytes);
                    if (f.kind == FieldKind::U1V) v.bits = static_cast<std::uint16_t>(count);
                    if (f.kind == FieldKind::UTF8V && !validUtf8(v.bytes))
                        return fail(Problem::FieldError, path, number,
                                    d.name + " field " + f.name + " is not UTF-8 text", kAInvalid);
                }
                break;
            }
            case FieldKind::BytesToEnd:
                in.takeBytes(in.bytesLeft(), v.bytes);
                break;
            }
            ++number;
        }
        used = in.bytePosition();
        return true;
    }

    bool children(const Definition &d, const std::uint8_t *data, std::size_t size, Element &out,
                  const Path &path, unsigned depth) {
        const std::vector<Slot> &slots = d.slots;
        std::vector<unsigned> counts(slots.size(), 0);
        std::size_t slot = 0;  // the earliest slot the next parameter may fill
        std::size_t at = 0;
        while (at < size) {
            const std::uint8_t *p = data + at;
            const Definition *c = nullptr;
            std::size_t length = 0, headerBytes = 0;
            if (!header(p, size - at, d.name, path, c, length, headerBytes)) return false;
            if (!place(d, *c, counts, slot, path)) return false;
            Element child;
            if (!element(*c, p + headerBytes, length - headerBytes, child, with(path, c->type), depth + 1))
                return false;
            out.children().push_back(std::move(child));
            at += length;
        }
        return missing(d, counts, slot, slots.size(), path);
    }

    // Reads a parameter's header at `p` (`left` bytes to the end of its
    // container `where`): its definition, its whole length and the header's.
    bool header(const std::uint8_t *p, std::size_t left, const std::string &where, const Path &path,
                const Definition *&c, std::size_t &length, std::size_t &headerBytes) {
        if (p[0] & 0x80) {
            const std::uint16_t type = p[0] & 0x7F;
            c = parameterByType(type);
            if (!c || !c->tv())
                return fail(Problem::UnknownParameter, with(path, type), -1,
                            "unknown TV parameter type " + std::to_string(type) + " in " + where);
            headerBytes = 1;
            length = 1 + c->tvSize;
            if (length > left)
                return fail(Problem::ParameterError, path, -1,
                            c->name + " in " + where + " needs " + std::to_string(length) + " bytes, " +
                                std::to_string(left) + " are left");
            return true;
        }
        if (left < 4)
            return fail(Problem::ParameterError, path, -1,
                        where + " ends with " + std::to_string(left) +
                            " stray bytes, too few for a parameter header");
        const std::uint16_t type = be16(p) & 0x3FF;
        headerBytes = 4;
        length = be16(p + 2);
        if (length < 4 || length > left)
            return fail(Problem::ParameterError, path, -1,
                        "parameter type " + std::to_string(type) + " in " + where + " claims " +
                            std::to_string(length) + " bytes, " +
                            (length < 4 ? std::string("fewer than its header")
                                        : std::to_string(left) + " are left"));
        if (type < 128)
            return fail(Problem::ParameterError, with(path, type), -1,
                        "parameter type " + std::to_string(type) + " is a TV type but came with a TLV header");
        c = parameterByType(type);
        if (!c)
            return fail(Problem::UnknownParameter, with(path, type), -1,
                        "unknown parameter type " + std::to_string(type) + " in " + where);
        return true;
    }

    // Finds the slot for a parameter of definition `c`: the first at or after
    // `slot` that takes it and has room. Slots skipped on the way must have
    // what they need.
    bool place(const Definition &d, const Definition &c, std::vector<unsigned> &counts,
               std::size_t &slot, const Path &path) {
        const std::vector<Slot> &slots = d.slots;
        bool full = false;
        for (std::size_t i = slot; i < slots.size(); ++i) {
            if (!slots[i].takes(&c)) continue;
            if (counts[i] >= slots[i].max) { full = true; continue; }
            if (!missing(d, counts, slot, i, path)) return false;
            slot = i;
            ++counts[i];
            return true;
        }
        if (full)
            return fail(Problem::DuplicateParameter, with(path, c.type), -1,
                        d.name + " holds more than one " + c.name);
        return fail(Problem::UnexpectedParameter, with(path, c.type), -1,
                    d.slotFor(&c) >= 0 ? c.name + " is out of order in " + d.name
                                       : c.name + " cannot stand in " + d.name);
    }

    bool missing(const Definition &d, const std::vector<unsigned> &counts, std::size_t from,
                 std::size_t to, const Path &path) {
        for (std::size_t i = from; i < to; ++i)
            if (counts[i] < d.slots[i].min)
                return fail(Problem::MissingParameter, with(path, d.slots[i].accepts.front()->type), -1,
                            d.name + " lacks " + d.slots[i].name);
        return true;
    }

    static Path with(const Path &path, std::uint16_t type) {
        Path longer = path;
        longer.push_back(type);
        return longer;
    }

    Fault &fault_;
};

class Encoder {
public:
    Encoder(std::vector<std::uint8_t> &out, std::string &error) : out_(out), error_(error) {}

    bool element(const Element &e) {
        const Definition &d = *e.definition();
        const std::size_t start = out_.size();
        if (d.tv()) {
            out_.push_back(static_cast<std::uint8_t>(0x80 | d.type));
        } else if (!d.message) {
            put(d.type, 2);
            put(0, 2);  // the length, once known
        }
        if (!fields(e)) return false;
        if (!children(e)) return false;
        if (!d.message && !d.tv()) {
            const std::size_t length = out_.size() - start;
            if (length > 0xFFFF) return bad(d.name + " is longer than a parameter can be");
            out_[start + 2] = static_cast<std::uint8_t>(length >> 8);
            out_[start + 3] = static_cast<std::uint8_t>(length);
        }
        return true;
    }

private:
    bool bad(std::string why) {
        error_ = std::move(why);
        return false;
    }

    void put(std::uint64_t value, unsigned bytes) {
        for (unsigned i = bytes; i-- > 0;) out_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }

    void putBits(std::uint64_t value, unsigned bits) {
        for (unsigned i = bits; i-- > 0;) {
            if (bitCount_ % 8 == 0) out_.push_back(0);
            out_.back() = static_cast<std::uint8_t>(out_.back() | (((value >> i) & 1u) << (7 - bitCount_ % 8)));
            ++bitCount_;
        }
    }

    bool fields(const Element &e) {
        const Definition &d = *e.definition();
        bitCount_ = 0;
        for (std::size_t i = 0; i < d.fields.size(); ++i) {
            const FieldDef &f = d.fields[i];
            const Value &v = e.values()[i];
            const std::string where = d.name + " field " + f.name;
            switch (f.kind) {
            case FieldKind::Reserved:
                putBits(0, f.bits);
                break;
            case FieldKind::U1: case FieldKind::U2: case FieldKind::U8: case FieldKind::U16:
            case FieldKind::U32:
                if (v.number >> f.bits) return bad(where + ": " + std::to_string(v.number) + " does not fit");
                putBits(v.number, f.bits);
                break;
            case FieldKind::U64:
                putBits(v.number, 64);
                break;
            case FieldKind::S8: case FieldKind::S16: {
                const auto s = static_cast<std::int64_t>(v.number);
                const std::int64_t limit = std::int64_t{1} << (f.bits - 1);
                if (s < -limit || s >= limit) return bad(where + ": " + std::to_string(s) + " does not fit");
                putBits(v.number & ((1u << f.bits) - 1), f.bits);
                break;
            }
            case FieldKind::U96:
                if (v.bytes.size() != 12) return bad(where + ": an EPC-96 has 12 bytes");
                out_.insert(out_.end(), v.bytes.begin(), v.bytes.end());
                break;
            case FieldKind::U1V:
                if (v.bytes.size() != (v.bits + 7u) / 8) return bad(where + ": bit count and bytes differ");
                put(v.bits, 2);
                out_.insert(out_.end(), v.bytes.begin(), v.bytes.end());
                break;
            case FieldKind::U8V: case FieldKind::UTF8V:
                if (v.bytes.size() > 0xFFFF) return bad(where + ": too long");
                put(v.bytes.size(), 2);
                out_.insert(out_.end(), v.bytes.begin(), v.bytes.end());
                break;
            case FieldKind::U16V: case FieldKind::U32V: {
                const unsigned width = f.kind == FieldKind::U16V ? 2 : 4;
                if (v.items.size() > 0xFFFF) return bad(where + ": too many items");
                put(v.items.size(), 2);
                for (const std::uint32_t item : v.items) {
                    if (width == 2 && item > 0xFFFF) return bad(where + ": an item does not fit");
                    put(item, width);
                }
                break;
            }
            case FieldKind::BytesToEnd:
                out_.insert(out_.end(), v.bytes.begin(), v.bytes.end());
                break;
            }
            if (f.kind != FieldKind::U1 && f.kind != FieldKind::U2 && f.kind != FieldKind::Reserved)
                bitCount_ = 0;
        }
        return true;
    }

    // Children in the order and numbers the definition allows, so that no
    // strict client ever refuses what this reader sends.
    bool children(const Element &e) {
        const Definition &d = *e.definition();
        std::vector<unsigned> counts(d.slots.size(), 0);
        int last = 0;
        for (const Element &c : e.children()) {
            const int slot = d.slotFor(c.definition());
            if (slot < 0) return bad(c.name() + " cannot stand in " + d.name);
            if (slot < last) return bad(c.name() + " is out of order in " + d.name);
            if (++counts[slot] > d.slots[slot].max) return bad(d.name + " holds too many " + c.name());
            last = slot;
            if (!element(c)) return false;
        }
        for (std::size_t i = 0; i < d.slots.size(); ++i)
            if (counts[i] < d.slots[i].min) return bad(d.name + " lacks " + d.slots[i].name);
        return true;
    }

    std::vector<std::uint8_t> &out_;
    std::string &error_;
    unsigned bitCount_ = 0;
};

struct StatusName {
    std::uint16_t code;
    const char *name;
};

constexpr StatusName kStatusNames[] = {
    {kSuccess, "M_Success"},
    {kMParameterError, "M_ParameterError"},
    {kMFieldError, "M_FieldError"},
    {kMUnexpectedParameter, "M_UnexpectedParameter"},
    {kMMissingParameter, "M_MissingParameter"},
    {kMDuplicateParameter, "M_DuplicateParameter"},
    {kMOverflowParameter, "M_OverflowParameter"},
    {kMOverflowField, "M_OverflowField"},
    {kMUnknownParameter, "M_UnknownParameter"},
    {kMUnknownField, "M_UnknownField"},
    {kMUnsupportedMessage, "M_UnsupportedMessage"},
    {kMUnsupportedVersion, "M_UnsupportedVersion"},
    {kMUnsupportedParameter, "M_UnsupportedParameter"},
    {kPParameterError, "P_ParameterError"},
    {kPFieldError, "P_FieldError"},
    {kPUnexpectedParameter, "P_UnexpectedParameter"},
    {kPMissingParameter, "P_MissingParameter"},
    {kPDuplicateParameter, "P_DuplicateParameter"},
    {kPOverflowParameter, "P_OverflowParameter"},
    {kPOverflowField, "P_OverflowField"},
    {kPUnknownParameter, "P_UnknownParameter"},
    {kPUnknownField, "P_UnknownField"},
    {kPUnsupportedParameter, "P_UnsupportedParameter"},
    {kAInvalid, "A_Invalid"},
    {kAOutOfRange, "A_OutOfRange"},
    {kRDeviceError, "R_DeviceError"},
};

}  // namespace

const char *statusName(std::uint16_t code) {
    for (const StatusName &s : kStatusNames)
        if (s.code == code) return s.name;
    return "unknown";
}

Header readHeader(const std::uint8_t *data) {
    Header h;
    h.version = static_cast<std::uint8_t>((data[0] >> 2) & 0x07);
    h.type = be16(data) & 0x3FF;
    h.length = be32(data + 2);
    h.id = be32(data + 6);
    return h;
}

std::uint16_t statusCodeFor(const Fault &fault) {
    if (fault.path.empty()) return mCode(fault.problem);
    if (fault.path.size() == 1 && !fieldProblem(fault.problem) && fault.problem != Problem::ParameterError)
        return mCode(fault.problem);
    return kMParameterError;
}

Element status(std::uint16_t code, const std::string &description) {
    Element s = Element::make("LLRPStatus");
    s.set("StatusCode", code).setText("ErrorDescription", description);
    return s;
}

Element statusFor(const Fault &fault) {
    Element s = status(statusCodeFor(fault), fault.description);
    const auto fieldError = [&](std::uint16_t code) {
        Element f = Element::make("FieldError");
        f.set("FieldNum", static_cast<std::uint64_t>(fault.field < 0 ? 0 : fault.field)).set("ErrorCode", code);
        return f;
    };
    if (fault.path.empty()) {
        if (fieldProblem(fault.problem) && fault.field >= 0)
            s.add(fieldError(fault.problem == Problem::FieldError ? fault.fieldCode : std::uint16_t{kMOverflowField}));
        return s;
    }
    Element inner = Element::make("ParameterError");
    inner.set("ParameterType", fault.path.back()).set("ErrorCode", pCode(fault.problem));
    if (fieldProblem(fault.problem) && fault.field >= 0)
        inner.add(fieldError(fault.problem == Problem::FieldError ? fault.fieldCode : std::uint16_t{kPOverflowField}));
    for (std::size_t i = fault.path.size() - 1; i-- > 0;) {
        Element outer = Element::make("ParameterError");
        outer.set("ParameterType", fault.path[i]).set("ErrorCode", kPParameterError);
        outer.add(std::move(inner));
        inner = std::move(outer);
    }
    s.add(std::move(inner));
    return s;
}

bool decode(const std::uint8_t *data, std::size_t size, Message &message, Fault &fault) {
    fault = Fault{};
    if (size < kHeaderBytes) {
        fault.description = "a message has at least " + std::to_string(kHeaderBytes) + " bytes";
        return false;
    }
    const Header h = readHeader(data);
    message.version = h.version;
    message.id = h.id;
    if (h.length != size) {
        fault.description = "the length field says " + std::to_string(h.length) + " bytes, " +
                            std::to_string(size) + " came";
        return false;
    }
    if (h.version != 1 && h.version != 2) {
        fault.problem = Problem::UnsupportedVersion;
        fault.description = "protocol version " + std::to_string(h.version) +
                            " is not one this reader speaks (1 and 2)";
        return false;
    }
    const Definition *d = messageByType(h.type);
    if (!d) {
        fault.problem = Problem::UnsupportedMessage;
        fault.description = "message type " + std::to_string(h.type) + " is not one this reader knows";
        return false;
    }
    Decoder decoder(fault);
    return decoder.element(*d, data + kHeaderBytes, size - kHeaderBytes, message.body, {}, 0);
}

bool encode(const Message &message, std::vector<std::uint8_t> &out, std::string &error) {
    const Definition *d = message.body.definition();
    if (!d || !d->message) {
        error = "the body of a message must be a message";
        return false;
    }
    out.clear();
    out.push_back(static_cast<std::uint8_t>((message.version & 0x07) << 2 | (d->type >> 8 & 0x03)));
    out.push_back(static_cast<std::uint8_t>(d->type));
    out.resize(kHeaderBytes);
    for (int i = 0; i < 4; ++i) out[6 + i] = static_cast<std::uint8_t>(message.id >> (24 - 8 * i));
    Encoder encoder(out, error);
    if (!encoder.element(message.body)) return false;
    const std::size_t length = out.size();
    for (int i = 0; i < 4; ++i) out[2 + i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    return true;
}

bool decodeParameter(const std::uint8_t *data, std::size_t size, Element &parameter, Fault &fault) {
    fault = Fault{};
    if (size == 0) {
        fault.description = "no bytes";
        return false;
    }
    Decoder decoder(fault);
    return decoder.parameter(data, size, parameter);
}

bool encodeParameter(const Element &parameter, std::vector<std::uint8_t> &out, std::string &error) {
    if (!parameter.definition() || parameter.definition()->message) {
        error = "not a parameter";
        return false;
    }
    Encoder encoder(out, error);
    return encoder.element(parameter);
}

std::vector<std::uint8_t> encode(const Message &message) {
    std::vector<std::uint8_t> out;
    std::string error;
    if (!encode(message, out, error)) {
        std::fprintf(stderr, "llrp encode: %s\n", error.c_str());
        std::abort();
    }
    return out;
}

void FrameReader::feed(const std::uint8_t *data, std::size_t size) {
    if (start_ > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + size);
}

FrameReader::Result FrameReader::next(std::vector<std::uint8_t> &frame, Header &header) {
    if (buffered() < kHeaderBytes) return kNeedMore;
    header = readHeader(buffer_.data() + start_);
    if (header.length < kHeaderBytes) return kTooShort;
    if (header.length > kMaxMessageBytes) return kTooLong;
    if (buffered() < header.length) return kNeedMore;
    const auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(start_);
    frame.assign(first, first + header.length);
    start_ += header.length;
    return kMessage;
}

}  // namespace tessaro::llrp
