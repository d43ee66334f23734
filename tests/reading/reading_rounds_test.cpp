// Continuous reading, round by round: a link between the library and the
// simulated reader decides what happens to each command of each round
// (refused, answered with another status, answered with a damaged tag list),
// so every threshold and counter of the reading is checked exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "reading_fixture.h"

namespace tessaro::simtest {
namespace {

constexpr int kInventory = 0x01;
constexpr int kInventoryBuffer = 0x18;
constexpr int kReadBuffer = 0x72;
constexpr int kClearBuffer = 0x73;

// What becomes of one command frame: it goes through, it is refused (the
// write fails, as to an unplugged reader), or its answer is replaced by a
// frame of another status or has its second tag record damaged.
struct Fate {
    enum Kind { Pass, Refuse, Status, DamageList } kind = Pass;
    int status = 0;
};
// The fate of the `nth` frame (1, 2, ...) of command code `command`.
using Script = std::function<Fate(int command, int nth)>;

// The simulator's transport with a script on the frames the host writes.
class ScriptedLink {
public:
    explicit ScriptedLink(TessaroSim *sim) {
        TessaroSimGetTransport(sim, &inner_);
        self_ = {TESSARO_TRANSPORT_VERSION, this, interfacePath, open, attributes, writeReport,
                 readReport, close, tickMs, sleepMs};
    }

    const TessaroTransport &transport() const { return self_; }
    Script script = [](int, int) { return Fate{}; };

private:
    static ScriptedLink &link(void *context) { return *static_cast<ScriptedLink *>(context); }
    static const TessaroTransport &inner(void *context) { return link(context).inner_; }

    static int TESSARO_CALL interfacePath(void *c, int index, char *path, size_t size) {
        return inner(c).interfacePath(inner(c).context, index, path, size);
    }
    static void *TESSARO_CALL open(void *c, const char *path) {
        return inner(c).open(inner(c).context, path);
    }
    static int TESSARO_CALL attributes(void *c, void *device, unsigned short *vendor,
                                       unsigned short *product) {
        return inner(c).attributes(inner(c).context, device, vendor, product);
    }
    static int TESSARO_CALL writeReport(void *c, void *device, const unsigned char *report,
                                        unsigned waitMs) {
        return link(c).write(device, report, waitMs);
    }
    static int TESSARO_CALL readReport(void *c, void *device, unsigned char *report,
                                       unsigned waitMs) {
        return link(c).read(device, report, waitMs);
    }
    static void TESSARO_CALL close(void *c, void *device) { inner(c).close(inner(c).context, device); }
    static unsigned TESSARO_CALL tickMs(void *c) { return inner(c).tickMs(inner(c).context); }
    static void TESSARO_CALL sleepMs(void *c, unsigned ms) { inner(c).sleepMs(inner(c).context, ms); }

    int write(void *device, const unsigned char *report, unsigned waitMs) {
        if (report[0] == REPORT_ID_DATA) {
            const int command = report[4];  // id, count, then Len, Adr, Cmd
            const Fate fate = script(command, ++frames_[command]);
            if (fate.kind == Fate::Refuse) return -1;
            pending_ = fate;
        }
        return inner_.writeReport(inner_.context, device, report, waitMs);
    }

    int read(void *device, unsigned char *report, unsigned waitMs) {
        const int got = inner_.readReport(inner_.context, device, report, waitMs);
        if (got != REPORT_SIZE || report[1] == 0 || pending_.kind == Fate::Pass) return got;
        unsigned char *frame = report + 2;  // the answer's first report: its frame starts here
        if (pending_.kind == Fate::Status) {
            const unsigned char replaced[6] = {5, frame[1], frame[2],
                                               static_cast<unsigned char>(pending_.status)};
            std::memset(report + 1, 0, REPORT_SIZE - 1);
            std::memcpy(frame, replaced, sizeof replaced);
            report[1] = sizeof replaced;
        } else {
            // Len Adr reCmd Status Antenna Count, then records: the second
            // record's EPC length is made as long as the whole record.
            const int second = 6 + frame[6] + 1;
            frame[second + 1] = frame[second];
        }
        GetCRC(frame, frame[0] - 1);
        pending_ = Fate{};
        return got;
    }

