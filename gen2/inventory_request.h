// The request of the two full inventories, Inventory_G2 (answered at once)
// and InventoryBuffer_G2 (tags kept in the reader's buffer): the same fields
// under different command codes.
#pragma once

#include <cstdint>

#include "protocol/frame.h"

namespace tessaro::gen2 {

// qValue, session, then the optional blocks in this order, each present only
// when its flag's low byte is 1 (2, 255 ... leave it out like 0):
//   mask block   maskMem, 2 bytes at maskAddress, maskLength, ceil(maskLength / 8) mask bytes
//   TID block    tidAddress, tidLength
//   target block target, antenna, scanTime
// The longest request (all blocks, 32 mask bytes) is 48 bytes: it always fits.
protocol::CommandFrame inventoryRequest(const unsigned char *address, std::uint8_t code, int qValue,
                                        int session, int maskMem, const unsigned char *maskAddress,
                                        int maskLength, const unsigned char *maskData, int maskFlag,
                                        int tidAddress, int tidLength, int tidFlag, int target,
                                        int antenna, int scanTime, int targetFlag);

}  // namespace tessaro::gen2
