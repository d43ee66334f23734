// The commissioning station in this process on the simulated reader, with a
// hand on the tags: labels taken away in the middle of a write, the process
// killed in the middle of a write, locks checked on the tags themselves.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <set>

#include "Tessaro.h"
#include "TessaroSim.h"
#include "commission_station.h"
#include "run_tessaro.h"

namespace tessaro::cli {
namespace {

constexpr unsigned char kWriteData = 0x03, kReadData = 0x02;

// The simulated reader behind a transport that shows each command frame to
// the test before the reader gets it.
class Bench {
public:
    explicit Bench(const std::string &population) {
        sim_ = TessaroSimCreate(TESSARO_SIM_VIRTUAL_CLOCK);
        reader_ = TessaroSimAddReader(sim_);
        char error[200] = "";
        tags_ = TessaroSimLoadPopulationText(sim_, reader_, population.c_str(), error, sizeof error);
        EXPECT_GT(tags_, 0) << error;
        TessaroSimGetTransport(sim_, &inner_);
        TessaroTransport outer = inner_;
        outer.context = this;
        outer.interfacePath = [](void *c, int i, char *p, size_t s) { return self(c)->inner_.interfacePath(self(c)->inner_.context, i, p, s); };
        outer.open = [](void *c, const char *p) { return self(c)->inner_.open(self(c)->inner_.context, p); };
        outer.attributes = [](void *c, void *d, unsigned short *v, unsigned short *p) { return self(c)->inner_.attributes(self(c)->inner_.context, d, v, p); };
        outer.readReport = [](void *c, void *d, unsigned char *r, unsigned w) { return self(c)->inner_.readReport(self(c)->inner_.context, d, r, w); };
        outer.close = [](void *c, void *d) { self(c)->inner_.close(self(c)->inner_.context, d); };
        outer.tickMs = [](void *c) { return self(c)->inner_.tickMs(self(c)->inner_.context); };
        outer.sleepMs = [](void *c, unsigned ms) { self(c)->inner_.sleepMs(self(c)->inner_.context, ms); };
        outer.writeReport = [](void *c, void *d, const unsigned char *r, unsigned w) {
            Bench &bench = *self(c);
            // A data report: id, frame length, then the frame: Len, Adr, Cmd, ...
            if (r[0] == REPORT_ID_DATA && bench.onCommand) bench.onCommand(r[4], r + 2);
            const int written = bench.inner_.writeReport(bench.inner_.context, d, r, w);
            if (r[0] == REPORT_ID_DATA && bench.afterCommand) bench.afterCommand(r[4], r + 2);
            return written;
        };
        EXPECT_EQ(TessaroSetTransport(&outer), 0);
        EXPECT_EQ(OpenUSBPort(&port_), 0);
    }
    ~Bench() {
        TessaroSetTransport(nullptr);
        TessaroSimDestroy(sim_);
    }

