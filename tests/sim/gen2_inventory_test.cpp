// Gen2 inventories end to end: a hundred tags streamed over several frames,
// mask selection, the TID block, antennas, the scan time, RF power, the other
// two inventories, the reader's tag buffer, and faults in a stream.
#include <algorithm>
#include <set>

#include "sim_fixture.h"

namespace tessaro::simtest {
namespace {

class Gen2Inventory : public SimTest {
protected:
    // Inventory_G2 with a mask on `bank` at `bitAddress`.
    Inventory inventoryByMask(int bank, unsigned bitAddress, int bitLength, const Bytes &mask) {
        InventoryArgs args;
        args.mask = true;
        args.maskMem = bank;
        args.maskAddress = {static_cast<unsigned char>(bitAddress >> 8), static_cast<unsigned char>(bitAddress)};
        args.maskLength = bitLength;
        std::copy(mask.begin(), mask.end(), args.maskData.begin());
        return inventory(args);
    }
};

std::set<std::string> epcsOf(const std::vector<SeenTag> &tags) {
    std::set<std::string> out;
    for (const SeenTag &tag : tags) out.insert(tag.epc);
    return out;
}

// The EPCs of the numbered tags 0 to count - 1.
std::set<std::string> numberedEpcs(int count) {
    std::set<std::string> out;
    for (int i = 0; i < count; ++i) out.insert(numberedEpc(i));
    return out;
}

TEST_F(Gen2Inventory, AHundredTagsComeBackAcrossSeveralFrames) {
    addNumberedTags(100);
    const Inventory result = inventory();
    ASSERT_EQ(result.result, TESSARO_SIM_STATUS_INVENTORY_DONE);
    EXPECT_EQ(result.tagCount, 100);
    EXPECT_EQ(result.totalLength, 100 * (12 + TESSARO_RECORD_OVERHEAD));
    EXPECT_GT(result.totalLength, 248) << "more than one frame can carry";
    EXPECT_EQ(epcsOf(result.tags), numberedEpcs(100));
    EXPECT_EQ(result.antenna, 0x01);
    for (const SeenTag &tag : result.tags) {
        EXPECT_EQ(tag.rssi, -50);
        EXPECT_EQ(tag.antenna, 1);
        EXPECT_TRUE(tag.tid.empty());
    }
}

TEST_F(Gen2Inventory, MaskSelectionFindsExactlyTheMatchingTags) {
    addTag("gen2 epc=3034257BF7194E4000000001 tid=E2801105200000000001 user=CAFE0001");
    addTag("gen2 epc=3034257BF7194E4000000002 tid=E2801160200000000002 user=CAFE0002");
    addTag("gen2 epc=3034257BF7194F8000000003 tid=E2806894200000000003");
    addTag("gen2 epc=E200341201234567 tid=E2003412012F000000000004");
    const std::string a = "3034257BF7194E4000000001", b = "3034257BF7194E4000000002",
                      c = "3034257BF7194F8000000003", d = "E200341201234567";
    struct Case {
        const char *name;
        int bank;
        unsigned bitAddress;
        int bitLength;
        Bytes mask;
        std::set<std::string> expected;
    };
    const Case cases[] = {
        {"EPC header byte", 1, 0x20, 8, hex("30"), {a, b, c}},
        {"EPC item reference", 1, 0x20 + 48, 8, hex("4E"), {a, b}},
        {"whole EPC", 1, 0x20, 96, hex("3034257BF7194E4000000002"), {b}},
        {"last EPC bit", 1, 0x20 + 95, 1, hex("80"), {a, c}},
        {"last two EPC bits", 1, 0x20 + 94, 2, hex("40"), {a}},
        {"PC word: 4-word EPC", 1, 0x10, 5, hex("20"), {d}},
        {"TID maker Impinj", 2, 0x08, 12, hex("8010"), {a, b}},
        {"TID model Monza 4QT", 2, 0x10, 16, hex("1105"), {a}},
        {"User memory", 3, 0, 32, hex("CAFE0002"), {b}},
        {"nothing matches", 1, 0x20, 8, hex("31"), {}},
        {"past the end of the bank", 3, 0x20, 8, hex("00"), {}},
        {"empty mask matches all", 1, 0x20, 0, {}, {a, b, c, d}},
    };
    for (const Case &t : cases) {
        const Inventory found = inventoryByMask(t.bank, t.bitAddress, t.bitLength, t.mask);
        EXPECT_EQ(found.result, t.expected.empty() ? TESSARO_SIM_STATUS_NO_TAG : TESSARO_SIM_STATUS_INVENTORY_DONE)
            << t.name;
        EXPECT_EQ(found.tagCount, static_cast<int>(t.expected.size())) << t.name;
        EXPECT_EQ(epcsOf(found.tags), t.expected) << t.name;
    }
}

TEST_F(Gen2Inventory, TheTidBlockAddsTidWordsToEachRecord) {
    addTag("gen2 epc=3000AAAA tid=E2801105200000000001");
    addTag("gen2 epc=3000BBBB tid=E2801160");  // two TID words only
    InventoryArgs args;
    args.tid = true;
    args.tidLength = 3;
    const Inventory result = inventory(args);
    ASSERT_EQ(result.result, 1);
    ASSERT_EQ(result.tags.size(), 1u) << "a tag whose TID cannot give the words asked for is left out";
    EXPECT_EQ(result.tags[0].epc, "3000AAAA");
    EXPECT_EQ(result.tags[0].tid, "E28011052000");
}

TEST_F(Gen2Inventory, AntennasRssiAndTheTargetBlock) {
    addTag("gen2 epc=1111 antenna=1 rssi=-40");
    addTag("gen2 epc=2222 antenna=3 rssi=-61");
    addTag("gen2 epc=3333 antenna=3 rssi=-52");
    addTag("gen2 epc=4444 antenna=0");  // out of the field
    Inventory all = inventory();
    ASSERT_EQ(all.result, 1);
    ASSERT_EQ(all.tags.size(), 3u);
    EXPECT_EQ(all.tags[0].antenna, 1);
    EXPECT_EQ(all.tags[0].rssi, -40);
    EXPECT_EQ(all.tags[2].antenna, 3);
    EXPECT_EQ(all.antenna, 0x04) << "the last frame's antenna: antenna 3";

    InventoryArgs third;
    third.target = true;
    third.antenna = 0x82;  // antenna 3 alone
    third.scanTime = 10;
    EXPECT_EQ(inventory(third).epcs(), (std::vector<std::string>{"2222", "3333"}));

    ASSERT_EQ(SetAntennaMultiplexing(&address, 0x01, port), 0);
    EXPECT_EQ(inventory().epcs(), std::vector<std::string>{"1111"}) << "antennas switched off are not read";
    ASSERT_EQ(SetAntennaMultiplexing(&address, 0x0F, port), 0);

    ASSERT_EQ(SetRfPower(&address, 10, port), 0);  // 20 dB less: -61 becomes -81, below the reader's -80
    EXPECT_EQ(epcsOf(inventory().tags), (std::set<std::string>{"1111", "3333"}));
    TessaroSimPlaceTag(sim, reader, 3, 2, -30);
    const Inventory weaker = inventory();
    ASSERT_EQ(weaker.tags.size(), 3u);
    EXPECT_EQ(weaker.tags[1].epc, "4444");
    EXPECT_EQ(weaker.tags[1].rssi, -50) << "-30 dBm at 20 dB less power";
}

TEST_F(Gen2Inventory, TheScanTimeCanRunOutBeforeEveryTagIsRead) {
    addNumberedTags(80);
    InventoryArgs quick;
    quick.target = true;
    quick.scanTime = 3;  // 300 ms
    const Inventory result = inventory(quick);
    EXPECT_EQ(result.result, TESSARO_SIM_STATUS_SCAN_OVERFLOW);
    EXPECT_GT(result.tagCount, 0);
    EXPECT_LT(result.tagCount, 80);
    EXPECT_EQ(result.tags.size(), static_cast<std::size_t>(result.tagCount));
}

TEST_F(Gen2Inventory, FastAndSingleTagInventories) {
    addTag("gen2 epc=1111 antenna=2 rssi=-60");
    addTag("gen2 epc=3034257BF7194E4000000002 antenna=4 rssi=-45");
    unsigned char antenna = 0x83;  // antenna 4 alone
    Bytes list(EPC_LIST_MAX_BYTES);
    int total = 0, count = 0;
    ASSERT_EQ(Fast_EPC_Inventory_G2(&address, 4, 0, 0, 10, &antenna, list.data(), &total, &count, port), 1);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(antenna, 0x08);
    EXPECT_EQ(decodeList(list.data(), total)[0].epc, "3034257BF7194E4000000002");

    Bytes epc(256, 0);
    int leading = -1;
    ASSERT_EQ(SingleTagInventory_G2(&address, epc.data(), nullptr, &leading, port), 1);
    EXPECT_EQ(leading, 12) << "the EPC's length, then the strongest tag's EPC";
    EXPECT_EQ(hexOf(epc.data(), 12), "3034257BF7194E4000000002");

    TessaroSimPlaceTag(sim, reader, 0, 0, -60);
    TessaroSimPlaceTag(sim, reader, 1, 0, -45);
    EXPECT_EQ(SingleTagInventory_G2(&address, epc.data(), nullptr, &leading, port), TESSARO_SIM_STATUS_NO_TAG);
}

class Gen2Buffer : public SimTest {
protected:
    // InventoryBuffer_G2 without a mask, with the first `tidWords` TID words when not 0.
    int bufferInventory(int tidWords = 0) {
        const unsigned char maskAddress[2] = {0, 0x20}, maskData[1] = {0};
        return InventoryBuffer_G2(&address, 4, 0, 1, maskAddress, 0, maskData, 0, 0, tidWords, tidWords ? 1 : 0, 0, 0,
                                  0, 0, &bufferCount, &tagCount, port);
    }
    // ReadBuffer_G2's records; the count it gives in readOut.
    std::vector<SeenTag> readBuffer() {
        Bytes list(EPC_LIST_MAX_BYTES);
        int total = -1;
        EXPECT_EQ(ReadBuffer_G2(&address, &total, &readOut, list.data(), port), 1);
        return decodeList(list.data(), total);
    }

