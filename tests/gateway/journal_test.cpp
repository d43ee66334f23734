// The event journal: order and sequence numbers across runs, delivery
// cursors, the size cap, and what it does with a damaged or foreign folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "journal/journal.h"

namespace tessaro::journal {
namespace {

namespace fs = std::filesystem;
using events::EventType;
using events::TagEvent;

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("tessaro-journal-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
    }
    void TearDown() override {
        journal.close();
        fs::remove_all(folder);
    }

    JournalOptions options(std::uint64_t maxBytes = 100u << 20) {
        JournalOptions o;
        o.folder = folder.string();
        o.maxBytes = maxBytes;
        o.fsync = Fsync::Never;  // the tests need no disk flushes
        return o;
    }
    void open(std::uint64_t maxBytes = 100u << 20) {
        std::string error;
        ASSERT_TRUE(journal.open(options(maxBytes), error)) << error;
    }
    void reopen(std::uint64_t maxBytes = 100u << 20) {
        journal.close();
        open(maxBytes);
    }
    std::uint64_t append(const std::string &reader, int n, const std::string &epcPrefix = "3034257BF7194E4000000") {
        std::uint64_t last = 0;
        for (int i = 0; i < n; ++i) {
            TagEvent event;
            event.reader = reader;
            event.epc = epcPrefix + std::to_string(100 + i % 900);
            event.antenna = 1 + i % 4;
            event.round = 1;
            journal.append(event);
            last = event.seq;
        }
        return last;
    }
    std::vector<nlohmann::json> fetchAll(const std::string &reader, std::uint64_t after = 0) {
        std::vector<nlohmann::json> out;
        for (const Record &record : journal.fetch(reader, after, 1000000)) {
            nlohmann::json body = nlohmann::json::parse(record.body);
            EXPECT_EQ(body["seq"], record.seq);  // the body is the event it claims to be
            EXPECT_EQ(body["reader"], reader);
            out.push_back(body);
        }
        return out;
    }
    static std::vector<std::uint64_t> seqs(const std::vector<nlohmann::json> &events) {
        std::vector<std::uint64_t> out;
        for (const auto &event : events) out.push_back(event["seq"]);
        return out;
    }
    std::string read(const fs::path &path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void write(const fs::path &path, const std::string &bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    bool noticed(const std::string &words) {
        for (const Notice &n : journal.notices())
            if (n.text.find(words) != std::string::npos) return true;
        return false;
    }

    fs::path folder;
    Journal journal;
};

std::vector<std::uint64_t> range(std::uint64_t from, std::uint64_t to) {
    std::vector<std::uint64_t> out;
    for (std::uint64_t i = from; i <= to; ++i) out.push_back(i);
    return out;
}

TEST_F(JournalTest, SequenceNumbersGoOnAcrossRunsPerReader) {
    open();
    EXPECT_EQ(journal.run(), 1u);
    append("AAAA0001", 5);
    append("BBBB0002", 3);
    reopen();
    EXPECT_EQ(journal.run(), 2u);
    EXPECT_EQ(append("AAAA0001", 2), 7u);
    journal.flush();
    const auto a = fetchAll("AAAA0001");
    EXPECT_EQ(seqs(a), range(1, 7));
    EXPECT_EQ(a.front()["run"], 1);
    EXPECT_EQ(a.back()["run"], 2);
    EXPECT_EQ(seqs(fetchAll("BBBB0002")), range(1, 3));
}

// An output starts after what was journaled before it existed; what it
// acknowledged stays acknowledged in the next run, and the rest comes again.
TEST_F(JournalTest, CursorsResumeAfterTheLastAcknowledgedEvent) {
    open();
    append("AAAA0001", 4);
    journal.flush();
    journal.addCursor("mqtt");
    EXPECT_EQ(journal.acknowledged("mqtt", "AAAA0001"), 4u);
    append("AAAA0001", 6);
    journal.flush();
    EXPECT_EQ(journal.backlog("mqtt", "AAAA0001"), 6u);
    journal.acknowledge("mqtt", "AAAA0001", 7);
    journal.acknowledge("mqtt", "AAAA0001", 6);  // never backwards
    journal.flush();
    reopen();
    journal.addCursor("mqtt");
    EXPECT_EQ(journal.acknowledged("mqtt", "AAAA0001"), 7u);
    EXPECT_EQ(journal.readersWithBacklog("mqtt"), std::vector<std::string>{"AAAA0001"});
    EXPECT_EQ(seqs(fetchAll("AAAA0001", 7)), range(8, 10));
}

// A process that dies after a commit (no close, no checkpoint) leaves every
// committed event and acknowledgment to the next run.
TEST_F(JournalTest, WhatWasCommittedSurvivesAProcessThatDies) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string error;
        Journal doomed;
        if (!doomed.open(options(), error)) _exit(1);
        doomed.addCursor("mqtt");
        for (int i = 0; i < 50; ++i) {
            TagEvent event;
            event.reader = "AAAA0001";
            event.epc = "30340000";
            doomed.append(event);
        }
        doomed.acknowledge("mqtt", "AAAA0001", 20);
        doomed.flush();
        _exit(0);  // as kill -9 would: nothing closed
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    open();
    journal.addCursor("mqtt");
    EXPECT_EQ(journal.acknowledged("mqtt", "AAAA0001"), 20u);
    EXPECT_EQ(seqs(fetchAll("AAAA0001", 20)), range(21, 50));
    EXPECT_EQ(append("AAAA0001", 1), 51u);
}

// Full: history (acknowledged events) goes first; only then the oldest
// undelivered events, counted in a dropped event that names them.
TEST_F(JournalTest, TheCapTakesHistoryFirstThenTheOldestUndelivered) {
    open(1u << 20);
    journal.addCursor("mqtt");
    std::vector<Notice> seen;
    journal.setNoticeHandler([&seen](const Notice &n) { seen.push_back(n); });
    // EPCs that are no GS1 EPCs: events without a gs1 object, whose size the
    // counts below are made for.
    const std::string plain = "E200341200000000000";
    const std::uint64_t half = append("AAAA0001", 1500, plain);
    journal.flush();
    ASSERT_LT(journal.stats().bytes, 1u << 20);  // half the cap or so: nothing may go yet
    journal.acknowledge("mqtt", "AAAA0001", half);
    append("AAAA0001", 2500, plain);  // beyond the cap: history goes
    journal.flush();
    EXPECT_EQ(journal.stats().dropped, 0u);
    EXPECT_EQ(seqs(fetchAll("AAAA0001", half)), range(half + 1, half + 2500));

    append("AAAA0001", 4000, plain);  // beyond the cap with no history left: undelivered go
    journal.flush();
    const std::uint64_t dropped = journal.stats().dropped;
    ASSERT_GT(dropped, 0u);
    EXPECT_EQ(journal.dropped("AAAA0001"), dropped);
    EXPECT_LE(journal.stats().bytes, (1u << 20) + (64u << 10));
    // The oldest undelivered went, the newest stayed, and dropped events
    // name exactly what is missing (a later one may name an earlier one).
    std::set<std::uint64_t> kept, named;
    std::uint64_t last = 0;
    for (const auto &event : fetchAll("AAAA0001", half)) {
        last = event["seq"];
        kept.insert(last);
        if (event["type"] != "dropped") continue;
        for (std::uint64_t seq = event["firstSeq"]; seq <= event["lastSeq"]; ++seq) named.insert(seq);
    }
    for (std::uint64_t seq = half + 1; seq <= last; ++seq)
        EXPECT_NE(kept.count(seq), named.count(seq)) << seq;  // kept or named dropped, never both
    EXPECT_LE(named.size() - dropped, 20u);  // dropped events that went themselves
    EXPECT_EQ(*named.begin(), half + 1);
    ASSERT_FALSE(seen.empty());
    EXPECT_NE(seen.front().text.find("dropped"), std::string::npos);
}

TEST_F(JournalTest, WithoutAnOutputThatPromisesDeliveryNothingIsDropped) {
    open(1u << 20);
    append("AAAA0001", 8000);
    journal.flush();
    EXPECT_EQ(journal.stats().dropped, 0u);
    EXPECT_LE(journal.stats().bytes, 1u << 20);
    EXPECT_FALSE(journal.recent(5).empty());
    const auto history = journal.history("3034257BF7194E4000000100", 100);
    ASSERT_FALSE(history.empty());
    for (const std::string &body : history)
        EXPECT_EQ(nlohmann::json::parse(body)["epc"], "3034257BF7194E4000000100");
    // Newest first: the last read of that tag is the last one appended.
    EXPECT_EQ(nlohmann::json::parse(history.front())["seq"], 7201);  // i = 7200
}

TEST_F(JournalTest, AFlippedByteInAnEventIsNeverPublished) {
    open();
    append("AAAA0001", 3);
    TagEvent marked;
    marked.reader = "AAAA0001";
    marked.epc = "CAFEF00DCAFEF00DCAFEF00D";
    journal.append(marked);
    append("AAAA0001", 3);
    journal.close();
    std::string bytes = read(folder / "journal.db");
    const std::size_t at = bytes.find("\"epc\":\"CAFEF00DCAFEF00DCAFEF00D");  // in the body
    ASSERT_NE(at, std::string::npos);
    bytes[at + 8] = 'B';  // CAFE... becomes CBFE...
    write(folder / "journal.db", bytes);

    open();
    std::vector<Notice> seen;
    journal.setNoticeHandler([&seen](const Notice &n) { seen.push_back(n); });
    const auto events = fetchAll("AAAA0001");
    EXPECT_EQ(seqs(events), (std::vector<std::uint64_t>{1, 2, 3, 5, 6, 7}));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].firstSeq, 4u);
    journal.flush();
    // The reader's stream says so itself.
    const auto after = fetchAll("AAAA0001", 7);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0]["type"], "journal");
    EXPECT_EQ(after[0]["firstSeq"], 4);
}

