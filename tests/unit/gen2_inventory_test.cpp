// Gen2 inventories: the request forms, the sync report, the walk over a
// multi-frame answer, and answers a faulty reader could send.
#include <gtest/gtest.h>

#include <cstring>

#include "epc_list_outputs.h"
#include "reader_fixture.h"

using namespace tessaro::testing;

namespace {

const unsigned char kMaskAddress[2] = {0x00, 0x20};
const unsigned char kMaskData[32] = {0xAB, 0xCD, 0xEF, 0x12};

class Inventory : public ReaderTest {
protected:
    struct Outputs : EpcListOutputs {
        unsigned char antenna = kUntouched;
    };
    static void expectWalk(const Outputs &o, int tagCount, const Bytes &list,
                           unsigned char antenna) {
        o.expectWalked(tagCount, list);
        EXPECT_EQ(o.antenna, antenna);
    }

    // qValue 4, session 0; mask: bank 2, address 00 20, 12 bits;
    // TID block 10 20; target block 30 40 50.
    int inventory(Outputs &o, int maskFlag = 0, int tidFlag = 0, int targetFlag = 0) {
        return Inventory_G2(&address, 4, 0, 2, kMaskAddress, 12, kMaskData, maskFlag, 0x10,
                            0x20, tidFlag, 0x30, 0x40, 0x50, targetFlag, o.epcList, &o.antenna,
                            &o.totalLength, &o.tagCount, port);
    }
    // qValue 4, session 1, target 2, scanTime 0x0A; the antenna is o.antenna.
    int fastInventory(Outputs &o) {
        return Fast_EPC_Inventory_G2(&address, 4, 1, 2, 0x0A, &o.antenna, o.epcList,
                                     &o.totalLength, &o.tagCount, port);
    }

