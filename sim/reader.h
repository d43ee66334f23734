// One simulated reader: its settings, its field of tags, its tag buffer and
// its end of the report protocol. A command frame that arrives in a data
// report is checked (length, CRC, address), handed to the handler of its
// command code, and the answer is queued as input reports.
#pragma once

#include <cstdint>
#include <vector>

#include "TessaroSim.h"
#include "clock.h"
#include "faults.h"
#include "field.h"
#include "report_port.h"

namespace tessaro::sim {

// One tag in the reader's tag buffer.
struct BufferedTag {
    Bytes epc;
    Bytes tid;
    int rssi;
    int antenna;
};

class Reader {
public:
    explicit Reader(const SimClock &clock);

    TessaroSimReaderState state;
    std::vector<FieldTag> tags;
    std::vector<BufferedTag> buffer;
    ReportPort port;
    Faults faults;
    TessaroSimCounters counters{};
    bool plugged = true;
    unsigned generation = 0;  // handles of an earlier plug-in stay dead

    const SimClock &clock() const { return clock_; }

    // The frame bytes of a data report.
    void receiveData(const std::uint8_t *bytes, std::size_t count);
    // A control report's code.
    void receiveControl(std::uint8_t code);

    // The antennas and RF power of a command; `antennaByte` 0x80 + k picks
    // antenna k + 1 alone, any other value the reader's antenna setting.
    Air air(std::uint8_t antennaByte = 0) const;

    // The real-time clock, running with the simulation.
    void readClock(unsigned char clock[6]) const;
    void setClock(const unsigned char clock[6]);

private:
    void answer(std::uint8_t code, Cursor &data);

    const SimClock &clock_;
    std::uint64_t clockBaseSeconds_;
    std::uint64_t clockBaseMs_;
};

}  // namespace tessaro::sim
