// Gen2 inventories: the full inventory and the fast EPC inventory, answered
// by a stream of frames that is joined into one EPC-ID list, and the
// single-tag inventory, answered by one frame.
#include "Tessaro.h"
#include "inventory_request.h"
#include "link/api_lock.h"
#include "protocol/exchange.h"
#include "tag_frames.h"

using namespace tessaro;
using namespace tessaro::gen2;
using namespace tessaro::protocol;

namespace {

// Sends the request, collects the stream and walks it. *tagCount is 0 once
// a collection has run, whatever it gave; the other outputs are written only
// after a complete stream.
int inventory(const CommandFrame &request, bool syncFirst, unsigned char *epcList,
              unsigned char *antenna, int *totalLength, int *tagCount, int portIndex) {
    bool collected = false;
    const int result =
        exchange(request, portIndex, {Collect::InventoryStream, syncFirst, &collected});
    if (collected) *tagCount = 0;
    if (result != 0) return result;
    return walkTagFrames(kInventoryFrames, epcList, antenna, totalLength, tagCount);
}

}  // namespace

TESSARO_API int Inventory_G2(unsigned char *address, int qValue, int session, int maskMem,
                             const unsigned char *maskAddress, int maskLength,
                             const unsigned char *maskData, int maskFlag, int tidAddress,
                             int tidLength, int tidFlag, int target, int antenna, int scanTime,
                             int targetFlag, unsigned char *epcList, unsigned char *antennaOut,
                             int *totalLength, int *tagCount, int portIndex) {
    const ApiLock lock;
    return inventory(inventoryRequest(address, 0x01, qValue, session, maskMem, maskAddress,
                                      maskLength, maskData, maskFlag, tidAddress, tidLength,
                                      tidFlag, target, antenna, scanTime, targetFlag),
                     /*syncFirst=*/true, epcList, antennaOut, totalLength, tagCount, portIndex);
}

TESSARO_API int Fast_EPC_Inventory_G2(unsigned char *address, int qValue, int session, int target,
                                      int scanTime, unsigned char *antenna, unsigned char *epcList,
                                      int *totalLength, int *tagCount, int portIndex) {
    const ApiLock lock;
    // scanTime comes before antenna among the parameters, after it in the frame.
    CommandFrame request(address, 0x00);
    request.byte(qValue).byte(session).byte(target).byte(*antenna).byte(scanTime);
    return inventory(request, /*syncFirst=*/false, epcList, antenna, totalLength, tagCount,
                     portIndex);
}

TESSARO_API int SingleTagInventory_G2(unsigned char *address, unsigned char *epc, void *reserved,
                                      int *leadingByte, int portIndex) {
    const ApiLock lock;
    static_cast<void>(reserved);  // kept for existing applications, never read
    const int result = transact(CommandFrame(address, 0x0F), portIndex);
    if (result != 0) return result;
    // Len | Adr | reCmd | 1 | leading byte | EPC ... | CRC
    const Answer answer;
    if (answer.status() != 1) return answer.status();
    // Status 1 promises a tag; an answer without even its leading byte is incomplete.
    const std::size_t carried = answer.carriedDataLength();
    if (carried == 0) return ERR_COMM;
    *address = answer.adr();
    *leadingByte = answer.data(0);
    answer.copyData(1, epc, carried - 1);
    return 1;
}
