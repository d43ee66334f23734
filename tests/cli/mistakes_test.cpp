// The mistakes people make on the command line, and the failures a script
// meets: each gets a message that names the way out, its exit code, and with
// --json exactly one error object on stdout.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

#include "run_tessaro.h"

using tessaro::testing::readFile;
using tessaro::testing::runTessaro;
using tessaro::testing::scratchFile;

namespace {

const std::string kTranscripts = std::string(TESSARO_SOURCE_DIR) + "/tests/transcripts/";

struct Mistake {
    const char *arguments;   // after "tessaro"; %S stands for "--sim --virtual-clock"
    int exitCode;
    const char *says;        // on stderr
    const char *suggestion;  // the JSON object's "suggestion", or null for none
};

const Mistake kMistakes[] = {
    {"%S invetory", 2, "unknown command 'invetory'; did you mean 'inventory'?", "inventory"},
    {"%S inv", 2, "unknown command 'inv'; did you mean 'inventory'?", "inventory"},
    {"version", 2, "unknown command 'version'; did you mean 'tessaro --version'?", "tessaro --version"},
    {"%S inventory --antenas 4", 2, "unknown option '--antenas'; did you mean '--antennas'?",
     "--antennas"},
    {"%S config get --jsn", 2, "unknown option '--jsn'; did you mean '--json'?", "--json"},
    {"%S 6b reed", 2, "unknown command 'reed'; did you mean 'read'?", "read"},
    {"%S", 2, "a command is missing: one of info, inventory,", nullptr},
    {"%S inventory --q 16", 2, "--q: Value 16 not in range 0 to 15", nullptr},
    {"%S inventory --watch --seconds 0", 2, "--seconds: '0' is not a number above 0", nullptr},
    {"%S config get scantime", 2, "did you mean 'scan-time'?", nullptr},
    {"%S config get relay", 2, "no command to read it back", nullptr},
    {"info", 3, "no reader found", nullptr},
    {"--sim nosuch.tags --virtual-clock info", 3, "cannot read nosuch.tags: No such file", nullptr},
    {"%S --address 7 info", 1, "no reader answered at address 7: check --address", nullptr},
    {"%S inventory --scan-time 25500", 1, "give --scan-time 7000 or less", nullptr},
    {"replay inventory-tid.transcript -- inventory", 4, "the replay differs", nullptr},
};

std::string commandLine(const Mistake &mistake, const std::string &extra) {
    std::string arguments = mistake.arguments;
    if (const size_t at = arguments.find("%S"); at != std::string::npos)
        arguments.replace(at, 2, "--sim --virtual-clock");
    if (const size_t at = arguments.find("inventory-tid.transcript"); at != std::string::npos)
        arguments.insert(at, kTranscripts);
    return extra + " " + arguments;
}

TEST(CliMistakes, EachSaysWhatIsWrongWithItsExitCode) {
    for (const Mistake &mistake : kMistakes) {
        SCOPED_TRACE(mistake.arguments);
        const std::string transcript = scratchFile("transcript");
        std::filesystem::remove(transcript);
        const auto run = runTessaro(commandLine(mistake, "--record " + transcript));
        EXPECT_EQ(run.exitCode, mistake.exitCode) << run.err;
        EXPECT_NE(run.err.find(mistake.says), std::string::npos) << run.err;
        if (mistake.exitCode != 4) {  // a replay prints what it replays
            EXPECT_EQ(run.out, "");
        }
        if (mistake.exitCode == 2) {  // nothing was sent: the transcript was not even opened
            EXPECT_FALSE(std::filesystem::exists(transcript));
        }
    }
}

TEST(CliMistakes, WithJsonEachLeavesOneErrorObject) {
    for (const Mistake &mistake : kMistakes) {
        SCOPED_TRACE(mistake.arguments);
        const auto run = runTessaro(commandLine(mistake, "--json"));
        EXPECT_EQ(run.exitCode, mistake.exitCode);
        const auto documents = run.json();
        size_t errors = 0;
        for (const auto &document : documents) {
            if (document.value("type", "") != "error") continue;
            ++errors;
            EXPECT_EQ(document["exitCode"], mistake.exitCode);
            EXPECT_FALSE(document.value("message", "").empty());
            if (mistake.suggestion)
                EXPECT_EQ(document.value("suggestion", ""), mistake.suggestion);
            else
                EXPECT_FALSE(document.contains("suggestion"));
        }
        EXPECT_EQ(errors, 1u) << run.out;
    }
}

TEST(CliMistakes, GlobalOptionsGoAfterTheCommandToo) {
    const auto before = runTessaro("--sim --virtual-clock --json -q inventory --antennas 4");
    const auto after = runTessaro("inventory --antennas 4 --sim --virtual-clock --json -q");
    ASSERT_EQ(after.exitCode, 0) << after.err;
    EXPECT_EQ(after.out, before.out);
    EXPECT_EQ(after.err, "");  // -q: no note about the simulated reader
    EXPECT_EQ(after.json().size(), 5u);

    // --sim's FILE is optional: after the command it takes the word that follows.
    const auto file = runTessaro("info --sim " + std::string(TESSARO_SOURCE_DIR) +
                                 "/sim/populations/shelf.tags --virtual-clock");
    EXPECT_EQ(file.exitCode, 0) << file.err;
    EXPECT_NE(file.err.find("shelf.tags"), std::string::npos) << file.err;
    // And every command's help says so.
    EXPECT_NE(runTessaro("config set --help").out.find("Global options, before or after the "
                                                       "command: --sim [FILE], --address ADDR"),
              std::string::npos);
}

TEST(CliMistakes, ConfigGetReadsEverySettingByTheNameConfigSetTakes) {
    const auto all = tessaro::testing::sim("-q --json config get");
    ASSERT_EQ(all.exitCode, 0);
    const auto settings = all.json().at(0);
    ASSERT_GE(settings.size(), 20u);
    for (const auto &[key, value] : settings.items()) {
        std::string name;  // scanTime -> scan-time
        for (char c : key) {
            if (std::isupper(static_cast<unsigned char>(c))) name += '-';
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        const auto one = tessaro::testing::sim("-q --json config get " + name);
        ASSERT_EQ(one.exitCode, 0) << name << "\n" << one.err;
        EXPECT_EQ(one.json().at(0), (nlohmann::json{{key, value}})) << name;
    }
}

}  // namespace
