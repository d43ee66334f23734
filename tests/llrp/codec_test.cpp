// The LLRP codec: every message and parameter of the definitions survives
// encode and decode; a few messages byte for byte as the protocol lays them
// out; and a table of broken messages, each with the status a reader answers.
#include <gtest/gtest.h>

#include <initializer_list>

#include "codec.h"

namespace tessaro::llrp {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes u16(unsigned v) { return {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)}; }
Bytes u32(std::uint32_t v) { return cat({u16(v >> 16), u16(v & 0xFFFF)}); }

// A TLV parameter with the right length, or with `claimed` as its length.
Bytes tlv(unsigned type, const Bytes &body, int claimed = -1) {
    const unsigned length = claimed >= 0 ? static_cast<unsigned>(claimed) : static_cast<unsigned>(body.size() + 4);
    return cat({u16(type), u16(length), body});
}

Bytes message(unsigned type, const Bytes &body, unsigned version = 1, std::uint32_t id = 7) {
    const Bytes head = {static_cast<std::uint8_t>(version << 2 | type >> 8), static_cast<std::uint8_t>(type)};
    return cat({head, u32(static_cast<std::uint32_t>(body.size() + 10)), u32(id), body});
}

// A value for every kind of field, none of them 0, so a field lost or
// shifted shows.
void fill(Element &e) {
    const Definition &d = *e.definition();
    for (std::size_t i = 0; i < d.fields.size(); ++i) {
        Value &v = e.values()[i];
        switch (d.fields[i].kind) {
        case FieldKind::U1: v.number = 1; break;
        case FieldKind::U2: v.number = 2; break;
        case FieldKind::U8: v.number = 0xA5; break;
        case FieldKind::U16: v.number = 0xBEEF; break;
        case FieldKind::U32: v.number = 0xDEADBEEF; break;
        case FieldKind::U64: v.number = 0x0123456789ABCDEFull; break;
        case FieldKind::S8: v.number = static_cast<std::uint64_t>(std::int64_t{-60}); break;
        case FieldKind::S16: v.number = static_cast<std::uint64_t>(std::int64_t{-3000}); break;
        case FieldKind::U96: v.bytes = {0x30, 0x34, 0x25, 0x7B, 0xF7, 0x19, 0x4E, 0x40, 0, 0, 3, 0xE9}; break;
        case FieldKind::U1V: v.bytes = {0xE2, 0x80}; v.bits = 13; break;
        case FieldKind::U8V: v.bytes = {1, 2, 3}; break;
        case FieldKind::U16V: v.items = {1, 0xFFFF}; break;
        case FieldKind::U32V: v.items = {902750, 927250}; break;
        case FieldKind::UTF8V: v.bytes = {'r', 0xC3, 0xA9, 'g', 'l', 'e'}; break;
        case FieldKind::BytesToEnd: v.bytes = {9, 8, 7}; break;
        case FieldKind::Reserved: break;
        }
    }
}

// A sample of definition `d`: every field filled, every slot given its
// parameters (two where it may hold more than one, each alternative of a
// choice in turn), optional ones left out below `depth` 4 so that the
// self-nesting ParameterError ends.
Element sample(const Definition *d, unsigned depth = 0) {
    Element e(d);
    fill(e);
    for (const Slot &slot : d->slots) {
        const unsigned count = slot.max == 1 ? 1 : 2;
        if (slot.min == 0 && depth >= 4) continue;
        for (unsigned i = 0; i < count; ++i)
            e.add(sample(slot.accepts[i % slot.accepts.size()], depth + 1));
    }
    return e;
}

TEST(LlrpCodec, EveryMessageRoundTrips) {
    int messages = 0;
    for (const Definition *d : allDefinitions()) {
        if (!d->message) continue;
        ++messages;
        Message m;
        m.version = 2;
        m.id = 0x01020304;
        m.body = sample(d);
        Bytes wire;
        std::string error;
        ASSERT_TRUE(encode(m, wire, error)) << d->name << ": " << error;
        Message back;
        Fault fault;
        ASSERT_TRUE(decode(wire.data(), wire.size(), back, fault)) << d->name << ": " << fault.description;
        EXPECT_EQ(back.version, 2);
        EXPECT_EQ(back.id, 0x01020304u);
        EXPECT_TRUE(back.body == m.body) << d->name;
        EXPECT_EQ(encode(back), wire) << d->name;
    }
    EXPECT_EQ(messages, 44);
}

