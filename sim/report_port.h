// The reader's end of the report protocol. The host polls (03 0A) before
// every read and acknowledges (03 01) every report it read; the reader sends
// one input report per poll: the next report of the answer once it is ready,
// or an empty "busy" report while the answer is still being worked out (an
// inventory's scan time). A report stays at the head of the queue until it is
// acknowledged, so a report whose acknowledgement got lost comes again.
// Sync (03 0F) and every new command drop what is left of the last answer.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "faults.h"
#include "frames.h"

namespace tessaro::sim {

constexpr std::size_t kReportSize = 64;
constexpr std::size_t kReportFrameBytes = 62;
constexpr unsigned kBusyReportMs = 1;  // a busy report takes one USB frame

struct AnswerFrame {
    Bytes bytes;
    unsigned readyAfterMs = 0;  // when the reader has it ready, from the command's arrival
};

class ReportPort {
public:
    // Cuts the frames into input reports (each frame starts a new report, the
    // sizes as `faults.splits` says) and queues them; report faults strike here.
    void queue(const std::vector<AnswerFrame> &frames, std::uint64_t nowMs, Faults &faults);
    void flush();
    void poll() { pollPending_ = true; }
    void acknowledge();

    struct ReadResult {
        int result;           // for the transport: 64, or 0 (nothing in time)
        unsigned waitedMs;    // how long the read took
        bool carriedBytes;    // an answer report (not a busy one) was handed over
    };
    // One read with a wait of at most `waitMs`.
    ReadResult read(unsigned char *report, unsigned waitMs, std::uint64_t nowMs);

private:
    struct Queued {
        std::array<std::uint8_t, kReportSize> bytes{};
        std::uint64_t availableAt = 0;
        unsigned stallMs = 0;  // a delay fault still to wait out
        bool lost = false;     // a drop fault: never arrives
        bool twice = false;    // a duplicate fault: comes once more after its acknowledgement
    };
    std::deque<Queued> queue_;
    bool pollPending_ = false;
    bool awaitingAck_ = false;
};

}  // namespace tessaro::sim
