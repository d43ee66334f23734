// The population format: the sample shelf, defaults, and the refusals that
// catch a typo instead of loading a different tag than the file meant.
#include <cstring>

#include "sim_fixture.h"

namespace tessaro::simtest {
namespace {

class Population : public SimBus {
protected:
    char error[256] = "";
};

TEST_F(Population, TheSampleShelfLoads) {
    const std::string path = std::string(TESSARO_SOURCE_DIR) + "/sim/populations/shelf.tags";
    ASSERT_EQ(TessaroSimLoadPopulation(sim, reader, path.c_str(), error, sizeof error), 26) << error;
    EXPECT_EQ(TessaroSimTagCount(sim, reader), 26);

    const Bytes epcBank = memory(0, TESSARO_SIM_BANK_EPC);
    ASSERT_EQ(epcBank.size(), 16u);
    EXPECT_EQ(hexOf(epcBank.data() + 2, 14), "30003034257BF7194E40000003E9") << "PC: 6 words; then the EPC";
    EXPECT_EQ(hexOf(memory(0, TESSARO_SIM_BANK_USER).data(), 8), "20240105000B0001");
    EXPECT_EQ(memory(0, TESSARO_SIM_BANK_USER).size(), 64u);

    const TessaroSimTagState headphones = tagState(17);
    EXPECT_EQ(headphones.antenna, 4);
    EXPECT_EQ(headphones.rssi, -60);
    EXPECT_TRUE(headphones.eas);
    EXPECT_TRUE(headphones.qtSupported);
    EXPECT_EQ(headphones.locks[TESSARO_SIM_LOCK_USER], TESSARO_SIM_LOCKED);
    EXPECT_EQ(headphones.locks[TESSARO_SIM_LOCK_TID], TESSARO_SIM_PERMA_LOCKED);
    EXPECT_EQ(hexOf(memory(17, TESSARO_SIM_BANK_RESERVED).data(), 8), "0BADCAFE5EC0DE01");

    EXPECT_EQ(tagState(25).kind, TESSARO_SIM_6B);
    const Bytes locks = memory(25, TESSARO_SIM_6B_LOCKS);
    ASSERT_EQ(locks.size(), 216u);
    EXPECT_EQ(locks[24], 1);
    EXPECT_EQ(locks[25], 0);
    EXPECT_EQ(hexOf(memory(25, TESSARO_SIM_6B_MEMORY).data(), 8), "E00401007A3C0002");
}

TEST_F(Population, DefaultsOfAGen2Tag) {
    ASSERT_EQ(TessaroSimAddTag(sim, reader, "gen2 epc=300833B2DDD9014000000001", error, sizeof error), 0) << error;
    const TessaroSimTagState s = tagState(0);
    EXPECT_EQ(s.antenna, 1);
    EXPECT_EQ(s.rssi, -50);
    EXPECT_FALSE(s.killed || s.hidden || s.eas || s.qtSupported);
    EXPECT_EQ(s.locks[TESSARO_SIM_LOCK_EPC], TESSARO_SIM_UNLOCKED);
    EXPECT_EQ(s.locks[TESSARO_SIM_LOCK_TID], TESSARO_SIM_PERMA_LOCKED) << "TIDs leave the factory permalocked";
    EXPECT_EQ(memory(0, TESSARO_SIM_BANK_RESERVED), Bytes(8, 0));
    EXPECT_EQ(memory(0, TESSARO_SIM_BANK_USER).size(), 0u);
    const Bytes tid = memory(0, TESSARO_SIM_BANK_TID);
    ASSERT_EQ(tid.size(), 12u);
    EXPECT_EQ(hexOf(tid.data(), 4), "E2801160");

    ASSERT_EQ(TessaroSimAddTag(sim, reader, "gen2 epc=300833B2DDD9014000000002", error, sizeof error), 1);
    EXPECT_NE(memory(1, TESSARO_SIM_BANK_TID), tid) << "default TIDs tell tags apart";

    // EPC bank: StoredCRC, PC, room for 6 EPC words. The StoredCRC is Gen2's
    // CRC-16 over PC and EPC, as the tag computes it.
    ASSERT_EQ(TessaroSimAddTag(sim, reader, "gen2 epc=E2001234", error, sizeof error), 2);
    const Bytes epcBank = memory(2, TESSARO_SIM_BANK_EPC);
    ASSERT_EQ(epcBank.size(), 16u);
    EXPECT_EQ(hexOf(epcBank.data() + 2, 6), "1000E2001234");
}

TEST_F(Population, BadLinesAreRefusedWithTheirLineAndReason) {
    struct Case {
        const char *line;
        const char *reason;
    };
    const Case cases[] = {
        {"gen3 epc=3000", "unknown tag kind"},
        {"gen2 tid=E2801160", "needs epc="},
        {"gen2 epc=300", "epc:"},
        {"gen2 epc=3000 rsi=-40", "unknown or repeated key 'rsi'"},
        {"gen2 epc=3000 antenna=5", "antenna"},
        {"gen2 epc=3000 rssi=-40 rssi=-41", "repeated key 'rssi'"},
        {"gen2 epc=3000 lock-epc=maybe", "lock-epc"},
        {"gen2 epc=3000 access=1234", "access"},
        {"gen2 epc=3000 user=00000000 userwords=1", "userwords"},
        {"gen2 epc=3000 epcwords=40", "epcwords"},
        {"gen2 epc=3000 hidden=yes", "hidden"},
        {"gen2 epc=3000 antenna", "expected key=value"},
        {"6b uid=E004", "uid"},
        {"6b uid=E00401000000000A size=300", "size"},
        {"6b uid=E00401000000000A lock=300", "lock"},
        {"6b uid=E00401000000000A lock=30-20", "lock"},
    };
    for (const Case &c : cases) {
        const std::string text = std::string("# good line first\ngen2 epc=3000AAAA\n\n") + c.line + "\n";
        error[0] = '\0';
        EXPECT_EQ(TessaroSimLoadPopulationText(sim, reader, text.c_str(), error, sizeof error), TESSARO_SIM_ERROR)
            << c.line;
        EXPECT_NE(std::strstr(error, "line 4: "), nullptr) << c.line << " -> " << error;
        EXPECT_NE(std::strstr(error, c.reason), nullptr) << c.line << " -> " << error;
    }
    EXPECT_EQ(TessaroSimTagCount(sim, reader), 0) << "all or nothing: the good line was not added either";
    EXPECT_EQ(TessaroSimAddTag(sim, reader, "   # only a comment", error, sizeof error), TESSARO_SIM_ERROR);
    EXPECT_EQ(TessaroSimLoadPopulation(sim, reader, "/no/such/file.tags", error, sizeof error), TESSARO_SIM_ERROR);
    EXPECT_NE(std::strstr(error, "cannot read"), nullptr);
}

TEST_F(Population, CommentsCanFollowTheFields) {
    ASSERT_EQ(TessaroSimLoadPopulationText(sim, reader,
                                           "gen2 epc=3000 antenna=3 # a comment\n"
                                           "\t6b uid=E00401000000000A data=AABB rssi=-70\n",
                                           error, sizeof error),
              2)
        << error;
    EXPECT_EQ(tagState(0).antenna, 3);
    EXPECT_EQ(tagState(1).rssi, -70);
    EXPECT_EQ(memory(1, TESSARO_SIM_6B_MEMORY)[18], 0xAA);
}

// --- The record decoder of TessaroRecords.h -------------------------------

TEST(Records, DecodeAListOfRecords) {
    // EPC 3000 at -58 dBm on antenna 2; EPC 1122 3344 with a 2-byte TID at -40 dBm on antenna 4.
    const Bytes list = hex("05 02 3000 C6 02   09 04 11223344 E280 D8 04");
    const std::vector<TessaroTagRecord> decoded = records(list.data(), static_cast<int>(list.size()));
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(hexOf(decoded[0].epc, decoded[0].epcLength), "3000");
    EXPECT_EQ(decoded[0].tidLength, 0);
    EXPECT_EQ(decoded[0].tid, nullptr);
    EXPECT_EQ(decoded[0].rssi, -58);
    EXPECT_EQ(decoded[0].antenna, 2);
    EXPECT_EQ(hexOf(decoded[1].epc, decoded[1].epcLength), "11223344");
    EXPECT_EQ(hexOf(decoded[1].tid, decoded[1].tidLength), "E280");
    EXPECT_EQ(decoded[1].rssi, -40);
    EXPECT_EQ(TessaroCountTagRecords(list.data(), static_cast<int>(list.size())), 2);
    EXPECT_EQ(TessaroCountTagRecords(nullptr, 0), 0);
}

TEST(Records, ABrokenListIsRefusedWithoutReadingPastIt) {
    const Bytes cases[] = {
        hex("05 02 3000 C6"),     // cut short
        hex("05 04 3000 C6 02"),  // EPC longer than the record
        hex("02 00 C6"),          // too short for a record
    };
    for (const Bytes &list : cases) {
        int offset = 0;
        TessaroTagRecord record{};
        EXPECT_EQ(TessaroNextTagRecord(list.data(), static_cast<int>(list.size()), &offset, &record), -1)
            << hexOf(list.data(), static_cast<int>(list.size()));
        EXPECT_EQ(offset, 0);
        EXPECT_EQ(TessaroCountTagRecords(list.data(), static_cast<int>(list.size())), -1);
    }
    int offset = 7;
    TessaroTagRecord record{};
    const Bytes one = hex("05 02 3000 C6 02");
    EXPECT_EQ(TessaroNextTagRecord(one.data(), 6, &offset, &record), -1) << "an offset past the end";
}

}  // namespace
}  // namespace tessaro::simtest