    TessaroTransport inner_{};
    TessaroTransport self_{};
    std::map<int, int> frames_;
    Fate pending_;
};

// Two tags on antenna 1 (one inventory answer fits one report), read through
// the scripted link.
class ScriptedReading : public ReadingOn<SimBus> {
protected:
    void SetUp() override {
        SimBus::SetUp();
        addTag("gen2 epc=300000000000000000000001 antenna=1 rssi=-40");
        addTag("gen2 epc=300000000000000000000002 antenna=1 rssi=-45");
        link = std::make_unique<ScriptedLink>(sim);
        ASSERT_EQ(TessaroSetTransport(&link->transport()), 0);
        int port = 0;
        ASSERT_EQ(OpenUSBPort(&port), 0);
        ASSERT_EQ(port, 1);
        useRecorder();
    }
    void TearDown() override {
        EXPECT_EQ(TessaroReadingFree(recorder.reading), 0);
        recorder.reading = nullptr;
        TessaroSetTransport(nullptr);
        SimBus::TearDown();
    }

    // The inventory rounds' fates in order ('.' pass, 'F' refused, 'E' and
    // 'e' two error statuses, 'O' the scan time overran, 'N' no tag, 'D' a
    // damaged list); every later round passes.
    void scriptRounds(const std::string &rounds) {
        link->script = [rounds](int code, int nth) {
            Fate fate;
            if (code != kInventory || nth > static_cast<int>(rounds.size())) return fate;
            switch (rounds[nth - 1]) {
            case 'F': fate.kind = Fate::Refuse; break;
            case 'E': fate = {Fate::Status, 0xFE}; break;
            case 'e': fate = {Fate::Status, 0xFF}; break;
            case 'O': fate = {Fate::Status, 0x02}; break;
            case 'N': fate = {Fate::Status, 0xFB}; break;
            case 'D': fate.kind = Fate::DamageList; break;
            }
            return fate;
        };
    }
    std::vector<Status> statusEvents() {
        return recorder.holds([](Recorder &r) { return r.statusEvents; });
    }
    bool statusSeen(int event) {
        return eventually([&] {
            for (const Status &s : statusEvents())
                if (s.event == event) return true;
            return false;
        });
    }

    // Virtual milliseconds from one round's reads to the next one's: a
    // reading with the options so far runs five rounds to tell (every round
    // the same length).
    unsigned long long roundPeriod() {
        start();
        EXPECT_TRUE(roundsReach(5));
        EXPECT_EQ(TessaroReadingFree(recorder.reading), 0);
        recorder.reading = nullptr;
        std::vector<unsigned long long> at;
        for (const Read &read : recorder.reads)
            if (read.epc == recorder.reads.front().epc) at.push_back(read.at);
        recorder.reads.clear();
        recorder.statusEvents.clear();
        EXPECT_GE(at.size(), 4u);
        if (at.size() < 4) return 0;
        EXPECT_EQ(at[3] - at[2], at[2] - at[1]) << "rounds of the same length";
        return at[2] - at[1];
    }

    std::unique_ptr<ScriptedLink> link;
};

const std::string kFirst = "300000000000000000000001";
const std::string kSecond = "300000000000000000000002";

// Failed rounds in a row: N - 1 of them, twice, each run ended by a good
// round, keep the reading going; the N-th in a row reports the reader lost.
class LostThreshold : public ScriptedReading, public ::testing::WithParamInterface<unsigned> {};

TEST_P(LostThreshold, TheNthFailedRoundInARowLosesTheReader) {
    const unsigned setting = GetParam();
    const unsigned n = std::max(setting, 1u);  // 0 counts as 1
    const std::string shortRun = std::string(n - 1, 'F') + ".";
    const std::string rounds = "." + shortRun + shortRun + std::string(n, 'F');
    scriptRounds(rounds);
    options.lostAfterFailures = setting;
    options.retryIntervalMs = 200;
    start();
    ASSERT_TRUE(statusSeen(TESSARO_READING_BACK));
    ASSERT_TRUE(roundsReach(rounds.size() + 2));
    stop();

    const auto events = statusEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].event, TESSARO_READING_LOST);
    EXPECT_EQ(events[0].code, ERR_COMM);
    EXPECT_EQ(events[0].rounds, rounds.size()) << "lost at the last failed round, not before";
    EXPECT_EQ(events[1].event, TESSARO_READING_BACK);
    EXPECT_EQ(events[1].code, 0);
    EXPECT_GE(events[1].at, events[0].at + options.retryIntervalMs);
    EXPECT_EQ(stats().lost, 1u);
    // The good rounds before and after handed over both tags.
    std::set<unsigned long long> roundsRead;
    for (const Read &read : recorder.reads) roundsRead.insert(read.round);
    for (std::size_t round = 1; round <= rounds.size(); ++round)
        EXPECT_EQ(roundsRead.count(round), rounds[round - 1] == '.' ? 1u : 0u) << round;
    EXPECT_EQ(roundsRead.count(rounds.size() + 1), 1u);
}