TEST(LlrpCodec, EveryParameterRoundTrips) {
    for (const Definition *d : allDefinitions()) {
        if (d->message) continue;
        const Element e = sample(d);
        Bytes wire;
        std::string error;
        ASSERT_TRUE(encodeParameter(e, wire, error)) << d->name << ": " << error;
        if (d->tv()) {
            EXPECT_EQ(wire.size(), 1 + d->tvSize) << d->name;
        }
        Element back;
        Fault fault;
        ASSERT_TRUE(decodeParameter(wire.data(), wire.size(), back, fault)) << d->name << ": " << fault.description;
        EXPECT_TRUE(back == e) << d->name;
    }
}

// Bytes as the protocol lays them out, written by hand: the header's version
// and type bits, TV parameters (high bit, no length), TLV parameters, bit
// fields packed from the top, vectors with their counts.
TEST(LlrpCodec, MessagesLieOnTheWireAsTheProtocolSays) {
    Message keepalive;
    keepalive.id = 5;
    keepalive.body = Element::make("KEEPALIVE");
    EXPECT_EQ(encode(keepalive), (Bytes{0x04, 0x3E, 0, 0, 0, 10, 0, 0, 0, 5}));

    Message event;
    event.id = 0;
    Element data = Element::make("ReaderEventNotificationData");
    data.add(Element::make("UTCTimestamp").set("Microseconds", 0x0102030405060708ull));
    data.add(Element::make("ConnectionAttemptEvent").set("Status", 2));
    event.body = Element::make("READER_EVENT_NOTIFICATION");
    event.body.add(std::move(data));
    EXPECT_EQ(encode(event),
              message(63, tlv(246, cat({tlv(128, {1, 2, 3, 4, 5, 6, 7, 8}), tlv(256, u16(2))})), 1, 0));

    const std::uint8_t epc[12] = {0x30, 0x34, 0x25, 0x7B, 0xF7, 0x19, 0x4E, 0x40, 0, 0, 0x03, 0xE9};
    Element tag = Element::make("TagReportData");
    tag.add(Element::make("PeakRSSI").setSigned("PeakRSSI", -60));  // added out of order on purpose
    tag.add(Element::make("EPC_96").setBytes("EPC", epc, 12));
    tag.add(Element::make("AntennaID").set("AntennaID", 3));
    Bytes wire;
    std::string error;
    ASSERT_TRUE(encodeParameter(tag, wire, error)) << error;
    EXPECT_EQ(wire, tlv(240, cat({{0x8D}, Bytes(epc, epc + 12), {0x81, 0, 3}, {0x86, 0xC4}})));

    // ResetToFactoryDefault is the top bit of the first byte.
    Message set;
    set.body = Element::make("SET_READER_CONFIG").set("ResetToFactoryDefault", 1);
    set.body.add(Element::make("KeepaliveSpec").set("KeepaliveTriggerType", 1).set("PeriodicTriggerValue", 500));
    EXPECT_EQ(encode(set), message(3, cat({{0x80}, tlv(220, cat({{1}, u32(500)}))}), 1, 0));

    // A u1v: the bit count, then the bits in whole bytes.
    Element mask = Element::make("C1G2TagInventoryMask").set("MB", 1).set("Pointer", 32);
    const std::uint8_t prefix[] = {0x30, 0x34};
    mask.setBits("TagMask", prefix, 16);
    wire.clear();
    ASSERT_TRUE(encodeParameter(mask, wire, error)) << error;
    EXPECT_EQ(wire, tlv(332, cat({{0x40}, u16(32), u16(16), {0x30, 0x34}})));
}

TEST(LlrpCodec, CustomParametersAreKeptWhereTheyMayStand) {
    // An AISpec may carry vendor parameters after its own: they decode as
    // Custom, data and all, and the rest of the ROSpec is read past them.
    const Bytes stop = tlv(184, cat({{0}, u32(0)}));
    const Bytes inventory = tlv(186, cat({u16(1), {1}}));
    const Bytes custom = tlv(1023, cat({u32(25882), u32(22), {0xAB, 0xCD}}));
    const Bytes aiSpec = tlv(183, cat({u16(1), u16(0), stop, inventory, custom}));
    const Bytes boundary = tlv(178, cat({tlv(179, {1}), tlv(182, cat({{0}, u32(0)}))}));
    const Bytes rospec = tlv(177, cat({u32(1), {0, 0}, boundary, aiSpec}));
    const Bytes wire = message(20, rospec);
    Message m;
    Fault fault;
    ASSERT_TRUE(decode(wire.data(), wire.size(), m, fault)) << fault.description;
    const Element *ai = m.body.child("ROSpec")->child("AISpec");
    ASSERT_NE(ai, nullptr);
    const Element *vendor = ai->child("Custom");
    ASSERT_NE(vendor, nullptr);
    EXPECT_EQ(vendor->number("VendorIdentifier"), 25882u);
    EXPECT_EQ(vendor->value("Data").bytes, (Bytes{0xAB, 0xCD}));
}

