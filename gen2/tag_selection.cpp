#include "tag_selection.h"

namespace tessaro::gen2 {

namespace {

constexpr std::uint8_t kLongestEpcWords = 31;
constexpr std::uint8_t kMaskSelection = 0xFF;

}  // namespace

TagSelection::TagSelection(const unsigned char *epc, int epcWords, int maskMem,
                           const unsigned char *maskAddress, int maskLength,
                           const unsigned char *maskData)
    : epc_(epc),
      epcWords_(static_cast<std::uint8_t>(epcWords)),
      maskMem_(maskMem),
      maskAddress_(maskAddress),
      maskLength_(maskLength),
      maskData_(maskData) {}

bool TagSelection::byMask() const { return epcWords_ == kMaskSelection; }

bool TagSelection::refused() const { return epcWords_ > kLongestEpcWords && !byMask(); }

protocol::CommandFrame &TagSelection::name(protocol::CommandFrame &frame) const {
    if (byMask()) return frame.byte(kMaskSelection);
    return frame.byte(epcWords_).bytes(epc_, 2u * epcWords_);
}

protocol::CommandFrame &TagSelection::mask(protocol::CommandFrame &frame) const {
    if (!byMask()) return frame;
    return frame.maskBlock(maskMem_, maskAddress_, maskLength_, maskData_);
}

}  // namespace tessaro::gen2
