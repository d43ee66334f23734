// tessaro inventory: the Gen2 tags in the field, once as a table, or
// continuously (--watch) as a live table or a stream of reads.
#include <memory>

#include "Tessaro.h"
#include "cli.h"
#include "gen2_options.h"
#include "reader_settings.h"
#include "session.h"
#include "settings_words.h"
#include "tag_events.h"
#include "terminal.h"
#include "usage.h"

namespace tessaro::cli {

namespace {

// A reader that fails this many rounds in a row is gone: --watch stops.
constexpr int kMaxFailedRounds = 5;

struct InventoryArgs {
    int q = 4;
    int session = 0;
    std::string target;      // "a" or "b"; empty: not sent
    std::string antennas;    // "1,3" or "all"; empty: the reader's setting
    int scanTimeMs = 0;      // 0: the reader's
    MaskArg mask;
    bool tid = false;
    int tidWords = 6;
    bool buffer = false;
    bool clearBuffer = false;
    bool watch = false;
    int rounds = 0;
    double seconds = 0;
    bool csv = false;

    int antennaMask = 0;     // parsed
};

// The request every round sends (one per antenna when antennas are named).
struct Request {
    MaskBlock mask;
    int q, session;
    int tidFlag, tidWords;
    int target, scanTime, targetFlag;
};

int tagRound(Session &session, const Request &request, int antennaByte, bool buffer,
             unsigned char *list, int &totalLength, int &tagCount) {
    unsigned char *address = session.address();
    const MaskBlock &m = request.mask;
    if (!buffer) {
        unsigned char antennaOut = 0;
        return Inventory_G2(address, request.q, request.session, m.bank, m.address,
                            m.bits, m.data, m.flag, 0, request.tidWords, request.tidFlag,
                            request.target, antennaByte, request.scanTime, request.targetFlag,
                            list, &antennaOut, &totalLength, &tagCount, session.port());
    }
    int bufferCount = 0, roundCount = 0;
    int rc = InventoryBuffer_G2(address, request.q, request.session, m.bank, m.address, m.bits, m.data,
                                m.flag, 0, request.tidWords, request.tidFlag, request.target,
                                antennaByte, request.scanTime, request.targetFlag, &bufferCount,
                                &roundCount, session.port());
    if (rc != 0 && rc != kNoTag) return rc;
    session.out().note("Buffer: " + std::to_string(bufferCount) + " tags, " +
                       std::to_string(rc == kNoTag ? 0 : roundCount) + " read this round");
    rc = ReadBuffer_G2(address, &totalLength, &tagCount, list, session.port());
    return rc;
}

int runInventory(Session &session, const InventoryArgs &args) {
    unsigned char *address = session.address();
    // The reader's scan time sets how long the library waits for an
    // inventory's answer: read it first.
    ReaderInformation info;
    int rc = info.read(session.address(), session.port());
    if (rc != 0) return session.fail("reading the reader's information", rc);
    const int readerScanMs = info.scanTime * 100;
    const int waitMs = 2 * readerScanMs + 5000;
    if (args.scanTimeMs > waitMs) {
        // Known only now that the reader told its scan time: the reader's
        // setting, not the argument, is what stands in the way (exit 1).
        const std::string message =
            "--scan-time " + std::to_string(args.scanTimeMs) +
            " ms is longer than the library waits for an inventory's answer (" +
            std::to_string(waitMs) + " ms with the reader's scan time of " +
            std::to_string(readerScanMs) + " ms); nothing was inventoried";
        const std::string hint =
            session.options().sim
                ? "the simulated reader starts every run with a scan time of " +
                      std::to_string(readerScanMs) + " ms: give --scan-time " +
                      std::to_string(waitMs) + " or less"
                : "raise the reader's scan time first: tessaro config set scan-time " +
                      std::to_string((args.scanTimeMs - 5000 + 199) / 200 * 100) +
                      ", or give --scan-time " + std::to_string(waitMs) + " or less";
        session.out().error(message + "\n  " + hint);
        session.out().errorRecord(kExitReaderError, message,
                                  Json{{"operation", "inventory"}, {"hint", hint}});
        return kExitReaderError;
    }

    Request request{args.mask.block, args.q, args.session, args.tid ? 1 : 0, args.tid ? args.tidWords : 0,
                    args.target == "b" ? 1 : 0, args.scanTimeMs / 100,
                    (!args.target.empty() || args.antennaMask || args.scanTimeMs) ? 1 : 0};
    // Without named antennas one request per round with an antenna byte that
    // keeps the reader's setting; with them one per antenna (0x80 + n - 1).
    std::vector<int> antennaBytes;
    for (int k = 0; k < 4; ++k)
        if (args.antennaMask & (1 << k)) antennaBytes.push_back(0x80 + k);
    if (antennaBytes.empty()) antennaBytes.push_back(0);

    if (args.buffer && args.clearBuffer) {
        rc = ClearBuffer_G2(address, session.port());
        if (rc != 0) return session.fail("clearing the tag buffer", rc);
    }

    const TagFormat format = session.out().json() ? TagFormat::JsonLines
                             : args.csv           ? TagFormat::Csv
                             : !args.watch        ? TagFormat::Table
                             : stdoutIsTerminal() ? TagFormat::Live
                                                  : TagFormat::Lines;
    std::unique_ptr<TagPrinter> printer =
        makeTagPrinter(format, session.out(), args.tid, args.watch);
    if (args.watch) catchInterrupt();

    static unsigned char list[EPC_LIST_MAX_BYTES];
    TagTable table;
    RunStatus status;
    const unsigned start = session.nowMs();
    int failedInARow = 0;
    bool damaged = false;
    for (;;) {
        ++status.rounds;
        bool roundFailed = false;
        for (int antennaByte : antennaBytes) {
            int totalLength = 0, tagCount = 0;
            rc = tagRound(session, request, antennaByte, args.buffer, list, totalLength, tagCount);
            status.lastCode = rc;
            const bool ok = rc == kDone || rc == kScanOverflow || rc == kNoTag;
            if (!ok) {
                roundFailed = true;
                ++status.errors;
                if (!args.watch) return session.fail(args.buffer ? "buffer read-out" : "inventory", rc);
                continue;
            }
            if (rc == kScanOverflow && !args.watch)
                session.out().note("The scan time ran out before every tag was read.");
            if (rc == kNoTag) continue;
            int offset = 0;
            TessaroTagRecord record;
            int decoded;
            while ((decoded = TessaroNextTagRecord(list, totalLength, &offset, &record)) == 1) {
                const TagEvent event = tagEvent(record, session.nowMs() - start, status.rounds);
                table.add(event);
                ++status.reads;
                printer->read(event);
            }
            if (decoded < 0) {
                ++status.errors;
                damaged = true;
                session.out().error("the reader's tag list is damaged at byte " +
                                    std::to_string(offset) + "; the rest of it is skipped");
            }
        }
        status.elapsedMs = session.nowMs() - start;
        failedInARow = roundFailed ? failedInARow + 1 : 0;
        if (args.watch) printer->round(table, status);
        if (!args.watch) break;
        if (interrupted()) {
            status.interrupted = true;
            break;
        }
        if (args.rounds && status.rounds >= args.rounds) break;
        if (args.seconds > 0 && status.elapsedMs >= args.seconds * 1000) break;
        if (failedInARow >= kMaxFailedRounds) {
            printer->finish(table, status);
            session.out().error("stopped after " + std::to_string(kMaxFailedRounds) +
                                " failed rounds in a row");
            return session.fail("inventory", status.lastCode);
        }
    }
    printer->finish(table, status);
    // One inventory whose list was damaged shows the tags it could read, and
    // fails: tags may be missing from it. A live view goes on and counts it.
    return damaged && !args.watch ? kExitReaderError : kExitOk;
}

}  // namespace

void add_inventory_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<InventoryArgs>();
    CLI::App *command = app.add_subcommand(
        "inventory", "Inventory the Gen2 tags in the field: a table of EPC, antenna, RSSI and "
                     "reads. --watch keeps inventorying until Ctrl-C.");
    command->add_option("--q", args->q, "Q value: about 2^Q tag slots per round (0 to 15)")
        ->check(CLI::Range(0, 15))->capture_default_str();
    command->add_option("--session", args->session, "Gen2 session (0 to 3)")
        ->check(CLI::Range(0, 3))->capture_default_str();
    command->add_option("--target", args->target, "Gen2 target flag: a or b")
        ->check(CLI::IsMember({"a", "b"}));
    command->add_option("--antennas", args->antennas,
                        "antennas to read, one after the other: 1,2 or all (default: the "
                        "reader's setting)");
    command->add_option("--scan-time", args->scanTimeMs,
                        "scan time of each round in ms (300 to 25500; default: the reader's)")
        ->check(CLI::Range(300, 25500));
    addMaskOptions(*command, args->mask);
    command->add_flag("--tid", args->tid, "read each tag's TID too");
    command->add_option("--tid-words", args->tidWords, "TID words read with --tid (1 to 15)")
        ->check(CLI::Range(1, 15))->capture_default_str();
    command->add_flag("--buffer", args->buffer,
                      "inventory into the reader's tag buffer, then read the buffer out");
    command->add_flag("--clear-buffer", args->clearBuffer, "with --buffer: empty the buffer first");
    command->add_flag("-w,--watch", args->watch,
                      "keep inventorying until Ctrl-C: a live table in a terminal, one line per "
                      "read otherwise");
    command->add_option("--rounds", args->rounds, "with --watch: stop after N rounds")
        ->check(aboveZero());
    command->add_option("--seconds", args->seconds, "with --watch: stop after S seconds")
        ->check(aboveZero());
    command->add_flag("--csv", args->csv, "print one CSV row per read");
    command->callback([&cli, args] {
        if (!args->antennas.empty() && (args->antennaMask = parseAntennas(args->antennas)) < 0)
            throw CLI::ValidationError("--antennas", "give antenna numbers 1 to 4, e.g. 1,3, or all");
        if ((args->rounds || args->seconds > 0) && !args->watch)
            throw CLI::ValidationError("--rounds/--seconds", "they go with --watch");
        if (args->clearBuffer && !args->buffer)
            throw CLI::ValidationError("--clear-buffer", "it goes with --buffer");
        args->mask.check();
        cli.action = [args](Session &session) { return runInventory(session, *args); };
    });
}

}  // namespace tessaro::cli
