// The Gen2 commands against arbitrary answers: the inventories and the
// read-out (streamed answers and their walks), the single-tag inventory and
// the memory, state and buffer commands, with every int argument taken whole
// from the head and every buffer sized as the interface documents.
#include "Tessaro.h"
#include "fuzz_reader.h"
#include "link/process_state.h"
#include "protocol/crc.h"

using namespace tessaro::fuzz;

namespace {

constexpr int kUnwritten = -0x5A5A;

// Once a stream command has handed over an EPC-ID list, every frame its walk
// read (those with a Status, up to the first whose Status carries no tags)
// ended with its own CRC: no damaged frame reaches the caller.
void checkWalkedFrames(const int *totalLength, bool (*carriesTags)(std::uint8_t)) {
    if (*totalLength == kUnwritten) return;
    const tessaro::ProcessState &state = tessaro::processState();
    const std::size_t length = static_cast<std::size_t>(state.responseLength);
    for (std::size_t at = 0; at < length;) {
        const std::uint8_t *frame = state.response + at;
        const std::size_t size = frame[0] + 1u;
        if (size > length - at) return;
        at += size;
        if (size < 6) continue;
        if (tessaro::protocol::crc16(frame, size) != 0) __builtin_trap();
        if (!carriesTags(frame[3])) return;
    }
}

bool inventoryTags(std::uint8_t status) { return status >= 1 && status <= 4; }
bool readOutTags(std::uint8_t status) { return status == 1 || status == 3; }

struct Gen2Args {
    explicit Gen2Args(const Head &h)
        : head(h),
          epc(heapBytes(2 * h.lowByte(0))),
          maskData(heapBytes((h.lowByte(1) + 7) / 8)),
          maskAddress(heapBytes(2)),
          password(heapBytes(4)),
          wordPointer(heapBytes(2)),
          words(heapBytes(2 * h.lowByte(3))) {}

    int epcWords() const { return head.arg(0); }
    int maskLength() const { return head.arg(1); }
    int bank() const { return head.arg(2); }
    int wordCount() const { return head.arg(3); }
    int flag(int shift) const { return head.arg(6) >> shift; }

    const Head &head;
    std::unique_ptr<unsigned char[]> epc, maskData, maskAddress, password, wordPointer, words;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Head head;
    const int port = openFuzzReader(data, size, head);
    if (port < 0) return 0;
    const Gen2Args a(head);
    const auto address = heapBytes(1, 0x00);
    const auto errorCode = heapValue<int>();
    const auto count = heapValue<int>();
    const auto length = heapValue<int>();
    *length = kUnwritten;
    const auto byte = heapBytes(1);

