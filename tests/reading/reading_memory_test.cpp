// What a reading remembers of its tags: the maxTags bound and its overflow
// counter, the eviction that makes room again, presence clocks across a lost
// reader; and the arguments TessaroReadingStart refuses.
#include <gtest/gtest.h>

#include <map>

#include "reading_fixture.h"

namespace tessaro::simtest {
namespace {

// The shelf's tags with room for 5: the first five of a round are
// remembered (and de-duplicated), every later one is counted as overflow and
// reported every round.
TEST_F(Reading, TagsBeyondMaxTagsAreCountedAndStillReported) {
    options.maxTags = 5;
    options.dedupWindowMs = ~0u;  // no window ends in this test, however long it runs
    start();
    ASSERT_TRUE(roundsReach(3));
    stop();
    // Each read finds the counter at the overflow of the rounds before it,
    // and at its own place among the overflowing reads of its round (the
    // reads after the fifth in round 1, every reported read after that).
    const unsigned long long beyondFive = shelfGen2Tags().size() - 5;
    std::map<unsigned long long, std::vector<std::string>> byRound;
    for (const Read &read : recorder.reads) {
        auto &round = byRound[read.round];
        round.push_back(read.epc);
        const unsigned long long beyond =
            read.round > 1 ? round.size() : round.size() > 5 ? round.size() - 5 : 0;
        EXPECT_EQ(read.tagsOverflow, beyondFive * (read.round - 1) + beyond)
            << "round " << read.round << ", read " << round.size();
    }
    const auto &first = byRound[1];
    ASSERT_EQ(first.size(), shelfGen2Tags().size());
    EXPECT_EQ(byRound[2], std::vector<std::string>(first.begin() + 5, first.end()));
}

// Tags that left the field and whose window has passed are forgotten when
// room is needed: the newcomers are then remembered and de-duplicated.
TEST_F(SimTest, ForgottenTagsMakeRoomForNewOnes) {
    addNumberedTags(10);
    for (int tag = 5; tag < 10; ++tag) ASSERT_EQ(TessaroSimPlaceTag(sim, reader, tag, 0, -50), 0);
    Recorder recorder;
    TessaroReadingOptions options;
    TessaroReadingDefaults(&options);
    options.maxTags = 5;
    options.dedupWindowMs = 1000;
    options.onTag = Recorder::onTag;
    options.userData = &recorder;
    // After the last read of round 1 the five tags change places with the
    // five outside (between two rounds: the callback runs on the reading's thread).
    recorder.afterRead = [&](const Read &read) {
        if (read.round != 1 || read.epc != numberedEpc(4)) return;
        for (int tag = 0; tag < 10; ++tag)
            TessaroSimPlaceTag(sim, reader, tag, tag < 5 ? 0 : 1, -50);
    };
    ASSERT_EQ(TessaroReadingStart(port, &options, &recorder.reading), 0);
    ASSERT_TRUE(eventually([&] {
        return recorder.holds([&](Recorder &r) {
            return !r.reads.empty() && r.reads.back().at > r.reads.front().at + 4000;
        });
    }));
    ASSERT_EQ(TessaroReadingStop(recorder.reading), 0);

    // The first five were last reported at the first round; a newcomer waits
    // for their window to pass, overflowing until then.
    const unsigned long long forgetAt = recorder.reads.front().at + options.dedupWindowMs;
    std::vector<Read> newcomer;
    for (const Read &read : recorder.reads)
        if (read.epc == numberedEpc(5)) newcomer.push_back(read);
    ASSERT_GE(newcomer.size(), 3u);
    std::size_t firstRemembered = 0;
    while (firstRemembered < newcomer.size() && newcomer[firstRemembered].at < forgetAt) ++firstRemembered;
    ASSERT_GE(firstRemembered, 1u) << "it overflowed before";
    ASSERT_LE(firstRemembered + 2, newcomer.size()) << "and was reported since";
    EXPECT_GT(newcomer[firstRemembered].tagsOverflow, 0u);
    for (std::size_t i = firstRemembered + 1; i < newcomer.size(); ++i) {
        EXPECT_GE(newcomer[i].at - newcomer[i - 1].at, options.dedupWindowMs) << "report " << i;
        EXPECT_EQ(newcomer[i].tagsOverflow, newcomer[firstRemembered].tagsOverflow)
            << "no overflow once there is room";
    }
    TessaroReadingStats stats{};
    TessaroReadingGetStats(recorder.reading, &stats);
    EXPECT_EQ(stats.tagsOverflow, newcomer[firstRemembered].tagsOverflow);
    EXPECT_EQ(TessaroReadingFree(recorder.reading), 0);
}

// While the reader is lost no tag departs; once it is back, a tag that left
// meanwhile departs departAfterMs later, not at the first round.
TEST_F(Reading, DeparturesWaitTheirTimeAfterTheReaderIsBack) {
    options.presence = 1;
    options.departAfterMs = 1000;
    options.retryIntervalMs = 3000;
    start();
    const auto arrivals = [&] {
        return recorder.holds([](Recorder &r) { return r.presence.size(); });
    };
    ASSERT_TRUE(eventually([&] { return arrivals() == shelfGen2Tags().size(); }));
    ASSERT_EQ(TessaroSimSetPlugged(sim, reader, 0), 0);
    ASSERT_TRUE(eventually([&] { return stats().readerLost == 1; }));
    ASSERT_EQ(TessaroSimPlaceTag(sim, reader, 0, 0, -41), 0);
    ASSERT_EQ(TessaroSimSetPlugged(sim, reader, 1), 0);
    ASSERT_TRUE(eventually([&] { return arrivals() > shelfGen2Tags().size(); }));
    stop();

    ASSERT_EQ(recorder.statuses, (std::vector<int>{TESSARO_READING_LOST, TESSARO_READING_BACK}));
    const unsigned long long back = recorder.statusEvents[1].at;
    ASSERT_EQ(recorder.presence.size(), shelfGen2Tags().size() + 1);
    const Presence &departure = recorder.presence.back();
    EXPECT_EQ(departure.event, TESSARO_PRESENCE_DEPARTED);
    EXPECT_EQ(departure.epc, "3034257BF7194E40000003E9");
    EXPECT_GE(departure.at, back + options.departAfterMs);
    EXPECT_LT(departure.at, back + 2 * options.departAfterMs);
}

TEST_F(Reading, StartRefusesWhatItCannotRun) {
    struct Case {
        const char *what;
        void (*change)(TessaroReadingOptions &);
        int expected;
    } cases[] = {
        {"mask of -1 bits", [](TessaroReadingOptions &o) { o.maskLength = -1; }, ERR_PARAMETER},
        {"mask of 256 bits", [](TessaroReadingOptions &o) { o.maskLength = 256; }, ERR_PARAMETER},
        {"mask of 255 bits", [](TessaroReadingOptions &o) { o.maskLength = 255; }, 0},
        {"mode -1", [](TessaroReadingOptions &o) { o.mode = -1; }, ERR_PARAMETER},
        {"mode 3", [](TessaroReadingOptions &o) { o.mode = 3; }, ERR_PARAMETER},
        {"buffered mode", [](TessaroReadingOptions &o) { o.mode = TESSARO_READING_BUFFERED; }, 0},
    };
    for (const Case &c : cases) {
        TessaroReadingOptions changed = options;
        changed.onTag = nullptr;
        changed.onStatus = nullptr;
        changed.onPresence = nullptr;
        c.change(changed);
        TessaroReading *const untouched = reinterpret_cast<TessaroReading *>(&changed);
        TessaroReading *reading = untouched;
        EXPECT_EQ(TessaroReadingStart(port, &changed, &reading), c.expected) << c.what;
        if (c.expected == 0) {
            EXPECT_NE(reading, untouched) << c.what;
            EXPECT_EQ(TessaroReadingFree(reading), 0);
        } else {
            EXPECT_EQ(reading, untouched) << c.what;
        }
    }
    EXPECT_EQ(TessaroReadingStart(port, &options, nullptr), ERR_PARAMETER);
}

}  // namespace
}  // namespace tessaro::simtest
