// The tool facing a reader that misbehaves: transcripts recorded on the
// simulated reader whose answers are then changed, replayed with
// `tessaro replay` (the host's reports stay those recorded, so the replay
// finds no difference unless the tool does something else).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "run_tessaro.h"
#include "transcript.h"

using namespace tessaro::testing;

namespace {

constexpr int kInventory = 0x01;
const std::string kFirst = "300000000000000000000001";
const std::string kSecond = "300000000000000000000002";

// Two tags whose inventory answer fits one report.
class CliFaults : public ::testing::Test {
protected:
    void SetUp() override {
        population = scratchFile("tags");
        std::ofstream(population) << "gen2 epc=" << kFirst << " antenna=1 rssi=-40\n"
                                  << "gen2 epc=" << kSecond << " antenna=1 rssi=-45\n";
        transcript = scratchFile("transcript");
    }
    void TearDown() override {
        std::remove(population.c_str());
        std::remove(transcript.c_str());
    }

    // Records `arguments` on the two tags; the transcript, read back.
    Transcript record(const std::string &arguments) {
        const tessaro::testing::Run run = runTessaro("--sim " + population + " --virtual-clock --record " +
                                   transcript + " " + arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return Transcript(transcript);
    }
    tessaro::testing::Run replay(const Transcript &changed, const std::string &arguments) {
        changed.save(transcript);
        return runTessaro("--json replay " + transcript + " -- " + arguments);
    }

    std::string population, transcript;
};

// A frame answering an inventory with `status` and nothing else.
Bytes statusFrame(int status) {
    return {0x05, 0x00, kInventory, static_cast<unsigned char>(status)};
}

// Five failed rounds in a row end --watch; four, then a good one, do not.
TEST_F(CliFaults, WatchStopsAfterFiveFailedRoundsInARow) {
    Transcript t = record("--json inventory --watch --rounds 12");
    const auto rounds = t.commands(kInventory);
    ASSERT_EQ(rounds.size(), 12u);
    const std::string fates = "FFFF.FFFFF";  // round 10 is the fifth failure in a row
    for (std::size_t i = 0; i < fates.size(); ++i)
        if (fates[i] == 'F') t.answerWith(t.answerAfter(rounds[i]), statusFrame(0xFE));
    t.endAfter(rounds[fates.size()] - 2);  // before round 11's sync report
    const tessaro::testing::Run run = replay(t, "inventory --watch --rounds 12");
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("stopped after 5 failed rounds in a row"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("inventory failed: "), std::string::npos) << run.err;
    const auto documents = run.json();
    ASSERT_GE(documents.size(), 4u);
    // The two reads of round 5, the summary, the error.
    EXPECT_EQ(documents[0]["epc"], kFirst);
    EXPECT_EQ(documents[0]["round"], 5);
    EXPECT_EQ(documents[1]["epc"], kSecond);
    const auto &summary = documents[2];
    EXPECT_EQ(summary["type"], "summary");
    EXPECT_EQ(summary["rounds"], 10);
    EXPECT_EQ(summary["reads"], 2);
    EXPECT_EQ(documents[3]["code"], 0xFE);
}

// A tag list whose second record does not hold together: the first tag is
// shown, the damage is reported at the byte where the second record starts,
// and the inventory fails: tags may be missing from what it shows.
TEST_F(CliFaults, ADamagedTagListIsReportedWhereTheDamageIs) {
    Transcript t = record("--json inventory");
    const std::size_t answer = t.answerAfter(t.commands(kInventory).at(0));
    Bytes frame = t.lines[answer].frameBytes();
    frame.resize(frame.size() - 2);  // the CRC, made anew
    // Len Adr reCmd Status Antenna Count, then the records.
    const std::size_t second = 6 + frame[6] + 1;
    ASSERT_LT(second + 1, frame.size());
    frame[second + 1] = frame[second];  // an EPC as long as the whole record
    t.answerWith(answer, frame);
    const tessaro::testing::Run run = replay(t, "inventory");
    EXPECT_NE(run.err.find("the reader's tag list is damaged at byte " + std::to_string(second - 6) +
                           "; the rest of it is skipped"),
              std::string::npos)
        << run.err;
    const auto documents = run.json();
    ASSERT_EQ(documents.size(), 3u);
    EXPECT_EQ(documents[0]["epc"], kFirst);
    EXPECT_EQ(documents[1]["type"], "summary");
    EXPECT_EQ(documents[1]["reads"], 1);
    EXPECT_EQ(documents[2]["type"], "error");
    EXPECT_EQ(run.exitCode, 1) << run.err;
}

// A replay that leaves recorded reports unused says how many.
TEST_F(CliFaults, AReplayThatStopsShortCountsTheReportsLeft) {
    const Transcript oneRound = record("inventory --watch --rounds 1");
    const Transcript twoRounds = record("inventory --watch --rounds 2");
    ASSERT_GT(twoRounds.lines.size(), oneRound.lines.size());
    const tessaro::testing::Run run = replay(twoRounds, "inventory --watch --rounds 1");
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_NE(run.err.find(": " + std::to_string(twoRounds.lines.size() - oneRound.lines.size()) +
                           " recorded reports were not used"),
              std::string::npos)
        << run.err;
    const auto whole = replay(twoRounds, "inventory --watch --rounds 2");
    EXPECT_EQ(whole.exitCode, 0) << whole.err;
}

}  // namespace