// Parts of an ADD_ROSPEC, to break one at a time.
const Bytes kStart = tlv(179, {1});
const Bytes kStop = tlv(182, cat({{0}, u32(0)}));
const Bytes kBoundary = tlv(178, cat({kStart, kStop}));
const Bytes kAiSpec = tlv(183, cat({u16(1), u16(0), tlv(184, cat({{0}, u32(0)})), tlv(186, cat({u16(1), {1}}))}));
Bytes rospec(const Bytes &inside) { return tlv(177, cat({u32(1), {0, 0}, inside})); }

struct Broken {
    const char *what;
    Bytes wire;
    std::uint16_t status;                // the LLRPStatus code
    std::vector<std::uint16_t> path;     // the ParameterError chain down to the culprit
    std::uint16_t culpritCode;           // the innermost ParameterError's (or FieldError's) code
};

std::vector<Broken> brokenMessages() {
    return {
        {"unknown message type", message(999, {}), kMUnsupportedMessage, {}, 0},
        {"protocol version 3", message(62, {}, 3), kMUnsupportedVersion, {}, 0},
        {"message field cut short", message(21, {0, 0}), kMOverflowField, {}, kMOverflowField},
        {"stray bytes after the fields", message(72, {1, 2, 3}), kMParameterError, {}, 0},
        {"required parameter missing", message(20, {}), kMMissingParameter, {177}, kPMissingParameter},
        {"parameter length below its header", message(20, tlv(177, {}, 2)), kMParameterError, {}, 0},
        {"parameter length past the message", message(20, tlv(177, u32(1), 200)), kMParameterError, {}, 0},
        {"parameter cut inside its fields", message(20, tlv(177, {0, 0, 1})), kMParameterError, {177},
         kPOverflowField},
        {"nested parameter missing", message(20, rospec(kAiSpec)), kMParameterError, {177, 178},
         kPMissingParameter},
        {"nested parameter duplicated", message(20, rospec(cat({kBoundary, kBoundary, kAiSpec}))),
         kMParameterError, {177, 178}, kPDuplicateParameter},
        {"nested parameter out of order",
         message(20, rospec(cat({kBoundary, kAiSpec, tlv(237, cat({{0}, u16(0), tlv(238, {0, 0})})), kAiSpec}))),
         kMParameterError, {177, 183}, kPUnexpectedParameter},
        {"parameter that may not stand there", message(60, {0x81, 0, 1}), kMUnexpectedParameter, {1},
         kMUnexpectedParameter + 100},
        {"custom parameter where none may stand",
         message(20, rospec(cat({tlv(178, cat({kStart, kStop, tlv(1023, u32(1))})), kAiSpec}))),
         kMParameterError, {177, 178, 1023}, kPUnexpectedParameter},
        {"unknown TLV type", message(20, rospec(cat({kBoundary, kAiSpec, tlv(900, {})}))), kMParameterError,
         {177, 900}, kPUnknownParameter},
        {"unknown TV type", message(20, rospec(cat({kBoundary, {0xFF, 0, 0}}))), kMParameterError,
         {177, 127}, kPUnknownParameter},
        {"TV type in a TLV header", message(20, rospec(cat({kBoundary, tlv(1, u16(1))}))), kMParameterError,
         {177, 1}, kPParameterError},
        {"TV parameter cut short", message(60, {0x8D, 1, 2}), kMParameterError, {}, 0},
        {"header cut short", message(20, cat({rospec(cat({kBoundary, kAiSpec})), {0, 1}})), kMParameterError,
         {}, 0},
        {"bit vector longer than its bytes",
         message(20, rospec(cat({kBoundary,
                                 tlv(183, cat({u16(0), tlv(184, cat({{0}, u32(0)})),
                                               tlv(186, cat({u16(1), {1},
                                                             tlv(222, cat({u16(0),
                                                                           tlv(330, cat({{0},
                                                                                         tlv(331, cat({{0},
                                                                                                       tlv(332, cat({{0x40}, u16(0), u16(200), {0x30}}))}))}))}))}))}))}))),
         kMParameterError, {177, 183, 186, 222, 330, 331, 332}, kPOverflowField},
        {"text that is not UTF-8", message(100, tlv(287, cat({u16(0), u16(2), {0xC3, 0x28}}))),
         kMParameterError, {287}, kAInvalid},
    };
}

