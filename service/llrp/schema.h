// The LLRP messages and parameters this reader knows: their type numbers,
// fields in wire order, and which parameters each may hold, in which order and
// how many. One table (definitions.cpp) drives both the decoder and the
// encoder, so a parameter is described once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaro::llrp {

// How a field lies on the wire.
enum class FieldKind : std::uint8_t {
    U1, U2, U8, U16, U32, U64, S8, S16,  // fixed width; U1 and U2 are bit fields
    U96,                                 // 12 bytes (EPC-96)
    U1V,                                 // u16 bit count, then the bits in whole bytes
    U8V, U16V, U32V,                     // u16 item count, then the items
    UTF8V,                               // u16 byte count, then UTF-8 text
    BytesToEnd,                          // the rest of the parameter or message
    Reserved                             // `bits` reserved bits, sent as 0, ignored
};

struct FieldDef {
    std::string name;
    FieldKind kind;
    unsigned bits;  // width of a bit field or reserved run
};

struct Definition;

// A place for parameters inside a message or parameter: one definition, or a
// choice among several, with a repeat range.
struct Slot {
    std::string name;                         // the parameter's or the choice's
    std::vector<const Definition *> accepts;  // one, or a choice's alternatives
    unsigned min = 0;
    unsigned max = 1;                         // kUnbounded for N
    bool takes(const Definition *d) const;
};

constexpr unsigned kUnbounded = 0xFFFFFFFFu;

struct Definition {
    std::string name;
    std::uint16_t type = 0;
    bool message = false;
    std::vector<FieldDef> fields;  // reserved runs included, in wire order
    std::vector<Slot> slots;
    // TV parameters (types 1 to 127) have a fixed size and no header length:
    // the bytes after the type byte.
    std::size_t tvSize = 0;

    bool tv() const { return !message && type < 128; }
    // Index into fields of the field named `field` (reserved runs count), or -1.
    int fieldIndex(std::string_view field) const;
    // Index of the slot that takes `d`, or -1.
    int slotFor(const Definition *d) const;
};

// Lookups. Each returns nullptr when there is no such definition.
const Definition *messageByType(std::uint16_t type);
const Definition *parameterByType(std::uint16_t type);
const Definition *definitionByName(std::string_view name);

// Every definition, messages first, in the table's order (for tests).
const std::vector<const Definition *> &allDefinitions();

// The Custom parameter's and CUSTOM_MESSAGE's type number.
constexpr std::uint16_t kCustomType = 1023;

}  // namespace tessaro::llrp