INSTANTIATE_TEST_SUITE_P(, LostThreshold, ::testing::Values(0u, 1u, 2u, 3u));

// A round that ends with a reader status is reported once per change of
// that status, and its end with code 0. An overrun scan time and an empty
// field are results, not errors.
TEST_F(ScriptedReading, AnErrorIsReportedWhenItChangesAndCodeZeroWhenItClears) {
    scriptRounds(".EEeONN.");
    start();
    ASSERT_TRUE(roundsReach(9));
    stop();
    const auto events = statusEvents();
    ASSERT_EQ(events.size(), 3u);
    const int expected[3][3] = {{TESSARO_READING_ERROR, 0xFE, 2},
                                {TESSARO_READING_ERROR, 0xFF, 4},
                                {TESSARO_READING_ERROR, 0, 5}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(events[i].event, expected[i][0]) << i;
        EXPECT_EQ(events[i].code, expected[i][1]) << i;
        EXPECT_EQ(events[i].rounds, static_cast<unsigned long long>(expected[i][2])) << i;
    }
    EXPECT_EQ(recorder.texts[2], TessaroReturnCodeText(0));
    EXPECT_EQ(stats().lost, 0u);
}

// The reader coming back clears the slate: an error that is still there is
// reported again.
TEST_F(ScriptedReading, AnErrorThatOutlastsALostReaderIsReportedAgain) {
    scriptRounds(".EFFE.");
    options.retryIntervalMs = 200;
    start();
    ASSERT_TRUE(roundsReach(7));
    stop();
    std::vector<std::pair<int, int>> events;
    for (const Status &s : statusEvents()) events.emplace_back(s.event, s.code);
    EXPECT_EQ(events, (std::vector<std::pair<int, int>>{{TESSARO_READING_ERROR, 0xFE},
                                                        {TESSARO_READING_LOST, ERR_COMM},
                                                        {TESSARO_READING_BACK, 0},
                                                        {TESSARO_READING_ERROR, 0xFE},
                                                        {TESSARO_READING_ERROR, 0}}));
}

TEST_F(ScriptedReading, DamagedListsAreCountedAndTheRecordsBeforeTheDamageKept) {
    scriptRounds(".D.D");
    start();
    ASSERT_TRUE(roundsReach(6));
    stop();
    EXPECT_EQ(stats().badLists, 2u);
    std::map<unsigned long long, std::vector<std::string>> byRound;
    for (const Read &read : recorder.reads) byRound[read.round].push_back(read.epc);
    for (unsigned long long round = 1; round <= 5; ++round)
        EXPECT_EQ(byRound[round], round % 2 ? std::vector<std::string>({kFirst, kSecond})
                                            : std::vector<std::string>({kFirst}))
            << round;
    EXPECT_EQ(stats().reads, stats().reported);
}

// In buffered mode a round is three commands; any of them failing to reach
// the reader fails the round, and its tags are not handed over.
class BufferedFailures : public ScriptedReading, public ::testing::WithParamInterface<int> {};

TEST_P(BufferedFailures, AFailedCommandFailsTheRoundAndLosesTheReader) {
    const int command = GetParam();
    link->script = [command](int code, int nth) {
        Fate fate;
        if (code == command && nth >= 2) fate.kind = Fate::Refuse;
        return fate;
    };
    options.mode = TESSARO_READING_BUFFERED;
    start();
    ASSERT_TRUE(statusSeen(TESSARO_READING_LOST));
    stop();
    const auto events = statusEvents();
    EXPECT_EQ(events[0].event, TESSARO_READING_LOST);
    EXPECT_EQ(events[0].code, ERR_COMM);
    EXPECT_EQ(events[0].rounds, 1 + options.lostAfterFailures);
    ASSERT_EQ(recorder.reads.size(), 2u);
    for (const Read &read : recorder.reads) EXPECT_EQ(read.round, 1u) << read.epc;
}

