// Host cost of representative commands against a reader that answers at
// once: time and (where the machine counts them) instructions per call, heap
// allocations per call, and the virtual time a call spends against the
// protocol's lower bound, one report pause per input report of its answer.
//
//   make bench                      every benchmark
//   build/bin/tessaro_bench --benchmark_filter=Inventory
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Tessaro.h"
#include "TessaroTiming.h"
#include "host_counters.h"
#include "instant_reader.h"

namespace tessaro::bench {
namespace {

constexpr std::uint8_t kGetReaderInformation = 0x21, kReadData = 0x02, kSetRfPower = 0x2F,
                       kGetSystemParameter = 0x36, kInventory = 0x01, kReadBuffer = 0x72;
constexpr int kRecordsPerFrame = 20;

InstantReader reader;
InstructionCounter *instructions = nullptr;
int port = 0;
unsigned char address = 0x00;

// One tag's record: N, E = 8, a 64-bit EPC, RSSI, antenna (12 bytes).
Bytes tagRecord(int tag) {
    return {11, 8, 0x30, 0x00, 0x00, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(tag >> 8),
            static_cast<std::uint8_t>(tag), 0xC6, 0x01};
}

// `tags` records in frames of at most 20, every frame but the last with
// status 3. `head` comes before the count byte (the antenna of an inventory).
std::vector<Bytes> tagFrames(std::uint8_t code, int tags, const Bytes &head) {
    std::vector<Bytes> frames;
    for (int first = 0; first < tags; first += kRecordsPerFrame) {
        const int count = std::min(kRecordsPerFrame, tags - first);
        Bytes data = head;
        data.push_back(static_cast<std::uint8_t>(count));
        for (int tag = first; tag < first + count; ++tag) {
            const Bytes record = tagRecord(tag);
            data.insert(data.end(), record.begin(), record.end());
        }
        frames.push_back(answerFrame(code, first + count < tags ? 0x03 : 0x01, data));
    }
    return frames;
}

// Runs `call` as the benchmark's body; it must give `expected` every time.
template <class Call>
void measure(benchmark::State &state, std::uint8_t code, int expected, Call call, int tags = 0) {
    if (call() != expected) {
        state.SkipWithError("the command did not succeed against the instant reader");
        return;
    }
    const std::uint64_t allocationsBefore = allocations();
    const std::uint64_t pausedBefore = reader.pausedMs();
    instructions->start();
    for (auto _ : state) benchmark::DoNotOptimize(call());
    const std::uint64_t instructionCount = instructions->stop();

    const double calls = static_cast<double>(state.iterations());
    const double reports = static_cast<double>(reader.reportsFor(code));
    const double virtualMs = static_cast<double>(reader.pausedMs() - pausedBefore) / calls;
    const double boundMs = reports * TessaroGetReportPause();
    state.counters["allocs"] = static_cast<double>(allocations() - allocationsBefore) / calls;
    state.counters["reports"] = reports;
    state.counters["virtual_ms"] = virtualMs;
    state.counters["bound_ratio"] = boundMs > 0 ? virtualMs / boundMs : 0;
    if (instructions->available())
        state.counters["instr"] = static_cast<double>(instructionCount) / calls;
    if (tags > 0)
        state.counters["per_tag"] = benchmark::Counter(static_cast<double>(tags) * calls,
                                                       benchmark::Counter::kIsRate |
                                                           benchmark::Counter::kInvert);
}

void GetReaderInformation(benchmark::State &state) {
    unsigned char version[2], b[10];
    measure(state, kGetReaderInformation, 0, [&] {
        return ::GetReaderInformation(&address, version, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5],
                                      &b[6], &b[7], &b[8], &b[9], port);
    });
}

void ReadData_G2(benchmark::State &state) {
    const unsigned char epc[12] = {0x30}, password[4] = {}, maskAddress[2] = {}, maskData[1] = {};
    unsigned char data[64];
    int errorCode = 0;
    measure(state, kReadData, 0, [&] {
        return ::ReadData_G2(&address, epc, 6, 3, 0, 8, password, 0, maskAddress, 0, maskData,
                             data, &errorCode, port);
    });
}

void SetRfPower(benchmark::State &state) {
    measure(state, kSetRfPower, 0, [&] { return ::SetRfPower(&address, 30, port); });
}

void GetSystemParameter(benchmark::State &state) {
    unsigned char p[6], maskMem, maskAddress[2], maskLength, maskData[32], p42, p43, p44;
    measure(state, kGetSystemParameter, 0, [&] {
        return ::GetSystemParameter(&address, &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &maskMem,
                                    maskAddress, &maskLength, maskData, &p42, &p43, &p44, port);
    });
}

void Inventory_G2(benchmark::State &state) {
    const int tags = static_cast<int>(state.range(0));
    reader.answer(kInventory, tagFrames(kInventory, tags, {0x01}));
    const unsigned char maskAddress[2] = {}, maskData[1] = {};
    static unsigned char list[EPC_LIST_MAX_BYTES];
    unsigned char antenna = 0;
    int totalLength = 0, tagCount = 0;
    measure(state, kInventory, 1, [&] {
        return ::Inventory_G2(&address, 4, 0, 1, maskAddress, 0, maskData, 0, 0, 0, 0, 0, 0, 0, 0,
                              list, &antenna, &totalLength, &tagCount, port);
    }, tags);
}

void ReadBuffer_G2(benchmark::State &state) {
    const int tags = static_cast<int>(state.range(0));
    reader.answer(kReadBuffer, tagFrames(kReadBuffer, tags, {}));
    static unsigned char list[EPC_LIST_MAX_BYTES];
    int totalLength = 0, tagCount = 0;
    measure(state, kReadBuffer, 1, [&] {
        return ::ReadBuffer_G2(&address, &totalLength, &tagCount, list, port);
    }, tags);
}

BENCHMARK(GetReaderInformation);
BENCHMARK(ReadData_G2);
BENCHMARK(SetRfPower);
BENCHMARK(GetSystemParameter);
BENCHMARK(Inventory_G2)->Arg(1)->Arg(10)->Arg(100)->Arg(400);
BENCHMARK(ReadBuffer_G2)->Arg(1)->Arg(10)->Arg(100)->Arg(400);

}  // namespace
}  // namespace tessaro::bench