// The culprit's chain of ParameterError, and the innermost code.
void walk(const Element &status, std::vector<std::uint16_t> &path, std::uint16_t &code) {
    const Element *level = status.child("ParameterError");
    const Element *field = status.child("FieldError");
    code = field ? static_cast<std::uint16_t>(field->number("ErrorCode")) : 0;
    while (level) {
        path.push_back(static_cast<std::uint16_t>(level->number("ParameterType")));
        code = static_cast<std::uint16_t>(level->number("ErrorCode"));
        if (const Element *f = level->child("FieldError")) code = static_cast<std::uint16_t>(f->number("ErrorCode"));
        level = level->child("ParameterError");
    }
}

TEST(LlrpCodec, BrokenMessagesGetTheirStatus) {
    for (const Broken &b : brokenMessages()) {
        SCOPED_TRACE(b.what);
        Message m;
        Fault fault;
        ASSERT_FALSE(decode(b.wire.data(), b.wire.size(), m, fault));
        EXPECT_EQ(m.id, 7u) << "the answer needs the message's id";
        EXPECT_FALSE(fault.description.empty());
        const Element s = statusFor(fault);
        EXPECT_EQ(s.number("StatusCode"), b.status)
            << statusName(static_cast<std::uint16_t>(s.number("StatusCode"))) << ": " << fault.description;
        std::vector<std::uint16_t> path;
        std::uint16_t code = 0;
        walk(s, path, code);
        EXPECT_EQ(path, b.path) << fault.description;
        EXPECT_EQ(code, b.culpritCode) << statusName(code) << ": " << fault.description;
        // The status itself is a well-formed answer.
        Message answer;
        answer.id = m.id;
        answer.body = Element::make("ERROR_MESSAGE");
        answer.body.add(s);
        std::string error;
        Bytes wire;
        EXPECT_TRUE(encode(answer, wire, error)) << error;
    }
}

TEST(LlrpCodec, NestingHasABound) {
    // ParameterError may hold a ParameterError: 40 of them are refused, not recursed into.
    Bytes inner;
    for (int i = 0; i < 40; ++i) inner = tlv(289, cat({u16(177), u16(200), inner}));
    const Bytes wire = message(100, tlv(287, cat({u16(100), u16(0), inner})));
    Message m;
    Fault fault;
    EXPECT_FALSE(decode(wire.data(), wire.size(), m, fault));
    EXPECT_NE(fault.description.find("nested"), std::string::npos) << fault.description;
    EXPECT_LE(fault.path.size(), kMaxDepth + 1);
}

