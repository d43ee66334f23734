// ISO 18000-6B commands end to end against the simulated tags: inventories,
// group selection, write then read back, per-byte locks.
#include <set>

#include "sim_fixture.h"

namespace tessaro::simtest {
namespace {

class Iso6b : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        alpha = addTag("6b uid=E004010000000001 data=1020 antenna=1 rssi=-62");
        beta = addTag("6b uid=E004010000000002 data=1030 antenna=2 rssi=-45");
        gamma = addTag("6b uid=E004010000000003 data=4000 antenna=1 rssi=-58 lock=30-31");
        addTag("gen2 epc=300000000000000000000001 rssi=-30");  // not a 6B tag: never answers here
    }
    Bytes uid(int number) { return hex("E00401000000000" + std::to_string(number)); }

    int alpha = 0, beta = 0, gamma = 0;
    int errorCode = 0;
};

TEST_F(Iso6b, InventorySingleFindsTheStrongestTag) {
    unsigned char leading = 0;
    unsigned char tagData[10] = {};
    ASSERT_EQ(InventorySingle_6B(&address, &leading, tagData, port), 0);
    EXPECT_EQ(leading, 1);
    EXPECT_EQ(hexOf(tagData, 8), "E004010000000002");
    EXPECT_EQ(static_cast<signed char>(tagData[8]), -45) << "RSSI";
    EXPECT_EQ(tagData[9], 2) << "antenna";

    for (int tag : {alpha, beta, gamma}) TessaroSimPlaceTag(sim, reader, tag, 0, -50);
    EXPECT_EQ(InventorySingle_6B(&address, &leading, tagData, port), TESSARO_SIM_STATUS_NO_TAG);
}

TEST_F(Iso6b, GroupSelectionFindsExactlyTheMatchingTags) {
    struct Case {
        int condition, start, mask;
        Bytes compare;
        std::set<std::string> expected;
    };
    const Case cases[] = {
        {0, 18, 0xC0, hex("1020 000000000000"), {"E004010000000001"}},
        {1, 18, 0xC0, hex("1020 000000000000"), {"E004010000000002", "E004010000000003"}},
        {2, 18, 0xC0, hex("1020 000000000000"), {"E004010000000002", "E004010000000003"}},
        {3, 18, 0xC0, hex("1030 000000000000"), {"E004010000000001"}},
        {0, 18, 0x80, hex("1000 000000000000"), {"E004010000000001", "E004010000000002"}},
        {0, 0, 0xFF, hex("E004010000000003"), {"E004010000000003"}},
    };
    for (const Case &c : cases) {
        Bytes compare = c.compare;
        unsigned char leading = 0;
        unsigned char tagData[256] = {};
        int tagCount = -1;
        ASSERT_EQ(InventoryMultiple_6B(&address, c.condition, c.start, c.mask, compare.data(), &leading, tagData,
                                       &tagCount, port),
                  0);
        std::set<std::string> found;
        for (int i = 0; i < tagCount; ++i) found.insert(hexOf(tagData + 8 * i, 8));
        EXPECT_EQ(found, c.expected) << "condition " << c.condition << " mask " << c.mask;
        EXPECT_EQ(static_cast<std::size_t>(tagCount), c.expected.size());
    }

    Bytes none = hex("7777 000000000000");
    unsigned char leading = 0, tagData[16] = {};
    int tagCount = -1;
    EXPECT_EQ(InventoryMultiple_6B(&address, 0, 18, 0xC0, none.data(), &leading, tagData, &tagCount, port),
              TESSARO_SIM_STATUS_NO_TAG);
    EXPECT_EQ(tagCount, 0);
    EXPECT_EQ(InventoryMultiple_6B(&address, 4, 18, 0xC0, none.data(), &leading, tagData, &tagCount, port),
              TESSARO_SIM_STATUS_PARAMETER);
}

