// The 6B commands against arbitrary answers, every buffer sized as the
// interface documents (tagData of InventoryMultiple_6B: 248 bytes; the data
// of ReadData_6B: the low byte of readLength).
#include "Tessaro.h"
#include "fuzz_reader.h"

using namespace tessaro::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Head head;
    const int port = openFuzzReader(data, size, head);
    if (port < 0) return 0;
    const auto address = heapBytes(1, 0x00);
    const auto tagId = heapBytes(8);
    const auto errorCode = heapValue<int>();
    const auto byte = heapBytes(1);

    switch (head.selector() % 6) {
    case 0: {
        const auto tagData = heapBytes(10);
        InventorySingle_6B(address.get(), byte.get(), tagData.get(), port);
        break;
    }
    case 1: {
        const auto wordData = heapBytes(8);
        const auto tagData = heapBytes(248);
        const auto count = heapValue<int>();
        InventoryMultiple_6B(address.get(), head.arg(0), head.arg(1), head.arg(2), wordData.get(),
                             byte.get(), tagData.get(), count.get(), port);
        break;
    }
    case 2: {
        const auto out = heapBytes(head.lowByte(1));
        ReadData_6B(address.get(), tagId.get(), head.arg(0), head.arg(1), out.get(),
                    errorCode.get(), port);
        break;
    }
    case 3: {
        // writeLength outside 0 to 48 is refused before anything is read.
        const int writeLength = head.arg(1);
        const auto in = heapBytes(writeLength >= 0 && writeLength <= 48 ? writeLength : 0);
        WriteData_6B(address.get(), tagId.get(), head.arg(0), in.get(), writeLength, byte.get(),
                     errorCode.get(), port);
        break;
    }
    case 4: Lock_6B(address.get(), tagId.get(), head.arg(0), errorCode.get(), port); break;
    default:
        CheckLock_6B(address.get(), tagId.get(), head.arg(0), byte.get(), errorCode.get(), port);
        break;
    }
    return 0;
}
