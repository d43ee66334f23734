// The four collectors fed arbitrary input reports, with the inventory flag
// and the scan time (the time bounds) taken from the head.
#include "Tessaro.h"
#include "fuzz_reader.h"
#include "link/process_state.h"

using namespace tessaro;
using namespace tessaro::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Head head;
    const int port = openFuzzReader(data, size, head);
    if (port < 0) return 0;
    ProcessState &state = processState();
    state.inventoryInProgress = head.arg(0) & 1;
    state.scanTimeUnits = static_cast<std::uint8_t>(head.lowByte(1));

    const auto response = heapBytes(RESPONSE_BUFFER_SIZE);
    const auto length = heapValue<int>();
    *length = head.arg(2);  // GetDataFromPort reads the caller's last length
    int result = 0;
    switch (head.selector() % 4) {
    case 0: result = GetDataFromPort(response.get(), length.get(), port); break;
    case 1: result = GetInventoryDataFromPort1(response.get(), length.get(), port); break;
    case 2: result = GetBufferDataFromPort(response.get(), length.get(), port); break;
    default: result = GetDataFromPort_buff(response.get(), length.get(), port); break;
    }
    // A collected answer's length is what the response buffer holds.
    if (result == 0 && (*length <= 0 || *length > RESPONSE_BUFFER_SIZE)) __builtin_trap();
    return 0;
}
