// A decoded LLRP message or parameter: its definition, one value per field
// and the parameters it holds. Built by the decoder, or by the server for an
// answer and handed to the encoder.
//
//   Element report = Element::make("TagReportData");
//   report.add(Element::make("EPC_96").setBytes("EPC", epc, 12));
//   report.add(Element::make("AntennaID").set("AntennaID", 2));
//
// Naming a field or parameter that the definition does not have is a defect
// of the calling code: it aborts, and the tests that build every answer find it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "schema.h"

namespace tessaro::llrp {

// One field's value; which member is used depends on the field's kind.
struct Value {
    std::uint64_t number = 0;           // U1 to U64; S8 and S16 sign-extended
    std::vector<std::uint8_t> bytes;    // U96, U1V, U8V, UTF8V, BytesToEnd
    std::vector<std::uint32_t> items;   // U16V, U32V
    std::uint16_t bits = 0;             // U1V: the bit count

    bool operator==(const Value &o) const {
        return number == o.number && bytes == o.bytes && items == o.items && bits == o.bits;
    }
};

class Element {
public:
    Element() = default;
    explicit Element(const Definition *definition);
    // The message or parameter named `name`, every field 0 or empty.
    static Element make(std::string_view name);

    const Definition *definition() const { return definition_; }
    const std::string &name() const { return definition_->name; }
    std::uint16_t type() const { return definition_->type; }
    bool is(std::string_view name) const { return definition_ && definition_->name == name; }

    // Fields.
    std::uint64_t number(std::string_view field) const;
    std::int64_t signedNumber(std::string_view field) const;
    bool flag(std::string_view field) const { return number(field) != 0; }
    const Value &value(std::string_view field) const;
    std::string text(std::string_view field) const;  // UTF8V
    Element &set(std::string_view field, std::uint64_t number);
    Element &setSigned(std::string_view field, std::int64_t number);
    Element &setBytes(std::string_view field, const std::uint8_t *data, std::size_t size);
    Element &setBits(std::string_view field, const std::uint8_t *data, unsigned bits);  // U1V
    Element &setText(std::string_view field, std::string_view text);
    Element &setItems(std::string_view field, std::vector<std::uint32_t> items);
    std::vector<Value> &values() { return values_; }
    const std::vector<Value> &values() const { return values_; }

    // Parameters held. add() places the child after the others of its slot,
    // so answers come out in the order the definitions require.
    Element &add(Element child);
    const std::vector<Element> &children() const { return children_; }
    std::vector<Element> &children() { return children_; }
    const Element *child(std::string_view name) const;  // the first so named, or null
    std::vector<const Element *> all(std::string_view name) const;

    bool operator==(const Element &o) const {
        return definition_ == o.definition_ && values_ == o.values_ && children_ == o.children_;
    }
    bool operator!=(const Element &o) const { return !(*this == o); }

private:
    std::size_t indexOf(std::string_view field) const;

    const Definition *definition_ = nullptr;
    std::vector<Value> values_;  // one per FieldDef, reserved runs included
    std::vector<Element> children_;
};

// A whole message: its header and its body.
struct Message {
    std::uint8_t version = 1;
    std::uint32_t id = 0;
    Element body;  // its definition is a message definition

    std::uint16_t type() const { return body.type(); }
};

}  // namespace tessaro::llrp