    switch (head.selector() % 18) {
    case 0: {
        const auto list = heapBytes(EPC_LIST_MAX_BYTES);
        Inventory_G2(address.get(), head.arg(4), head.arg(5), a.bank(), a.maskAddress.get(),
                     a.maskLength(), a.maskData.get(), a.flag(0), head.arg(7), head.arg(7) >> 8,
                     a.flag(8), head.arg(4) >> 8, head.arg(5) >> 8, head.arg(7) >> 16, a.flag(16),
                     list.get(), byte.get(), length.get(), count.get(), port);
        checkWalkedFrames(length.get(), inventoryTags);
        break;
    }
    case 1: {
        const auto list = heapBytes(EPC_LIST_MAX_BYTES);
        Fast_EPC_Inventory_G2(address.get(), head.arg(4), head.arg(5), head.arg(6), head.arg(7),
                              byte.get(), list.get(), length.get(), count.get(), port);
        checkWalkedFrames(length.get(), inventoryTags);
        break;
    }
    case 2: {
        const auto epc = heapBytes(249);
        SingleTagInventory_G2(address.get(), epc.get(), nullptr, count.get(), port);
        break;
    }
    case 3: {
        const auto out = heapBytes(2 * head.lowByte(3));
        ReadData_G2(address.get(), a.epc.get(), a.epcWords(), a.bank(), head.arg(4), a.wordCount(),
                    a.password.get(), head.arg(5), a.maskAddress.get(), a.maskLength(),
                    a.maskData.get(), out.get(), errorCode.get(), port);
        break;
    }
    case 4: {
        const auto out = heapBytes(2 * head.lowByte(3));
        ExtReadData_G2(address.get(), a.epc.get(), a.epcWords(), a.bank(), a.wordPointer.get(),
                       a.wordCount(), a.password.get(), head.arg(5), a.maskAddress.get(),
                       a.maskLength(), a.maskData.get(), out.get(), errorCode.get(), port);
        break;
    }
    case 5:
        WriteData_G2(address.get(), a.epc.get(), a.wordCount(), a.epcWords(), a.bank(), head.arg(4),
                     a.words.get(), a.password.get(), head.arg(5), a.maskAddress.get(),
                     a.maskLength(), a.maskData.get(), errorCode.get(), port);
        break;
    case 6:
        BlockErase_G2(address.get(), a.epc.get(), a.epcWords(), a.bank(), head.arg(4), a.wordCount(),
                      a.password.get(), head.arg(5), a.maskAddress.get(), a.maskLength(),
                      a.maskData.get(), errorCode.get(), port);
        break;
    case 7:
        BlockWrite_G2(address.get(), a.epc.get(), a.wordCount(), a.epcWords(), a.bank(), head.arg(4),
                      a.words.get(), a.password.get(), head.arg(5), a.maskAddress.get(),
                      a.maskLength(), a.maskData.get(), errorCode.get(), port);
        break;
    case 8:
        ExtWriteData_G2(address.get(), a.epc.get(), a.wordCount(), a.epcWords(), a.bank(),
                        a.wordPointer.get(), a.words.get(), a.password.get(), head.arg(5),
                        a.maskAddress.get(), a.maskLength(), a.maskData.get(), errorCode.get(),
                        port);
        break;
    case 9:
        WriteEPC_G2(address.get(), a.password.get(), a.epc.get(), a.epcWords(), errorCode.get(), port);
        break;
    case 10:
        KillTag_G2(address.get(), a.epc.get(), a.epcWords(), a.password.get(), head.arg(5),
                   a.maskAddress.get(), a.maskLength(), a.maskData.get(), errorCode.get(), port);
        break;
    case 11:
        Lock_G2(address.get(), a.epc.get(), a.epcWords(), head.arg(4), head.arg(7),
                a.password.get(), head.arg(5), a.maskAddress.get(), a.maskLength(),
                a.maskData.get(), errorCode.get(), port);
        break;
    case 12: CheckPrivacy_G2(address.get(), byte.get(), errorCode.get(), port); break;
    case 13: EASAlarm_G2(address.get(), errorCode.get(), port); break;
    case 14:
        GetMonza4QTWorkParamter_G2(address.get(), a.epc.get(), a.epcWords(), a.password.get(),
                                   head.arg(5), a.maskAddress.get(), a.maskLength(),
                                   a.maskData.get(), byte.get(), errorCode.get(), port);
        break;
    case 15:
        InventoryBuffer_G2(address.get(), head.arg(4), head.arg(5), a.bank(), a.maskAddress.get(),
                           a.maskLength(), a.maskData.get(), a.flag(0), head.arg(7),
                           head.arg(7) >> 8, a.flag(8), head.arg(4) >> 8, head.arg(5) >> 8,
                           head.arg(7) >> 16, a.flag(16), length.get(), count.get(), port);
        break;
    case 16: {
        const auto list = heapBytes(EPC_LIST_MAX_BYTES);
        ReadBuffer_G2(address.get(), length.get(), count.get(), list.get(), port);
        checkWalkedFrames(length.get(), readOutTags);
        break;
    }
    default: GetBufferCnt_G2(address.get(), count.get(), port); break;
    }
    return 0;
}
