#include "report_port.h"

#include <algorithm>
#include <cstring>

namespace tessaro::sim {

void ReportPort::queue(const std::vector<AnswerFrame> &frames, std::uint64_t nowMs, Faults &faults) {
    std::size_t split = 0;
    for (const AnswerFrame &frame : frames) {
        for (std::size_t at = 0; at < frame.bytes.size();) {
            std::size_t size = kReportFrameBytes;
            if (!faults.splits.empty()) size = faults.splits[std::min(split++, faults.splits.size() - 1)];
            const std::size_t n = std::min(size, frame.bytes.size() - at);
            Queued report;
            report.bytes[1] = static_cast<std::uint8_t>(n);
            std::copy_n(frame.bytes.begin() + static_cast<long>(at), n, report.bytes.begin() + 2);
            report.availableAt = nowMs + frame.readyAfterMs;
            report.lost = Faults::strike(faults.drop);
            report.twice = Faults::strike(faults.duplicate);
            if (Faults::strike(faults.delay)) report.stallMs = faults.delayMs;
            if (Faults::strike(faults.corrupt)) report.bytes[2 + std::min<std::size_t>(faults.corruptAt, n - 1)] ^= 0xFF;
            if (Faults::strike(faults.badCount)) report.bytes[1] = kReportFrameBytes + 1;
            queue_.push_back(report);
            at += n;
        }
    }
}

void ReportPort::flush() {
    queue_.clear();
    awaitingAck_ = false;
}

void ReportPort::acknowledge() {
    if (!awaitingAck_ || queue_.empty()) return;
    awaitingAck_ = false;
    if (queue_.front().twice)
        queue_.front().twice = false;
    else
        queue_.pop_front();
}

ReportPort::ReadResult ReportPort::read(unsigned char *report, unsigned waitMs, std::uint64_t nowMs) {
    // The reader sends nothing it was not asked for.
    if (!pollPending_) return {0, waitMs, false};
    pollPending_ = false;
    awaitingAck_ = false;
    if (queue_.empty() || queue_.front().availableAt > nowMs) {
        // A busy report comes with the next USB frame: time moves on even for
        // a host that does not pause between reports.
        std::memset(report, 0, kReportSize);
        return {static_cast<int>(kReportSize), std::min(kBusyReportMs, waitMs), false};
    }
    Queued &head = queue_.front();
    if (head.lost) {
        queue_.pop_front();
        return {0, waitMs, false};
    }
    unsigned waited = 0;
    if (head.stallMs > 0) {
        if (head.stallMs > waitMs) {
            head.stallMs -= waitMs;
            return {0, waitMs, false};
        }
        waited = head.stallMs;
        head.stallMs = 0;
    }
    std::copy(head.bytes.begin(), head.bytes.end(), report);
    awaitingAck_ = true;
    return {static_cast<int>(kReportSize), waited, true};
}

}  // namespace tessaro::sim
