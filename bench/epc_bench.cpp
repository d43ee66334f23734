// The GS1 EPC codec: SGTIN-96 decoded to its fields, decoded with every text
// form, and encoded, in ns per EPC; heap allocations per call (there are none).
//
//   build/bin/tessaro_bench --benchmark_filter=Epc
#include <benchmark/benchmark.h>

#include "TessaroEpc.h"
#include "host_counters.h"

namespace tessaro::bench {
namespace {

// EPC Tag Data Standard, Annex E: urn:epc:tag:sgtin-96:3.0614141.812345.6789.
const unsigned char kSgtin96[12] = {0x30, 0x74, 0x25, 0x7B, 0xF7, 0x19, 0x4E, 0x40, 0x00, 0x00, 0x1A, 0x85};

template <class Body>
void measure(benchmark::State &state, Body body) {
    const std::uint64_t before = allocations();
    for (auto _ : state) body();
    state.counters["allocs"] = static_cast<double>(allocations() - before) / static_cast<double>(state.iterations());
}

void EpcDecodeSgtin96(benchmark::State &state) {
    TessaroEpcIdentity identity;
    measure(state, [&] {
        benchmark::DoNotOptimize(TessaroEpcDecode(kSgtin96, sizeof kSgtin96, &identity));
        benchmark::ClobberMemory();
    });
}

// Decode, then the pure identity and tag URIs, the element string and the
// Digital Link URI.
void EpcDecodeSgtin96WithUris(benchmark::State &state) {
    TessaroEpcIdentity identity;
    char pure[TESSARO_EPC_TEXT_SIZE], tag[TESSARO_EPC_TEXT_SIZE], elements[TESSARO_EPC_TEXT_SIZE],
        link[TESSARO_EPC_TEXT_SIZE];
    measure(state, [&] {
        TessaroEpcDecode(kSgtin96, sizeof kSgtin96, &identity);
        TessaroEpcPureUri(&identity, pure, sizeof pure);
        TessaroEpcTagUri(&identity, tag, sizeof tag);
        TessaroEpcElementString(&identity, elements, sizeof elements);
        benchmark::DoNotOptimize(TessaroEpcDigitalLink(&identity, link, sizeof link));
        benchmark::ClobberMemory();
    });
}

void EpcEncodeSgtin96(benchmark::State &state) {
    TessaroEpcIdentity identity;
    TessaroEpcDecode(kSgtin96, sizeof kSgtin96, &identity);
    unsigned char epc[TESSARO_EPC_MAX_BYTES];
    measure(state, [&] {
        benchmark::DoNotOptimize(TessaroEpcEncode(&identity, epc, sizeof epc, nullptr));
        benchmark::ClobberMemory();
    });
}

// From the tag URI's text to the EPC: parse, check, encode.
void EpcEncodeSgtin96FromTagUri(benchmark::State &state) {
    TessaroEpcIdentity identity;
    unsigned char epc[TESSARO_EPC_MAX_BYTES];
    measure(state, [&] {
        TessaroEpcParse("urn:epc:tag:sgtin-96:3.0614141.812345.6789", -1, 0, &identity);
        benchmark::DoNotOptimize(TessaroEpcEncode(&identity, epc, sizeof epc, nullptr));
        benchmark::ClobberMemory();
    });
}

BENCHMARK(EpcDecodeSgtin96);
BENCHMARK(EpcDecodeSgtin96WithUris);
BENCHMARK(EpcEncodeSgtin96);
BENCHMARK(EpcEncodeSgtin96FromTagUri);

}  // namespace
}  // namespace tessaro::bench
