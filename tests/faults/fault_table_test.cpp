// Every fault the simulated reader offers, on each kind of exchange: a
// single-report answer (GetReaderInformation), a 20-tag inventory
// (Inventory_G2, two frames over several reports) and a read-out of the
// reader's tag buffer (ReadBuffer_G2). For each pair: the return code, the
// virtual time taken against its bound, outputs that hold either exactly
// what an intact answer gives or nothing at all, and a reader that works
// again once it is opened anew.
//
// Each case prints its row ("| fault | exchange | result | ms |"), the table
// in docs/reliability.md.
#include <cctype>
#include <cstdio>
#include <ostream>

#include "sim_fixture.h"

namespace tessaro::simtest {
namespace {

constexpr unsigned char kSentinel = 0xEE;
constexpr int kSentinelCount = 0x5A5A;
// One poll, read (100 ms wait), 50 ms pause: the most a cycle adds to a bound.
constexpr unsigned kCycleMs = 250;
constexpr int kTags = 20;

enum Exchange { kSingle, kInventory, kReadOut, kExchanges };
const char *const kExchangeNames[kExchanges] = {"single report", "inventory", "buffer read-out"};

// What a command handed back. Outputs start as sentinels so every byte
// written shows.
struct Outcome {
    int result = -1;
    Bytes bytes = Bytes(EPC_LIST_MAX_BYTES, kSentinel);  // the info bytes or the EPC-ID list
    int totalLength = kSentinelCount;
    int tagCount = kSentinelCount;
    unsigned char antenna = kSentinel;

    bool sameOutputs(const Outcome &o) const {
        return bytes == o.bytes && totalLength == o.totalLength && tagCount == o.tagCount &&
               antenna == o.antenna;
    }
};

struct Expected {
    int result;
    unsigned boundMs;  // the most it may take
};

struct FaultCase {
    const char *name;
    int kind;
    int count;
    int value;
    Expected expected[kExchanges];
};

void PrintTo(const FaultCase &c, std::ostream *out) { *out << c.name; }

class FaultTable : public SimTest, public ::testing::WithParamInterface<FaultCase> {
protected:
    void SetUp() override {
        SimTest::SetUp();
        addNumberedTags(kTags);
        // The scan time the inventory bound is made of, and tags in the reader's buffer.
        Bytes info;
        ASSERT_EQ(readerInformation(info), 0);
        int bufferCount = 0, tagCount = 0;
        const unsigned char none[2] = {};
        ASSERT_EQ(InventoryBuffer_G2(&address, 4, 0, 0, none, 0, none, 0, 0, 0, 0, 0, 0, 0, 0,
                                     &bufferCount, &tagCount, port),
                  0);
        ASSERT_EQ(bufferCount, kTags);
    }

