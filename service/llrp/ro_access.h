// ROSpecs, AccessSpecs and ROReportSpecs as the server runs them: read from
// their parameters and checked against what this reader can do. One the
// reader cannot run is refused with the status that names the parameter and
// field at fault (A_OutOfRange, A_Invalid, P_UnsupportedParameter ...), never
// run half-way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec.h"
#include "reader.h"

namespace tessaro::llrp {

// What the reader offers, as capabilities announce it and ROSpecs are checked against.
struct Limits {
    unsigned antennas = 4;
    int minPowerDbm = 0;
    int maxPowerDbm = 30;
    unsigned powerLevels() const { return static_cast<unsigned>(maxPowerDbm - minPowerDbm + 1); }
    // Power table index (1-based) <-> dBm.
    int dbmOf(unsigned index) const { return minPowerDbm + static_cast<int>(index) - 1; }
    unsigned indexOf(int dbm) const { return static_cast<unsigned>(dbm - minPowerDbm + 1); }
};

constexpr unsigned kMaxROSpecs = 8;
constexpr unsigned kMaxSpecsPerROSpec = 8;
constexpr unsigned kMaxAccessSpecs = 8;
constexpr unsigned kMaxOpSpecsPerAccessSpec = 8;
constexpr std::uint32_t kModeIdentifier = 0;  // the one entry of the UHF C1G2 RF mode table
constexpr std::uint32_t kMinTariNs = 6250, kMaxTariNs = 25000;

struct ReportSpec {
    int trigger = 2;  // 0 none (GET_REPORT only), 1 N tags or end of AISpec, 2 N tags or end of ROSpec
    unsigned n = 0;   // 0: no limit
    bool roSpecId = true, specIndex = false, inventoryParameterSpecId = false, antennaId = true,
         channelIndex = false, peakRssi = true, firstSeen = true, lastSeen = false, tagSeenCount = true,
         accessSpecId = true, crc = false, pc = false;
    Element element() const;  // as GET_READER_CONFIG and GET_ROSPECS give it back
};

struct AiSpec {
    InventoryPlan plan;
    int stopType = 0;              // 0 null, 1 duration, 3 tag observation
    std::uint32_t durationMs = 0;
    int observationType = 0;       // 0: N tags, 1: no new tag within T
    unsigned numberOfTags = 0;
    unsigned quietMs = 0;          // T
    std::uint32_t timeoutMs = 0;   // 0: none
    std::uint16_t inventoryParameterSpecId = 0;
    bool commandGiven = false;     // false: the C1G2InventoryCommand of the reader's configuration applies
};

struct RoSpec {
    std::uint32_t id = 0;
    int state = 0;                 // 0 disabled, 1 inactive, 2 active
    int startType = 0;             // 0 null, 1 immediate, 2 periodic
    std::uint64_t offsetMs = 0, periodMs = 0;
    std::int64_t firstStartUtcUs = -1;  // periodic with a UTC start
    int stopType = 0;              // 0 null, 1 duration
    std::uint32_t durationMs = 0;
    std::vector<AiSpec> aiSpecs;
    bool ownReport = false;        // false: the reader's ROReportSpec applies
    ReportSpec report;
    Element element;               // as added, for GET_ROSPECS
    bool armed = false;            // periodic: a start is due at nextStartMs
    std::uint64_t nextStartMs = 0;
};

struct TargetTag {
    int bank = 1;
    bool match = true;
    unsigned pointer = 0;
    unsigned bits = 0;
    std::vector<std::uint8_t> mask, data;
};

struct OpSpec {
    std::uint16_t id = 0;
    TagCommand command;            // epc filled in when it runs
    std::vector<TagCommand> locks; // Lock: one command per payload
};

struct AccessSpec {
    std::uint32_t id = 0;
    unsigned antenna = 0;          // 0: any
    std::uint32_t roSpecId = 0;    // 0: any
    bool active = false;
    unsigned operationCount = 0;   // 0: no stop trigger
    unsigned executed = 0;
    std::vector<TargetTag> targets;
    std::vector<OpSpec> opSpecs;
    int reportTrigger = -1;        // -1: the reader's AccessReportSpec; 0 with RO reports, 1 end of AccessSpec
    Element element;

    // Whether a tag with `epc` matches the TagSpec (EPC memory: CRC, PC, EPC).
    bool matches(const std::vector<std::uint8_t> &epc) const;
};

// The ROSpec parameter `e` (inside a message, path 177 ...) as a runnable ROSpec.
bool readROSpec(const Element &e, const Limits &limits, const ReportSpec &defaults, RoSpec &out, Fault &fault);
bool readAccessSpec(const Element &e, const Limits &limits, AccessSpec &out, Fault &fault);
// An ROReportSpec; `path` leads to it (empty inside SET_READER_CONFIG).
bool readReportSpec(const Element &e, std::vector<std::uint16_t> path, ReportSpec &out, Fault &fault);
// An inventory command's settings onto `plan` (C1G2InventoryCommand).
bool readInventoryCommand(const Element &e, std::vector<std::uint16_t> path, InventoryPlan &plan, Fault &fault);

// The PC word and CRC-16 a Gen2 tag backscatters before an EPC of this length.
std::uint16_t pcWord(std::size_t epcBytes);
std::uint16_t gen2Crc(std::uint16_t pc, const std::vector<std::uint8_t> &epc);

}  // namespace tessaro::llrp