int main(int argc, char **argv) {
    using namespace tessaro::bench;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    Bytes information(12, 0x11);
    information[7] = 10;  // scan time
    reader.answer(kGetReaderInformation, {answerFrame(kGetReaderInformation, 0, information)});
    reader.answer(kReadData, {answerFrame(kReadData, 0, Bytes(16, 0xA5))});
    reader.answer(kSetRfPower, {answerFrame(kSetRfPower, 0, {})});
    reader.answer(kGetSystemParameter, {answerFrame(kGetSystemParameter, 0, Bytes(45, 0x01))});
    reader.install();
    if (OpenUSBPort(&port) != 0) {
        std::fprintf(stderr, "tessaro_bench: the instant reader did not open\n");
        return 1;
    }

    // The allocation counter must see the allocations of this process.
    const std::uint64_t before = allocations();
    void *probe = std::malloc(16);
    benchmark::DoNotOptimize(probe);
    std::free(probe);
    if (allocations() == before) {
        std::fprintf(stderr, "tessaro_bench: heap allocations cannot be counted here\n");
        return 1;
    }

    InstructionCounter counter;
    instructions = &counter;
    benchmark::AddCustomContext("report pause", std::to_string(TessaroGetReportPause()) + " ms");
    benchmark::AddCustomContext("instructions", counter.available() ? "counted (instr = per call)"
                                                                    : "not counted: " + counter.unavailableReason());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    CloseUSBPort(port);
    TessaroSetTransport(nullptr);
    return 0;
}
