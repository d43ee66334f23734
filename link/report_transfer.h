// Moving 64-byte reports: data reports carrying a command frame, control
// reports carrying one control code, and the poll / read / acknowledge cycle
// that brings in each input report.
#pragma once

#include <cstdint>

namespace tessaro::link {

// SendDataToPort: 1 when the whole report went out, 0 otherwise.
int sendReport(const std::uint8_t *data, unsigned length, int portIndex);

// Sends the control report 03 `code`.
bool sendControl(std::uint8_t code, int portIndex);

enum class Cycle {
    Received,    // a report came in and was acknowledged
    PollFailed,  // the poll could not be written
    ReadFailed,  // no complete report within the read wait
    AckFailed,   // the acknowledgement could not be written
    Malformed,   // the report claims more frame bytes than a report carries
};

// The report itself was lost (not read in full, or corrupt), as opposed to
// a poll or acknowledgement that did not go out.
inline bool lostReport(Cycle cycle) { return cycle == Cycle::ReadFailed || cycle == Cycle::Malformed; }

struct InputReport {
    std::uint8_t bytes[64];
    std::uint8_t count() const { return bytes[1]; }
    const std::uint8_t *frameBytes() const { return bytes + 2; }
};

// The pause after a report that came in: kReportPauseMs unless the
// application set another (TessaroSetReportPause).
unsigned reportPauseMs();

// One poll, read (100 ms wait), pause and acknowledgement. The pause is
// reportPauseMs() after a report that came in, kReportPauseMs after a read
// that failed.
Cycle cycleReport(int portIndex, InputReport &report);

// ReadReportFromPort: 0 with `count` frame bytes copied to `destination`
// (count 0 for an empty report or one whose bytes are all zero), ERR_COMM
// otherwise. `destination` must hold 62 bytes.
int readReportFromPort(std::uint8_t *destination, int &count, int portIndex);

}  // namespace tessaro::link