    Outcome run(Exchange exchange) {
        Outcome o;
        switch (exchange) {
        case kSingle:
            o.result = GetReaderInformation(&address, &o.bytes[0], &o.bytes[2], &o.bytes[3],
                                            &o.bytes[4], &o.bytes[5], &o.bytes[6], &o.bytes[7],
                                            &o.bytes[8], &o.bytes[9], &o.bytes[10], &o.bytes[11],
                                            port);
            break;
        case kInventory:
            o.result = Inventory_G2(&address, 4, 0, 0, nullptr, 0, nullptr, 0, 0, 0, 0, 0, 0, 0, 0,
                                    o.bytes.data(), &o.antenna, &o.totalLength, &o.tagCount, port);
            break;
        case kReadOut:
            o.result = ReadBuffer_G2(&address, &o.totalLength, &o.tagCount, o.bytes.data(), port);
            break;
        case kExchanges:
            break;
        }
        return o;
    }
};

TEST_P(FaultTable, CodeBoundOutputsAndRecovery) {
    const FaultCase &c = GetParam();
    for (int e = 0; e < kExchanges; ++e) {
        const Exchange exchange = static_cast<Exchange>(e);
        SCOPED_TRACE(kExchangeNames[e]);
        const Outcome intact = run(exchange);
        ASSERT_EQ(intact.result, exchange == kSingle ? 0 : 1);

        ASSERT_EQ(TessaroSimInjectFault(sim, reader, c.kind, c.count, c.value), 0);
        Outcome faulty;
        const unsigned took = elapsedMs([&] { faulty = run(exchange); });
        std::printf("| %s | %s | %d | %u |\n", c.name, kExchangeNames[e], faulty.result, took);
        EXPECT_EQ(faulty.result, c.expected[e].result);
        EXPECT_LE(took, c.expected[e].boundMs);
        if (faulty.result == intact.result) {
            EXPECT_TRUE(faulty.sameOutputs(intact)) << "a success holds what an intact answer holds";
        } else {
            Outcome untouched;
            // The inventory sets tagCount to 0 once it has collected, whatever came.
            if (exchange == kInventory && faulty.tagCount == 0) untouched.tagCount = 0;
            EXPECT_TRUE(faulty.sameOutputs(untouched)) << "a failure writes nothing";
        }

        // Opened anew, with the faults gone, the reader answers in full.
        TessaroSimClearFaults(sim, reader);
        ASSERT_EQ(TessaroSimSetPlugged(sim, reader, 1), 0);
        CloseUSBPort(port);
        ASSERT_EQ(OpenUSBPort(&port), 0);
        const Outcome after = run(exchange);
        EXPECT_EQ(after.result, intact.result);
        EXPECT_TRUE(after.sameOutputs(intact));
    }
}

// Bounds: a single answer 1000 ms (2000 ms once an earlier answer left the
// response length non-zero); an inventory 2 x T + 5000 ms with T the scan
// time (1000 ms here), 1000 ms while nothing has arrived; a read-out 10000 ms,
// 1000 ms while nothing has arrived. Faults that leave a frame failing its CRC
// end a stream as soon as that frame is complete.
constexpr unsigned kInventoryBoundMs = 2 * 1000 + 5000 + kCycleMs;
constexpr unsigned kReadOutBoundMs = 10000 + kCycleMs;
constexpr unsigned kIdleMs = 1000 + kCycleMs;
constexpr unsigned kSoonMs = 4 * kCycleMs;

const FaultCase kFaults[] = {
    {"drop", TESSARO_SIM_FAULT_DROP, 1, 0,
     {{ERR_COMM, kCycleMs}, {ERR_CRC, kSoonMs}, {ERR_CRC, kSoonMs}}},
    {"duplicate", TESSARO_SIM_FAULT_DUPLICATE, 1, 0,
     {{0, kCycleMs}, {ERR_CRC, kSoonMs}, {ERR_CRC, kSoonMs}}},
    {"short delay", TESSARO_SIM_FAULT_DELAY, 1, 60, {{0, kCycleMs}, {1, kSoonMs}, {1, kSoonMs}}},
    {"long delay", TESSARO_SIM_FAULT_DELAY, 1, 500,
     {{ERR_COMM, kCycleMs}, {1, 2 * kSoonMs}, {1, 2 * kSoonMs}}},
    {"corrupt", TESSARO_SIM_FAULT_CORRUPT, 1, 4,
     {{ERR_COMM, 2000 + kCycleMs}, {ERR_CRC, kSoonMs}, {ERR_CRC, kSoonMs}}},
    {"bad count", TESSARO_SIM_FAULT_BAD_COUNT, 1, 0,
     {{ERR_COMM, kCycleMs}, {ERR_CRC, kSoonMs}, {ERR_CRC, kSoonMs}}},
    {"refused frame", TESSARO_SIM_FAULT_REFUSE_WRITES, 1, REPORT_ID_DATA,
     {{ERR_COMM, 2000 + kCycleMs}, {ERR_COMM, kIdleMs}, {ERR_COMM, kIdleMs}}},
    {"refused control report", TESSARO_SIM_FAULT_REFUSE_WRITES, 1, REPORT_ID_CONTROL,
     {{ERR_COMM, kCycleMs}, {ERR_COMM, kCycleMs}, {ERR_COMM, kCycleMs}}},
    {"silence", TESSARO_SIM_FAULT_SILENT, -1, 0,
     {{ERR_COMM, kCycleMs}, {ERR_COMM, kIdleMs}, {ERR_COMM, kIdleMs}}},
    {"unplug after two reports", TESSARO_SIM_FAULT_UNPLUG, 0, 2,
     {{0, kCycleMs}, {ERR_COMM, kInventoryBoundMs}, {ERR_COMM, kReadOutBoundMs}}},
    {"wrong echo", TESSARO_SIM_FAULT_WRONG_ECHO, 1, 0,
     {{ERR_RESPONSE_CMD, kCycleMs}, {1, kSoonMs}, {1, kSoonMs}}},
    {"bad CRC", TESSARO_SIM_FAULT_BAD_CRC, 1, 0,
     {{ERR_COMM, 2000 + kCycleMs}, {ERR_CRC, kSoonMs}, {ERR_CRC, kSoonMs}}},
};

INSTANTIATE_TEST_SUITE_P(Sim, FaultTable, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<FaultCase> &test) {
                             std::string name;
                             for (const char *p = test.param.name; *p; ++p)
                                 if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                             return name;
                         });

}  // namespace
}  // namespace tessaro::simtest
