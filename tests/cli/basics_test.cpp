// The tool's frame: global options, errors, exit codes, info.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "run_tessaro.h"

using tessaro::testing::readFile;
using tessaro::testing::scratchFile;
using tessaro::testing::sim;
using tessaro::testing::runTessaro;

namespace {

TEST(CliInfo, JsonHasTheSettingsInWords) {
    const auto run = sim("--json info");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto documents = run.json();
    ASSERT_EQ(documents.size(), 1u);
    const auto &info = documents[0];
    EXPECT_EQ(info["region"]["name"], "us");
    EXPECT_EQ(info["region"]["lowestMHz"], 902.75);
    EXPECT_EQ(info["region"]["highestMHz"], 927.25);
    EXPECT_EQ(info["power"], 30);
    EXPECT_EQ(info["scanTime"], 1000);
    EXPECT_EQ(info["antennas"], nlohmann::json({1, 2, 3, 4}));
    EXPECT_EQ(info["workMode"], "answer");
    EXPECT_EQ(info["moduleVersion"], "1.8");
}

TEST(CliInfo, TextNamesTheBandInMegahertz) {
    const auto run = sim("info");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("902.75 to 927.25 MHz"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("30 dBm"), std::string::npos);
}

TEST(CliErrors, BadArgumentsExitTwoAndSendNothing) {
    const char *bad[] = {"inventory --q 16", "inventory --antennas 5", "inventory --mask epc:32",
                         "inventory --rounds 3", "--address 300 info", "nosuchcommand"};
    for (const char *arguments : bad) {
        const std::string transcript = scratchFile("transcript");
        const auto run = sim("--record " + transcript + " " + arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments;
        EXPECT_FALSE(run.err.empty()) << arguments;
        EXPECT_EQ(readFile(transcript), "") << arguments;  // not even opened
    }
}

TEST(CliBasics, HelpAndVersionExitZero) {
    EXPECT_EQ(runTessaro("--version").exitCode, 0);
    const auto help = runTessaro("inventory --help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--watch"), std::string::npos);
}

TEST(CliBasics, TraceShowsEveryReportWithDirection) {
    const auto run = sim("--trace info");
    ASSERT_EQ(run.exitCode, 0);
    // The reader information command: 04 FF 21 and its CRC, in a data report.
    EXPECT_NE(run.err.find("> 0 020504FF21"), std::string::npos) << run.err.substr(0, 400);
    EXPECT_NE(run.err.find("\n< "), std::string::npos);
}

}  // namespace

namespace {

TEST(CliSim, APopulationFileOrItsFaultyLine) {
    const std::string population = scratchFile("tags");
    std::ofstream(population) << "gen2 epc=300000000000000000000001 antenna=3 rssi=-40\n";
    const auto run = runTessaro("--sim " + population + " --virtual-clock --json inventory");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.json().front()["antenna"], 3);

    std::ofstream(population) << "gen2 epc=3000\ngen2 epc=3001 rsi=-40\n";
    const auto bad = runTessaro("--sim " + population + " --virtual-clock info");
    EXPECT_EQ(bad.exitCode, 3);
    EXPECT_NE(bad.err.find("line 2"), std::string::npos) << bad.err;
    std::remove(population.c_str());
}

TEST(CliErrors, AReaderAtAnotherAddressGivesTheCommunicationText) {
    const auto run = sim("--address 7 info");  // the simulated reader listens at 0
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("ERR_COMM: no complete answer"), std::string::npos) << run.err;
}

TEST(CliErrors, AScanTimeBeyondTheLibrarysWaitIsRefusedBeforeTheInventory) {
    const auto run = sim("--trace inventory --scan-time 9000");
    // The reader's own scan time rules it out, known only once asked: exit 1.
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("give --scan-time 7000 or less"), std::string::npos) << run.err;
    // Only the opening sync and the reader information's frame, poll and
    // acknowledgement went out: no inventory.
    size_t written = 0;
    for (size_t at = run.err.find("> "); at != std::string::npos; at = run.err.find("\n> ", at + 1))
        ++written;
    EXPECT_EQ(written, 4u) << run.err;
}

TEST(CliInventoryFormats, CsvHasAHeaderAndOneRowPerRead) {
    const auto run = sim("-q inventory --csv --tid --antennas 1");
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("time_ms,round,epc,tid,antenna,rssi\n", 0), 0u);
    size_t rows = 0;
    for (char c : run.out) rows += c == '\n';
    EXPECT_EQ(rows, 1u + 9);  // the header, then antenna 1's nine tags
    EXPECT_NE(run.out.find(",3034257BF7194E40000003E9,E280110520005A3C018045D0,1,-41\n"),
              std::string::npos);
}

}  // namespace
