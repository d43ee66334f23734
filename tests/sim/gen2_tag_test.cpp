// Gen2 commands on single tags end to end: memory written and read back,
// bounds, passwords, locks and permalocks, kill, block permalock, privacy,
// EAS and the Monza 4QT parameter, as the tags in the simulated field keep them.
#include "sim_fixture.h"

namespace tessaro::simtest {
namespace {

const Bytes kNoPassword = {0, 0, 0, 0};

class Gen2Tags : public SimTest {
protected:
    int read(const Bytes &epc, int bank, int pointer, int count, const Bytes &password, Bytes &out) {
        out.assign(2u * static_cast<unsigned>(count), 0xEE);
        return ReadData_G2(&address, epc.data(), static_cast<int>(epc.size() / 2), bank, pointer, count,
                           password.data(), 0, nullptr, 0, nullptr, out.data(), &errorCode, port);
    }
    int write(const Bytes &epc, int bank, int pointer, const Bytes &data, const Bytes &password) {
        return WriteData_G2(&address, epc.data(), static_cast<int>(data.size() / 2),
                            static_cast<int>(epc.size() / 2), bank, pointer, data.data(), password.data(), 0,
                            nullptr, 0, nullptr, &errorCode, port);
    }
    int lock(const Bytes &epc, int target, int action, const Bytes &password) {
        return Lock_G2(&address, epc.data(), static_cast<int>(epc.size() / 2), target, action, password.data(), 0,
                       nullptr, 0, nullptr, &errorCode, port);
    }
    std::string user(int tag, std::size_t from, std::size_t bytes) {
        const Bytes memoryBytes = memory(tag, TESSARO_SIM_BANK_USER);
        return hexOf(memoryBytes.data() + from, static_cast<int>(bytes));
    }

