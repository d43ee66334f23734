// The tag commands judged by what they did to the tags: each run is recorded
// (--record), its host reports are written again into a simulated reader with
// the same tags, and that reader's tags are read directly. What the tool
// prints about itself is not taken as evidence.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>

#include "run_tessaro.h"
#include "transcript.h"

using namespace tessaro::testing;

namespace {

const char *const kEspresso = "3034257BF7194E40000003E9";   // User 2024 0105 000B 0001, 32 words
const char *const kSocks = "3034F4E4E4D6DC40000003E9";      // 32 User words, no passwords
const char *const kHeadphones = "3036452149251180000003E9"; // access 5EC0DE01, kill 0BADCAFE
const char *const kAccess = "5EC0DE01";
constexpr int kExtWriteData = 0x16;

// A run of the tool on the simulated reader, with its transcript.
struct Recorded {
    Run run;
    Transcript transcript;
};

// Runs `arguments` on the shelf, or on the tags of `population` (a file).
Recorded recorded(const std::string &arguments, const std::string &population = "") {
    const std::string file = scratchFile("transcript");
    const Run run = runTessaro("--sim " + population + " --virtual-clock --record " + file + " " +
                               arguments);
    Recorded result{run, Transcript(file)};
    std::remove(file.c_str());
    return result;
}

// A population file in the scratch folder.
std::string populationFile(const std::string &lines) {
    const std::string file = scratchFile("tags");
    std::ofstream(file) << lines;
    return file;
}

// `count` words counting up from 0xA000, as hex text, and as bytes.
std::string wordsText(int count) {
    std::string text;
    char word[9];
    for (int i = 0; i < count; ++i) {
        std::snprintf(word, sizeof word, "%04X", 0xA000 + i);
        text += word;
    }
    return text;
}

Bytes userWords(const Bytes &user, int first, int count) {
    return Bytes(user.begin() + 2 * first, user.begin() + 2 * (first + count));
}

// A write longer than one command carries goes out in several; each lands
// at its own word, and no word around the range changes.
TEST(CliTagState, ASplitWriteLandsEveryWordWhereItBelongs) {
    const std::string tag = "300000000000000000000001";
    const std::string population = populationFile("gen2 epc=" + tag + " userwords=128 antenna=1\n");
    const struct {
        std::string selection;
        int word;
        int count;
    } cases[] = {
        {"--epc " + tag, 3, 60},
        {"--mask epc:32:" + tag, 0, 120},
        {"--mask epc:32:300000", 7, 33},  // an odd number of selection bytes: the tightest fit
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.selection + " from word " + std::to_string(c.word));
        const auto r = recorded("--json write " + c.selection + " --bank user --word " +
                                    std::to_string(c.word) + " " + wordsText(c.count),
                                population);
        ASSERT_EQ(r.run.exitCode, 0) << r.run.err;
        EXPECT_GE(r.transcript.commands(kExtWriteData).size(), 2u) << "one command would do";
        const SimulatedAfter after(r.transcript, population);
        const Bytes user = after.memory(0, TESSARO_SIM_BANK_USER);
        ASSERT_EQ(user.size(), 256u);
        EXPECT_EQ(userWords(user, c.word, c.count), hexBytes(wordsText(c.count)));
        EXPECT_EQ(userWords(user, 0, c.word), Bytes(2 * c.word, 0));
        const int end = c.word + c.count;
        EXPECT_EQ(userWords(user, end, 128 - end), Bytes(2 * (128 - end), 0));
    }
    std::remove(population.c_str());
}

// A write that fails part way says how many words are in the tag, and that
// many are.
TEST(CliTagState, APartialWriteSaysHowManyWordsWentIn) {
    const std::string tag = "300000000000000000000001";
    const std::string population = populationFile("gen2 epc=" + tag + " userwords=40 antenna=1\n");
    const auto r = recorded("--json write --epc " + tag + " --bank user --word 20 " + wordsText(30),
                            population);
    EXPECT_EQ(r.run.exitCode, 1);
    const SimulatedAfter after(r.transcript, population);
    const Bytes user = after.memory(0, TESSARO_SIM_BANK_USER);
    const Bytes words = hexBytes(wordsText(30));
    int inTag = 0;  // the bank ends at word 40: at most 20 fit
    while (inTag < 20 && userWords(user, 20 + inTag, 1) == userWords(words, inTag, 1)) ++inTag;
    ASSERT_GT(inTag, 0);
    ASSERT_LT(inTag, 20);
    EXPECT_EQ(userWords(user, 20 + inTag, 20 - inTag), Bytes(2 * (20 - inTag), 0));
    EXPECT_NE(r.run.err.find(std::to_string(inTag) + " of 30 words were written before the error"),
              std::string::npos)
        << r.run.err;
    const auto documents = r.run.json();
    ASSERT_EQ(documents.size(), 1u);
    EXPECT_EQ(documents[0]["code"], 252);
    EXPECT_EQ(documents[0]["tagError"], 3);  // memory overrun

    // When the first command fails nothing went in, and no count is claimed.
    const auto none = recorded("write --epc " + tag + " --bank user --word 39 " + wordsText(2),
                               population);
    EXPECT_EQ(none.run.exitCode, 1);
    EXPECT_EQ(none.run.err.find("words were written"), std::string::npos) << none.run.err;
    EXPECT_EQ(SimulatedAfter(none.transcript, population).memory(0, TESSARO_SIM_BANK_USER),
              Bytes(80, 0));
    std::remove(population.c_str());
}

