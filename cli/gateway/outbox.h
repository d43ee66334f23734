// What a reader's events wait in until the broker has them: a queue in
// memory up to a bound, then segments of a spool folder up to a second bound.
// Messages leave in the order they came; what finds both full is dropped and
// counted, never silently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace tessaro::gateway {

struct OutboxLimits {
    std::size_t memoryMessages = 10000;      // held in memory
    std::string spoolFolder;                 // empty: no spool
    std::uint64_t spoolBytes = 100u << 20;   // on disk
};

struct OutboxCounts {
    std::uint64_t accepted = 0;
    std::uint64_t dropped = 0;
    std::uint64_t spooledMessages = 0;  // ever written to the spool
    std::size_t inMemory = 0;
    std::uint64_t onDisk = 0;           // bytes
};

class Outbox {
public:
    // Opens the spool folder (made if missing); messages a previous run left
    // there go out first. `error` says why the folder cannot be used.
    bool open(const OutboxLimits &limits, std::string &error);

    // Adds a message (one line: no '\n' inside). False when it was dropped.
    bool push(const std::string &message);

    // Takes the oldest message; false when there is none.
    bool take(std::string &message);

    // Puts messages taken but not delivered back in front, oldest first.
    void giveBack(const std::vector<std::string> &messages);

    // Writes everything still waiting in memory to the spool, so that the
    // next run sends it. Messages that do not fit are dropped and counted.
    void persist();

    bool empty();
    OutboxCounts counts();

private:
    bool spill(std::deque<std::string> &messages);  // a new segment, newest
    bool openOldestSegment();
    void closeSegment(bool remove);
    std::string segmentPath(std::uint64_t number) const;
    std::vector<std::uint64_t> segments() const;

    std::mutex mutex_;
    OutboxLimits limits_;
    std::deque<std::string> returned_;  // taken, not delivered: the oldest
    std::deque<std::string> memory_;    // the newest
    std::ifstream segment_;             // the spool segment being read
    std::uint64_t segmentNumber_ = 0;
    std::uint64_t nextSegment_ = 1;
    std::size_t segmentCount_ = 0;      // segments on disk, so that taking lists no folder
    OutboxCounts counts_;
};

}  // namespace tessaro::gateway