TEST(LlrpCodec, NoCutOrFlippedByteOfAGoodMessageCrashes) {
    // A full ADD_ROSPEC; every prefix (with the length patched to match) and
    // every byte inverted must decode or be refused, never crash or read
    // past the buffer (the sanitizer build watches).
    Message m;
    m.body = sample(definitionByName("ADD_ROSPEC"));
    const Bytes good = encode(m);
    int refused = 0;
    for (std::size_t cut = kHeaderBytes; cut < good.size(); ++cut) {
        Bytes prefix(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        prefix[2] = static_cast<std::uint8_t>(cut >> 24); prefix[3] = static_cast<std::uint8_t>(cut >> 16);
        prefix[4] = static_cast<std::uint8_t>(cut >> 8); prefix[5] = static_cast<std::uint8_t>(cut);
        Message back;
        Fault fault;
        if (!decode(prefix.data(), prefix.size(), back, fault)) {
            ++refused;
            EXPECT_NE(statusCodeFor(fault), kSuccess);
        }
    }
    EXPECT_EQ(refused, static_cast<int>(good.size() - kHeaderBytes)) << "a cut ADD_ROSPEC lacks its ROSpec's end";
    for (std::size_t at = kHeaderBytes; at < good.size(); ++at) {
        Bytes flipped = good;
        flipped[at] = static_cast<std::uint8_t>(~flipped[at]);
        Message back;
        Fault fault;
        decode(flipped.data(), flipped.size(), back, fault);
    }
}

TEST(LlrpCodec, StatusNestsDownToTheCulpritsField) {
    Fault fault;
    fault.problem = Problem::FieldError;
    fault.path = {177, 178, 179};
    fault.field = 0;
    fault.fieldCode = kAOutOfRange;
    fault.description = "ROSpecStartTriggerType 9 is out of range";
    const Element s = statusFor(fault);
    EXPECT_EQ(s.number("StatusCode"), kMParameterError);
    EXPECT_EQ(s.text("ErrorDescription"), fault.description);
    const Element *p = s.child("ParameterError");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->number("ParameterType"), 177u);
    EXPECT_EQ(p->number("ErrorCode"), kPParameterError);
    p = p->child("ParameterError");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->number("ParameterType"), 178u);
    p = p->child("ParameterError");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->number("ParameterType"), 179u);
    EXPECT_EQ(p->number("ErrorCode"), kPFieldError);
    ASSERT_NE(p->child("FieldError"), nullptr);
    EXPECT_EQ(p->child("FieldError")->number("ErrorCode"), kAOutOfRange);

    // A message's own field: M_FieldError and a FieldError, no parameter.
    Fault own;
    own.problem = Problem::FieldError;
    own.field = 1;
    own.fieldCode = kAOutOfRange;
    const Element t = statusFor(own);
    EXPECT_EQ(t.number("StatusCode"), kMFieldError);
    EXPECT_EQ(t.child("ParameterError"), nullptr);
    ASSERT_NE(t.child("FieldError"), nullptr);
    EXPECT_EQ(t.child("FieldError")->number("FieldNum"), 1u);
}

TEST(LlrpCodec, EncoderRefusesWhatCannotBeSent) {
    std::string error;
    Bytes wire;
    Element trigger = Element::make("ROSpecStartTrigger").set("ROSpecStartTriggerType", 256);
    EXPECT_FALSE(encodeParameter(trigger, wire, error));
    EXPECT_NE(error.find("does not fit"), std::string::npos) << error;

    Element rssi = Element::make("PeakRSSI").setSigned("PeakRSSI", -129);
    EXPECT_FALSE(encodeParameter(rssi, wire, error));

    Message response;
    response.body = Element::make("ADD_ROSPEC_RESPONSE");  // lacks its LLRPStatus
    EXPECT_FALSE(encode(response, wire, error));
    EXPECT_NE(error.find("lacks LLRPStatus"), std::string::npos) << error;
}

TEST(LlrpFrameReader, CutsTheStreamIntoMessages) {
    const Bytes a = message(62, {}, 1, 1);
    const Bytes b = message(21, u32(9), 1, 2);
    const Bytes both = cat({a, b});
    FrameReader reader;
    Bytes frame;
    Header header;
    // One byte at a time: nothing until a whole message is there.
    int got = 0;
    for (std::uint8_t byte : both) {
        reader.feed(&byte, 1);
        while (reader.next(frame, header) == FrameReader::kMessage) {
            EXPECT_EQ(frame, got == 0 ? a : b);
            EXPECT_EQ(header.id, static_cast<std::uint32_t>(got + 1));
            ++got;
        }
    }
    EXPECT_EQ(got, 2);
    EXPECT_EQ(reader.buffered(), 0u);

    // Lengths that cannot be: the stream is lost.
    FrameReader tooShort;
    Bytes shortHeader = message(62, {});
    shortHeader[5] = 9;
    tooShort.feed(shortHeader.data(), shortHeader.size());
    EXPECT_EQ(tooShort.next(frame, header), FrameReader::kTooShort);

    FrameReader tooLong;
    Bytes longHeader = message(62, {});
    const std::uint32_t big = kMaxMessageBytes + 1;
    longHeader[2] = static_cast<std::uint8_t>(big >> 24); longHeader[3] = static_cast<std::uint8_t>(big >> 16);
    longHeader[4] = static_cast<std::uint8_t>(big >> 8); longHeader[5] = static_cast<std::uint8_t>(big);
    tooLong.feed(longHeader.data(), longHeader.size());
    EXPECT_EQ(tooLong.next(frame, header), FrameReader::kTooLong) << "refused before its bytes arrive";
}

}  // namespace
}  // namespace tessaro::llrp
