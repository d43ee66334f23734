// tessaro commission run as a user runs it, on the simulated roll of labels
// (population arrive=/leave=): a run of 50 labels, a kill -9 and --resume,
// the CSV export.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <set>
#include <thread>

#include "TessaroEpc.h"
#include "run_tessaro.h"

namespace {

using nlohmann::json;
using tessaro::testing::readFile;
using tessaro::testing::runTessaro;
using tessaro::testing::scratchFile;

// A population file of `count` blank labels passing one after the other;
// label `lateLabel` (if any) comes only after a long pause.
std::string rollFile(const std::string &name, int count, int firstTid, int lateLabel = -1) {
    const std::string path = scratchFile(name);
    std::ofstream file(path);
    for (int k = 0; k < count; ++k) {
        const long arrive = k * 4000L + (lateLabel >= 0 && k >= lateLabel ? 100000000L : 0);
        char line[200];
        std::snprintf(line, sizeof line, "gen2 tid=E2801160200050A0%08X epc=E2801160 antenna=1 arrive=%ld leave=%ld\n",
                      firstTid + k, arrive, arrive + 3000);
        file << line;
    }
    return path;
}

std::vector<json> journalRecords(const std::string &path) {
    std::vector<json> records;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) records.push_back(json::parse(line));
    return records;
}

TEST(CommissionTool, FiftyLabelsEachGetTheirSerialAndTheJournalExportsToCsv) {
    const std::string labels = rollFile("labels.tags", 50, 0x1000);
    const std::string journal = scratchFile("journal");
    std::remove(journal.c_str());
    const auto run = runTessaro("--sim " + labels + " --virtual-clock --json commission --gtin 80614141123458 "
                                "--company-prefix-length 7 --first-serial 1001 --count 50 --filter 1 "
                                "--idle-timeout 10 --journal " + journal);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto documents = run.json();
    ASSERT_EQ(documents.size(), 51u);
    std::set<std::string> serials, tids;
    for (int i = 0; i < 50; ++i) {
        const json &label = documents[i];
        ASSERT_EQ(label["result"], "ok") << label;
        EXPECT_EQ(label["serial"], std::to_string(1001 + i));
        serials.insert(label["serial"]);
        tids.insert(label["tid"]);
        // The EPC written is the identity: GTIN 80614141123458, this serial.
        std::vector<unsigned char> epc;
        const std::string hex = label["epc"];
        for (size_t k = 0; k < hex.size(); k += 2) epc.push_back(static_cast<unsigned char>(std::stoi(hex.substr(k, 2), nullptr, 16)));
        TessaroEpcIdentity id;
        ASSERT_EQ(TessaroEpcDecode(epc.data(), static_cast<int>(epc.size()), &id), TESSARO_OK);
        char text[TESSARO_EPC_TEXT_SIZE];
        TessaroEpcElementString(&id, text, sizeof text);
        EXPECT_EQ(std::string(text), "(01)80614141123458(21)" + std::to_string(1001 + i));
        EXPECT_EQ(id.filter, 1);
    }
    EXPECT_EQ(serials.size(), 50u);
    EXPECT_EQ(tids.size(), 50u);
    EXPECT_EQ(documents.back()["complete"], true);

    const std::string csv = scratchFile("labels.csv");
    const auto exported = runTessaro("commission --journal " + journal + " --export " + csv);
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    const std::string text = readFile(csv);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 51);
    EXPECT_EQ(text.rfind("index,serial,epc,tid,time,result,reason\n0,1001,3034257BF7194E40000003E9,E2801160200050A000001000,", 0), 0u) << text;
}

TEST(CommissionTool, KillNineThenResumeGoesOnWithTheNextSerial) {
    // Five labels, then a long wait for the sixth: the run is killed there.
    const std::string first = rollFile("first.tags", 6, 0x2000, 5);
    const std::string journal = scratchFile("journal");
    std::remove(journal.c_str());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl(TESSARO_CLI, "tessaro", "--sim", first.c_str(), "--virtual-clock", "commission", "--identity",
              "urn:epc:id:grai:4012345.00225.1", "--count", "10", "--journal", journal.c_str(),
              static_cast<char *>(nullptr));
        _exit(127);
    }
    // Wait (at most 20 s) for the five labels in the journal, then kill -9.
    size_t done = 0;
    for (int wait = 0; wait < 2000 && done < 5; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const std::string text = readFile(journal);
        done = 0;
        for (size_t at = text.find("\"type\":\"done\""); at != std::string::npos; at = text.find("\"type\":\"done\"", at + 1))
            ++done;
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it was killed";
    ASSERT_EQ(done, 5u);

    // The next five labels, with one of the first run among them.
    const std::string second = rollFile("second.tags", 6, 0x2004);
    const auto resumed = runTessaro("--sim " + second + " --virtual-clock --json commission --resume "
                                    "--idle-timeout 10 --journal " + journal);
    ASSERT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_NE(resumed.err.find("refused: the label with TID E2801160200050A000002004 was commissioned already, as serial 5"),
              std::string::npos) << resumed.err;
    const auto records = journalRecords(journal);
    std::set<std::string> serials;
    int ok = 0;
    for (const json &record : records) {
        if (record["type"] != "done") continue;
        EXPECT_EQ(record["result"], "ok") << record;
        EXPECT_TRUE(serials.insert(record["serial"].get<std::string>()).second) << record;
        EXPECT_EQ(record["serial"], std::to_string(ok + 1)) << "serials go on without a gap";
        ++ok;
    }
    EXPECT_EQ(ok, 10);
}

TEST(CommissionTool, RefusesToOverwriteAJournalOrToLockWithoutAPassword) {
    const std::string journal = scratchFile("journal");
    std::ofstream(journal) << "{}\n";
    auto run = runTessaro("--sim --virtual-clock commission --identity urn:epc:id:sgtin:0614141.812345.1 --count 2 --journal " + journal);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("exists: --resume continues its run"), std::string::npos) << run.err;
    run = runTessaro("--sim --virtual-clock commission --identity urn:epc:id:sgtin:0614141.812345.1 --count 2 --lock");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("needs an access password"), std::string::npos) << run.err;
    run = runTessaro("--sim --virtual-clock commission --identity urn:epc:id:sgtin:0614141.812345.A1 --count 2 --journal " + journal + ".new");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("no number to count up from"), std::string::npos) << run.err;
}

}  // namespace
