// Every subcommand against the simulated reader's sample shelf, checked
// through its --json output.
#include <gtest/gtest.h>

#include <algorithm>

#include "run_tessaro.h"

using nlohmann::json;
using tessaro::testing::sim;

namespace {

const char *const kEspresso = "3034257BF7194E40000003E9";   // User data, Monza 4QT
const char *const kHeadphones = "3036452149251180000003E9"; // passwords, locked, EAS
const char *const kAccess = "5EC0DE01";

// The one document a command printed, or a null one (and a failed test).
json only(const tessaro::testing::Run &run) {
    const auto documents = run.json();
    EXPECT_EQ(documents.size(), 1u) << run.out << run.err;
    return documents.empty() ? json() : documents[0];
}

TEST(CliInventory, ListsTheShelfOnceWithASummary) {
    const auto run = sim("--json inventory");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto documents = run.json();
    ASSERT_EQ(documents.size(), 25u);  // 24 tags, then the summary
    EXPECT_EQ(documents[0]["epc"], kEspresso);
    EXPECT_EQ(documents[0]["antenna"], 1);
    EXPECT_EQ(documents[0]["rssi"], -41);
    EXPECT_EQ(documents.back()["type"], "summary");
    EXPECT_EQ(documents.back()["uniqueTags"], 24);
}

TEST(CliInventory, MaskTidAntennasAndBufferNarrowOrExtendTheReads) {
    struct Case {
        const char *arguments;
        size_t tags;
        bool withTid;
    } cases[] = {
        {"inventory --mask epc:32:3036", 4, false},
        {"inventory --antennas 2,3", 11, false},
        {"inventory --tid", 24, true},
        {"inventory --buffer --clear-buffer", 24, false},
        {"inventory --target b --scan-time 500 --q 2 --session 1", 24, false},
    };
    for (const Case &c : cases) {
        const auto run = sim(std::string("--json ") + c.arguments);
        ASSERT_EQ(run.exitCode, 0) << c.arguments << run.err;
        const auto documents = run.json();
        ASSERT_EQ(documents.size(), c.tags + 1) << c.arguments;
        EXPECT_EQ(documents[0].contains("tid"), c.withTid) << c.arguments;
    }
}

TEST(CliInventory, WatchRunsTheRoundsAndCountsEveryRead) {
    const auto run = sim("--json inventory --watch --rounds 3");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto documents = run.json();
    ASSERT_EQ(documents.size(), 3u * 24 + 1);
    EXPECT_EQ(documents[24]["round"], 2);
    const json &summary = documents.back();
    EXPECT_EQ(summary["rounds"], 3);
    EXPECT_EQ(summary["reads"], 72);
    EXPECT_EQ(summary["uniqueTags"], 24);
    EXPECT_EQ(summary["interrupted"], false);
}

TEST(CliInventory, WatchWithoutATerminalPrintsOneLinePerReadAndTheStatus) {
    const auto run = sim("-q inventory --watch --seconds 1 --antennas 4");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    size_t lines = 0;
    for (char c : run.out) lines += c == '\n';
    EXPECT_GT(lines, 4u);  // several rounds of four tags, then the status line
    EXPECT_NE(run.out.find("4 unique tags"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("\x1b["), std::string::npos);  // no screen control
}

TEST(CliTags, ReadWriteEraseAndTheirSelections) {
    const std::string tag = std::string("--epc ") + kEspresso;
    EXPECT_EQ(only(sim("--json read " + tag + " --bank user --count 4"))["data"], "20240105000B0001");
    EXPECT_EQ(only(sim("--json read --mask tid:0:E280110520005A3C018045D0 --bank epc --word 2 "
                       "--count 6"))["data"],
              kEspresso);
    // 30 words go out in as many commands as one report allows.
    EXPECT_EQ(only(sim("--json write " + tag + " --bank user " + std::string(120, 'A')))["written"], 30);
    EXPECT_EQ(only(sim("--json erase " + tag + " --bank user --count 8"))["erased"], 8);
    EXPECT_EQ(only(sim("--json write-epc 1234567890ABCDEF12345678"))["epc"],
              "1234567890ABCDEF12345678");
}

TEST(CliTags, StateCommandsWithTheRightPasswords) {
    const std::string headphones = std::string("--epc ") + kHeadphones + " -p " + kAccess;
    EXPECT_EQ(only(sim("--json lock tid permalock --epc " + std::string(kEspresso)))["action"], "permalock");
    EXPECT_EQ(only(sim("--json lock user unlock " + headphones))["target"], "user");
    EXPECT_EQ(only(sim("--json block-lock --blocks 0,7 " + headphones))["permalockedBlocks"],
              json({0, 7}));
    EXPECT_EQ(only(sim("--json kill " + std::string("--epc ") + kHeadphones + " -k 0BADCAFE"))["killed"], true);
    EXPECT_EQ(only(sim("--json privacy set --any"))["private"], true);
    EXPECT_EQ(only(sim("--json privacy check"))["hiddenTag"], false);
    EXPECT_EQ(only(sim("--json privacy reset"))["revealed"], false);  // none was hidden
    EXPECT_EQ(only(sim("--json eas alarm"))["alarm"], true);
    EXPECT_EQ(only(sim("--json eas clear " + headphones))["eas"], false);
    EXPECT_EQ(only(sim("--json qt get --epc " + std::string(kEspresso)))["qt"], 0);
    EXPECT_EQ(only(sim("--json qt set 0x40 --epc " + std::string(kEspresso)))["qt"], 0x40);
}

TEST(CliTags, TagErrorsGiveTheirTextAndExitOne) {
    struct Case {
        std::string arguments;
        int code;
        const char *text;
    } cases[] = {
        {std::string("read --bank reserved --count 4 --epc ") + kHeadphones, 252, "memory locked"},
        {std::string("kill -k 11111111 --epc ") + kHeadphones, 250, "TAG_SILENT"},
        {"read --epc 0000 --bank tid", 251, "NO_TAG"},
        {std::string("read --bank user --word 40 --epc ") + kEspresso, 252, "memory overrun"},
    };
    for (const Case &c : cases) {
        const auto run = sim("--json " + c.arguments);
        EXPECT_EQ(run.exitCode, 1) << c.arguments;
        const json error = only(run);
        EXPECT_EQ(error["type"], "error");
        EXPECT_EQ(error["code"], c.code) << c.arguments;
        EXPECT_NE(run.err.find(c.text), std::string::npos) << c.arguments << ": " << run.err;
    }
}

TEST(Cli6b, InventoryReadWriteAndLocks) {
    const auto inventory = sim("--json 6b inventory").json();
    ASSERT_EQ(inventory.size(), 3u);
    EXPECT_EQ(inventory[0]["uid"], "E00401007A3C0001");
    EXPECT_EQ(sim("--json 6b inventory --single").json()[0]["antenna"], 1);
    EXPECT_EQ(only(sim("--json 6b read E00401007A3C0001 --start 18 -n 7"))["data"], "53484C462D3034");
    EXPECT_EQ(only(sim("--json 6b write E00401007A3C0001 --start 30 AABBCC"))["written"], 3);
    EXPECT_EQ(only(sim("--json 6b lock E00401007A3C0001 --start 40"))["locked"], true);
    EXPECT_EQ(only(sim("--json 6b check-lock E00401007A3C0001 --start 40"))["locked"], false);
    EXPECT_EQ(only(sim("--json 6b check-lock E00401007A3C0002 --start 20"))["locked"], true);
    EXPECT_EQ(sim("6b write E00401007A3C0002 --start 20 AA").exitCode, 1);  // a locked byte
}

TEST(CliConfig, GetShowsEverySettingAndSetSendsIt) {
    const json settings = only(sim("--json config get"));
    for (const char *key : {"region", "power", "scanTime", "antennas", "workMode", "clock", "gpio",
                            "saveLength", "hidWork"})
        EXPECT_TRUE(settings.contains(key)) << key;
    EXPECT_EQ(settings["clock"], "2024-01-01T09:00:00");
    EXPECT_EQ(settings["saveLength"], 62);

    // Each value is turned into the bytes the reader takes: the trace shows
    // the frame's command code and data after its length and address.
    struct Case {
        const char *setting;
        const char *frame;
    } cases[] = {
        {"region eu", "FF22"  "4E00"},          {"region us:10-20", "FF22" "148A"},
        {"region japan", "FF22" "2C9A"},        {"region us:902.75-903.25", "FF22" "0180"},
        {"power 20", "FF2F" "14"},              {"scan-time 2500", "FF25" "19"},
        {"antennas 1,3", "FF3F" "05"},          {"beep off", "FF40" "00"},
        {"work-mode active", "FF35" "01"},      {"clock 2025-06-30T23:59:58", "FF41" "19061E173B3A"},
        {"buzzer 10,20,3", "FF33" "0A1403"},    {"mask epc:32:3036", "FF3B" "0100201030 36"},
        {"save-length 16", "FF70" "00"},        {"serial-number 00C0FFEE", "FF4B" "544500C0FFEE"},
        {"hid-work 2,0,15,1,0,9", "FFA1" "02000F010009"},
    };
    for (const Case &c : cases) {
        const auto run = sim(std::string("--trace config set ") + c.setting);
        EXPECT_EQ(run.exitCode, 0) << c.setting << run.err;
        std::string frame = c.frame;
        frame.erase(std::remove(frame.begin(), frame.end(), ' '), frame.end());
        EXPECT_NE(run.err.find(frame), std::string::npos) << c.setting;
    }
}

TEST(CliConfig, BadValuesExitTwoBeforeAnythingIsSent) {
    for (const char *value : {"power 31", "region mars", "region us:40-60", "region eu:5-1",
                              "scan-time 250", "scan-time 1050", "antennas 0", "beep maybe",
                              "clock 2024-13-01T00:00:00", "hid-work 5,0,0,0,0,0", "nosuch 1"}) {
        const auto run = sim(std::string("--trace config set ") + value);
        EXPECT_EQ(run.exitCode, 2) << value;
        EXPECT_EQ(run.err.find("> "), std::string::npos) << value;  // no report traced
    }
}

TEST(CliRegion, ListsThePlansFromTheLibraryWithoutAReader) {
    const auto all = tessaro::testing::runTessaro("--json region list").json();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[1]["name"], "us");
    EXPECT_EQ(all[1]["channelsMHz"].size(), 50u);
    const json eu = only(tessaro::testing::runTessaro("--json region list eu"));
    EXPECT_EQ(eu["channelsMHz"].front(), 865.1);
    EXPECT_EQ(eu["channelsMHz"].back(), 867.9);
    EXPECT_EQ(tessaro::testing::runTessaro("region list 9").exitCode, 2);
}

}  // namespace
