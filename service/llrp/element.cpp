#include "element.h"

#include <cstdio>
#include <cstdlib>

namespace tessaro::llrp {

namespace {

[[noreturn]] void misuse(const std::string &what) {
    std::fprintf(stderr, "llrp element: %s\n", what.c_str());
    std::abort();
}

}  // namespace

Element::Element(const Definition *definition)
    : definition_(definition), values_(definition ? definition->fields.size() : 0) {
    if (!definition) misuse("no definition");
}

Element Element::make(std::string_view name) {
    const Definition *d = definitionByName(name);
    if (!d) misuse("no definition named " + std::string(name));
    return Element(d);
}

std::size_t Element::indexOf(std::string_view field) const {
    const int index = definition_ ? definition_->fieldIndex(field) : -1;
    if (index < 0) misuse(std::string(definition_ ? definition_->name : "?") + " has no field " +
                          std::string(field));
    return static_cast<std::size_t>(index);
}

std::uint64_t Element::number(std::string_view field) const { return values_[indexOf(field)].number; }

std::int64_t Element::signedNumber(std::string_view field) const {
    return static_cast<std::int64_t>(values_[indexOf(field)].number);
}

const Value &Element::value(std::string_view field) const { return values_[indexOf(field)]; }

std::string Element::text(std::string_view field) const {
    const Value &v = values_[indexOf(field)];
    return std::string(v.bytes.begin(), v.bytes.end());
}

Element &Element::set(std::string_view field, std::uint64_t number) {
    values_[indexOf(field)].number = number;
    return *this;
}

Element &Element::setSigned(std::string_view field, std::int64_t number) {
    values_[indexOf(field)].number = static_cast<std::uint64_t>(number);
    return *this;
}

Element &Element::setBytes(std::string_view field, const std::uint8_t *data, std::size_t size) {
    Value &v = values_[indexOf(field)];
    v.bytes.assign(data, data + size);
    return *this;
}

Element &Element::setBits(std::string_view field, const std::uint8_t *data, unsigned bits) {
    Value &v = values_[indexOf(field)];
    v.bytes.assign(data, data + (bits + 7) / 8);
    v.bits = static_cast<std::uint16_t>(bits);
    return *this;
}

Element &Element::setText(std::string_view field, std::string_view text) {
    Value &v = values_[indexOf(field)];
    v.bytes.assign(text.begin(), text.end());
    return *this;
}

Element &Element::setItems(std::string_view field, std::vector<std::uint32_t> items) {
    values_[indexOf(field)].items = std::move(items);
    return *this;
}

Element &Element::add(Element child) {
    const int slot = definition_->slotFor(child.definition());
    if (slot < 0) misuse(definition_->name + " cannot hold " + child.name());
    auto at = children_.begin();
    while (at != children_.end() && definition_->slotFor(at->definition()) <= slot) ++at;
    children_.insert(at, std::move(child));
    return *this;
}

const Element *Element::child(std::string_view name) const {
    for (const Element &c : children_)
        if (c.is(name)) return &c;
    return nullptr;
}

std::vector<const Element *> Element::all(std::string_view name) const {
    std::vector<const Element *> found;
    for (const Element &c : children_)
        if (c.is(name)) found.push_back(&c);
    return found;
}

}  // namespace tessaro::llrp
