// The library's whole process-wide state in one place: the port table, the
// command and response buffers, the response length, the inventory flag and
// the scan time. resetProcessState() returns all of it to its load state.
#pragma once

#include <cstddef>
#include <cstdint>

#include "TessaroTypes.h"

namespace tessaro {

constexpr std::size_t kReportSize = REPORT_SIZE;
constexpr std::size_t kMaxFrameBytes = REPORT_MAX_FRAME_BYTES;  // frame bytes one report carries
constexpr std::size_t kResponseBufferSize = RESPONSE_BUFFER_SIZE;
constexpr std::size_t kCommandBufferSize = kMaxFrameBytes;
constexpr int kMaxPorts = MAX_PORTS;

// A slot's handle is empty at load, open once a reader was stored in it, and
// closed once CloseUSBPort gave it back. Transfers refuse a closed slot
// (ERR_PORT_CLOSED) but simply fail on an empty one (ERR_COMM).
enum class Handle : std::uint8_t { Empty, Open, Closed };

struct PortSlot {
    bool inUse;       // handed out by OpenUSBPort and not given back
    Handle handle;
    void *device;     // the transport's device while handle == Open
    // The interface path the reader was opened from, so that TessaroReopenPort
    // finds the same reader again; empty when the path did not fit.
    char path[256];
};

struct ProcessState {
    PortSlot ports[kMaxPorts];
    std::uint8_t command[kCommandBufferSize];
    std::uint8_t response[kResponseBufferSize];
    int responseLength;
    int inventoryInProgress;  // stretches the streamed collectors' time bounds
    std::uint8_t scanTimeUnits;  // reader's scan time in 100 ms, from GetReaderInformation
    // Where GetDataFromPort gathers an answer before handing it over.
    std::uint8_t receive[kResponseBufferSize];
    // Bytes of `response` from this offset on are all zero: clearing the
    // buffer need not go further.
    std::size_t responseWritten;
};

ProcessState &processState();

// Back to the load state. Does not close handles: the caller does that first.
void resetProcessState();

// Every write into a buffer that may be the response buffer reports how far
// it reached, so that clearResponse() knows what can be non-zero.
void noteWritten(const std::uint8_t *buffer, std::size_t end);

// Zeroes the first `limit` bytes of the response buffer (as if all of them
// were cleared), touching only those that can have been written.
void clearResponse(std::size_t limit);

// The slot of a port index, or nullptr for an index outside the table. An index
// outside the table behaves like a never-opened one.
PortSlot *portSlot(int portIndex);

}  // namespace tessaro