    int bufferCount = -1, tagCount = -1, readOut = -1;
};

TEST_F(Gen2Buffer, CountsAndReadOutAgree) {
    addNumberedTags(40);
    ASSERT_EQ(bufferInventory(), 0);
    EXPECT_EQ(bufferCount, 40);
    EXPECT_EQ(tagCount, 40);

    // Half the tags leave, twenty new ones come: the buffer keeps every tag once.
    for (int tag = 0; tag < 20; ++tag) TessaroSimPlaceTag(sim, reader, tag, 0, -50);
    for (int i = 40; i < 60; ++i) addTag("gen2 epc=" + numberedEpc(i));
    ASSERT_EQ(bufferInventory(), 0);
    EXPECT_EQ(tagCount, 40) << "tags read in this round";
    EXPECT_EQ(bufferCount, 60) << "unique tags gathered";

    int counted = -1;
    ASSERT_EQ(GetBufferCnt_G2(&address, &counted, port), 0);
    EXPECT_EQ(counted, 60);
    EXPECT_EQ(epcsOf(readBuffer()), numberedEpcs(60));
    EXPECT_EQ(readOut, 60);
    EXPECT_EQ(readBuffer().size(), 60u) << "reading out does not empty the buffer";

    ASSERT_EQ(ClearBuffer_G2(&address, port), 0);
    ASSERT_EQ(GetBufferCnt_G2(&address, &counted, port), 0);
    EXPECT_EQ(counted, 0);
    EXPECT_TRUE(readBuffer().empty());
    EXPECT_EQ(readOut, 0);

    ASSERT_EQ(bufferInventory(), 0);
    ASSERT_EQ(ClearTagBuffer(&address, port), 0);
    EXPECT_EQ(state().bufferedTags, 0) << "ClearTagBuffer empties the same buffer";
}

TEST_F(Gen2Buffer, TheSaveLengthBoundsWhatIsKept) {
    addTag("gen2 epc=3034257BF7194E4000000001 tid=E2801105200000000001");
    unsigned char saveLength = 0xEE;
    ASSERT_EQ(GetSaveLen(&address, &saveLength, port), 0);
    EXPECT_EQ(saveLength, 1);
    ASSERT_EQ(SetSaveLen(&address, 0, port), 0);
    ASSERT_EQ(GetSaveLen(&address, &saveLength, port), 0);
    EXPECT_EQ(saveLength, 0);
    EXPECT_EQ(SetSaveLen(&address, 2, port), TESSARO_SIM_STATUS_PARAMETER);

    ASSERT_EQ(bufferInventory(5), 0);
    const std::vector<SeenTag> tags = readBuffer();
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_EQ(tags[0].epc, "3034257BF7194E4000000001");
    EXPECT_EQ(tags[0].tid, "E2801105") << "128 bits kept: the EPC's 12 bytes and 4 of the TID";
}

class Gen2StreamFaults : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        addNumberedTags(50);
    }
    // An inventory under the fault fails within its bound (2 x T + 5000 ms,
    // T = 0 before any scan time was read) and hands over no list.
    void expectFailedInventory(int kind, int count, int value, int expected) {
        ASSERT_EQ(TessaroSimInjectFault(sim, reader, kind, count, value), 0);
        Inventory result;
        EXPECT_LE(elapsedMs([&] { result = inventory(); }), 5000u + 250);
        EXPECT_EQ(result.result, expected);
        EXPECT_EQ(result.tagCount, 0);
        EXPECT_EQ(result.totalLength, -1);
    }
};

