#include "report_transfer.h"

#include <algorithm>
#include <cstring>

#include "Tessaro.h"  // SendDataToPort's declaration: its calling convention
#include "api_lock.h"
#include "process_state.h"
#include "transport.h"

namespace tessaro::link {

namespace {

bool isControlCode(std::uint8_t code) {
    switch (code) {
    case CTRL_ACK:
    case CTRL_POLL:
    case CTRL_SYNC:
    case CTRL_SPARE:
    case CTRL_CHANGE_TO_HID:
        return true;
    default:
        return false;
    }
}

// Builds the 64-byte output report for `length` bytes of `data`; false when
// they do not fit one report.
bool buildReport(const std::uint8_t *data, unsigned length, std::uint8_t (&report)[kReportSize]) {
    std::memset(report, 0, sizeof report);
    if (length >= 2 && data[0] == REPORT_ID_CONTROL && isControlCode(data[1])) {
        if (length > kReportSize) return false;
        std::memcpy(report, data, length);
        return true;
    }
    // A command frame never starts 03: the shortest frame has Len 4.
    if (length > kMaxFrameBytes) return false;
    report[0] = REPORT_ID_DATA;
    report[1] = static_cast<std::uint8_t>(length);
    if (length > 0) std::memcpy(report + 2, data, length);
    return true;
}

void *openDevice(int portIndex) {
    const PortSlot *slot = portSlot(portIndex);
    return slot && slot->handle == Handle::Open ? slot->device : nullptr;
}

}  // namespace

int sendReport(const std::uint8_t *data, unsigned length, int portIndex) {
    const PortSlot *slot = portSlot(portIndex);
    if (slot && slot->handle == Handle::Closed) return 0;
    if (!data && length > 0) return 0;
    std::uint8_t report[kReportSize];
    if (!buildReport(data, length, report)) return 0;
    void *device = openDevice(portIndex);
    if (!device) return 0;  // never opened: the write fails
    return writeReport(device, report) == static_cast<int>(kReportSize) ? 1 : 0;
}

bool sendControl(std::uint8_t code, int portIndex) {
    const std::uint8_t control[2] = {REPORT_ID_CONTROL, code};
    return sendReport(control, sizeof control, portIndex) == 1;
}

Cycle cycleReport(int portIndex, InputReport &report) {
    if (!sendControl(CTRL_POLL, portIndex)) return Cycle::PollFailed;
    std::memset(report.bytes, 0, sizeof report.bytes);
    void *device = openDevice(portIndex);
    const int got = device ? readReport(device, report.bytes) : -1;
    const bool received = got == static_cast<int>(kReportSize);
    sleepMs(received ? reportPauseMs() : kReportPauseMs);
    if (!received) return Cycle::ReadFailed;
    if (!sendControl(CTRL_ACK, portIndex)) return Cycle::AckFailed;
    if (report.count() > kMaxFrameBytes) return Cycle::Malformed;
    return Cycle::Received;
}

int readReportFromPort(std::uint8_t *destination, int &count, int portIndex) {
    InputReport report;
    const Cycle cycle = cycleReport(portIndex, report);
    if (cycle != Cycle::Received) {
        if (lostReport(cycle)) count = 0;
        // A poll that cannot be written (a reader unplugged) fails at once;
        // it still costs the report pause, so a streamed collector waits out
        // its bound instead of spinning through it.
        if (cycle == Cycle::PollFailed) sleepMs(kReportPauseMs);
        return ERR_COMM;
    }
    const std::uint8_t *bytes = report.frameBytes();
    const int n = report.count();
    // A report whose frame bytes are all zero counts as empty.
    if (std::any_of(bytes, bytes + n, [](std::uint8_t b) { return b != 0; })) {
        std::memcpy(destination, bytes, static_cast<std::size_t>(n));
        count = n;
    } else {
        count = 0;
    }
    return 0;
}

}  // namespace tessaro::link

using namespace tessaro;

TESSARO_API int SendDataToPort(unsigned char *data, unsigned int length, int portIndex) {
    const ApiLock lock;
    return link::sendReport(data, length, portIndex);
}