    int errorCode = 0;
};

TEST_F(Gen2Tags, WrittenWordsReadBack) {
    const int tag = addTag("gen2 epc=3034257BF7194E4000000001 userwords=32");
    const Bytes epc = hex("3034257BF7194E4000000001");
    ASSERT_EQ(write(epc, 3, 4, hex("DEADBEEF"), kNoPassword), 0);
    Bytes words;
    ASSERT_EQ(read(epc, 3, 3, 4, kNoPassword, words), 0);
    EXPECT_EQ(hexOf(words.data(), 8), "0000DEADBEEF0000");
    EXPECT_EQ(user(tag, 8, 4), "DEADBEEF");

    ASSERT_EQ(BlockWrite_G2(&address, epc.data(), 3, 6, 3, 10, hex("111122223333").data(), kNoPassword.data(), 0,
                            nullptr, 0, nullptr, &errorCode, port),
              0);
    EXPECT_EQ(user(tag, 20, 6), "111122223333");
    ASSERT_EQ(BlockErase_G2(&address, epc.data(), 6, 3, 4, 7, kNoPassword.data(), 0, nullptr, 0, nullptr,
                            &errorCode, port),
              0);
    EXPECT_EQ(user(tag, 8, 18), "000000000000000000000000000022223333") << "words 4 to 10 erased, 11 and 12 kept";

    ASSERT_EQ(read(epc, 1, 1, 7, kNoPassword, words), 0);
    EXPECT_EQ(hexOf(words.data(), 14), "30003034257BF7194E4000000001") << "PC, then the EPC";
    ASSERT_EQ(read(epc, 2, 0, 2, kNoPassword, words), 0);
    EXPECT_EQ(hexOf(words.data(), 2), "E280");
}

TEST_F(Gen2Tags, ExtendedWordPointersAreReadHighByteFirst) {
    const int tag = addTag("gen2 epc=3000AAAA userwords=256");
    const Bytes epc = hex("3000AAAA");
    const unsigned char pointer[2] = {0x00, 0xFE};
    ASSERT_EQ(ExtWriteData_G2(&address, epc.data(), 2, 2, 3, pointer, hex("ABCD1234").data(), kNoPassword.data(), 0,
                              nullptr, 0, nullptr, &errorCode, port),
              0);
    EXPECT_EQ(user(tag, 508, 4), "ABCD1234");
    Bytes words(4);
    ASSERT_EQ(ExtReadData_G2(&address, epc.data(), 2, 3, pointer, 2, kNoPassword.data(), 0, nullptr, 0, nullptr,
                             words.data(), &errorCode, port),
              0);
    EXPECT_EQ(hexOf(words.data(), 4), "ABCD1234");
    const unsigned char past[2] = {0x01, 0x00};
    EXPECT_EQ(ExtReadData_G2(&address, epc.data(), 2, 3, past, 1, kNoPassword.data(), 0, nullptr, 0, nullptr,
                             words.data(), &errorCode, port),
              TAG_ERROR);
    EXPECT_EQ(errorCode, TESSARO_SIM_TAG_MEMORY_OVERRUN);
}

TEST_F(Gen2Tags, MemoryErrorsComeWithTheTagsErrorByte) {
    const int tag = addTag("gen2 epc=3000AAAA userwords=8");
    const int weak = addTag("gen2 epc=3000CCCC userwords=4 rssi=-75");
    const Bytes epc = hex("3000AAAA");
    Bytes words;
    struct Case {
        const char *name;
        std::function<int()> call;
        int status;
        int error;
    };
    const Case cases[] = {
        {"read past the User bank", [&] { return read(epc, 3, 6, 4, kNoPassword, words); }, TAG_ERROR,
         TESSARO_SIM_TAG_MEMORY_OVERRUN},
        {"write past the User bank", [&] { return write(epc, 3, 8, hex("0001"), kNoPassword); }, TAG_ERROR,
         TESSARO_SIM_TAG_MEMORY_OVERRUN},
        {"write the TID (permalocked)", [&] { return write(epc, 2, 0, hex("0001"), kNoPassword); }, TAG_ERROR,
         TESSARO_SIM_TAG_MEMORY_LOCKED},
        {"write the StoredCRC", [&] { return write(epc, 1, 0, hex("0001"), kNoPassword); }, TAG_ERROR,
         TESSARO_SIM_TAG_MEMORY_LOCKED},
        {"bank 4", [&] { return read(epc, 4, 0, 1, kNoPassword, words); }, TESSARO_SIM_STATUS_PARAMETER, 0},
        {"no such EPC", [&] { return read(hex("3000BBBB"), 3, 0, 1, kNoPassword, words); },
         TESSARO_SIM_STATUS_NO_TAG, 0},
        {"read a weak tag", [&] { return read(hex("3000CCCC"), 3, 0, 1, kNoPassword, words); }, 0, 0},
        {"write a weak tag", [&] { return write(hex("3000CCCC"), 3, 0, hex("0001"), kNoPassword); }, TAG_ERROR,
         TESSARO_SIM_TAG_INSUFFICIENT_POWER},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.call(), c.status) << c.name;
        if (c.status == TAG_ERROR) {
            EXPECT_EQ(errorCode, c.error) << c.name;
        }
    }
    EXPECT_EQ(user(tag, 0, 16), std::string(32, '0')) << "no refused write changed a word";
    EXPECT_EQ(user(weak, 0, 2), "0000");
}

TEST_F(Gen2Tags, TheAccessPasswordGuardsALockedBank) {
    const int tag = addTag("gen2 epc=3000AAAA userwords=8 access=11223344 lock-user=locked lock-access=locked");
    const Bytes epc = hex("3000AAAA");
    EXPECT_EQ(write(epc, 3, 0, hex("0BAD"), kNoPassword), TAG_ERROR) << "no password: the tag stays open";
    EXPECT_EQ(errorCode, TESSARO_SIM_TAG_MEMORY_LOCKED);
    EXPECT_EQ(write(epc, 3, 0, hex("0BAD"), hex("11223345")), TESSARO_SIM_STATUS_TAG_SILENT)
        << "a wrong password makes the tag fall silent";
    EXPECT_EQ(user(tag, 0, 2), "0000");
    ASSERT_EQ(write(epc, 3, 0, hex("600D"), hex("11223344")), 0);
    EXPECT_EQ(user(tag, 0, 2), "600D");

    Bytes words;
    EXPECT_EQ(read(epc, 0, 2, 2, kNoPassword, words), TAG_ERROR) << "a read-locked access password";
    ASSERT_EQ(read(epc, 0, 2, 2, hex("11223344"), words), 0);
    EXPECT_EQ(hexOf(words.data(), 4), "11223344");
    ASSERT_EQ(read(epc, 0, 0, 2, kNoPassword, words), 0) << "the kill password is not locked";
}

TEST_F(Gen2Tags, LocksAndPermalocksFollowGen2) {
    const int tag = addTag("gen2 epc=3000AAAA userwords=8 access=0A0B0C0D");
    const Bytes epc = hex("3000AAAA");
    const Bytes password = hex("0A0B0C0D");
    EXPECT_EQ(lock(epc, TESSARO_SIM_LOCK_USER, TESSARO_SIM_LOCKED, kNoPassword), TAG_ERROR)
        << "Lock needs the secured state";
    ASSERT_EQ(lock(epc, TESSARO_SIM_LOCK_USER, TESSARO_SIM_LOCKED, password), 0);
    EXPECT_EQ(tagState(tag).locks[TESSARO_SIM_LOCK_USER], TESSARO_SIM_LOCKED);
    EXPECT_EQ(write(epc, 3, 0, hex("0001"), kNoPassword), TAG_ERROR);
    EXPECT_EQ(write(epc, 3, 0, hex("0001"), password), 0);

    ASSERT_EQ(lock(epc, TESSARO_SIM_LOCK_USER, TESSARO_SIM_PERMA_LOCKED, password), 0);
    EXPECT_EQ(write(epc, 3, 0, hex("0002"), password), TAG_ERROR) << "permalocked: not even with the password";
    EXPECT_EQ(errorCode, TESSARO_SIM_TAG_MEMORY_LOCKED);
    EXPECT_EQ(lock(epc, TESSARO_SIM_LOCK_USER, TESSARO_SIM_UNLOCKED, password), TAG_ERROR)
        << "a permalock is for ever";
    EXPECT_EQ(tagState(tag).locks[TESSARO_SIM_LOCK_USER], TESSARO_SIM_PERMA_LOCKED);

    ASSERT_EQ(lock(epc, TESSARO_SIM_LOCK_EPC, TESSARO_SIM_PERMA_UNLOCKED, password), 0);
    EXPECT_EQ(lock(epc, TESSARO_SIM_LOCK_EPC, TESSARO_SIM_LOCKED, password), TAG_ERROR)
        << "permanently unlocked cannot be locked";
    EXPECT_EQ(lock(epc, 5, 0, password), TESSARO_SIM_STATUS_PARAMETER);
    EXPECT_EQ(lock(epc, 0, 4, password), TESSARO_SIM_STATUS_PARAMETER);
}

TEST_F(Gen2Tags, WriteEpcRenamesTheStrongestTag) {
    const int weak = addTag("gen2 epc=3000AAAA rssi=-60");
    const int strong = addTag("gen2 epc=3000BBBB rssi=-40");
    const Bytes bankBefore = memory(strong, TESSARO_SIM_BANK_EPC);
    const Bytes storedCrcBefore(bankBefore.begin(), bankBefore.begin() + 2);
    const Bytes newEpc = hex("3034257BF7194E4000000099");
    ASSERT_EQ(WriteEPC_G2(&address, kNoPassword.data(), newEpc.data(), 6, &errorCode, port), 0);
    const Bytes epcBank = memory(strong, TESSARO_SIM_BANK_EPC);
    EXPECT_EQ(hexOf(epcBank.data() + 2, 14), "30003034257BF7194E4000000099") << "the PC says 6 words now";
    EXPECT_NE(Bytes(epcBank.begin(), epcBank.begin() + 2), storedCrcBefore) << "the StoredCRC follows the EPC";
    EXPECT_EQ(hexOf(memory(weak, TESSARO_SIM_BANK_EPC).data() + 4, 4), "3000AAAA");
    std::vector<std::string> epcs = inventory().epcs();
    EXPECT_EQ(epcs, (std::vector<std::string>{"3000AAAA", "3034257BF7194E4000000099"}));

    const Bytes tooLong(14, 0x11);
    EXPECT_EQ(WriteEPC_G2(&address, kNoPassword.data(), tooLong.data(), 7, &errorCode, port), TAG_ERROR);
    EXPECT_EQ(errorCode, TESSARO_SIM_TAG_MEMORY_OVERRUN) << "the EPC bank has room for 6 words";
}

TEST_F(Gen2Tags, AKilledTagIsGoneForGood) {
    const int tag = addTag("gen2 epc=3000AAAA kill=CAFEBABE");
    addTag("gen2 epc=3000BBBB");
    const Bytes epc = hex("3000AAAA");
    auto kill = [&](const Bytes &tagEpc, const Bytes &password) {
        return KillTag_G2(&address, tagEpc.data(), 2, password.data(), 0, nullptr, 0, nullptr, &errorCode, port);
    };
    EXPECT_EQ(kill(epc, hex("CAFEBABF")), TESSARO_SIM_STATUS_TAG_SILENT);
    EXPECT_EQ(kill(hex("3000BBBB"), kNoPassword), TAG_ERROR) << "a tag without a kill password cannot be killed";
    EXPECT_EQ(errorCode, TESSARO_SIM_TAG_OTHER_ERROR);
    ASSERT_EQ(inventory().tagCount, 2);

    ASSERT_EQ(kill(epc, hex("CAFEBABE")), 0);
    EXPECT_TRUE(tagState(tag).killed);
    EXPECT_EQ(inventory().epcs(), std::vector<std::string>{"3000BBBB"});
    Bytes words;
    EXPECT_EQ(read(epc, 1, 2, 2, kNoPassword, words), TESSARO_SIM_STATUS_NO_TAG);
    TessaroSimPlaceTag(sim, reader, tag, 2, -30);
    EXPECT_EQ(inventory().tagCount, 1) << "moving a killed tag does not bring it back";
}

TEST_F(Gen2Tags, BlockPermalockProtectsUserBlocks) {
    const int tag = addTag("gen2 epc=3000AAAA userwords=16");
    const Bytes epc = hex("3000AAAA");
    auto blockLock = [&](int blocks) {
        return BlockLock_G2(&address, epc.data(), 2, kNoPassword.data(), blocks, 0, nullptr, 0, nullptr, &errorCode,
                            port);
    };
    ASSERT_EQ(blockLock(0x02), 0);
    EXPECT_EQ(tagState(tag).userBlockLocks, 0x02);
    EXPECT_EQ(write(epc, 3, 6, hex("0001"), kNoPassword), TAG_ERROR) << "word 6 lies in block 1";
    EXPECT_EQ(write(epc, 3, 3, hex("00010002"), kNoPassword), TAG_ERROR) << "a write reaching into block 1";
    EXPECT_EQ(write(epc, 3, 8, hex("0001"), kNoPassword), 0);
    EXPECT_EQ(blockLock(0x10), TAG_ERROR) << "16 words make 4 blocks";
    EXPECT_EQ(errorCode, TESSARO_SIM_TAG_MEMORY_OVERRUN);
}

TEST_F(Gen2Tags, PrivacyHidesATagFromInventories) {
    const int hidden = addTag("gen2 epc=3000AAAA access=00000042 rssi=-60");
    addTag("gen2 epc=3000BBBB rssi=-40");
    const Bytes epc = hex("3000AAAA"), password = hex("00000042");
    auto hide = [&](const Bytes &accessPassword) {
        return SetPrivacyByEPC_G2(&address, epc.data(), 2, accessPassword.data(), 0, nullptr, 0, nullptr, &errorCode,
                                  port);
    };
    unsigned char privacy = 0xEE;
    ASSERT_EQ(CheckPrivacy_G2(&address, &privacy, &errorCode, port), 0);
    EXPECT_EQ(privacy, 0);

    EXPECT_EQ(hide(kNoPassword), TAG_ERROR) << "privacy needs the access password";
    ASSERT_EQ(hide(password), 0);
    EXPECT_TRUE(tagState(hidden).hidden);
    EXPECT_EQ(inventory().epcs(), std::vector<std::string>{"3000BBBB"});
    ASSERT_EQ(CheckPrivacy_G2(&address, &privacy, &errorCode, port), 0);
    EXPECT_EQ(privacy, 1);

    EXPECT_EQ(ResetPrivacy_G2(&address, hex("00000043").data(), &errorCode, port), TESSARO_SIM_STATUS_TAG_SILENT);
    ASSERT_EQ(ResetPrivacy_G2(&address, password.data(), &errorCode, port), 0);
    EXPECT_EQ(inventory().tagCount, 2);
    EXPECT_EQ(ResetPrivacy_G2(&address, password.data(), &errorCode, port), TESSARO_SIM_STATUS_NO_TAG)
        << "no hidden tag left";

    ASSERT_EQ(SetPrivacyWithoutEPC_G2(&address, kNoPassword.data(), &errorCode, port), 0);
    EXPECT_EQ(inventory().epcs(), std::vector<std::string>{"3000AAAA"}) << "the strongest tag hid";
}

TEST_F(Gen2Tags, EasAlarmSoundsWhileATagHasItsBitSet) {
    const int tag = addTag("gen2 epc=3000AAAA");
    const Bytes epc = hex("3000AAAA");
    auto configure = [&](int easFlag) {
        return EASConfigure_G2(&address, epc.data(), 2, kNoPassword.data(), easFlag, 0, nullptr, 0, nullptr,
                               &errorCode, port);
    };
    EXPECT_EQ(EASAlarm_G2(&address, &errorCode, port), TESSARO_SIM_STATUS_NO_TAG);
    ASSERT_EQ(configure(1), 0);
    EXPECT_TRUE(tagState(tag).eas);
    EXPECT_EQ(EASAlarm_G2(&address, &errorCode, port), 0);
    TessaroSimPlaceTag(sim, reader, tag, 0, -50);
    EXPECT_EQ(EASAlarm_G2(&address, &errorCode, port), TESSARO_SIM_STATUS_NO_TAG) << "the tag left the field";
    TessaroSimPlaceTag(sim, reader, tag, 1, -50);
    ASSERT_EQ(configure(0), 0);
    EXPECT_EQ(EASAlarm_G2(&address, &errorCode, port), TESSARO_SIM_STATUS_NO_TAG);
}

TEST_F(Gen2Tags, MonzaQtParameterRoundTrips) {
    const int tag = addTag("gen2 epc=3000AAAA qt=00");
    addTag("gen2 epc=3000BBBB");
    const Bytes epc = hex("3000AAAA");
    unsigned char qt = 0xEE;
    ASSERT_EQ(SetMonza4QTWorkParamter_G2(&address, epc.data(), 2, 0x40, kNoPassword.data(), 0, nullptr, 0, nullptr,
                                         &errorCode, port),
              0);
    EXPECT_EQ(tagState(tag).qt, 0x40);
    ASSERT_EQ(GetMonza4QTWorkParamter_G2(&address, epc.data(), 2, kNoPassword.data(), 0, nullptr, 0, nullptr, &qt,
                                         &errorCode, port),
              0);
    EXPECT_EQ(qt, 0x40);
    EXPECT_EQ(GetMonza4QTWorkParamter_G2(&address, hex("3000BBBB").data(), 2, kNoPassword.data(), 0, nullptr, 0,
                                         nullptr, &qt, &errorCode, port),
              TESSARO_SIM_STATUS_TAG_SILENT)
        << "a tag other than a Monza 4QT does not know the command";
}

TEST_F(Gen2Tags, MaskSelectionAndTheStrongestOfSeveral) {
    addTag("gen2 epc=3000AAAA tid=E2801105200000000001 userwords=4 rssi=-60");
    const int second = addTag("gen2 epc=3000BBBB tid=E2806894200000000002 userwords=4 rssi=-45");
    const unsigned char maskAddress[2] = {0x00, 0x10};
    const Bytes maskData = hex("6894");
    const Bytes data = hex("5555");
    ASSERT_EQ(WriteData_G2(&address, nullptr, 1, 255, 3, 0, data.data(), kNoPassword.data(), 2, maskAddress, 16,
                           maskData.data(), &errorCode, port),
              0);
    EXPECT_EQ(user(second, 0, 2), "5555") << "the tag whose TID matches the mask";
    Bytes words;
    ASSERT_EQ(read({}, 1, 2, 2, kNoPassword, words), 0);
    EXPECT_EQ(hexOf(words.data(), 4), "3000BBBB") << "epcWords 0: the strongest tag answers";
}

}  // namespace
}  // namespace tessaro::simtest
