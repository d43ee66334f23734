// The event journal's throughput: events appended by 50 readers' threads at
// once, committed, fetched and acknowledged by an output, at each --fsync
// setting, on this machine's disk (a folder in the build tree).
//
//   build/bin/tessaro_journal_bench
#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "journal/journal.h"

namespace {

namespace fs = std::filesystem;
using tessaro::journal::Fsync;

constexpr int kReaders = 50;

void JournalAppendAndAcknowledge(benchmark::State &state) {
    const auto fsync = static_cast<Fsync>(state.range(0));
    const int perReader = static_cast<int>(state.range(1));
    const fs::path folder = fs::current_path() / "journal-bench";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(folder);
        tessaro::journal::Journal journal;
        tessaro::journal::JournalOptions options;
        options.folder = folder.string();
        options.fsync = fsync;
        std::string error;
        if (!journal.open(options, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        journal.addCursor("mqtt");
        state.ResumeTiming();

        std::vector<std::thread> readers;
        for (int r = 0; r < kReaders; ++r)
            readers.emplace_back([&journal, r, perReader] {
                const std::string serial = "1908" + std::to_string(2000 + r);
                for (int i = 0; i < perReader; ++i) {
                    tessaro::events::TagEvent event;
                    event.reader = serial;
                    event.epc = "3034257BF7194E40000" + std::to_string(10000 + i % 50);
                    event.antenna = 1 + i % 4;
                    event.rssi = -40 - i % 30;
                    event.round = 1 + i / 20;
                    event.monotonicMs = 25u * i;
                    journal.append(event);
                }
            });
        // The output: takes what is committed and acknowledges it.
        std::uint64_t acknowledged = 0;
        std::vector<std::uint64_t> after(kReaders, 0);
        while (acknowledged < static_cast<std::uint64_t>(kReaders) * perReader) {
            const std::uint64_t seen = journal.commits();
            bool any = false;
            for (int r = 0; r < kReaders; ++r) {
                const std::string serial = "1908" + std::to_string(2000 + r);
                const auto records = journal.fetch(serial, after[r], 500);
                if (records.empty()) continue;
                any = true;
                after[r] = records.back().seq;
                acknowledged += records.size();
                journal.acknowledge("mqtt", serial, after[r]);
            }
            if (!any) journal.waitForCommit(seen, 10);
        }
        for (std::thread &reader : readers) reader.join();
        journal.flush();
        state.PauseTiming();
        journal.close();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kReaders * perReader);
    state.SetLabel(tessaro::journal::fsyncName(fsync));
    fs::remove_all(folder);
}

BENCHMARK(JournalAppendAndAcknowledge)
    ->Args({static_cast<int>(Fsync::Always), 400})
    ->Args({static_cast<int>(Fsync::Interval), 400})
    ->Args({static_cast<int>(Fsync::Never), 400})
    ->ArgNames({"fsync", "eventsPerReader"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
