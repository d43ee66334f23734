// The service's event journal: every event is written here before an output
// that promises delivery sends it, and stays until every such output has
// acknowledged it (and after that as history, up to the size cap).
//
// Built on SQLite in write-ahead-log mode: a commit is atomic, a process that
// dies at any moment leaves the last commit intact, and the same store answers
// the history of a tag. On top of that each event carries a CRC-32 over its
// reader, sequence number and body, so a byte flipped on disk is found before
// the event goes out, never published as data.
//
// One process owns a journal folder (a lock file with its PID). Damage found
// at open (a file SQLite cannot read, a failed integrity check, files that
// are not the journal's) is moved to the folder's `damaged/` subfolder, the
// intact events are carried over, and each finding is listed in notices().
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "events/tag_event.h"

struct sqlite3;

namespace tessaro::journal {

// When a commit reaches the disk itself (not only the operating system).
enum class Fsync {
    Always,    // every commit: nothing committed is lost, even to a power cut
    Interval,  // at most intervalMs after a commit
    Never      // when the operating system writes it (a process crash loses nothing)
};
bool parseFsync(const std::string &text, Fsync &fsync);
const char *fsyncName(Fsync fsync);

struct JournalOptions {
    std::string folder;
    std::uint64_t maxBytes = 100ull << 20;
    Fsync fsync = Fsync::Always;
    unsigned intervalMs = 1000;
};

// Something found wrong with the journal, and what was done about it.
struct Notice {
    std::string reader;           // the reader whose events it concerns; empty: all
    std::string text;             // one sentence
    std::string movedTo;          // where the damaged part went, if it was moved
    std::uint64_t recovered = 0;  // events carried over from it
    std::uint64_t lost = 0;       // events that could not be
    std::uint64_t firstSeq = 0, lastSeq = 0;  // the lost ones' range, when one reader's
};

struct Record {
    std::uint64_t seq = 0;
    std::string body;
};

struct JournalStats {
    std::uint64_t appended = 0;  // events appended in this run
    std::uint64_t committed = 0;
    std::uint64_t dropped = 0;   // unacknowledged events removed to keep the size cap
    std::uint64_t commits = 0;
    std::uint64_t bytes = 0;     // the database's pages in use
    std::uint64_t events = 0;    // events held (acknowledged history included)
};

class Journal {
public:
    Journal();
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // Opens the journal in options.folder (made if missing) and starts its
    // writer. False, with `error` naming the folder, when the folder cannot
    // hold a journal: it cannot be made or written, another process holds it,
    // or it holds files and no journal. Damage is no reason to fail: it is
    // set aside and described by notices().
    bool open(const JournalOptions &options, std::string &error);
    // Commits what waits, with an fsync whatever the setting, and lets the
    // folder go. Called by the destructor too.
    void close();

    // This run's number: one more than the journal's previous run.
    std::uint64_t run() const { return run_; }
    // What open found and did; then whatever happens later goes to onNotice.
    const std::vector<Notice> &notices() const { return notices_; }
    // Called on the journal's threads for what it finds while running
    // (events that fail their checksum, events dropped for the size cap).
    void setNoticeHandler(std::function<void(const Notice &)> handler);

    // Stamps `event` with this run and its reader's next sequence number and
    // queues it for the next commit. Any thread; the events of one reader
    // keep the order of the calls. Waits while the writer is far behind.
    void append(events::TagEvent &event);
    // Waits until everything appended (and acknowledged) so far is committed.
    void flush();

    // Outputs that promise delivery. A new one starts after the events
    // journaled before it existed.
    void addCursor(const std::string &sink);
    std::uint64_t acknowledged(const std::string &sink, const std::string &reader);
    // Marks the events of `reader` up to `seq` as delivered by `sink`
    // (persisted with the next commit).
    void acknowledge(const std::string &sink, const std::string &reader, std::uint64_t seq);
    // Up to `limit` committed events of `reader` after `afterSeq`, in order.
    // An event that fails its checksum is left out, removed, and noticed.
    std::vector<Record> fetch(const std::string &reader, std::uint64_t afterSeq, std::size_t limit);
    // Readers with committed events that `sink` has not acknowledged.
    std::vector<std::string> readersWithBacklog(const std::string &sink);
    // Events of `reader` committed and not acknowledged by `sink`.
    std::uint64_t backlog(const std::string &sink, const std::string &reader);

