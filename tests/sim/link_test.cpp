// The reader link end to end: discovery of several readers, the raw
// transfer and collector functions, the calls that never reach a reader, and
// the simulator on the real clock.
#include "sim_fixture.h"

namespace tessaro::simtest {
namespace {

class Link : public SimTest {};

TEST_F(Link, TwoReadersAnswerOnTheirOwnPortIndexes) {
    const int second = TessaroSimAddReader(sim);
    TessaroSimReaderState s{};
    TessaroSimGetReaderState(sim, second, &s);
    s.revDelay = 42;
    s.address = 0x07;
    TessaroSimSetReaderState(sim, second, &s);
    ASSERT_EQ(CloseUSBPort(port), 0);
    ASSERT_EQ(OpenUSBPort(&port), 0);

    unsigned char delay = 0;
    unsigned char broadcast = 0xFF;
    ASSERT_EQ(GetRevDelay(&broadcast, &delay, 2), 0) << "commands on index 2 reach the second reader";
    EXPECT_EQ(delay, 42);
    ASSERT_EQ(SetRfPower(&broadcast, 12, 2), 0);
    EXPECT_EQ(broadcast, 0x07) << "the second reader answers from its own address";
    EXPECT_EQ(s.rfPower, state().rfPower) << "the first reader did not see it";
}

TEST_F(Link, RawFramesAndTheCollectors) {
    addNumberedTags(30);
    auto send = [&](unsigned char cmd, const Bytes &data) {
        Bytes frame = commandFrame(0x00, cmd, data);
        return SendDataToPort(frame.data(), static_cast<unsigned>(frame.size()), port);
    };
    Bytes answer(RESPONSE_BUFFER_SIZE);
    int length = 0;
    ASSERT_EQ(send(0x21, {}), 1);
    ASSERT_EQ(GetDataFromPort(answer.data(), &length, port), 0);
    EXPECT_EQ(length, 18) << "the reader information frame";
    EXPECT_EQ(CheckCRC(answer.data(), length), 0);

    ASSERT_EQ(send(0x01, {4, 0}), 1);
    ASSERT_EQ(GetInventoryDataFromPort1(answer.data(), &length, port), 0);
    int tags = 0;
    for (int at = 0; at < length; at += answer[at] + 1) tags += answer[at + 5];
    EXPECT_EQ(tags, 30);

    ASSERT_EQ(send(0x18, {4, 0}), 1);
    ASSERT_EQ(GetDataFromPort_buff(answer.data(), &length, port), 0);
    EXPECT_EQ(length, 10);
    EXPECT_EQ(answer[4] * 256 + answer[5], 30) << "tags in the buffer";

    ASSERT_EQ(send(0x72, {}), 1);
    ASSERT_EQ(GetBufferDataFromPort(answer.data(), &length, port), 0);
    tags = 0;
    for (int at = 0; at < length; at += answer[at] + 1) tags += answer[at + 4];
    EXPECT_EQ(tags, 30);
}

TEST_F(Link, CallsThatNeverReachTheReader) {
    const TessaroSimCounters before = counters();
    unsigned char version[3] = {};
    EXPECT_EQ(GetSDKVersion(version), 0);
    EXPECT_EQ(SetBaudRate(), 0);
    EXPECT_EQ(ChangeATMode(1, 2), 0);
    EXPECT_EQ(TransparentCMD(nullptr), 0);
    unsigned char bytes[4] = {};
    int length = 0;
    EXPECT_EQ(ATGetDataFromPort(bytes, &length, port), 0);
    const TessaroSimCounters after = counters();
    EXPECT_EQ(after.dataReports, before.dataReports);
    EXPECT_EQ(after.polls, before.polls);
}

TEST(RealClock, AReaderOnTheRealClockAnswersWithRealWaits) {
    TessaroSim *sim = TessaroSimCreate(TESSARO_SIM_REAL_CLOCK);
    ASSERT_NE(sim, nullptr);
    TessaroTransport transport{};
    ASSERT_EQ(TessaroSimGetTransport(sim, &transport), 0);
    EXPECT_EQ(transport.tickMs, nullptr) << "the library keeps its own clock";
    EXPECT_EQ(transport.sleepMs, nullptr);
    TessaroSimAddReader(sim);
    ASSERT_EQ(TessaroSimInstall(sim), 0);
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    unsigned char address = 0, delay = 0;
    const unsigned start = TessaroSimNowMs(sim);
    ASSERT_EQ(GetRevDelay(&address, &delay, port), 0);
    EXPECT_GE(TessaroSimNowMs(sim) - start, 50u) << "one report cycle: a real 50 ms pause";
    TessaroSimDestroy(sim);
    EXPECT_EQ(OpenUSBPort(&port), ERR_COMM) << "destroying the simulator put the platform transport back";
}

TEST(SimApi, ArgumentsAreChecked) {
    EXPECT_EQ(TessaroSimCreate(7), nullptr);
    TessaroSim *sim = TessaroSimCreate(TESSARO_SIM_VIRTUAL_CLOCK);
    EXPECT_EQ(TessaroSimAddReader(nullptr), TESSARO_SIM_ERROR);
    EXPECT_EQ(TessaroSimTagCount(sim, 0), TESSARO_SIM_ERROR) << "no reader yet";
    const int reader = TessaroSimAddReader(sim);
    EXPECT_EQ(TessaroSimTagCount(sim, reader), 0);
    EXPECT_EQ(TessaroSimPlaceTag(sim, reader, 0, 1, -40), TESSARO_SIM_ERROR) << "no tag yet";
    EXPECT_EQ(TessaroSimInjectFault(sim, reader, 99, 1, 0), TESSARO_SIM_ERROR);
    EXPECT_EQ(TessaroSimInjectFault(sim, reader, TESSARO_SIM_FAULT_REFUSE_WRITES, 1, 7), TESSARO_SIM_ERROR);
    const int tag = TessaroSimAddTag(sim, reader, "gen2 epc=3000", nullptr, 0);
    ASSERT_EQ(tag, 0);
    EXPECT_EQ(TessaroSimPlaceTag(sim, reader, tag, 5, -40), TESSARO_SIM_ERROR);
    EXPECT_EQ(TessaroSimPlaceTag(sim, reader, tag, 2, 3), TESSARO_SIM_ERROR);
    EXPECT_EQ(TessaroSimReadTagMemory(sim, reader, tag, TESSARO_SIM_6B_MEMORY, nullptr, 0), TESSARO_SIM_ERROR);
    TessaroSimReaderState s{};
    TessaroSimGetReaderState(sim, reader, &s);
    s.clock[1] = 13;
    EXPECT_EQ(TessaroSimSetReaderState(sim, reader, &s), TESSARO_SIM_ERROR);
    TessaroSimDestroy(sim);
    TessaroSimDestroy(nullptr);
}

}  // namespace
}  // namespace tessaro::simtest
