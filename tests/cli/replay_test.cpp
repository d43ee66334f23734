// Transcripts recorded with the simulated reader (tests/transcripts) replay
// to the output they printed when recorded.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "run_tessaro.h"

using tessaro::testing::readFile;
using tessaro::testing::runTessaro;
using tessaro::testing::scratchFile;

namespace {

const std::filesystem::path kTranscripts = std::filesystem::path(TESSARO_SOURCE_DIR) / "tests/transcripts";

// The subcommand a transcript was recorded with: its second line holds the
// command line, whose words after "--record FILE" are the subcommand's.
std::string recordedArguments(const std::filesystem::path &transcript) {
    std::ifstream file(transcript);
    std::string header, commandLine;
    std::getline(file, header);
    std::getline(file, commandLine);
    const std::string marker = transcript.filename().string() + " ";
    const size_t at = commandLine.find(marker);
    return at == std::string::npos ? "" : commandLine.substr(at + marker.size());
}

TEST(CliReplay, EveryTranscriptReplaysToItsRecordedOutput) {
    int replayed = 0;
    for (const auto &entry : std::filesystem::directory_iterator(kTranscripts)) {
        if (entry.path().extension() != ".transcript") continue;
        const std::string arguments = recordedArguments(entry.path());
        ASSERT_FALSE(arguments.empty()) << entry.path();
        const auto run = runTessaro("-q replay " + entry.path().string() + " -- " + arguments);
        EXPECT_NE(run.exitCode, 4) << entry.path() << "\n" << run.err;
        std::filesystem::path expected = entry.path();
        expected.replace_extension(".out");
        EXPECT_EQ(run.out, readFile(expected.string())) << entry.path();
        ++replayed;
    }
    EXPECT_GE(replayed, 5);
}

TEST(CliReplay, OtherArgumentsAreReportedAsDifferences) {
    const auto transcript = (kTranscripts / "inventory-tid.transcript").string();
    const auto run = runTessaro("-q replay " + transcript + " -- inventory");
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_NE(run.err.find("the host wrote"), std::string::npos) << run.err;
}

TEST(CliReplay, ARecordingReplaysToTheSameJson) {
    const std::string transcript = scratchFile("transcript");
    const auto recorded = tessaro::testing::sim("--json --record " + transcript + " inventory --tid");
    ASSERT_EQ(recorded.exitCode, 0);
    const auto replayed = runTessaro("--json replay " + transcript + " -- inventory --tid");
    EXPECT_EQ(replayed.exitCode, 0) << replayed.err;
    EXPECT_EQ(replayed.json(), recorded.json());
    std::remove(transcript.c_str());
}

TEST(CliReplay, ABrokenTranscriptIsRefusedWithItsLine) {
    const std::string transcript = scratchFile("transcript");
    std::ofstream(transcript) << "# tessaro transcript 1\n> 0 0A0B\n";
    const auto run = runTessaro("replay " + transcript + " -- info");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("line 2"), std::string::npos) << run.err;
    std::remove(transcript.c_str());
}

}  // namespace
