// The collectors: GetDataFromPort gathers one CRC-ended answer; the three
// streamed collectors gather inventory streams, buffer read-outs and
// length-ended answers. Each input report costs a poll, a read, a 50 ms pause
// and an acknowledgement; each collector ends on its own rule or time bound.
//
// Everything the reader sends is untrusted: every append is bounded by the
// buffer it goes into, and every frame walk moves forward by at least one
// byte, so a hostile stream ends in ERR_COMM, never in an overrun or a hang.
// A streamed answer is judged frame by frame as its frames complete: one that
// fails its own CRC ends the collection at once with ERR_CRC, since nothing
// that follows can mend the answer.
#include "collectors.h"

#include <cstring>

#include "Tessaro.h"
#include "api_lock.h"
#include "process_state.h"
#include "protocol/crc.h"
#include "report_transfer.h"
#include "transport.h"

namespace tessaro::link {

namespace {

// Frames shorter than Len, Adr, reCmd, Status and the CRC carry no status.
constexpr std::size_t kShortestAnswer = 6;

// Room for one incomplete frame (at most 256 bytes) and one report.
constexpr std::size_t kPendingAreaSize = 600;

bool isClosed(int portIndex) {
    const PortSlot *slot = portSlot(portIndex);
    return slot && slot->handle == Handle::Closed;
}

// T: the reader's scan time while an inventory is in progress, else 1000 ms.
unsigned periodMs() {
    const ProcessState &state = processState();
    return state.inventoryInProgress ? 100u * state.scanTimeUnits : kDefaultPeriodMs;
}

// A complete frame long enough to carry a Status that does not end with its
// own CRC: the stream is damaged or out of step (a report lost or repeated).
// Shorter frames carry nothing and are stepped over as before.
bool damaged(const std::uint8_t *frame, std::size_t size) {
    return size >= kShortestAnswer && protocol::crc16(frame, size) != 0;
}

bool endsInventory(std::uint8_t status) {
    switch (status) {
    case 0x01: case 0x02: case 0xF8: case 0xF9: case 0xFB: case 0xFD: case 0xFE: case 0xFF:
        return true;
    default:
        return false;
    }
}

// Appends `n` bytes to `buffer` holding `length` of `capacity`; false when
// they do not fit.
bool append(std::uint8_t *buffer, std::size_t &length, std::size_t capacity,
            const std::uint8_t *bytes, std::size_t n) {
    if (n > capacity - length) return false;
    std::memcpy(buffer + length, bytes, n);
    length += n;
    return true;
}

}  // namespace

}  // namespace tessaro::link

using namespace tessaro;
using namespace tessaro::link;

TESSARO_API int GetDataFromPort(unsigned char *response, int *responseLength, int portIndex) {
    const ApiLock lock;
    if (isClosed(portIndex)) return ERR_PORT_CLOSED;

    std::uint8_t *gathered = processState().receive;
    std::size_t count = 0;
    std::uint16_t residue = protocol::kCrcInitial;
    const Stopwatch clock;
    for (;;) {
        InputReport report;
        const Cycle cycle = cycleReport(portIndex, report);
        if (cycle != Cycle::Received) {
            if (lostReport(cycle)) response[0] = 0;  // a report that does not come ends the exchange
            return ERR_COMM;
        }
        const std::size_t before = count;
        if (!append(gathered, count, kResponseBufferSize, report.frameBytes(), report.count()))
            return ERR_COMM;  // longer than any answer can be
        residue = protocol::crc16(gathered + before, count - before, residue);
        // A zero residue: the bytes end with a valid CRC over everything before it.
        if (residue == 0) {
            std::memcpy(response, gathered, count);
            noteWritten(response, count);
            *responseLength = static_cast<int>(count);
            return 0;
        }
        // The caller's length variable still holds the previous answer's
        // length; a non-zero value buys this collection its full limit.
        const unsigned elapsed = clock.elapsedMs();
        if ((elapsed > kResponseIdleMs && *responseLength == 0) || elapsed > kResponseLimitMs)
            return ERR_COMM;
    }
}