    unsigned char address = 0x00;
};

TEST_F(Inventory, SyncReportThenOneOfEightRequestForms) {
    struct Case {
        bool mask, tid, target;
        Bytes data;  // after qValue and session
    };
    const Bytes mask = bytes({0x02, 0x00, 0x20, 0x0C, 0xAB, 0xCD});  // 12 bits: 2 mask bytes
    const Bytes tid = bytes({0x10, 0x20});
    const Bytes target = bytes({0x30, 0x40, 0x50});
    const Case cases[] = {
        {false, false, false, {}},
        {false, true, false, tid},
        {false, false, true, target},
        {false, true, true, joined({tid, target})},
        {true, false, false, mask},
        {true, true, false, joined({mask, tid})},
        {true, false, true, joined({mask, target})},
        {true, true, true, joined({mask, tid, target})},
    };
    const int lens[] = {6, 8, 9, 11, 12, 14, 15, 17};  // n + 10 ... n + 15 with n = 2
    for (std::size_t i = 0; i < 8; ++i) {
        const Case &c = cases[i];
        reader.forget();
        Outputs o;
        inventory(o, c.mask, c.tid, c.target);
        const Bytes expected = withCrc(joined({bytes({lens[i], 0x00, 0x01, 0x04, 0x00}), c.data}));
        EXPECT_EQ(reader.dialogue().at(0), bytes({0x03, CTRL_SYNC})) << i;
        EXPECT_EQ(reader.frames(), std::vector<Bytes>{expected}) << i;
    }
}

TEST_F(Inventory, OnlyAFlagOfExactlyOneSendsItsBlock) {
    for (int flag : {2, 255, 0x101}) {
        reader.forget();
        Outputs o;
        inventory(o, flag, flag, flag);
        ASSERT_EQ(reader.frames().size(), 1u);
        EXPECT_EQ(reader.frames()[0][0], (flag & 0xFF) == 1 ? 17 : 6) << flag;
    }
}

TEST_F(Inventory, FailedSyncGives48WithNothingElseSentAndNothingWritten) {
    reader.failWrite = isSyncReport;
    Outputs o;
    EXPECT_EQ(inventory(o), ERR_COMM);
    EXPECT_TRUE(reader.sent.empty());
    EXPECT_EQ(o.tagCount, kUntouchedCount);
    EXPECT_EQ(o.totalLength, kUntouchedCount);
    EXPECT_EQ(o.antenna, kUntouched);
}

TEST_F(Inventory, FastInventorySendsNoSyncAndHandsBackTheAntenna) {
    reader.answer(inventoryFrame(0x01, 0x08, 1, bytes({0xE1, 0xE2}), 0x00));
    Outputs o;
    o.antenna = 0x80;
    EXPECT_EQ(fastInventory(o), 1);
    // scanTime comes after the antenna in the frame.
    EXPECT_EQ(reader.dialogue().at(0),
              joined({bytes({0x02, 0x0A}),
                      withCrc(bytes({0x09, 0x00, 0x00, 0x04, 0x01, 0x02, 0x80, 0x0A}))}));
    EXPECT_EQ(reader.controls(), (std::vector<std::uint8_t>{CTRL_POLL, CTRL_ACK}));
    expectWalk(o, 1, bytes({0xE1, 0xE2}), 0x08);
}

TEST_F(Inventory, FramesAreJoinedCountsSummedAndTheLastAntennaKept) {
    for (bool fast : {false, true}) {
        const std::uint8_t code = fast ? 0x00 : 0x01;
        const Bytes stream =
            joined({inventoryFrame(0x03, 0x01, 2, bytes({0xA1, 0xA2, 0xA3, 0xA4}), code),
                    inventoryFrame(0x03, 0x02, 1, bytes({0xB1, 0xB2}), code),
                    inventoryFrame(0x01, 0x04, 0, bytes({}), code)});
        for (std::vector<std::size_t> split : {std::vector<std::size_t>{}, {5, 7, 9, 3}}) {
            reader.answer(stream, split);
            Outputs o;
            EXPECT_EQ(fast ? fastInventory(o) : inventory(o), 1);
            expectWalk(o, 3, bytes({0xA1, 0xA2, 0xA3, 0xA4, 0xB1, 0xB2}), 0x04);
        }
    }
}

TEST_F(Inventory, WalkStopsAtTheFirstStatusOutside1To4) {
    reader.answer(joined({inventoryFrame(0x03, 0x01, 2, bytes({0xA1, 0xA2})),
                          inventoryFrame(0x05, 0x02, 7, bytes({0xB1, 0xB2})),
                          inventoryFrame(0x01, 0x03, 1, bytes({0xC1, 0xC2}))}));
    Outputs o;
    EXPECT_EQ(inventory(o), 0x05);
    expectWalk(o, 2, bytes({0xA1, 0xA2}), 0x01);

    // An answer that is only a "no tag" frame.
    reader.answer(answerFrame(0x00, 0x01, 0xFB));
    Outputs none;
    EXPECT_EQ(inventory(none), 0xFB);
    EXPECT_EQ(none.tagCount, 0);
    EXPECT_EQ(none.totalLength, 0);
    EXPECT_TRUE(none.listUntouched());
    EXPECT_EQ(none.antenna, kUntouched);
}

TEST_F(Inventory, FailedCollectionLeavesOnlyTheTagCountAtZero) {
    Outputs silent;  // nothing ever arrives
    EXPECT_EQ(inventory(silent), ERR_COMM);
    EXPECT_EQ(silent.tagCount, 0);
    EXPECT_EQ(silent.totalLength, kUntouchedCount);
    EXPECT_EQ(silent.antenna, kUntouched);
    EXPECT_TRUE(silent.listUntouched());

    ASSERT_EQ(CloseUSBPort(port), 0);
    Outputs closed;
    EXPECT_EQ(fastInventory(closed), ERR_PORT_CLOSED);
    EXPECT_EQ(closed.tagCount, 0);
    EXPECT_EQ(closed.totalLength, kUntouchedCount);
    // Inventory_G2 cannot even send its sync report to a closed port.
    Outputs unsynced;
    EXPECT_EQ(inventory(unsynced), ERR_COMM);
    EXPECT_EQ(unsynced.tagCount, kUntouchedCount);
}

TEST_F(Inventory, FramesTooShortForTheirFieldsGiveNothingButTheirStatus) {
    // Len 2 (no Status), Len 5 and Len 6 (no Count) with tag statuses, then a
    // proper closing frame.
    reader.answer(joined({bytes({0x02, 0xAA, 0xBB}), answerFrame(0x00, 0x01, 0x03),
                          answerFrame(0x00, 0x01, 0x03, bytes({0x77})),
                          inventoryFrame(0x01, 0x02, 1, bytes({0xC1, 0xC2}))}));
    Outputs o;
    EXPECT_EQ(inventory(o), 1);
    expectWalk(o, 1, bytes({0xC1, 0xC2}), 0x02);
}

TEST_F(Inventory, AnswerLongerThanTheResponseBufferIsRefused) {
    Bytes stream;
    while (stream.size() <= RESPONSE_BUFFER_SIZE)
        stream = joined({stream, inventoryFrame(0x03, 0x01, 1, Bytes(56, 0xA5))});
    reader.answer(joined({stream, inventoryFrame(0x01, 0x01, 0, {})}));
    Outputs o;
    EXPECT_EQ(inventory(o), ERR_COMM);
    EXPECT_EQ(o.tagCount, 0);
    EXPECT_EQ(o.totalLength, kUntouchedCount);
    EXPECT_TRUE(o.listUntouched());
}

// --- Single-tag inventory -------------------------------------------------

class SingleTag : public ReaderTest {
protected:
    struct Outputs {
        Outputs() { std::memset(epc, kUntouched, sizeof epc); }
        unsigned char address = 0x00;
        unsigned char epc[300];
        int leadingByte = kUntouchedCount;
        bool untouched() const {
            return address == 0x00 && leadingByte == kUntouchedCount &&
                   std::all_of(epc, epc + sizeof epc,
                               [](unsigned char b) { return b == kUntouched; });
        }
    };
    int call(Outputs &o) {
        return SingleTagInventory_G2(&o.address, o.epc, nullptr, &o.leadingByte, port);
    }
};

TEST_F(SingleTag, Status1DeliversTheLeadingByteAndTheEpc) {
    const Bytes data = joined({bytes({0x30}), sequence(12, 0xE0)});
    reader.answer(answerFrame(0x05, 0x0F, 0x01, data));
    Outputs o;
    EXPECT_EQ(call(o), 1);
    EXPECT_EQ(reader.frames().at(0), bytes({0x04, 0x00, 0x0F, 0xA5, 0xA2}));
    EXPECT_EQ(o.address, 0x05);
    EXPECT_EQ(o.leadingByte, 0x30);
    EXPECT_EQ(Bytes(o.epc, o.epc + 13),
              joined({Bytes(data.begin() + 1, data.end()), bytes({kUntouched})}));
}

TEST_F(SingleTag, AnythingButAFullStatus1AnswerWritesNothing) {
    struct Case {
        Bytes answer;
        int result;
    };
    const Case cases[] = {
        {answerFrame(0x05, 0x0F, 0x00, bytes({0x30, 0xE0})), 0x00},
        {answerFrame(0x05, 0x10, 0x01, bytes({0x30, 0xE0})), ERR_RESPONSE_CMD},
        {answerFrame(0x05, 0x0F, 0x01), ERR_COMM},  // Status 1, but no room for a tag
        {{}, ERR_COMM},
    };
    for (const Case &c : cases) {
        if (!c.answer.empty()) reader.answer(c.answer);
        Outputs o;
        EXPECT_EQ(call(o), c.result);
        EXPECT_TRUE(o.untouched()) << c.result;
    }
}

TEST_F(SingleTag, EpcIsBoundedByTheLenByte) {
    struct Case {
        std::uint8_t len;
        std::size_t arrived;  // bytes before the CRC
        std::size_t epcBytes;
    };
    // Len 255 with 300 bytes in all; Len 10 followed by 20 more bytes.
    for (Case c : {Case{0xFF, 298, 249}, Case{10, 29, 4}}) {
        Bytes answer = bytes({c.len, 0x05, 0x0F, 0x01, 0x30});
        answer.resize(c.arrived, 0xA5);
        reader.answer(withCrc(answer));
        Outputs o;
        EXPECT_EQ(call(o), 1);
        EXPECT_EQ(o.epc[c.epcBytes - 1], 0xA5);
        EXPECT_EQ(o.epc[c.epcBytes], kUntouched) << int(c.len);
    }
}

}  // namespace