INSTANTIATE_TEST_SUITE_P(, BufferedFailures,
                         ::testing::Values(kInventoryBuffer, kReadBuffer, kClearBuffer),
                         [](const ::testing::TestParamInfo<int> &command) {
                             return command.param == kInventoryBuffer ? std::string("InventoryBuffer")
                                    : command.param == kReadBuffer    ? std::string("ReadBuffer")
                                                                      : std::string("ClearBuffer");
                         });

// A read-out that fails leaves the tags in the reader's buffer: the next
// round hands over a tag read in the failed round, even one that has left.
TEST_F(ScriptedReading, AFailedReadOutLeavesTheTagsInTheReadersBuffer) {
    link->script = [this](int code, int nth) {
        Fate fate;
        if (code == kReadBuffer && nth == 2) {
            TessaroSimPlaceTag(sim, reader, 1, 0, -45);
            fate.kind = Fate::Refuse;
        }
        return fate;
    };
    options.mode = TESSARO_READING_BUFFERED;
    start();
    ASSERT_TRUE(roundsReach(5));
    stop();
    std::map<unsigned long long, std::set<std::string>> byRound;
    for (const Read &read : recorder.reads) byRound[read.round].insert(read.epc);
    EXPECT_EQ(byRound[1], (std::set<std::string>{kFirst, kSecond}));
    EXPECT_EQ(byRound.count(2), 0u);
    EXPECT_EQ(byRound[3], (std::set<std::string>{kFirst, kSecond}));
    EXPECT_EQ(byRound[4], std::set<std::string>{kFirst});
}

// The reads of `epc`, in order.
std::vector<Read> readsOf(const std::vector<Read> &reads, const std::string &epc) {
    std::vector<Read> out;
    for (const Read &read : reads)
        if (read.epc == epc) out.push_back(read);
    return out;
}

// With a window of exactly three rounds every tag is reported in rounds 1,
// 4, 7, ...: not in between (too little de-duplication) and not later (too
// much), each tag on its own.
TEST_F(ScriptedReading, DeduplicationReportsATagOncePerWindowExactly) {
    const unsigned long long period = roundPeriod();
    ASSERT_GT(period, 0u);
    options.dedupWindowMs = static_cast<unsigned>(3 * period);
    start();
    ASSERT_TRUE(roundsReach(12));
    stop();
    for (const std::string &epc : {kFirst, kSecond}) {
        const auto reported = readsOf(recorder.reads, epc);
        ASSERT_GE(reported.size(), 3u) << epc;
        EXPECT_EQ(reported[0].round, 1u) << epc;
        for (std::size_t i = 1; i < reported.size(); ++i)
            EXPECT_EQ(reported[i].round - reported[i - 1].round, 3u) << epc << " report " << i;
    }
    EXPECT_EQ(stats().reported, recorder.reads.size());
    EXPECT_GT(stats().reads, stats().reported);
}

// A tag that leaves departs exactly departAfterMs after its last read: with
// three rounds' time, in the third round without it; its departure tells its
// reads and the strongest of them.
TEST_F(ScriptedReading, ATagDepartsExactlyDepartAfterMsAfterItsLastRead) {
    const unsigned long long period = roundPeriod();
    ASSERT_GT(period, 0u);
    options.presence = 1;
    options.departAfterMs = static_cast<unsigned>(3 * period);
    // Its second read is its strongest; then it leaves.
    recorder.afterRead = [&](const Read &read) {
        if (read.epc != kSecond) return;
        if (read.round == 1) TessaroSimPlaceTag(sim, reader, 1, 1, -30);
        if (read.round == 2) TessaroSimPlaceTag(sim, reader, 1, 0, -30);
    };
    start();
    ASSERT_TRUE(roundsReach(8));
    stop();
    const auto seen = readsOf(recorder.reads, kSecond);
    ASSERT_EQ(seen.size(), 2u);
    std::vector<Presence> departures;
    for (const Presence &p : recorder.presence)
        if (p.event == TESSARO_PRESENCE_DEPARTED) departures.push_back(p);
    ASSERT_EQ(departures.size(), 1u);
    EXPECT_EQ(departures[0].epc, kSecond);
    EXPECT_EQ(departures[0].at, seen.back().at + 3 * period);
    EXPECT_EQ(departures[0].reads, 2);
    EXPECT_EQ(departures[0].peakRssi, -30);
}

}  // namespace
}  // namespace tessaro::simtest