// Damage SQLite finds: the journal is moved aside, every event that can be
// read and passes its checksum is carried over, and no sequence number is
// given twice.
TEST_F(JournalTest, ADamagedDatabaseIsSetAsideAndItsIntactEventsCarriedOver) {
    struct Case {
        const char *name;
        void (*damage)(std::string &bytes);
    };
    const Case cases[] = {
        {"truncated", [](std::string &b) { b.resize(b.size() / 2); }},
        {"interior page garbled",
         [](std::string &b) {
             for (std::size_t i = 4096 * 3; i < 4096 * 3 + 64 && i < b.size(); ++i) b[i] = '\xA5';
         }},
        {"header garbled", [](std::string &b) { b.replace(0, 16, "not a database!!"); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        journal.close();
        fs::remove_all(folder);
        open();
        journal.addCursor("mqtt");
        append("AAAA0001", 600);
        journal.close();
        std::string bytes = read(folder / "journal.db");
        ASSERT_GT(bytes.size(), 4096u * 8);
        c.damage(bytes);
        write(folder / "journal.db", bytes);

        open();
        EXPECT_TRUE(noticed("the journal was damaged")) << journal.notices().front().text;
        const Notice &summary = journal.notices().front();
        EXPECT_TRUE(fs::exists(summary.movedTo));
        EXPECT_EQ(fs::path(summary.movedTo).parent_path(), folder / "damaged");
        const auto events = fetchAll("AAAA0001");  // each checks its own seq
        EXPECT_EQ(events.size(), summary.recovered);
        std::uint64_t previous = 0;
        for (const auto &event : events) {
            EXPECT_GT(event["seq"].get<std::uint64_t>(), previous);
            previous = event["seq"];
        }
        EXPECT_GT(append("AAAA0001", 1), previous);
        // Nothing was delivered before the damage: all of it is still owed.
        journal.addCursor("mqtt");
        EXPECT_EQ(journal.acknowledged("mqtt", "AAAA0001"), 0u);
    }
}

TEST_F(JournalTest, AnEmptyOrUnreadableJournalIsSetAsideAndANewOneStarts) {
    struct Case {
        const char *name;
        void (*make)(const fs::path &db);
        const char *notice;
    };
    const Case cases[] = {
        {"zero length", [](const fs::path &db) { std::ofstream(db).flush(); }, "journal.db is empty"},
        {"a folder", [](const fs::path &db) { fs::create_directories(db / "x"); }, "journal.db is not a file"},
        {"garbage", [](const fs::path &db) { std::ofstream(db) << std::string(9000, 'z'); }, "the journal was damaged"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        journal.close();
        fs::remove_all(folder);
        fs::create_directories(folder);
        c.make(folder / "journal.db");
        open();
        EXPECT_TRUE(noticed(c.notice));
        EXPECT_EQ(append("AAAA0001", 2), 2u);
        journal.flush();
        EXPECT_EQ(fetchAll("AAAA0001").size(), 2u);
    }
}

// A journal whose record of the numbers is gone (emptied here) never gives
// a number twice: numbering goes on after the reservation kept beside it.
TEST_F(JournalTest, NumbersAreNeverGivenTwiceEvenWhenTheDatabaseIsLost) {
    open();
    const std::uint64_t last = append("AAAA0001", 5);
    journal.close();
    std::ofstream(folder / "journal.db", std::ios::trunc).flush();
    open();
    EXPECT_TRUE(noticed("journal.db is empty"));
    EXPECT_TRUE(noticed("sequence numbers of reader AAAA0001 was lost: they go on from"));
    EXPECT_GT(append("AAAA0001", 1), last);
    EXPECT_EQ(journal.run(), 2u);
}

TEST_F(JournalTest, AFileNoOneReadsIsSetAside) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    open();
    append("AAAA0001", 2);
    journal.close();
    chmod((folder / "journal.db").c_str(), 0);
    open();
    EXPECT_TRUE(noticed("damaged"));
    EXPECT_EQ(append("AAAA0001", 1), 1u);
}

TEST_F(JournalTest, FilesThatAreNotTheJournalsAreMovedOrRefused) {
    // In a journal's folder: moved aside.
    open();
    journal.close();
    std::ofstream(folder / "notes.txt") << "mine";
    open();
    EXPECT_TRUE(noticed("'notes.txt' in the journal folder is not the journal's"));
    EXPECT_FALSE(fs::exists(folder / "notes.txt"));
    ASSERT_EQ(journal.notices().size(), 1u);
    EXPECT_EQ(read(journal.notices()[0].movedTo), "mine");
    journal.close();
    // A folder of other files is not tidied: refused.
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(folder / "report.pdf") << "x";
    std::string error;
    EXPECT_FALSE(journal.open(options(), error));
    EXPECT_NE(error.find("holds files that are not a journal ('report.pdf')"), std::string::npos) << error;
    EXPECT_TRUE(fs::exists(folder / "report.pdf"));
}

TEST_F(JournalTest, OneProcessPerFolderAndAFolderThatCannotBeWritten) {
    open();
    Journal second;
    std::string error;
    EXPECT_FALSE(second.open(options(), error));
    EXPECT_NE(error.find(folder.string()), std::string::npos) << error;
    EXPECT_NE(error.find("(PID " + std::to_string(getpid()) + ")"), std::string::npos) << error;

    JournalOptions underAFile = options();
    underAFile.folder = (folder / "journal.db" / "sub").string();
    EXPECT_FALSE(second.open(underAFile, error));
    EXPECT_NE(error.find("cannot make the journal folder"), std::string::npos) << error;
}

TEST(Fsync, NamesAndSettings) {
    Fsync fsync;
    for (const char *name : {"always", "interval", "never"}) {
        ASSERT_TRUE(parseFsync(name, fsync));
        EXPECT_STREQ(fsyncName(fsync), name);
    }
    EXPECT_FALSE(parseFsync("sometimes", fsync));
}

}  // namespace
}  // namespace tessaro::journal