TEST_F(Iso6b, WrittenBytesReadBack) {
    Bytes id = uid(2);
    Bytes written = hex("0102030405060708090A");
    unsigned char writtenLength = 0;
    ASSERT_EQ(WriteData_6B(&address, id.data(), 40, written.data(), 10, &writtenLength, &errorCode, port), 0);

    unsigned char back[10] = {};
    ASSERT_EQ(ReadData_6B(&address, id.data(), 40, 10, back, &errorCode, port), 0);
    EXPECT_EQ(hexOf(back, 10), "0102030405060708090A");
    EXPECT_EQ(hexOf(memory(beta, TESSARO_SIM_6B_MEMORY).data() + 40, 10), "0102030405060708090A");
}

TEST_F(Iso6b, ALockedByteRefusesWritesAndChecksLocked) {
    Bytes id = uid(1);
    unsigned char lockState = 0xEE;
    ASSERT_EQ(CheckLock_6B(&address, id.data(), 50, &lockState, &errorCode, port), 0);
    EXPECT_EQ(lockState, 0);
    ASSERT_EQ(Lock_6B(&address, id.data(), 50, &errorCode, port), 0);
    ASSERT_EQ(CheckLock_6B(&address, id.data(), 50, &lockState, &errorCode, port), 0);
    EXPECT_EQ(lockState, 1);

    Bytes data = hex("AABBCC");
    unsigned char writtenLength = 0;
    EXPECT_EQ(WriteData_6B(&address, id.data(), 49, data.data(), 3, &writtenLength, &errorCode, port), TAG_ERROR);
    EXPECT_EQ(errorCode, TESSARO_SIM_TAG_MEMORY_LOCKED);
    EXPECT_EQ(hexOf(memory(alpha, TESSARO_SIM_6B_MEMORY).data() + 49, 3), "000000")
        << "a refused write changes no byte, not even the unlocked ones before the locked one";

    ASSERT_EQ(CheckLock_6B(&address, id.data(), 3, &lockState, &errorCode, port), 0);
    EXPECT_EQ(lockState, 1) << "the identifier comes locked from the factory";
    Bytes gammaId = uid(3);
    ASSERT_EQ(CheckLock_6B(&address, gammaId.data(), 31, &lockState, &errorCode, port), 0);
    EXPECT_EQ(lockState, 1) << "locked by the population file";
}

TEST_F(Iso6b, MemoryBoundsMissingTagsAndWeakTags) {
    Bytes id = uid(1);
    unsigned char data[16] = {};
    unsigned char writtenLength = 0;
    EXPECT_EQ(ReadData_6B(&address, id.data(), 210, 10, data, &errorCode, port), TAG_ERROR);
    EXPECT_EQ(errorCode, TESSARO_SIM_TAG_MEMORY_OVERRUN);
    EXPECT_EQ(WriteData_6B(&address, id.data(), 215, data, 2, &writtenLength, &errorCode, port), TAG_ERROR);
    EXPECT_EQ(errorCode, TESSARO_SIM_TAG_MEMORY_OVERRUN);
    EXPECT_EQ(Lock_6B(&address, id.data(), 216, &errorCode, port), TAG_ERROR);
    EXPECT_EQ(errorCode, TESSARO_SIM_TAG_MEMORY_OVERRUN);

    Bytes unknown = hex("E0040100000000FF");
    EXPECT_EQ(ReadData_6B(&address, unknown.data(), 18, 2, data, &errorCode, port), TESSARO_SIM_STATUS_NO_TAG);

    TessaroSimPlaceTag(sim, reader, alpha, 1, -75);
    ASSERT_EQ(ReadData_6B(&address, id.data(), 18, 2, data, &errorCode, port), 0);
    EXPECT_EQ(hexOf(data, 2), "1020") << "a weak tag can still be read";
    EXPECT_EQ(WriteData_6B(&address, id.data(), 40, data, 2, &writtenLength, &errorCode, port), TAG_ERROR);
    EXPECT_EQ(errorCode, TESSARO_SIM_TAG_INSUFFICIENT_POWER);
}

}  // namespace
}  // namespace tessaro::simtest
