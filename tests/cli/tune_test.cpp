// The report pause from the command line: --pause and tessaro tune.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "run_tessaro.h"

using tessaro::testing::sim;

namespace {

// Virtual time of the last report in a --trace ("> 200 0301..."): how long
// the command took.
unsigned lastReportMs(const std::string &trace) {
    std::istringstream lines(trace);
    std::string line, last;
    while (std::getline(lines, line))
        if (line.size() > 2 && (line[0] == '>' || line[0] == '<')) last = line;
    return static_cast<unsigned>(std::stoul(last.substr(2)));
}

TEST(CliPause, ReachesTheLibraryAndIsRangeChecked) {
    const auto slow = sim("--trace info"), fast = sim("--trace --pause 5 info");
    ASSERT_EQ(slow.exitCode, 0) << slow.err;
    ASSERT_EQ(fast.exitCode, 0) << fast.err;
    EXPECT_EQ(fast.out, slow.out) << "the same answers";
    EXPECT_EQ(lastReportMs(fast.err) * 10, lastReportMs(slow.err));

    const auto refused = sim("--pause 51 info");
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("--pause"), std::string::npos) << refused.err;
}

TEST(CliTune, FallsToTheSmallestIntactPauseAndReportsTheSpeedUp) {
    const auto run = sim("--json tune");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto documents = run.json();
    ASSERT_GE(documents.size(), 2u);
    const auto &summary = documents.back();

    unsigned previousPause = 51, previousMs = ~0u;
    for (std::size_t i = 0; i + 1 < documents.size(); ++i) {
        const auto &row = documents[i];
        EXPECT_LT(row["pauseMs"].get<unsigned>(), previousPause);
        // The simulated reader keeps up at any pause, and every step is faster.
        EXPECT_TRUE(row["intact"].get<bool>()) << row.dump();
        EXPECT_LE(row["ms"].get<unsigned>(), previousMs) << row.dump();
        previousPause = row["pauseMs"];
        previousMs = row["ms"];
    }
    EXPECT_EQ(documents.front()["pauseMs"], 50);
    EXPECT_EQ(summary["smallestPauseMs"], 0);
    EXPECT_EQ(summary["msAt50"], documents.front()["ms"]);
    EXPECT_EQ(summary["msAtSmallest"], previousMs);
    const double speedup = summary["msAt50"].get<double>() / summary["msAtSmallest"].get<double>();
    EXPECT_NEAR(summary["speedup"].get<double>(), speedup, 0.05);
    EXPECT_GT(speedup, 2.0);
}

TEST(CliTune, TextNamesThePauseToUse) {
    const auto run = sim("tune");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Smallest pause with every answer intact: 0 ms"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("tessaro --pause 0"), std::string::npos);
}

}  // namespace
