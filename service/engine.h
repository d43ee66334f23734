// The service's engine: one per process. It owns the continuous readings of
// the process's readers, stamps every event they make with its reader, run
// and sequence number, writes it to the journal, and hands it to the
// outputs (sinks) that listen. The outputs (MQTT, the web console, LLRP) are
// clients of the engine; none runs a reading loop of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "TessaroReading.h"
#include "events/tag_event.h"
#include "journal/journal.h"

namespace tessaro::service {

// Exit codes of the long-running commands: those of the tool, and their own.
enum ServiceExit {
    kExitOk = 0,
    kExitReaderError = 1,    // a reader named on the command line is not there
    kExitUsage = 2,          // a bad option or value, found before anything was sent
    kExitNoReader = 3,
    kExitBroker = 5,         // the broker refused us, or the TLS files are unusable
    kExitEventsLost = 6      // events were dropped (journal full) or lost (journal damaged)
};

struct ReaderInfo {
    int port = 0;
    std::string serial;  // 8 hex digits; "portN" when it cannot be read
};

// Called on a reading's thread for every event, once it is in the journal's
// queue (stamped with its seq). Must be quick: copy what is needed and return.
using EventListener = std::function<void(const events::TagEvent &)>;

struct EngineOptions {
    journal::JournalOptions journal;
    TessaroReadingOptions reading{};      // what each reading does (callbacks are the engine's)
    std::vector<std::string> readers;     // serial numbers to read; empty: every reader open
    std::string name = "gateway";         // how messages on stderr begin
    bool quiet = false;
};

class Engine {
public:
    Engine();
    ~Engine();
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    // Takes the readers OpenUSBPort opened (port 1 and the ones after it),
    // chooses the ones named, and opens the journal. What the journal found
    // wrong goes to stderr now and into each reader's events once started.
    // Returns kExitOk, or the exit code after saying why on stderr.
    int open(const EngineOptions &options);

    const std::vector<ReaderInfo> &readers() const { return readers_; }
    const ReaderInfo *reader(const std::string &serial) const;
    journal::Journal &journal() { return journal_; }
    const EngineOptions &options() const { return options_; }

    // Adds a listener; call before the readings start. Returns its id.
    int subscribe(EventListener listener);
    void unsubscribe(int id);

    // Reads `serial` with the engine's options, or with `options` (its
    // callbacks are replaced). A reading already running is stopped first.
    // False when the reader is unknown or the reading cannot start.
    bool startReading(const std::string &serial, const TessaroReadingOptions *options = nullptr);
    // Stops the reading of `serial`; `last` (if given) receives its counters
    // as it ended (zeros when none ran).
    void stopReading(const std::string &serial, TessaroReadingStats *last = nullptr);
    bool reading(const std::string &serial);
    // Starts every reader; false if one cannot start.
    bool startAll();
    void stopAll();

    // Counters of a reader's current reading (zeros when none runs).
    TessaroReadingStats readingStats(const std::string &serial);
    // "online" or "lost".
    std::string state(const std::string &serial);
    // Events of a reader made in this run.
    std::uint64_t events(const std::string &serial);

    // Journals an event of this process's own (the journal's notices) for
    // `event.reader` and hands it to the listeners.
    void emit(events::TagEvent event);

    // Stops every reading, commits the journal, and closes it.
    void close();

private:
    struct Feed;
    static void TESSARO_CALL onTag(const TessaroTagRead *read, void *feed);
    static void TESSARO_CALL onPresence(const TessaroPresenceEvent *event, void *feed);
    static void TESSARO_CALL onStatus(const TessaroReadingStatus *status, void *feed);
    void publish(Feed &feed, events::TagEvent event);
    Feed *feed(const std::string &serial);

    EngineOptions options_;
    std::vector<ReaderInfo> readers_;
    std::vector<std::unique_ptr<Feed>> feeds_;
    journal::Journal journal_;
    bool journalOpen_ = false;
    std::mutex listenersMutex_;
    std::map<int, EventListener> listeners_;
    int nextListener_ = 1;
};

}  // namespace tessaro::service
