#include "journal.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>

namespace tessaro::journal {

namespace fs = std::filesystem;

namespace {

constexpr const char *kDatabase = "journal.db";
constexpr const char *kLock = "lock";
constexpr const char *kDamaged = "damaged";
constexpr const char *kSequence = "sequence";
// Sequence numbers are reserved in blocks in the file `sequence`, beside the
// database: should the database's own record be lost, numbering goes on
// after the reservation, leaving a gap rather than giving a number twice.
constexpr std::uint64_t kReserve = 10000;
constexpr int kFormat = 1;
// Events waiting for the writer before append() waits: the writer is far
// behind only when the disk stalls.
constexpr std::size_t kMaxQueued = 200000;
constexpr std::size_t kMaxBatch = 10000;
constexpr unsigned kWriterWakeMs = 50;

long long steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// "20261207T144505Z", for the names of what is set aside.
std::string stamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

std::uint32_t checksum(const std::string &reader, std::uint64_t seq, const std::string &body) {
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef *>(reader.data()), static_cast<uInt>(reader.size()));
    const std::string number = "/" + std::to_string(seq) + "/";
    crc = crc32(crc, reinterpret_cast<const Bytef *>(number.data()), static_cast<uInt>(number.size()));
    crc = crc32(crc, reinterpret_cast<const Bytef *>(body.data()), static_cast<uInt>(body.size()));
    return static_cast<std::uint32_t>(crc);
}

bool exec(sqlite3 *db, const char *sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// A prepared statement that finalizes itself.
class Statement {
public:
    Statement(sqlite3 *db, const char *sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    explicit operator bool() const { return stmt_ != nullptr; }
    Statement &bind(int index, const std::string &text) {
        if (stmt_) sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement &bind(int index, std::uint64_t value) {
        if (stmt_) sqlite3_bind_int64(stmt_, index, static_cast<sqlite3_int64>(
                                                      std::min<std::uint64_t>(value, std::numeric_limits<sqlite3_int64>::max())));
        return *this;
    }
    Statement &bindNull(int index) {
        if (stmt_) sqlite3_bind_null(stmt_, index);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
    bool run() {
        const int rc = step();
        if (stmt_) sqlite3_reset(stmt_);
        return rc == SQLITE_DONE || rc == SQLITE_ROW;
    }
    void reset() {
        if (stmt_) {
            sqlite3_reset(stmt_);
            sqlite3_clear_bindings(stmt_);
        }
    }
    std::uint64_t integer(int column) {
        const sqlite3_int64 value = sqlite3_column_int64(stmt_, column);
        return value < 0 ? 0 : static_cast<std::uint64_t>(value);
    }
    std::string text(int column) {
        const unsigned char *text = sqlite3_column_text(stmt_, column);
        return text ? std::string(reinterpret_cast<const char *>(text),
                                  static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
                    : std::string();
    }
    bool isNull(int column) { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

private:
    sqlite3_stmt *stmt_ = nullptr;
};

std::uint64_t pragmaNumber(sqlite3 *db, const char *sql) {
    Statement statement(db, sql);
    return statement.step() == SQLITE_ROW ? statement.integer(0) : 0;
}

// The pages in use: a deleted event's space is reused, so this, not the
// file's size, is what the cap bounds.
std::uint64_t usedBytes(sqlite3 *db) {
    const std::uint64_t pages = pragmaNumber(db, "PRAGMA page_count");
    const std::uint64_t free = pragmaNumber(db, "PRAGMA freelist_count");
    return (pages > free ? pages - free : 0) * pragmaNumber(db, "PRAGMA page_size");
}

const char *kSchema =
    "CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS readers(reader TEXT PRIMARY KEY, next_seq INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS sinks(sink TEXT PRIMARY KEY);"
    "CREATE TABLE IF NOT EXISTS cursors(sink TEXT NOT NULL, reader TEXT NOT NULL,"
    "  acked INTEGER NOT NULL, PRIMARY KEY(sink, reader));"
    "CREATE TABLE IF NOT EXISTS events(id INTEGER PRIMARY KEY, reader TEXT NOT NULL,"
    "  seq INTEGER NOT NULL, epc TEXT, time_ms INTEGER NOT NULL, body TEXT NOT NULL,"
    "  crc INTEGER NOT NULL);"
    "CREATE UNIQUE INDEX IF NOT EXISTS events_by_reader ON events(reader, seq);"
    "CREATE INDEX IF NOT EXISTS events_by_epc ON events(epc, id) WHERE epc IS NOT NULL;"
    "INSERT OR IGNORE INTO meta VALUES('format', 1);"
    "INSERT OR IGNORE INTO meta VALUES('run', 0);";

}  // namespace

bool parseFsync(const std::string &text, Fsync &fsync) {
    if (text == "always") fsync = Fsync::Always;
    else if (text == "interval") fsync = Fsync::Interval;
    else if (text == "never") fsync = Fsync::Never;
    else return false;
    return true;
}

const char *fsyncName(Fsync fsync) {
    switch (fsync) {
    case Fsync::Always: return "always";
    case Fsync::Interval: return "interval";
    case Fsync::Never: return "never";
    }
    return "always";
}

Journal::Journal() = default;
Journal::~Journal() { close(); }

void Journal::setNoticeHandler(std::function<void(const Notice &)> handler) {
    const std::lock_guard<std::mutex> guard(mutex_);
    onNotice_ = std::move(handler);
}

void Journal::notice(const Notice &found) {
    std::function<void(const Notice &)> handler;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        handler = onNotice_;
    }
    if (handler) handler(found);
}

bool Journal::open(const JournalOptions &options, std::string &error) {
    options_ = options;
    notices_.clear();
    nextSeq_.clear();
    committedSeq_.clear();
    cursors_.clear();
    acks_.clear();
    sinks_.clear();
    bad_.clear();
    reportedBad_.clear();
    droppedBy_.clear();
    knownSinks_.clear();
    newSinks_.clear();
    reserved_ = Reservations{};
    stats_ = JournalStats{};
    held_ = bytes_ = 0;
    std::error_code ec;
    const fs::path folder(options_.folder);
    if (options_.folder.empty()) {
        error = "no journal folder given";
        return false;
    }
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder)) {
        error = "cannot make the journal folder '" + options_.folder + "': " +
                (ec ? ec.message() : std::string("it is not a folder"));
        return false;
    }
    dbPath_ = (folder / kDatabase).string();
    if (!lockFolder(error)) return false;
    if (!tidyFolder(error) || !openDatabase(error)) {
        ::close(lockFd_);
        lockFd_ = -1;
        return false;
    }
    loadState();
    {
        // The database's record lost: numbers go on after the reservations.
        const bool lost = std::any_of(notices_.begin(), notices_.end(), [](const Notice &n) {
            return n.reader.empty() && n.movedTo.find("/journal-") != std::string::npos;
        });
        Reservations reserved;
        readReservations(reserved);
        if (lost) {
            for (const auto &[reader, mark] : reserved.readers) {
                std::uint64_t &next = nextSeq_[reader];
                if (mark <= next) continue;
                next = mark;
                Notice gap;
                gap.reader = reader;
                gap.text = "the journal's record of the sequence numbers of reader " + reader +
                           " was lost: they go on from " + std::to_string(mark);
                notices_.push_back(gap);
            }
            Statement keep(db_, "UPDATE meta SET value = max(value, ?) WHERE key = 'run'");
            keep.bind(1, reserved.run).run();
        }
        Statement bump(db_, "UPDATE meta SET value = value + 1 WHERE key = 'run'");
        bump.run();
        run_ = pragmaNumber(db_, "SELECT value FROM meta WHERE key = 'run'");
        reserved_.run = run_;
        for (const auto &[reader, next] : nextSeq_)
            reserved_.readers[reader] = std::max(reserved.readers[reader], next + kReserve);
        writeReservations(reserved_);
    }
    stopping_ = false;
    lastSyncMs_ = steadyMs();
    writer_ = std::thread([this] { writerLoop(); });
    return true;
}

// `sequence`: "run N" and one "reader MARK" line per reader, every number
// the reader was given below its mark.
void Journal::readReservations(Reservations &reserved) {
    std::ifstream file(fs::path(options_.folder) / kSequence);
    std::string key;
    std::uint64_t value;
    while (file >> key >> value) {
        if (key == "run") reserved.run = value;
        else reserved.readers[key] = value;
    }
}

// Replaced whole (written beside, synced, renamed), so that a crash leaves
// the old reservations or the new ones.
void Journal::writeReservations(const Reservations &reserved) {
    const fs::path path = fs::path(options_.folder) / kSequence;
    const std::string temporary = (fs::path(options_.folder) / "sequence.new").string();
    std::string text = "run " + std::to_string(reserved.run) + "\n";
    for (const auto &[reader, mark] : reserved.readers)
        text += reader + " " + std::to_string(mark) + "\n";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                         fsync(fd) == 0;
    ::close(fd);
    if (written && std::rename(temporary.c_str(), path.c_str()) == 0) {
        const int folder = ::open(options_.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            fsync(folder);
            ::close(folder);
        }
    }
}

// One process per folder: an advisory lock on `lock`, which holds the PID of
// its owner so that a second one can say who.
bool Journal::lockFolder(std::string &error) {
    const std::string path = (fs::path(options_.folder) / kLock).string();
    lockFd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd_ < 0) {
        error = "cannot write in the journal folder '" + options_.folder + "': " + std::strerror(errno);
        return false;
    }
    if (flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        char text[32] = {};
        const ssize_t got = pread(lockFd_, text, sizeof text - 1, 0);
        const long pid = got > 0 ? std::strtol(text, nullptr, 10) : 0;
        error = "the journal folder '" + options_.folder + "' is in use by another process" +
                (pid > 0 ? " (PID " + std::to_string(pid) + ")" : std::string()) +
                "; give each gateway a journal folder of its own (--journal)";
        ::close(lockFd_);
        lockFd_ = -1;
        return false;
    }
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(lockFd_, 0) != 0 ||
        pwrite(lockFd_, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        error = "cannot write in the journal folder '" + options_.folder + "': " + std::strerror(errno);
        ::close(lockFd_);
        lockFd_ = -1;
        return false;
    }
    return true;
}

// Files that are not the journal's: in a journal's folder they are moved
// aside; a folder with files and no journal is refused rather than tidied.
bool Journal::tidyFolder(std::string &error) {
    static const std::set<std::string> known = {kLock,           kDatabase,           "journal.db-wal",
                                                "journal.db-shm", "journal.db-journal", kDamaged,
                                                kSequence,        "sequence.new"};
    std::vector<std::string> unknown;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(options_.folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (!known.count(name)) unknown.push_back(name);
    }
    if (ec) {
        error = "cannot list the journal folder '" + options_.folder + "': " + ec.message();
        return false;
    }
    if (unknown.empty()) return true;
    std::sort(unknown.begin(), unknown.end());
    if (!fs::exists(dbPath_)) {
        error = "the journal folder '" + options_.folder + "' holds files that are not a journal ('" +
                unknown.front() + "'); choose an empty folder or a new one";
        return false;
    }
    const fs::path aside = fs::path(options_.folder) / kDamaged;
    fs::create_directories(aside, ec);
    for (const std::string &name : unknown) {
        const fs::path target = aside / (name + "-" + stamp());
        fs::rename(fs::path(options_.folder) / name, target, ec);
        if (ec) {
            error = "cannot move '" + name + "' out of the journal folder '" + options_.folder +
                    "': " + ec.message();
            return false;
        }
        Notice found;
        found.text = "'" + name + "' in the journal folder is not the journal's: moved to " +
                     target.string();
        found.movedTo = target.string();
        notices_.push_back(found);
    }
    return true;
}

bool Journal::createSchema(sqlite3 *db) {
    return exec(db, "PRAGMA journal_mode=WAL") && exec(db, kSchema);
}

bool Journal::openDatabase(std::string &error) {
    std::error_code ec;
    const bool existed = fs::exists(fs::symlink_status(dbPath_, ec));
    if (existed && !fs::is_regular_file(fs::symlink_status(dbPath_, ec))) {
        if (!setAside("journal.db is not a file")) {
            error = "cannot move the damaged journal out of '" + options_.folder + "'";
            return false;
        }
    } else if (existed && fs::file_size(dbPath_, ec) == 0 && !ec &&
               (!fs::exists(dbPath_ + "-wal") || fs::file_size(dbPath_ + "-wal", ec) == 0)) {
        // An empty file would open as a new journal: its sequence numbers
        // would start again without a word.
        if (!setAside("journal.db is empty")) {
            error = "cannot move the damaged journal out of '" + options_.folder + "'";
            return false;
        }
    } else if (existed) {
        std::string why;
        sqlite3 *db = nullptr;
        int rc = sqlite3_open_v2(dbPath_.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(db, 5000);
            Statement check(db, "PRAGMA quick_check");
            rc = check.step();
            if (rc != SQLITE_ROW) why = sqlite3_errmsg(db);
            else if (check.text(0) != "ok") why = "integrity check: " + check.text(0);
            else if (pragmaNumber(db, "SELECT value FROM meta WHERE key = 'format'") != kFormat)
                why = "not a journal of this format";
        } else {
            why = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        }
        sqlite3_close(db);
        if (!why.empty()) {
            salvage(dbPath_, why);
            if (!fs::exists(dbPath_)) {
                // Salvage could not even start a new journal.
                error = "cannot start a new journal in '" + options_.folder + "'";
                return false;
            }
        }
    }
    if (sqlite3_open_v2(dbPath_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK ||
        (sqlite3_busy_timeout(db_, 5000), !createSchema(db_))) {
        error = "cannot write the journal in '" + options_.folder + "': " +
                (db_ ? sqlite3_errmsg(db_) : "out of memory");
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    exec(db_, "PRAGMA journal_size_limit = 4194304");
    exec(db_, options_.fsync == Fsync::Always   ? "PRAGMA synchronous = FULL"
              : options_.fsync == Fsync::Never ? "PRAGMA synchronous = OFF"
                                               : "PRAGMA synchronous = NORMAL");
    if (sqlite3_open_v2(dbPath_.c_str(), &readDb_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        error = "cannot read the journal in '" + options_.folder + "'";
        sqlite3_close(readDb_);
        readDb_ = nullptr;
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    sqlite3_busy_timeout(readDb_, 5000);
    return true;
}

// Moves journal.db and its companions to damaged/ under one new name.
bool Journal::setAside(const std::string &why) {
    const fs::path aside = fs::path(options_.folder) / kDamaged;
    std::error_code ec;
    fs::create_directories(aside, ec);
    const std::string base = (aside / ("journal-" + stamp())).string();
    std::string target = base + ".db";
    for (int n = 2; fs::exists(target, ec); ++n) target = base + "-" + std::to_string(n) + ".db";
    fs::rename(dbPath_, target, ec);
    if (ec) return false;
    for (const char *suffix : {"-wal", "-shm", "-journal"})
        if (fs::exists(dbPath_ + suffix)) fs::rename(dbPath_ + suffix, target + suffix, ec);
    Notice found;
    found.text = why + ": moved to " + target;
    found.movedTo = target;
    notices_.push_back(found);
    return true;
}

// A journal SQLite will not take whole: set it aside, start a new one, and
// carry over every event that can still be read and passes its checksum.
void Journal::salvage(const std::string &path, const std::string &why) {
    if (!setAside("the journal was damaged (" + why + ")")) return;
    const std::size_t summaryIndex = notices_.size() - 1;
    const std::string copy = notices_[summaryIndex].movedTo;
    std::uint64_t recovered = 0;

    sqlite3 *fresh = nullptr;
    if (sqlite3_open_v2(path.c_str(), &fresh, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK ||
        !createSchema(fresh)) {
        sqlite3_close(fresh);
        std::error_code ec;
        fs::remove(path, ec);
        return;
    }
    sqlite3 *old = nullptr;
    std::map<std::string, std::uint64_t> nextSeq, acked, salvagedMax;
    std::map<std::string, std::set<std::uint64_t>> salvaged;
    std::map<std::pair<std::string, std::string>, std::uint64_t> cursors;
    std::set<std::string> sinks{"*"};
    std::uint64_t lostUnknown = 0;
    if (sqlite3_open_v2(copy.c_str(), &old, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(old, 1000);
        // Read what can be read even where the file is shorter than its
        // header says (a truncated journal): SQLite refuses the whole file
        // otherwise.
        exec(old, "PRAGMA writable_schema = ON");
        sinks.clear();
        {
            Statement readers(old, "SELECT reader, next_seq FROM readers");
            while (readers.step() == SQLITE_ROW) nextSeq[readers.text(0)] = readers.integer(1);
        }
        {
            Statement stored(old, "SELECT sink, reader, acked FROM cursors");
            while (stored.step() == SQLITE_ROW) cursors[{stored.text(0), stored.text(1)}] = stored.integer(2);
        }
        {
            // Outputs it had. Whatever cannot be read, every output counts as
            // known, so that none skips the recovered events as history.
            Statement stored(old, "SELECT sink FROM sinks");
            int rc;
            while ((rc = stored.step()) == SQLITE_ROW) sinks.insert(stored.text(0));
            if (rc != SQLITE_DONE) sinks.insert("*");
        }
        {
            Statement run(old, "SELECT value FROM meta WHERE key = 'run'");
            if (run.step() == SQLITE_ROW) {
                Statement keep(fresh, "UPDATE meta SET value = ? WHERE key = 'run'");
                keep.bind(1, run.integer(0)).run();
            }
        }
        exec(fresh, "BEGIN");
        Statement insert(fresh, "INSERT OR IGNORE INTO events(reader, seq, epc, time_ms, body, crc) "
                                "VALUES(?, ?, ?, ?, ?, ?)");
        // Read in slices of ids; a slice that runs into a damaged page ends
        // there, and the reading jumps ahead in growing steps until it finds
        // readable rows again: what lies between is lost.
        sqlite3_int64 last = 0;
        for (int guard = 0; guard < 1000000; ++guard) {
            Statement slice(old, "SELECT id, reader, seq, epc, time_ms, body, crc FROM events "
                                 "WHERE id > ? ORDER BY id LIMIT 512");
            slice.bind(1, static_cast<std::uint64_t>(last));
            int rc, rows = 0;
            while ((rc = slice.step()) == SQLITE_ROW) {
                ++rows;
                last = static_cast<sqlite3_int64>(slice.integer(0));
                const std::string reader = slice.text(1), body = slice.text(5);
                const std::uint64_t seq = slice.integer(2);
                if (checksum(reader, seq, body) != static_cast<std::uint32_t>(slice.integer(6))) {
                    ++lostUnknown;  // counted below by its gap, when its reader is known
                    continue;
                }
                insert.bind(1, reader).bind(2, seq);
                if (slice.isNull(3)) insert.bindNull(3);
                else insert.bind(3, slice.text(3));
                insert.bind(4, slice.integer(4)).bind(5, body).bind(6, slice.integer(6));
                insert.run();
                insert.reset();
                salvaged[reader].insert(seq);
                salvagedMax[reader] = std::max(salvagedMax[reader], seq);
                ++recovered;
            }
            if (rc == SQLITE_DONE && rows == 0) break;
            if (rc == SQLITE_DONE) continue;
            bool found = false, end = false;
            for (std::uint64_t step = 1; step < (1ull << 40) && !found && !end; step *= 2) {
                Statement probe(old, "SELECT id FROM events WHERE id > ? ORDER BY id LIMIT 1");
                probe.bind(1, static_cast<std::uint64_t>(last) + step);
                const int probed = probe.step();
                if (probed == SQLITE_ROW) {
                    last = static_cast<sqlite3_int64>(probe.integer(0)) - 1;
                    found = true;
                } else if (probed == SQLITE_DONE) {
                    end = true;
                }
            }
            if (!found) break;
        }
        exec(fresh, "COMMIT");
    }
    sqlite3_close(old);

    // What each reader lost: the gaps in what was recovered among the events
    // no output had acknowledged yet.
    std::set<std::string> readers;
    for (const auto &[reader, next] : nextSeq) readers.insert(reader);
    for (const auto &[reader, max] : salvagedMax) readers.insert(reader);
    for (const auto &[key, seq] : cursors) {
        auto found = acked.find(key.second);
        acked[key.second] = found == acked.end() ? seq : std::min(found->second, seq);
    }
    std::uint64_t lostKnown = 0;
    exec(fresh, "BEGIN");
    for (const std::string &reader : readers) {
        const std::uint64_t next = std::max(nextSeq[reader], salvagedMax[reader] + 1);
        Statement keep(fresh, "INSERT OR REPLACE INTO readers VALUES(?, ?)");
        keep.bind(1, reader).bind(2, next).run();
        const std::uint64_t from = acked.count(reader) ? acked[reader] + 1 : 1;
        Notice lost;
        lost.reader = reader;
        for (std::uint64_t seq = from; seq < next && seq - from < 100000000; ++seq) {
            if (salvaged[reader].count(seq)) continue;
            if (lost.lost++ == 0) lost.firstSeq = seq;
            lost.lastSeq = seq;
        }
        if (lost.lost == 0) continue;
        lostKnown += lost.lost;
        lost.movedTo = copy;
        lost.text = std::to_string(lost.lost) + " events of reader " + reader +
                    " could not be recovered from the damaged journal (seq " +
                    std::to_string(lost.firstSeq) + " to " + std::to_string(lost.lastSeq) + ")";
        notices_.push_back(lost);
    }
    for (const auto &[key, seq] : cursors) {
        Statement keep(fresh, "INSERT OR REPLACE INTO cursors VALUES(?, ?, ?)");
        keep.bind(1, key.first).bind(2, key.second).bind(3, seq).run();
    }
    for (const std::string &sink : sinks) {
        Statement keep(fresh, "INSERT OR IGNORE INTO sinks VALUES(?)");
        keep.bind(1, sink).run();
    }
    exec(fresh, "COMMIT");
    sqlite3_close(fresh);
    Notice &summary = notices_[summaryIndex];
    summary.recovered = recovered;
    summary.lost = std::max(lostKnown, lostUnknown);
    summary.text += "; " + std::to_string(recovered) + " events recovered" +
                    (summary.lost ? ", " + std::to_string(summary.lost) + " lost" : std::string());
}

void Journal::loadState() {
    Statement readers(db_, "SELECT reader, next_seq FROM readers");
    while (readers.step() == SQLITE_ROW) nextSeq_[readers.text(0)] = readers.integer(1);
    Statement committed(db_, "SELECT reader, max(seq), count(*) FROM events GROUP BY reader");
    while (committed.step() == SQLITE_ROW) {
        const std::string reader = committed.text(0);
        committedSeq_[reader] = committed.integer(1);
        held_ += committed.integer(2);
        // A sequence number is never given twice, even if readers lags.
        nextSeq_[reader] = std::max(nextSeq_[reader], committed.integer(1) + 1);
    }
    Statement cursors(db_, "SELECT sink, reader, acked FROM cursors");
    while (cursors.step() == SQLITE_ROW) {
        cursors_[{cursors.text(0), cursors.text(1)}] = cursors.integer(2);
        knownSinks_.insert(cursors.text(0));
    }
    Statement sinks(db_, "SELECT sink FROM sinks");
    while (sinks.step() == SQLITE_ROW) knownSinks_.insert(sinks.text(0));
    bytes_ = usedBytes(db_);
    stats_.events = held_;
    stats_.bytes = bytes_;
}

void Journal::addCursor(const std::string &sink) {
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        if (std::find(sinks_.begin(), sinks_.end(), sink) != sinks_.end()) return;
        sinks_.push_back(sink);
        // An output the journal knows has acknowledged nothing of a reader
        // without a cursor; a new one starts after what is there now.
        if (knownSinks_.count(sink) || knownSinks_.count("*")) return;
        knownSinks_.insert(sink);
        newSinks_.push_back(sink);
        for (const auto &[reader, next] : nextSeq_) {
            const auto key = std::make_pair(sink, reader);
            if (cursors_.count(key)) continue;
            cursors_[key] = next - 1;
            acks_[key] = next - 1;
        }
    }
    flush();  // known from now on, even if the process dies next
}

std::uint64_t Journal::acknowledged(const std::string &sink, const std::string &reader) {
    const std::lock_guard<std::mutex> guard(mutex_);
    const auto found = cursors_.find({sink, reader});
    return found == cursors_.end() ? 0 : found->second;
}

void Journal::acknowledge(const std::string &sink, const std::string &reader, std::uint64_t seq) {
    const std::lock_guard<std::mutex> guard(mutex_);
    std::uint64_t &cursor = cursors_[{sink, reader}];
    if (seq <= cursor) return;
    cursor = seq;
    acks_[{sink, reader}] = seq;
}

std::uint64_t Journal::ackedByAll(const std::string &reader) {
    std::uint64_t acked = std::numeric_limits<std::uint64_t>::max();
    for (const std::string &sink : sinks_) {
        const auto found = cursors_.find({sink, reader});
        acked = std::min(acked, found == cursors_.end() ? 0 : found->second);
    }
    return acked;
}

void Journal::stampLocked(events::TagEvent &event) {
    std::uint64_t &next = nextSeq_[event.reader];
    if (next == 0) next = 1;
    std::uint64_t &mark = reserved_.readers[event.reader];
    if (next >= mark) {
        mark = next + kReserve;
        writeReservations(reserved_);
    }
    event.run = run_;
    event.seq = next++;
    if (event.wallClockMs == 0) event.wallClockMs = events::wallClockNowMs();
}

void Journal::append(events::TagEvent &event) {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [this] { return queue_.size() < kMaxQueued || stopping_ || !db_; });
    if (stopping_ || !db_) return;
    stampLocked(event);
    const bool tagged = event.type == events::EventType::Tag || event.type == events::EventType::Arrived ||
                        event.type == events::EventType::Departed;
    queue_.push_back({event.reader, tagged ? event.epc : std::string(), events::serialize(event),
                      event.seq, event.wallClockMs});
    ++stats_.appended;
    wake_.notify_one();
}

void Journal::flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    ++flushing_;
    wake_.notify_one();
    committed_.wait(lock, [this] {
        return (queue_.empty() && acks_.empty() && bad_.empty() && newSinks_.empty() && !writing_) ||
               !writer_.joinable();
    });
    --flushing_;
}

void Journal::insertBatch(const std::vector<Pending> &batch, std::size_t from) {
    Statement insert(db_, "INSERT INTO events(reader, seq, epc, time_ms, body, crc) VALUES(?, ?, ?, ?, ?, ?)");
    for (std::size_t i = from; i < batch.size(); ++i) {
        const Pending &p = batch[i];
        insert.bind(1, p.reader).bind(2, p.seq);
        if (p.epc.empty()) insert.bindNull(3);
        else insert.bind(3, p.epc);
        insert.bind(4, static_cast<std::uint64_t>(p.timeMs)).bind(5, p.body)
            .bind(6, static_cast<std::uint64_t>(checksum(p.reader, p.seq, p.body)));
        insert.run();
        insert.reset();
    }
    held_ += batch.size() - from;
}

void Journal::commit(std::vector<Pending> &batch,
                     std::map<std::pair<std::string, std::string>, std::uint64_t> &acks,
                     std::vector<std::pair<std::string, std::uint64_t>> &bad,
                     std::vector<std::string> &sinks) {
    const bool sync = options_.fsync == Fsync::Interval && steadyMs() - lastSyncMs_ >= options_.intervalMs;
    if (sync) exec(db_, "PRAGMA synchronous = FULL");
    exec(db_, "BEGIN IMMEDIATE");
    insertBatch(batch, 0);
    {
        Statement cursor(db_, "INSERT OR REPLACE INTO cursors VALUES(?, ?, ?)");
        for (const auto &[key, seq] : acks) {
            cursor.bind(1, key.first).bind(2, key.second).bind(3, seq).run();
            cursor.reset();
        }
        Statement known(db_, "INSERT OR IGNORE INTO sinks VALUES(?)");
        for (const std::string &sink : sinks) {
            known.bind(1, sink).run();
            known.reset();
        }
        Statement remove(db_, "DELETE FROM events WHERE reader = ? AND seq = ?");
        for (const auto &[reader, seq] : bad) {
            remove.bind(1, reader).bind(2, seq).run();
            remove.reset();
        }
    }
    keepCap(batch);
    {
        std::map<std::string, std::uint64_t> next;
        for (const Pending &p : batch) next[p.reader] = std::max(next[p.reader], p.seq + 1);
        Statement keep(db_, "INSERT INTO readers VALUES(?, ?) ON CONFLICT(reader) DO UPDATE "
                            "SET next_seq = max(next_seq, excluded.next_seq)");
        for (const auto &[reader, seq] : next) {
            keep.bind(1, reader).bind(2, seq).run();
            keep.reset();
        }
    }
    exec(db_, "COMMIT");
    if (sync) {
        exec(db_, "PRAGMA synchronous = NORMAL");
        lastSyncMs_ = steadyMs();
        unsynced_ = false;
    } else if (options_.fsync == Fsync::Interval && !batch.empty()) {
        unsynced_ = true;
    }
}

// Keeps the journal within its cap: first the oldest history (events every
// output acknowledged), and only when none is left the oldest events not yet
// delivered, each reader's in one `dropped` event that names them.
void Journal::keepCap(std::vector<Pending> &batch) {
    std::uint64_t used = usedBytes(db_);
    bytes_ = used;
    if (used <= options_.maxBytes) return;
    std::vector<std::string> readers;
    std::uint64_t room;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        for (const auto &entry : nextSeq_) readers.push_back(entry.first);
    }
    for (int pass = 0; pass < 64 && used > options_.maxBytes; ++pass) {
        const std::uint64_t perEvent = std::max<std::uint64_t>(used / std::max<std::uint64_t>(held_, 1), 64);
        std::uint64_t deleted = 0;
        room = (used - options_.maxBytes * 9 / 10) / perEvent + 1;
        for (const std::string &reader : readers) {
            std::uint64_t acked;
            {
                const std::lock_guard<std::mutex> guard(mutex_);
                acked = ackedByAll(reader);
            }
            if (acked == 0) continue;
            Statement trim(db_, "DELETE FROM events WHERE id IN (SELECT id FROM events WHERE reader = ? "
                                "AND seq <= ? ORDER BY seq LIMIT ?)");
            trim.bind(1, reader).bind(2, acked).bind(3, room).run();
            deleted += static_cast<std::uint64_t>(sqlite3_changes(db_));
        }
        held_ -= std::min(held_, deleted);
        used = usedBytes(db_);
        if (deleted > 0) continue;

        // Nothing acknowledged is left: the oldest undelivered events go.
        // In steps of at least a hundredth, so that a full journal does not
        // drop (and announce) a handful at every commit.
        room = std::max<std::uint64_t>((used - options_.maxBytes) / perEvent + 16, held_ / 100);
        // Who loses how many: the owners of the oldest rows. Each reader
        // then loses its lowest sequence numbers, so that what it loses is
        // one run of numbers on from what it lost before.
        std::map<std::string, std::uint64_t> share;
        {
            Statement oldest(db_, "SELECT reader FROM events ORDER BY id LIMIT ?");
            oldest.bind(1, room);
            while (oldest.step() == SQLITE_ROW) ++share[oldest.text(0)];
        }
        std::map<std::string, Notice> dropped;
        std::uint64_t gone = 0;
        for (const auto &[reader, count] : share) {
            Notice &n = dropped[reader];
            {
                Statement lowest(db_, "SELECT seq, body FROM events WHERE reader = ? ORDER BY seq LIMIT ?");
                lowest.bind(1, reader).bind(2, count);
                while (lowest.step() == SQLITE_ROW) {
                    std::uint64_t first = lowest.integer(0);
                    // An earlier dropped event going too: the new one names
                    // what it named as well.
                    const std::string body = lowest.text(1);
                    if (body.find("\"type\":\"dropped\"") != std::string::npos) {
                        const auto earlier = nlohmann::json::parse(body, nullptr, false);
                        if (earlier.is_object()) first = std::min(first, earlier.value("firstSeq", first));
                    }
                    if (n.lost++ == 0) n.firstSeq = first;
                    n.firstSeq = std::min(n.firstSeq, first);
                    n.lastSeq = std::max(n.lastSeq, lowest.integer(0));
                }
            }
            Statement drop(db_, "DELETE FROM events WHERE reader = ? AND seq <= ?");
            drop.bind(1, reader).bind(2, n.lastSeq).run();
            gone += static_cast<std::uint64_t>(sqlite3_changes(db_));
        }
        if (gone == 0) break;
        held_ -= std::min(held_, gone);
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            stats_.dropped += gone;
        }
        // The dropped events take the next sequence numbers, after every
        // event already numbered: those still queued join this commit, so
        // that what is committed stays an unbroken run of each reader's
        // numbers (the outputs read it in that order).
        const std::size_t before = batch.size();
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            while (!queue_.empty()) {
                batch.push_back(std::move(queue_.front()));
                queue_.pop_front();
            }
            room_.notify_all();
            for (auto &[reader, n] : dropped) {
                droppedBy_[reader] += n.lost;
                n.lost = n.lastSeq - n.firstSeq + 1;  // the victims run on from what was dropped before
                events::TagEvent event;
                event.type = events::EventType::Dropped;
                event.reader = reader;
                event.count = n.lost;
                event.firstSeq = n.firstSeq;
                event.lastSeq = n.lastSeq;
                stampLocked(event);
                batch.push_back({reader, std::string(), events::serialize(event), event.seq, event.wallClockMs});
                n.reader = reader;
                n.text = "the journal is full (" + std::to_string(options_.maxBytes >> 20) +
                         " MB): dropped " + std::to_string(n.lost) + " undelivered events of reader " +
                         reader + " (seq " + std::to_string(n.firstSeq) + " to " + std::to_string(n.lastSeq) + ")";
            }
        }
        insertBatch(batch, before);
        for (const auto &[reader, n] : dropped) notice(n);
        used = usedBytes(db_);
    }
    bytes_ = used;
}

void Journal::writerLoop() {
    for (;;) {
        std::vector<Pending> batch;
        std::map<std::pair<std::string, std::string>, std::uint64_t> acks;
        std::vector<std::pair<std::string, std::uint64_t>> bad;
        std::vector<std::string> sinks;
        bool stop;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(kWriterWakeMs), [this] {
                return stopping_ || !queue_.empty() || !bad_.empty() ||
                       (flushing_ > 0 && (!acks_.empty() || !newSinks_.empty()));
            });
            stop = stopping_;
            while (!queue_.empty() && batch.size() < kMaxBatch) {
                batch.push_back(std::move(queue_.front()));
                queue_.pop_front();
            }
            acks.swap(acks_);
            bad.swap(bad_);
            sinks.swap(newSinks_);
            writing_ = !batch.empty() || !acks.empty() || !bad.empty() || !sinks.empty();
            room_.notify_all();
            if (!writing_ && stop) break;
        }
        if (writing_) commit(batch, acks, bad, sinks);
        else if (unsynced_ && steadyMs() - lastSyncMs_ >= options_.intervalMs) {
            // Idle, with commits the disk may not hold yet: one small commit
            // under FULL syncs the write-ahead log with everything before it.
            exec(db_, "PRAGMA synchronous = FULL");
            exec(db_, "INSERT OR REPLACE INTO meta VALUES('synced', strftime('%s','now'))");
            exec(db_, "PRAGMA synchronous = NORMAL");
            lastSyncMs_ = steadyMs();
            unsynced_ = false;
        }
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            for (const Pending &p : batch)
                committedSeq_[p.reader] = std::max(committedSeq_[p.reader], p.seq);
            stats_.committed += batch.size();
            stats_.events = held_;
            stats_.bytes = bytes_;
            if (writing_) ++stats_.commits;
            writing_ = false;
        }
        committed_.notify_all();
    }
    // The last commit reaches the disk whatever the setting.
    exec(db_, "PRAGMA synchronous = FULL");
    exec(db_, "INSERT OR REPLACE INTO meta VALUES('synced', strftime('%s','now'))");
}

