// What the Gen2 tag commands share: the way a command names the tag it acts
// on and the access password (the tag error code is every tag command's).
//
// A selecting command's frame reads
//
//     Len | Adr | Cmd | [own head] | EPC length, EPC  or  0xFF | own fields | [mask block] | CRC
//
// EPC selection (epcWords 0 to 31) names the tag by 2 x epcWords EPC bytes;
// mask selection (epcWords 255) puts 0xFF where the EPC length stands and the
// mask block last. epcWords 32 to 254 name no tag and are refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "TessaroTypes.h"
#include "protocol/exchange.h"
#include "protocol/tag_command.h"

namespace tessaro::gen2 {

using protocol::tagCommand;

constexpr std::size_t kPasswordSize = 4;  // copied as it lies in memory

class TagSelection {
public:
    TagSelection(const unsigned char *epc, int epcWords, int maskMem,
                 const unsigned char *maskAddress, int maskLength, const unsigned char *maskData);

    // epcWords 32 to 254: ERR_PARAMETER before anything is sent.
    bool refused() const;
    // Appends the EPC length byte and the EPC, or 0xFF under mask selection.
    protocol::CommandFrame &name(protocol::CommandFrame &frame) const;
    // Appends the mask block under mask selection, nothing otherwise.
    protocol::CommandFrame &mask(protocol::CommandFrame &frame) const;

private:
    bool byMask() const;

    const unsigned char *epc_;
    std::uint8_t epcWords_;
    int maskMem_;
    const unsigned char *maskAddress_;
    int maskLength_;
    const unsigned char *maskData_;
};

// A tag command that names its tag: epcWords 32 to 254 refused, then the frame
//     Len | Adr | code | tag | fields | mask block (mask selection) | CRC
// where `fields(frame)` appends the command's own bytes and the password.
template <class Fields, class Fill = protocol::NoOutputs>
int selectingCommand(unsigned char *address, std::uint8_t code, const TagSelection &tag,
                     Fields &&fields, int portIndex, protocol::Rule rule, int *errorCode,
                     Fill &&fill = {}) {
    if (tag.refused()) return ERR_PARAMETER;
    protocol::CommandFrame frame(address, code);
    fields(tag.name(frame));
    return tagCommand(tag.mask(frame), portIndex, rule, address, errorCode,
                      std::forward<Fill>(fill));
}

}  // namespace tessaro::gen2
