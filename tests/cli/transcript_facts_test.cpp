// The recorded transcripts (tests/transcripts) replay to the output the tool
// printed when they were recorded; that output is checked here against what
// the sample shelf's population says, so a recording of a wrong answer cannot
// become the expected one.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "run_tessaro.h"
#include "transcript.h"

using namespace tessaro::testing;

namespace {

const std::string kTranscripts = std::string(TESSARO_SOURCE_DIR) + "/tests/transcripts/";

// The fields of the shelf's lines of one kind ("gen2", "6b"), in file order.
std::vector<std::map<std::string, std::string>> shelf(const std::string &kind) {
    std::vector<std::map<std::string, std::string>> tags;
    std::ifstream file(shelfFile());
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string word;
        if (!(words >> word) || word != kind) continue;
        std::map<std::string, std::string> fields;
        while (words >> word) fields[word.substr(0, word.find('='))] = word.substr(word.find('=') + 1);
        tags.push_back(fields);
    }
    return tags;
}

// The rows of a table the tool printed: each cell by its column's heading.
// (Cells hold no blanks up to the last column read here; "-41 dBm" is the
// RSSI column's cell and unit.)
std::vector<std::map<std::string, std::string>> rows(const std::string &text) {
    std::vector<std::map<std::string, std::string>> out;
    std::istringstream lines(text);
    std::string line;
    std::vector<std::string> headings;
    std::getline(lines, line);
    std::istringstream header(line);
    for (std::string word; header >> word;) headings.push_back(word);
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::map<std::string, std::string> row;
        std::string word;
        for (std::size_t i = 0; i < headings.size() && words >> word; ++i) row[headings[i]] = word;
        out.push_back(row);
    }
    return out;
}

TEST(CliTranscriptFacts, TheInventoryListsTheShelfsTagsWithTheirTids) {
    std::set<std::vector<std::string>> printed, expected;
    for (auto row : rows(readFile(kTranscripts + "inventory-tid.out")))
        printed.insert({row["EPC"], row["TID"], row["Antenna"], row["RSSI"]});
    for (const auto &tag : shelf("gen2"))
        expected.insert({tag.at("epc"), tag.at("tid"), tag.at("antenna"), tag.at("rssi")});
    EXPECT_EQ(printed, expected);
}

TEST(CliTranscriptFacts, TheUserReadGivesTheWordsTheTagHolds) {
    const auto user = shelf("gen2").at(0).at("user");
    const std::string out = readFile(kTranscripts + "read-user.out");
    EXPECT_NE(out.find("Data   " + user.substr(0, 16) + "\n"), std::string::npos) << out;
}

TEST(CliTranscriptFacts, The6bInventoryListsTheShelfsAssetTags) {
    std::vector<std::string> printed, expected;
    for (auto row : rows(readFile(kTranscripts + "6b-inventory.out"))) printed.push_back(row["UID"]);
    for (const auto &tag : shelf("6b")) expected.push_back(tag.at("uid"));
    EXPECT_EQ(printed, expected);
}

TEST(CliTranscriptFacts, TheLockedReadIsRefusedForTheLockedPassword) {
    std::string killPasswordLock;
    for (const auto &tag : shelf("gen2"))
        if (tag.at("epc") == "3036452149251180000003E9") killPasswordLock = tag.at("lock-kill");
    ASSERT_EQ(killPasswordLock, "locked");
    const auto error = nlohmann::json::parse(readFile(kTranscripts + "read-locked.out"));
    EXPECT_EQ(error["tagError"], 4);  // memory locked
}

// The recorded write put its words where the command line said: its host
// reports, written into a simulated shelf, leave them there.
TEST(CliTranscriptFacts, TheRecordedWriteLeavesItsWordsInTheTag) {
    const Transcript transcript(kTranscripts + "write-user.transcript");
    ASSERT_NE(transcript.comments.at(1).find("write --epc 3034F4E4E4D6DC40000003E9 --bank user "
                                             "--word 5 0123456789ABCDEF"),
              std::string::npos);
    const SimulatedAfter after(transcript);
    const Bytes user = after.memory(after.tag("3034F4E4E4D6DC40000003E9"), TESSARO_SIM_BANK_USER);
    ASSERT_EQ(user.size(), 64u);
    Bytes expected(64, 0);
    const Bytes words = hexBytes("0123456789ABCDEF");
    std::copy(words.begin(), words.end(), expected.begin() + 10);
    EXPECT_EQ(user, expected);
}

}  // namespace