TEST_F(Gen2StreamFaults, ALostReportEndsTheInventoryWithinItsBound) {
    // The frame it belonged to is completed by the bytes of the next one.
    expectFailedInventory(TESSARO_SIM_FAULT_DROP, 1, 0, ERR_CRC);
    EXPECT_EQ(inventory().tagCount, 50) << "the next inventory is whole again";
}

TEST_F(Gen2StreamFaults, UnpluggedMidStream) {
    expectFailedInventory(TESSARO_SIM_FAULT_UNPLUG, 0, 3, ERR_COMM);
    EXPECT_EQ(counters().inputReports, 3);
}

TEST_F(Gen2StreamFaults, DelayedAndOddlySplitReportsStillMakeAWholeInventory) {
    const unsigned char sizes[] = {7, 1, 33};
    TessaroSimSplitReports(sim, reader, sizes, 3);
    ASSERT_EQ(TessaroSimInjectFault(sim, reader, TESSARO_SIM_FAULT_DELAY, 5, 80), 0);
    const Inventory result = inventory();
    EXPECT_EQ(result.result, 1);
    EXPECT_EQ(result.tagCount, 50);
    EXPECT_EQ(epcsOf(result.tags), numberedEpcs(50));
}

}  // namespace
}  // namespace tessaro::simtest