void Journal::close() {
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    room_.notify_all();
    if (writer_.joinable()) writer_.join();
    committed_.notify_all();
    {
        const std::lock_guard<std::mutex> guard(readMutex_);
        sqlite3_close(readDb_);
        readDb_ = nullptr;
    }
    if (db_) {
        exec(db_, "PRAGMA wal_checkpoint(TRUNCATE)");
        sqlite3_close(db_);
        db_ = nullptr;
    }
    if (lockFd_ >= 0) {
        ::close(lockFd_);
        lockFd_ = -1;
    }
}

std::vector<Record> Journal::fetch(const std::string &reader, std::uint64_t afterSeq, std::size_t limit) {
    std::vector<Record> records;
    std::vector<std::pair<std::string, std::uint64_t>> failed;
    {
        const std::lock_guard<std::mutex> guard(readMutex_);
        if (!readDb_) return records;
        Statement select(readDb_, "SELECT seq, body, crc FROM events WHERE reader = ? AND seq > ? "
                                  "ORDER BY seq LIMIT ?");
        select.bind(1, reader).bind(2, afterSeq).bind(3, static_cast<std::uint64_t>(limit));
        while (select.step() == SQLITE_ROW) {
            Record record{select.integer(0), select.text(1)};
            if (checksum(reader, record.seq, record.body) != static_cast<std::uint32_t>(select.integer(2))) {
                failed.emplace_back(reader, record.seq);
                continue;
            }
            records.push_back(std::move(record));
        }
    }
    if (failed.empty()) return records;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        for (auto it = failed.begin(); it != failed.end();)
            it = reportedBad_.insert(*it).second ? it + 1 : failed.erase(it);
        bad_.insert(bad_.end(), failed.begin(), failed.end());
        wake_.notify_one();
    }
    for (const auto &[who, seq] : failed) {
        events::TagEvent event;
        event.type = events::EventType::Journal;
        event.reader = who;
        event.count = 1;
        event.firstSeq = event.lastSeq = seq;
        event.text = "event " + std::to_string(seq) + " failed its checksum in the journal: removed, not published";
        append(event);
        Notice n;
        n.reader = who;
        n.lost = 1;
        n.firstSeq = n.lastSeq = seq;
        n.text = "event " + std::to_string(seq) + " of reader " + who +
                 " failed its checksum in the journal: removed, not published";
        notice(n);
    }
    return records;
}

