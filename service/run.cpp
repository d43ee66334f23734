#include "run.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

namespace tessaro::service {

namespace {

std::atomic<int> signalled{0};
extern "C" void onSignal(int signal) { signalled = signal; }

bool finished(Engine &engine, const RunLimits &limits, std::chrono::steady_clock::time_point started) {
    if (signalled) return true;
    if (limits.seconds > 0 &&
        std::chrono::steady_clock::now() - started >= std::chrono::duration<double>(limits.seconds))
        return true;
    if (limits.rounds == 0) return false;
    for (const ReaderInfo &reader : engine.readers())
        if (engine.readingStats(reader.serial).rounds < limits.rounds) return false;
    return true;
}

}  // namespace

bool interrupted() { return signalled != 0; }

int runService(Engine &engine, const std::vector<Sink *> &sinks, const RunLimits &limits, bool json) {
    const char *name = engine.options().name.c_str();
    signalled = 0;
    auto previousInt = std::signal(SIGINT, onSignal);
    auto previousTerm = std::signal(SIGTERM, onSignal);
    const auto restoreSignals = [&] {
        std::signal(SIGINT, previousInt);
        std::signal(SIGTERM, previousTerm);
    };

    std::vector<Sink *> started;
    int exitCode = kExitOk;
    for (Sink *sink : sinks) {
        exitCode = sink->start(engine);
        if (exitCode != kExitOk) break;
        started.push_back(sink);
    }
    // What the journal found at open goes into every reader's events.
    if (exitCode == kExitOk) {
        for (const journal::Notice &notice : engine.journal().notices()) {
            for (const ReaderInfo &reader : engine.readers()) {
                if (!notice.reader.empty() && notice.reader != reader.serial) continue;
                events::TagEvent event;
                event.type = events::EventType::Journal;
                event.reader = reader.serial;
                event.text = notice.text;
                event.movedTo = notice.movedTo;
                event.recovered = notice.recovered;
                event.count = notice.lost;
                event.firstSeq = notice.firstSeq;
                event.lastSeq = notice.lastSeq;
                engine.emit(event);
            }
        }
        if (limits.startReadings && !engine.startAll()) signalled = SIGTERM;
    }

    const auto startedAt = std::chrono::steady_clock::now();
    std::string fatal;
    int fatalExit = kExitOk;
    while (exitCode == kExitOk && fatal.empty() && !finished(engine, limits, startedAt)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        for (Sink *sink : started)
            if (fatal.empty() && !(fatal = sink->fatalError()).empty()) fatalExit = sink->fatalExit();
    }

    engine.stopAll();
    engine.journal().flush();
    std::vector<std::thread> stopping;
    for (Sink *sink : started)
        stopping.emplace_back([&, sink] { sink->stop(fatal.empty() ? limits.drainMs : 0); });
    for (std::thread &thread : stopping) thread.join();
    const journal::JournalStats stats = engine.journal().stats();
    const std::uint64_t run = engine.journal().run();
    engine.close();
    restoreSignals();
    if (exitCode != kExitOk) return exitCode;

    for (const ReaderInfo &reader : engine.readers()) {
        nlohmann::ordered_json summary{{"reader", reader.serial}, {"run", run},
                                       {"events", engine.events(reader.serial)}};
        for (Sink *sink : started) sink->summarize(reader.serial, summary);
        if (json) {
            std::printf("%s\n", summary.dump().c_str());
            continue;
        }
        std::string line = "reader " + reader.serial + ": run " + std::to_string(run);
        for (const auto &[key, value] : summary.items())
            if (key != "reader" && key != "run") line += ", " + value.dump() + " " + key;
        std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
    if (stats.dropped > 0) {
        std::fprintf(stderr, "%s: %llu undelivered events were dropped: the journal was full "
                             "(--journal-mb)\n",
                     name, static_cast<unsigned long long>(stats.dropped));
    }
    if (!fatal.empty()) {
        std::fprintf(stderr, "%s: %s\n", name, fatal.c_str());
        return fatalExit;
    }
    if (stats.dropped > 0) return kExitEventsLost;
    for (const journal::Notice &notice : engine.journal().notices())
        if (notice.lost > 0) return kExitEventsLost;
    return kExitOk;
}

}  // namespace tessaro::service
