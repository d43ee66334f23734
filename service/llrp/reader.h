// What the LLRP server needs of the reader behind it, and nothing more: who
// it is, an inventory started and stopped with the settings of an AISpec,
// its tag reads and state changes as they happen, and one tag command at a
// time for the OpSpecs of an AccessSpec. The server's logic sees only this,
// so the session can be driven by a fake reader and the reading can come from
// whichever layer owns it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessaro::llrp {

// The reader as capabilities and configuration describe it.
struct ReaderFacts {
    std::string model;            // e.g. "reader type 0x0F"
    unsigned modelNumber = 0;     // the reader type byte
    std::string firmware;         // e.g. "3.2"
    std::string serial;           // 8 hex digits, or empty
    unsigned antennas = 4;        // antennas 1 to `antennas`
    int minPowerDbm = 0;          // the range SetRfPower takes
    int maxPowerDbm = 30;
    int powerDbm = 30;            // as set now
    unsigned antennaMask = 0x0F;  // enabled now: bit k = antenna k + 1
    int region = 0;               // region code, 0 when unknown
    std::vector<std::uint32_t> channelsKHz;  // the channels the region plan and range give
};

// One inventory's settings, from an AISpec and its InventoryParameterSpec.
struct InventoryPlan {
    unsigned antennaMask = 0x0F;  // bit k = antenna k + 1
    int session = 0;              // Gen2 session 0 to 3
    int powerDbm = -1;            // -1: leave the reader's power as it is
    bool mask = false;            // select only tags matching the mask
    int maskBank = 1;             // 0 reserved, 1 EPC, 2 TID, 3 user
    unsigned maskPointer = 0;     // bit address in the bank
    unsigned maskBits = 0;        // 0 to 255
    std::uint8_t maskData[32] = {};
};

// A tag read as it happened.
struct TagSighting {
    std::vector<std::uint8_t> epc;
    int antenna = 1;                // 1 to 4
    int rssi = 0;                   // dBm
    std::uint64_t uptimeUs = 0;     // the reader side's monotonic clock
    std::uint64_t utcUs = 0;        // microseconds since 1970-01-01 UTC
};

enum class ReaderEvent { Lost, Back };

// A Gen2 tag command for one OpSpec, on the tag with `epc`.
struct TagCommand {
    enum Kind { Read, Write, BlockWrite, BlockErase, Lock, Kill } kind = Read;
    std::vector<std::uint8_t> epc;
    std::uint32_t password = 0;     // access password (kill password for Kill)
    int bank = 0;
    unsigned wordPointer = 0;
    unsigned wordCount = 0;         // Read (0: to the end of the bank), BlockErase
    std::vector<std::uint16_t> words;  // Write, BlockWrite
    int lockTarget = 0;             // Lock: 0 kill pwd, 1 access pwd, 2 EPC, 3 TID, 4 user
    int lockAction = 0;             // Lock: 0 unlocked, 1 perma-unlocked, 2 locked, 3 perma-locked
};

// How a tag command ended, in the reader's terms.
struct TagCommandResult {
    enum Outcome { Done, NoTag, TagError, ReaderError } outcome = ReaderError;
    int tagError = -1;              // with TagError: the tag's error byte
    std::vector<std::uint16_t> words;  // Read: the words read
    unsigned wordsWritten = 0;
};

class ReaderLink {
public:
    using TagHandler = std::function<void(const TagSighting &)>;
    using EventHandler = std::function<void(ReaderEvent, const std::string &text)>;

    virtual ~ReaderLink() = default;
    // Called on whatever thread the reading runs on; set before start().
    virtual void setHandlers(TagHandler onTag, EventHandler onEvent) = 0;
    virtual ReaderFacts facts() = 0;
    // Starts reading with `plan` (stopping a reading that runs). False and
    // `error` when the reader refused the settings.
    virtual bool start(const InventoryPlan &plan, std::string &error) = 0;
    // Stops the reading; no tag handler runs once it returned.
    virtual void stop() = 0;
    virtual TagCommandResult command(const TagCommand &command) = 0;
    // The reader's power for every antenna, in dBm.
    virtual bool setPower(int dbm) = 0;
};

}  // namespace tessaro::llrp