    StationLink link() {
        StationLink link;
        link.port = port_;
        link.nowMs = [this] { return TessaroSimNowMs(sim_); };
        link.sleepMs = [this](unsigned ms) { TessaroSimAdvanceMs(sim_, ms); };
        return link;
    }
    std::string epcOf(int tag) {
        unsigned char bank[64];
        const int length = TessaroSimReadTagMemory(sim_, reader_, tag, TESSARO_SIM_BANK_EPC, bank, sizeof bank);
        std::string hex;
        for (int i = 4; i < 4 + (bank[2] >> 3) * 2 && i < length; ++i) {
            char two[3];
            std::snprintf(two, sizeof two, "%02X", bank[i]);
            hex += two;
        }
        return hex;
    }
    TessaroSim *sim_;
    int reader_ = 0, tags_ = 0, port_ = 0;
    std::function<void(unsigned char, const unsigned char *)> onCommand, afterCommand;

private:
    static Bench *self(void *context) { return static_cast<Bench *>(context); }
    TessaroTransport inner_{};
};

// `count` blank labels, each in the field for 3 s with 1 s between them;
// TIDs ...A000 + firstTid.
std::string roll(int count, int firstTid = 0) {
    std::string text;
    for (int k = 0; k < count; ++k) {
        char line[200];
        std::snprintf(line, sizeof line,
                      "gen2 epc=E2801160200050A0%08X tid=E2801160200050A0%08X antenna=1 rssi=-45 arrive=%d leave=%d\n",
                      0x1000 + firstTid + k, 0x1000 + firstTid + k, k * 4000, k * 4000 + 3000);
        text += line;
    }
    return text;
}

struct Recorder : StationObserver {
    std::vector<std::string> activities;
    std::vector<JournalLabel> labels;
    void status(const StationStatus &s) override {
        if (activities.empty() || activities.back() != s.activity) activities.push_back(s.activity);
    }
    void label(const JournalLabel &l) override { labels.push_back(l); }
    bool saw(const std::string &text) const {
        for (const std::string &a : activities)
            if (a.find(text) != std::string::npos) return true;
        return false;
    }
};

CommissionPlan sgtinPlan(int count) {
    CommissionPlan plan;
    plan.first = "urn:epc:tag:sgtin-96:1.0614141.812345.1001";
    plan.count = count;
    plan.filter = 1;
    return plan;
}

std::unique_ptr<Journal> newJournal(const std::string &path, const CommissionPlan &plan) {
    std::remove(path.c_str());
    std::string error;
    auto journal = Journal::create(path, plan, error);
    EXPECT_TRUE(journal) << error;
    return journal;
}

StationResult runStation(Bench &bench, Journal &journal, Recorder &recorder, const StationOptions &options = {}) {
    IdentityList identities;
    std::string error;
    EXPECT_TRUE(identities.load(journal.plan(), error)) << error;
    StationOptions bounded = options;
    bounded.idleTimeoutMs = 20000;
    Station station(bench.link(), bounded, journal, identities, recorder);
    return station.run();
}

TEST(Station, LocksWithTheAccessPasswordAsTheTagsThemselvesShow) {
    Bench bench(roll(3));
    const std::string path = testing::scratchFile("journal");
    CommissionPlan plan = sgtinPlan(3);
    plan.accessPassword = plan.lock = true;
    auto journal = newJournal(path, plan);
    StationOptions options;
    options.setPassword = options.lock = true;
    const unsigned char password[4] = {0x5E, 0xC0, 0xDE, 0x42};
    std::memcpy(options.accessPassword, password, 4);
    Recorder recorder;
    const StationResult result = runStation(bench, *journal, recorder, options);
    EXPECT_TRUE(result.complete) << result.stopped;
    ASSERT_EQ(result.ok, 3);
    for (int tag = 0; tag < 3; ++tag) {
        TessaroSimTagState state;
        ASSERT_EQ(TessaroSimGetTagState(bench.sim_, bench.reader_, tag, &state), 0);
        EXPECT_EQ(state.locks[TESSARO_SIM_LOCK_EPC], TESSARO_SIM_LOCKED) << tag;
        EXPECT_EQ(state.locks[TESSARO_SIM_LOCK_ACCESS], TESSARO_SIM_LOCKED) << tag;
        unsigned char reserved[8];
        ASSERT_EQ(TessaroSimReadTagMemory(bench.sim_, bench.reader_, tag, TESSARO_SIM_BANK_RESERVED, reserved, 8), 8);
        EXPECT_EQ(std::memcmp(reserved + 4, password, 4), 0) << tag;
        EXPECT_EQ(bench.epcOf(tag), journal->labels().at(tag).epc);
    }
}

TEST(Station, TwoTagsInTheFieldWaitUntilOneIsTakenAway) {
    // Label B lies beside label A until 1.5 s; label C comes later.
    Bench bench("gen2 epc=E200000A tid=E2801160200050A0000000A1 antenna=1 rssi=-45 leave=6000\n"
                "gen2 epc=E200000B tid=E2801160200050A0000000B1 antenna=1 rssi=-40 leave=1500\n"
                "gen2 epc=E200000C tid=E2801160200050A0000000C1 antenna=1 rssi=-45 arrive=8000 leave=11000\n");
    auto journal = newJournal(testing::scratchFile("journal"), sgtinPlan(2));
    Recorder recorder;
    const StationResult result = runStation(bench, *journal, recorder);
    EXPECT_TRUE(result.complete) << result.stopped;
    EXPECT_TRUE(recorder.saw("2 tags in the field: take all but one away"));
    ASSERT_EQ(recorder.labels.size(), 2u);
    EXPECT_EQ(recorder.labels[0].tid, "E2801160200050A0000000A1");
    EXPECT_EQ(recorder.labels[1].tid, "E2801160200050A0000000C1");
    EXPECT_EQ(bench.epcOf(1), "E200000B") << "the second tag was never written";
}

TEST(Station, ALabelTakenAwayMidWriteFailsAndItsSerialIsRetired) {
    Bench bench(roll(3));
    auto journal = newJournal(testing::scratchFile("journal"), sgtinPlan(3));
    // The second label leaves the field after its EPC was written, before it is read back.
    int writes = 0;
    bench.onCommand = [&](unsigned char command, const unsigned char *) {
        if (command == kWriteData) ++writes;
        if (command == kReadData && writes == 2) TessaroSimPlaceTag(bench.sim_, bench.reader_, 1, 0, -45);
    };
    Recorder recorder;
    const StationResult result = runStation(bench, *journal, recorder);
    EXPECT_EQ(result.ok, 2);
    EXPECT_EQ(result.failed, 1);
    EXPECT_TRUE(result.complete) << "three labels, three serials: " << result.stopped;
    const auto &labels = journal->labels();
    ASSERT_EQ(labels.size(), 3u);
    EXPECT_EQ(labels.at(0).result, "ok");
    EXPECT_EQ(labels.at(1).result, "failed");
    EXPECT_NE(labels.at(1).reason.find("reading the EPC back"), std::string::npos) << labels.at(1).reason;
    EXPECT_EQ(labels.at(1).serial, "1002");
    // The label pulled away holds serial 1002's EPC: reported, and 1002 is not used again.
    EXPECT_EQ(bench.epcOf(1), labels.at(1).epc);
    EXPECT_EQ(labels.at(2).serial, "1003");
    EXPECT_EQ(labels.at(2).result, "ok");
    EXPECT_EQ(labels.at(2).tid, "E2801160200050A000001002");
}

TEST(Station, KilledMidWriteThenResumedUsesNoSerialTwiceAndSkipsNone) {
    const std::string path = testing::scratchFile("journal");
    newJournal(path, sgtinPlan(8));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The station in a process of its own, killed (SIGKILL) as the third
        // label's EPC has gone out to the tag.
        Bench bench(roll(8));
        std::string error;
        auto journal = Journal::resume(path, error);
        int writes = 0;
        bench.afterCommand = [&](unsigned char command, const unsigned char *) {
            if (command == kWriteData && ++writes == 3) raise(SIGKILL);
        };
        Recorder recorder;
        runStation(bench, *journal, recorder);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

    // Resumed with new labels; between the first two, the first label of the
    // killed run comes by again.
    Bench bench(roll(6, 0x100) +
                "gen2 epc=E2801160200050A000001000 tid=E2801160200050A000001000 antenna=1 arrive=3100 leave=3900\n");
    std::string error;
    auto journal = Journal::resume(path, error);
    ASSERT_TRUE(journal) << error;
    ASSERT_EQ(journal->labels().size(), 3u);
    EXPECT_EQ(journal->labels().at(2).result, "") << "begun, never done";
    Recorder recorder;
    const StationResult result = runStation(bench, *journal, recorder);
    EXPECT_TRUE(result.complete) << result.stopped;
    EXPECT_EQ(result.interrupted, 1);
    EXPECT_EQ(result.refused, 1) << "the label commissioned before the kill is refused";
    EXPECT_EQ(result.ok, 5);

    // Read back from the file: every index once, each serial once, the
    // interrupted one retired and reported.
    auto reread = Journal::read(path, error);
    ASSERT_TRUE(reread) << error;
    const auto &labels = reread->labels();
    ASSERT_EQ(labels.size(), 8u);
    std::set<std::string> serials;
    for (int index = 0; index < 8; ++index) {
        const JournalLabel &label = labels.at(index);
        EXPECT_TRUE(serials.insert(label.serial).second) << label.serial;
        EXPECT_EQ(label.serial, std::to_string(1001 + index));
        EXPECT_EQ(label.result, index == 2 ? "interrupted" : "ok") << index;
    }
    EXPECT_EQ(recorder.labels.front().serial, "1003");
    EXPECT_EQ(recorder.labels.front().result, "interrupted");
}

TEST(Journal, ALastLineCutShortIsSkippedAndClosedBeforeTheNextRecord) {
    const std::string path = testing::scratchFile("journal");
    {
        auto journal = newJournal(path, sgtinPlan(2));
        std::string error;
        JournalLabel label{0, "1001", "3034257BF7194E40000003E9", "E200", "t", "ok", ""};
        ASSERT_TRUE(journal->done(label, error));
    }
    {
        std::FILE *file = std::fopen(path.c_str(), "ab");
        std::fputs("{\"type\":\"begin\",\"index\":1,\"ser", file);  // the crash
        std::fclose(file);
    }
    std::string error;
    auto journal = Journal::resume(path, error);
    ASSERT_TRUE(journal) << error;
    EXPECT_EQ(journal->skippedLines(), 1);
    EXPECT_EQ(journal->nextIndex(), 1);
    JournalLabel label{1, "1002", "3034257BF7194E40000003EA", "E201", "t", "ok", ""};
    ASSERT_TRUE(journal->done(label, error));
    auto reread = Journal::read(path, error);
    ASSERT_TRUE(reread) << error;
    EXPECT_EQ(reread->labels().size(), 2u);
    EXPECT_EQ(reread->skippedLines(), 1);
    EXPECT_EQ(reread->csv(), "index,serial,epc,tid,time,result,reason\n"
                             "0,1001,3034257BF7194E40000003E9,E200,t,ok,\n"
                             "1,1002,3034257BF7194E40000003EA,E201,t,ok,\n");
}

}  // namespace
}  // namespace tessaro::cli
