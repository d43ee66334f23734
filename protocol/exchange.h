// The common exchange of a reader command, and the rules by which a command
// accepts the answer.
//
// A command function states its row of the command table and nothing else:
//
//     return command(CommandFrame(address, 0x2F).byte(power), portIndex,
//                    Rule::StatusGated, address);
//
//     return command(CommandFrame(address, 0x31), portIndex, Rule::NoWriteBack, address,
//                    [&](const Answer &answer) { *revDelay = answer.data(0); });
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "TessaroTypes.h"
#include "frame.h"

namespace tessaro::protocol {

// The answer of the last exchange, read from the response buffer:
// Len | Adr | reCmd | Status | data ... | CRC. Reads never leave the response
// buffer; past the collected answer they see its CRC bytes, then zeros (the
// buffer is cleared before every exchange).
class Answer {
public:
    std::uint8_t len() const { return at(0); }
    std::uint8_t adr() const { return at(1); }
    std::uint8_t reCmd() const { return at(2); }
    std::uint8_t status() const { return at(3); }
    // Answer data byte k (frame byte 4 + k).
    std::uint8_t data(std::size_t k) const { return at(4 + k); }
    // Copies data bytes first .. first + count - 1 to `out`.
    void copyData(std::size_t first, unsigned char *out, std::size_t count) const;
    // Data bytes first, first + 1, ... to one single-byte output each, in turn.
    template <class... Out>
    void copyEach(std::size_t first, Out *...outs) const {
        std::size_t k = first;
        ((*outs = data(k++)), ...);
    }
    // Bytes collected (the whole frame, CRC included; for a stream, every
    // frame of it), never more than the response buffer holds.
    std::size_t length() const;
    // The collected bytes themselves, for the commands that walk a stream.
    const std::uint8_t *bytes() const;
    // Answer data bytes: the bytes between Status and the CRC.
    std::size_t dataLength() const { return length() > 6 ? length() - 6 : 0; }
    // Data bytes the answer really carries: no more than its Len byte claims
    // (Len - 5) and no more than arrived. A command that copies a variable
    // number of answer bytes copies no more than this.
    std::size_t carriedDataLength() const;
    // Data byte k when the answer carries it, else 0: a short answer never
    // hands its CRC bytes on as a field.
    std::uint8_t carriedData(std::size_t k) const { return k < carriedDataLength() ? data(k) : 0; }
    // Fills `count` bytes of `out` from data byte `first` on, with 0 for the
    // bytes the answer does not carry.
    void copyCarried(std::size_t first, unsigned char *out, std::size_t count) const {
        for (std::size_t i = 0; i < count; ++i) out[i] = carriedData(first + i);
    }

private:
    std::uint8_t at(std::size_t offset) const;
};

// How the answer is awaited.
enum class Collect {
    Single,          // one CRC-ended frame (GetDataFromPort)
    InventoryStream, // frames until an end status (GetInventoryDataFromPort1)
    BufferStream,    // read-out frames until status 1 (GetBufferDataFromPort)
    LengthEnded,     // one frame ended by its Len byte (GetDataFromPort_buff)
};

struct Exchange {
    Collect collect = Collect::Single;
    bool syncFirst = false;  // the sync control report goes before the frame
    // When set, becomes true once the collector has run; left alone when the
    // frame was refused or the sync report did not go out.
    bool *collected = nullptr;
};

// Refuses a frame that does not fit one report (ERR_FRAME_TOO_LONG, nothing
// sent), clears the response buffer, raises the inventory flag for the
// inventory collectors (lowers it otherwise), sends the frame, collects the
// answer and lowers the flag again. Returns 0 or the collector's code; the
// sync report not going out gives ERR_COMM with nothing else sent.
int exchange(const CommandFrame &frame, int portIndex, Exchange how = {});

// The same exchange for `count` bytes that are not a command frame (leaving
// the self-test mode is the bare byte 0xA5); they go out as one data report.
int exchangeBytes(const std::uint8_t *bytes, std::size_t count, int portIndex, Exchange how = {});

// Clears the response buffer and sends the control report 03 `code` alone;
// no answer is awaited and the inventory flag is not touched. Returns 0 when
// the report went out in full, ERR_COMM otherwise (also for a closed port).
int sendControlReport(std::uint8_t code, int portIndex);

enum class Echo { Match, Ignore };

// The CRC residue over the collected answer (ERR_CRC), then its echoed
// command code against `code` (ERR_RESPONSE_CMD); 0 when both hold.
int checkAnswer(std::uint8_t code, Echo echo = Echo::Match);
// The same, for a command whose answer may echo either of two codes.
int checkAnswer(std::uint8_t code, std::uint8_t alternative);

// exchange() then checkAnswer() against the frame's own code.
int transact(const CommandFrame &frame, int portIndex, Echo echo = Echo::Match);

// How a single-answer command accepts an answer that passed the CRC test
// (and, but for CrcOnly, the echo test):
enum class Rule {
    AlwaysWriteBack,  // Adr written back whatever the Status; outputs on Status 0
    StatusGated,      // on Status 0: Adr written back, outputs filled
    NoWriteBack,      // on Status 0: outputs filled; Adr never written
    CrcOnly,          // no echo test; outputs filled whatever the Status
};

struct NoOutputs {
    void operator()(const Answer &) const {}
};

// Applies `rule` to the last answer; `fill` copies its fields to the caller's
// outputs. Returns the answer's Status.
template <class Fill>
int accept(Rule rule, unsigned char *address, Fill &&fill) {
    const Answer answer;
    const std::uint8_t status = answer.status();
    const bool writeBack = rule == Rule::AlwaysWriteBack || (rule == Rule::StatusGated && status == 0);
    if (writeBack && address) *address = answer.adr();
    if (status == 0 || rule == Rule::CrcOnly) fill(answer);
    return status;
}

// A whole single-answer command: transact, then accept.
template <class Fill = NoOutputs>
int command(const CommandFrame &frame, int portIndex, Rule rule, unsigned char *address,
            Fill &&fill = {}) {
    const int result = transact(frame, portIndex, rule == Rule::CrcOnly ? Echo::Ignore : Echo::Match);
    if (result != 0) return result;
    return accept(rule, address, std::forward<Fill>(fill));
}

}  // namespace tessaro::protocol