TESSARO_API int GetInventoryDataFromPort1(unsigned char *response, int *responseLength,
                                          int portIndex) {
    const ApiLock lock;
    const unsigned limitMs = 2 * periodMs() + kInventoryExtraMs;
    *responseLength = 0;
    if (isClosed(portIndex)) return ERR_PORT_CLOSED;

    ProcessState &state = processState();
    state.responseLength = 0;
    std::size_t streamLength = 0;
    std::uint8_t pending[kPendingAreaSize];
    std::size_t pendingLength = 0;
    const Stopwatch clock;
    for (;;) {
        std::uint8_t bytes[kMaxFrameBytes];
        int n = 0;
        if (readReportFromPort(bytes, n, portIndex) == 0 && n > 0) {
            const auto size = static_cast<std::size_t>(n);
            if (!append(state.response, streamLength, kResponseBufferSize, bytes, size) ||
                !append(pending, pendingLength, kPendingAreaSize, bytes, size))
                return ERR_COMM;  // the stream outgrows the response buffer
            noteWritten(state.response, streamLength);
            state.responseLength = static_cast<int>(streamLength);

            // The stream ends when the pending bytes are exactly one intact
            // frame with an end status; any other complete frame is dropped.
            while (pendingLength > 0) {
                const std::size_t frameSize = pending[0] + 1u;
                if (pendingLength < frameSize) break;
                if (damaged(pending, frameSize)) return ERR_CRC;
                if (frameSize >= kShortestAnswer && endsInventory(pending[3]) &&
                    protocol::crc16(pending, pendingLength) == 0) {
                    std::memmove(response, state.response, streamLength);
                    *responseLength = static_cast<int>(streamLength);
                    return 0;
                }
                pendingLength -= frameSize;
                std::memmove(pending, pending + frameSize, pendingLength);
            }
        }
        const unsigned elapsed = clock.elapsedMs();
        if ((elapsed > kStreamIdleMs && streamLength == 0) || elapsed > limitMs) return ERR_COMM;
    }
}

TESSARO_API int GetBufferDataFromPort(unsigned char *response, int *responseLength, int portIndex) {
    const ApiLock lock;
    *responseLength = 0;
    if (isClosed(portIndex)) return ERR_PORT_CLOSED;

    std::uint8_t *stream = processState().response;
    std::size_t count = 0;
    // Start of the first frame not yet complete. The frames before it were
    // checked when they completed and did not end the read-out; more bytes
    // cannot change that, so each walk goes on from here.
    std::size_t walked = 0;
    const Stopwatch clock;
    for (;;) {
        std::uint8_t bytes[kMaxFrameBytes];
        int n = 0;
        if (readReportFromPort(bytes, n, portIndex) == 0) {
            // The stream lives in the response buffer; its 6000 bytes are the
            // bound (tighter than the reader's own 20000).
            if (!append(stream, count, kResponseBufferSize, bytes, static_cast<std::size_t>(n)))
                return ERR_COMM;
            noteWritten(stream, count);
            *responseLength = static_cast<int>(count);
            // Walk the frames: the read-out is complete when a status-1
            // frame ends exactly at the end of the bytes.
            while (walked < count) {
                const std::size_t frameSize = stream[walked] + 1u;
                if (count - walked < frameSize) break;
                if (damaged(stream + walked, frameSize)) return ERR_CRC;
                if (frameSize >= kShortestAnswer && stream[walked + 3] == 0x01 &&
                    walked + frameSize == count) {
                    std::memmove(response, stream, count);
                    return 0;
                }
                walked += frameSize;
            }
        }
        const unsigned elapsed = clock.elapsedMs();
        if (elapsed > kStreamIdleMs && count == 0) return ERR_COMM;
        sleepMs(0);  // yield between reports
        if (elapsed > kBufferStreamLimitMs) return ERR_COMM;
    }
}

TESSARO_API int GetDataFromPort_buff(unsigned char *response, int *responseLength, int portIndex) {
    const ApiLock lock;
    const unsigned limitMs = periodMs() + kLengthEndedExtraMs;
    *responseLength = 0;
    if (isClosed(portIndex)) return ERR_PORT_CLOSED;

    std::size_t count = 0;
    const Stopwatch clock;
    for (;;) {
        std::uint8_t bytes[kMaxFrameBytes];
        int n = 0;
        if (readReportFromPort(bytes, n, portIndex) == 0 && n > 0) {
            if (!append(response, count, kResponseBufferSize, bytes, static_cast<std::size_t>(n)))
                return ERR_COMM;
            noteWritten(response, count);
            *responseLength = static_cast<int>(count);
            // The answer is recognised by its Len byte alone; no CRC here.
            if (response[0] > 3 && count == response[0] + 1u) return 0;
        }
        if (clock.elapsedMs() > limitMs) return ERR_COMM;
    }
}