std::vector<std::string> Journal::readersWithBacklog(const std::string &sink) {
    const std::lock_guard<std::mutex> guard(mutex_);
    std::vector<std::string> readers;
    for (const auto &[reader, seq] : committedSeq_) {
        const auto found = cursors_.find({sink, reader});
        if (seq > (found == cursors_.end() ? 0 : found->second)) readers.push_back(reader);
    }
    return readers;
}

std::uint64_t Journal::backlog(const std::string &sink, const std::string &reader) {
    const std::lock_guard<std::mutex> guard(mutex_);
    const auto committed = committedSeq_.find(reader);
    if (committed == committedSeq_.end()) return 0;
    const auto found = cursors_.find({sink, reader});
    const std::uint64_t acked = found == cursors_.end() ? 0 : found->second;
    return committed->second > acked ? committed->second - acked : 0;
}

std::uint64_t Journal::commits() {
    const std::lock_guard<std::mutex> guard(mutex_);
    return stats_.commits;
}

void Journal::waitForCommit(std::uint64_t seen, unsigned timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    committed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                        [&] { return stats_.commits > seen || stopping_; });
}

std::vector<std::string> Journal::history(const std::string &epc, std::size_t limit) {
    std::vector<std::string> bodies;
    const std::lock_guard<std::mutex> guard(readMutex_);
    if (!readDb_) return bodies;
    Statement select(readDb_, "SELECT reader, seq, body, crc FROM events WHERE epc = ? ORDER BY id DESC LIMIT ?");
    select.bind(1, epc).bind(2, static_cast<std::uint64_t>(limit));
    while (select.step() == SQLITE_ROW) {
        std::string body = select.text(2);
        if (checksum(select.text(0), select.integer(1), body) == static_cast<std::uint32_t>(select.integer(3)))
            bodies.push_back(std::move(body));
    }
    return bodies;
}

std::vector<std::string> Journal::recent(std::size_t limit) {
    std::vector<std::string> bodies;
    const std::lock_guard<std::mutex> guard(readMutex_);
    if (!readDb_) return bodies;
    Statement select(readDb_, "SELECT reader, seq, body, crc FROM events ORDER BY id DESC LIMIT ?");
    select.bind(1, static_cast<std::uint64_t>(limit));
    while (select.step() == SQLITE_ROW) {
        std::string body = select.text(2);
        if (checksum(select.text(0), select.integer(1), body) == static_cast<std::uint32_t>(select.integer(3)))
            bodies.push_back(std::move(body));
    }
    return bodies;
}

std::uint64_t Journal::dropped(const std::string &reader) {
    const std::lock_guard<std::mutex> guard(mutex_);
    const auto found = droppedBy_.find(reader);
    return found == droppedBy_.end() ? 0 : found->second;
}

JournalStats Journal::stats() {
    const std::lock_guard<std::mutex> guard(mutex_);
    return stats_;
}

}  // namespace tessaro::journal
