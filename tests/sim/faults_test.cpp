// Faults on demand: every fault ends the command within the library's time
// bounds with the expected code, leaves the caller's outputs alone, and leaves
// nothing behind that would spoil the next command.
#include <ostream>

#include "sim_fixture.h"

namespace tessaro::simtest {
namespace {

// One poll, read (100 ms wait), 50 ms pause: the most a cycle adds to a bound.
constexpr unsigned kCycleMs = 250;

struct FaultCase {
    const char *name;
    int kind;
    int count;
    int value;
    Bytes splits;      // report sizes; empty: 62
    int expected;      // GetReaderInformation's result
    unsigned boundMs;  // how long it may take at most
};

void PrintTo(const FaultCase &c, std::ostream *out) { *out << c.name; }

class Faults : public SimTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(Faults, EndWithinTheBoundAndSpoilNothingAfter) {
    const FaultCase &c = GetParam();
    Bytes whole, info;
    ASSERT_EQ(readerInformation(whole), 0) << "a first exchange, so that the response length is not 0";
    if (!c.splits.empty()) TessaroSimSplitReports(sim, reader, c.splits.data(), static_cast<int>(c.splits.size()));
    ASSERT_EQ(TessaroSimInjectFault(sim, reader, c.kind, c.count, c.value), 0);

    int result = -1;
    const unsigned took = elapsedMs([&] { result = readerInformation(info); });
    EXPECT_EQ(result, c.expected);
    EXPECT_LE(took, c.boundMs);
    EXPECT_EQ(info, c.expected == 0 ? whole : Bytes(12, 0xEE)) << "whole on success, untouched on failure";

    TessaroSimClearFaults(sim, reader);
    EXPECT_EQ(readerInformation(info), 0) << "the next command is not spoiled";
}

const FaultCase kFaults[] = {
    {"DroppedReport", TESSARO_SIM_FAULT_DROP, 1, 0, {}, ERR_COMM, kCycleMs},
    {"ShortDelay", TESSARO_SIM_FAULT_DELAY, 1, 60, {}, 0, kCycleMs},
    {"LongDelay", TESSARO_SIM_FAULT_DELAY, 1, 500, {}, ERR_COMM, kCycleMs},
    {"DuplicatedReport", TESSARO_SIM_FAULT_DUPLICATE, 1, 0, {10}, ERR_COMM, 2000 + kCycleMs},
    {"CorruptReport", TESSARO_SIM_FAULT_CORRUPT, 1, 4, {}, ERR_COMM, 2000 + kCycleMs},
    {"CountAboveAReport", TESSARO_SIM_FAULT_BAD_COUNT, 1, 0, {}, ERR_COMM, kCycleMs},
    {"FrameNotTaken", TESSARO_SIM_FAULT_REFUSE_WRITES, 1, REPORT_ID_DATA, {}, ERR_COMM, 2000 + kCycleMs},
    {"PollNotTaken", TESSARO_SIM_FAULT_REFUSE_WRITES, 1, REPORT_ID_CONTROL, {}, ERR_COMM, kCycleMs},
    {"SilentReader", TESSARO_SIM_FAULT_SILENT, -1, 0, {}, ERR_COMM, kCycleMs},
    {"WrongEcho", TESSARO_SIM_FAULT_WRONG_ECHO, 1, 0, {}, ERR_RESPONSE_CMD, kCycleMs},
    {"BadCrc", TESSARO_SIM_FAULT_BAD_CRC, 1, 0, {}, ERR_COMM, 2000 + kCycleMs},
    {"OneByteReports", TESSARO_SIM_FAULT_DELAY, 0, 0, {1}, 0, 18 * kCycleMs},
    {"SplitAtTheCrc", TESSARO_SIM_FAULT_DELAY, 0, 0, {16}, 0, 2 * kCycleMs},
};

INSTANTIATE_TEST_SUITE_P(Sim, Faults, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<FaultCase> &test) { return std::string(test.param.name); });

class Unplugging : public SimTest {};

TEST_F(Unplugging, AnUnpluggedReaderFailsAtOnceUntilItIsOpenedAgain) {
    ASSERT_EQ(TessaroSimInjectFault(sim, reader, TESSARO_SIM_FAULT_UNPLUG, 0, 0), 0);
    unsigned char power = 0;
    unsigned took = elapsedMs([&] { EXPECT_EQ(GetRevDelay(&address, &power, port), ERR_COMM); });
    EXPECT_LE(took, kCycleMs);
    EXPECT_EQ(power, 0);

    int second = 0;
    EXPECT_EQ(OpenUSBPort(&second), ERR_COMM) << "nothing to find while it is unplugged";
    ASSERT_EQ(TessaroSimSetPlugged(sim, reader, 1), 0);
    EXPECT_EQ(GetRevDelay(&address, &power, port), ERR_COMM) << "the old handle stays dead";
    ASSERT_EQ(OpenUSBPort(&second), 0);
    EXPECT_EQ(GetRevDelay(&address, &power, second), 0);
    EXPECT_EQ(power, state().revDelay);
}

TEST_F(Unplugging, UnpluggedInTheMiddleOfAnAnswer) {
    const unsigned char sizes[] = {10};
    TessaroSimSplitReports(sim, reader, sizes, 1);
    ASSERT_EQ(TessaroSimInjectFault(sim, reader, TESSARO_SIM_FAULT_UNPLUG, 0, 1), 0);
    Bytes info;
    int result = -1;
    EXPECT_LE(elapsedMs([&] { result = readerInformation(info); }), 2 * kCycleMs);
    EXPECT_EQ(result, ERR_COMM);
    EXPECT_EQ(info, Bytes(12, 0xEE)) << "outputs written by a failed command";
    EXPECT_EQ(counters().inputReports, 1) << "one report came before the reader went";
}

}  // namespace
}  // namespace tessaro::simtest
