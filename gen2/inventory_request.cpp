#include "inventory_request.h"

namespace tessaro::gen2 {

namespace {

bool present(int flag) { return static_cast<std::uint8_t>(flag) == 1; }

}  // namespace

protocol::CommandFrame inventoryRequest(const unsigned char *address, std::uint8_t code, int qValue,
                                        int session, int maskMem, const unsigned char *maskAddress,
                                        int maskLength, const unsigned char *maskData, int maskFlag,
                                        int tidAddress, int tidLength, int tidFlag, int target,
                                        int antenna, int scanTime, int targetFlag) {
    protocol::CommandFrame frame(address, code);
    frame.byte(qValue).byte(session);
    if (present(maskFlag)) frame.maskBlock(maskMem, maskAddress, maskLength, maskData);
    if (present(tidFlag)) frame.byte(tidAddress).byte(tidLength);
    if (present(targetFlag)) frame.byte(target).byte(antenna).byte(scanTime);
    return frame;
}

}  // namespace tessaro::gen2