    // Commits so far; waitForCommit returns once there are more than `seen`
    // (or after timeoutMs).
    std::uint64_t commits();
    void waitForCommit(std::uint64_t seen, unsigned timeoutMs);

    // The newest events of a tag (EPC in hex) and of all readers, newest first.
    std::vector<std::string> history(const std::string &epc, std::size_t limit);
    std::vector<std::string> recent(std::size_t limit);

    JournalStats stats();
    // Undelivered events of `reader` dropped in this run to keep the cap.
    std::uint64_t dropped(const std::string &reader);

private:
    struct Pending {
        std::string reader, epc, body;
        std::uint64_t seq;
        long long timeMs;
    };

    struct Reservations {
        std::uint64_t run = 0;
        std::map<std::string, std::uint64_t> readers;  // every seq below the mark was given
    };
    void readReservations(Reservations &reserved);
    void writeReservations(const Reservations &reserved);
    bool lockFolder(std::string &error);
    bool tidyFolder(std::string &error);
    bool openDatabase(std::string &error);
    bool setAside(const std::string &why);
    void salvage(const std::string &damagedPath, const std::string &why);
    bool createSchema(sqlite3 *db);
    void loadState();
    void writerLoop();
    void commit(std::vector<Pending> &batch, std::map<std::pair<std::string, std::string>, std::uint64_t> &acks,
                std::vector<std::pair<std::string, std::uint64_t>> &bad, std::vector<std::string> &sinks);
    void keepCap(std::vector<Pending> &batch);
    void insertBatch(const std::vector<Pending> &batch, std::size_t from);
    void stampLocked(events::TagEvent &event);
    void notice(const Notice &notice);
    std::uint64_t ackedByAll(const std::string &reader);

    JournalOptions options_;
    std::string dbPath_;
    int lockFd_ = -1;
    sqlite3 *db_ = nullptr;      // the writer's connection
    sqlite3 *readDb_ = nullptr;  // fetch and history, under readMutex_
    std::mutex readMutex_;
    std::uint64_t run_ = 0;
    std::vector<Notice> notices_;
    std::function<void(const Notice &)> onNotice_;

    std::mutex mutex_;
    std::condition_variable wake_;       // the writer: work to do
    std::condition_variable committed_;  // waiters: a commit happened
    std::condition_variable room_;       // appenders: the queue has room
    std::deque<Pending> queue_;
    std::map<std::pair<std::string, std::string>, std::uint64_t> acks_;   // (sink, reader) -> seq
    std::map<std::pair<std::string, std::string>, std::uint64_t> cursors_;
    std::vector<std::string> sinks_;       // the outputs of this run
    std::set<std::string> knownSinks_;     // every output the journal has had
    std::vector<std::string> newSinks_;    // to be recorded with the next commit
    std::vector<std::pair<std::string, std::uint64_t>> bad_;  // (reader, seq) failed checksums
    std::map<std::string, std::uint64_t> nextSeq_;
    std::map<std::string, std::uint64_t> committedSeq_;
    std::map<std::string, std::uint64_t> droppedBy_;
    bool stopping_ = false;
    bool writing_ = false;  // the writer holds a batch it has not committed
    int flushing_ = 0;      // callers waiting in flush()
    std::thread writer_;
    JournalStats stats_;
    long long lastSyncMs_ = 0;
    bool unsynced_ = false;
    std::set<std::pair<std::string, std::uint64_t>> reportedBad_;
    Reservations reserved_;
    std::uint64_t held_ = 0;   // the writer's count of events held
    std::uint64_t bytes_ = 0;  // and of the pages they take
};

}  // namespace tessaro::journal