// Each command changes its tag as it says, and no other tag at all.
TEST(CliTagState, EraseLockKillAndTheOthersChangeTheirTagOnly) {
    const std::string headphones = std::string("--epc ") + kHeadphones + " -p " + kAccess;
    const struct {
        std::string arguments;
        const char *epc;
        std::function<void(const SimulatedAfter &, int)> check;
    } cases[] = {
        {std::string("erase --epc ") + kEspresso + " --bank user --word 1 --count 2", kEspresso,
         [](const SimulatedAfter &after, int tag) {
             EXPECT_EQ(userWords(after.memory(tag, TESSARO_SIM_BANK_USER), 0, 5),
                       hexBytes("20240000000000010000"));
         }},
        {std::string("lock user lock --epc ") + kSocks, kSocks,
         [](const SimulatedAfter &after, int tag) {
             EXPECT_EQ(after.state(tag).locks[TESSARO_SIM_LOCK_USER], TESSARO_SIM_LOCKED);
         }},
        {std::string("lock epc permalock --epc ") + kSocks, kSocks,
         [](const SimulatedAfter &after, int tag) {
             EXPECT_EQ(after.state(tag).locks[TESSARO_SIM_LOCK_EPC], TESSARO_SIM_PERMA_LOCKED);
         }},
        {"lock kill-password permaunlock " + headphones, kHeadphones,
         [](const SimulatedAfter &after, int tag) {
             EXPECT_EQ(after.state(tag).locks[TESSARO_SIM_LOCK_KILL], TESSARO_SIM_PERMA_UNLOCKED);
         }},
        {"lock access-password unlock " + headphones, kHeadphones,
         [](const SimulatedAfter &after, int tag) {
             EXPECT_EQ(after.state(tag).locks[TESSARO_SIM_LOCK_ACCESS], TESSARO_SIM_UNLOCKED);
         }},
        {std::string("kill -k 0BADCAFE --epc ") + kHeadphones, kHeadphones,
         [](const SimulatedAfter &after, int tag) { EXPECT_EQ(after.state(tag).killed, 1); }},
        {"block-lock --blocks 0,7 " + headphones, kHeadphones,
         [](const SimulatedAfter &after, int tag) {
             EXPECT_EQ(after.state(tag).userBlockLocks, 0x81);
         }},
        {"eas clear " + headphones, kHeadphones,
         [](const SimulatedAfter &after, int tag) { EXPECT_EQ(after.state(tag).eas, 0); }},
        {std::string("qt set 0x40 --epc ") + kEspresso, kEspresso,
         [](const SimulatedAfter &after, int tag) { EXPECT_EQ(after.state(tag).qt, 0x40); }},
        {"privacy set " + headphones, kHeadphones,
         [](const SimulatedAfter &after, int tag) { EXPECT_EQ(after.state(tag).hidden, 1); }},
        {"write-epc 1234567890ABCDEF12345678", kEspresso,  // the first of the strongest
         [](const SimulatedAfter &after, int tag) {
             const Bytes epcBank = after.memory(tag, TESSARO_SIM_BANK_EPC);
             EXPECT_EQ(epcBank[2] >> 3, 6) << "the PC's length: six words";
             EXPECT_EQ(userWords(epcBank, 2, 6), hexBytes("1234567890ABCDEF12345678"));
         }},
        {std::string("write --epc ") + kSocks + " --bank epc --word 2 CAFE", kSocks,
         [](const SimulatedAfter &after, int tag) {
             EXPECT_EQ(userWords(after.memory(tag, TESSARO_SIM_BANK_EPC), 2, 1), hexBytes("CAFE"));
         }},
    };
    const SimulatedAfter before{Transcript()};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments);
        const auto r = recorded(c.arguments);
        ASSERT_EQ(r.run.exitCode, 0) << r.run.err;
        const SimulatedAfter after(r.transcript);
        const int changed = after.tag(c.epc);
        ASSERT_GE(changed, 0);
        c.check(after, changed);
        for (int tag = 0; tag < after.tagCount(); ++tag) {
            if (tag == changed) continue;
            for (int bank : {TESSARO_SIM_BANK_RESERVED, TESSARO_SIM_BANK_EPC, TESSARO_SIM_BANK_USER})
                EXPECT_EQ(after.memory(tag, bank), before.memory(tag, bank)) << tag << " bank " << bank;
            const TessaroSimTagState was = before.state(tag), is = after.state(tag);
            EXPECT_EQ(std::memcmp(&was, &is, sizeof was), 0) << "tag " << tag;
        }
    }
}

TEST(CliRecord, AnUnwritableTranscriptIsRefusedBeforeAnythingIsSent) {
    for (const std::string &file : {std::string("/nonexistent-folder/run.transcript"),
                                    std::string(TESSARO_CLI_SCRATCH)}) {
        const auto run = sim("--json --record " + file + " info");
        EXPECT_EQ(run.exitCode, 2) << file;
        EXPECT_NE(run.err.find("cannot write the transcript " + file), std::string::npos) << run.err;
        // No answer, only the one JSON error object: nothing was asked.
        const auto documents = run.json();
        ASSERT_EQ(documents.size(), 1u) << run.out;
        EXPECT_EQ(documents[0]["type"], "error");
        EXPECT_EQ(documents[0]["exitCode"], 2);
    }
}

}  // namespace

namespace {

TEST(CliInventory, AnEmptyFieldIsAnInventoryOfNoTags) {
    const std::string population = populationFile("gen2 epc=3000 antenna=0\n");
    const auto run = runTessaro("--sim " + population + " --virtual-clock --json inventory");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const auto documents = run.json();
    ASSERT_EQ(documents.size(), 1u);
    EXPECT_EQ(documents[0]["uniqueTags"], 0);
    std::remove(population.c_str());
}

}  // namespace
