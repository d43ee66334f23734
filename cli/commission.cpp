// tessaro commission: a commissioning station. Writes a run of serialised
// EPCs onto labels one at a time, with a journal that lets the run stop at any
// moment and resume without using a serial twice.
#include <fstream>

#include "cli.h"
#include "commission_station.h"
#include "gen2_options.h"
#include "session.h"
#include "terminal.h"

namespace tessaro::cli {

namespace {

struct CommissionArgs {
    std::string identity, gtin, csv, journal = "commission.journal", exportFile;
    std::string firstSerial = "1";
    int count = 0;
    int filter = -1;
    int companyPrefixLength = 0;
    std::string accessPassword;
    bool lock = false;
    bool resume = false;
    double idleSeconds = 0;
};

// The live line in a terminal; elsewhere a line whenever the activity changes.
class StationPrinter : public StationObserver {
public:
    explicit StationPrinter(const Output &out) : out_(out), live_(!out.json() && stdoutIsTerminal()) {}

    void status(const StationStatus &s) override {
        if (out_.json()) return;
        char pace[32];
        std::snprintf(pace, sizeof pace, "%.1f", s.perMinute);
        const std::string line = "serial " + s.serial + " | " + std::to_string(s.done) + " done, " +
                                 std::to_string(s.toGo) + " to go | " + pace + " labels/min | " +
                                 std::to_string(s.failed) + " failed | " + s.activity;
        if (live_) {
            std::printf("\r\x1b[K%s", line.c_str());
            std::fflush(stdout);
        } else if (s.activity != lastActivity_) {
            out_.text(line);
        }
        lastActivity_ = s.activity;
    }
    void label(const JournalLabel &l) override {
        if (out_.json()) {
            Json record{{"type", "label"}, {"index", l.index}, {"serial", l.serial}, {"epc", l.epc},
                        {"tid", l.tid}, {"time", l.time}, {"result", l.result}};
            if (!l.reason.empty()) record["reason"] = l.reason;
            out_.record(record);
            return;
        }
        if (live_) std::printf("\r\x1b[K");
        out_.text("serial " + l.serial + "  " + l.epc + "  TID " + (l.tid.empty() ? "-" : l.tid) + "  " +
                  l.result + (l.reason.empty() ? "" : ": " + l.reason));
        lastActivity_.clear();
    }
    void note(const std::string &text) override {
        if (live_) std::printf("\r\x1b[K");
        out_.note(text);
        lastActivity_.clear();
    }

private:
    const Output &out_;
    bool live_;
    std::string lastActivity_;
};

int runExport(Session &session, const CommissionArgs &args) {
    std::string error;
    const auto journal = Journal::read(args.journal, error);
    if (!journal) {
        session.out().error(error);
        return kExitUsage;
    }
    std::ofstream out(args.exportFile, std::ios::binary);
    if (!(out << journal->csv()) || !out.flush()) {
        session.out().error("cannot write " + args.exportFile);
        return kExitUsage;
    }
    session.out().note(std::to_string(journal->labels().size()) + " labels written to " + args.exportFile);
    return kExitOk;
}

int runCommission(Session &session, const CommissionArgs &args) {
    const Output &out = session.out();
    std::string error;
    std::unique_ptr<Journal> journal;
    if (args.resume) {
        journal = Journal::resume(args.journal, error);
    } else {
        CommissionPlan plan;
        plan.count = args.count;
        plan.filter = args.filter < 0 ? 0 : args.filter;
        plan.companyPrefixLength = args.companyPrefixLength;
        plan.accessPassword = !args.accessPassword.empty();
        plan.lock = args.lock;
        plan.csv = args.csv;
        if (args.csv.empty()) {
            // The first identity as a tag URI: the journal needs no other option to resume.
            const std::string text = args.gtin.empty() ? args.identity : "(01)" + args.gtin + "(21)" + args.firstSerial;
            TessaroEpcIdentity first;
            char uri[TESSARO_EPC_TEXT_SIZE];
            if (TessaroEpcParse(text.c_str(), args.filter, args.companyPrefixLength, &first) != TESSARO_OK) {
                out.error("the identity '" + text + "': " + first.reason);
                return kExitUsage;
            }
            TessaroEpcTagUri(&first, uri, sizeof uri);
            plan.first = uri;
        }
        IdentityList check;
        if (!check.load(plan, error)) {
            out.error(error);
            return kExitUsage;
        }
        plan.count = check.count();
        journal = Journal::create(args.journal, plan, error);
    }
    if (!journal) {
        out.error(error);
        return kExitUsage;
    }
    const CommissionPlan &plan = journal->plan();
    if (plan.accessPassword && args.accessPassword.empty()) {
        out.error("this run sets an access password: give it again with --access-password");
        return kExitUsage;
    }
    IdentityList identities;
    if (!identities.load(plan, error)) {
        out.error(error);
        return kExitUsage;
    }
    if (journal->skippedLines())
        out.note(std::to_string(journal->skippedLines()) + " unreadable journal line(s) skipped (cut short by a crash)");

    StationOptions options;
    options.setPassword = plan.accessPassword;
    if (options.setPassword) {
        const auto bytes = parseHexArg("--access-password", args.accessPassword, 4);
        std::copy(bytes.begin(), bytes.end(), options.accessPassword);
    }
    options.lock = plan.lock;
    options.idleTimeoutMs = static_cast<unsigned>(args.idleSeconds * 1000);
    StationLink link;
    link.port = session.port();
    link.address = *session.address();
    link.nowMs = [&session] { return session.nowMs(); };
    link.sleepMs = [&session](unsigned ms) { session.sleepMs(ms); };
    link.stopRequested = [] { return interrupted(); };
    catchInterrupt();

    StationPrinter printer(out);
    Station station(link, options, *journal, identities, printer);
    const StationResult result = station.run();
    if (!out.json() && stdoutIsTerminal()) std::printf("\n");

    int ok = 0, failed = 0;
    for (const auto &[index, label] : journal->labels()) {
        ok += label.result == "ok";
        failed += label.result == "failed" || label.result == "interrupted";
    }
    const int toGo = identities.count() - journal->nextIndex();
    out.record(Json{{"type", "summary"}, {"ok", ok}, {"failed", failed}, {"toGo", toGo},
                    {"refused", result.refused}, {"complete", result.complete},
                    {"stopped", result.stopped}});
    out.text(std::to_string(ok) + " labels commissioned, " + std::to_string(failed) + " failed (serials retired), " +
             std::to_string(toGo) + " to go" + (result.stopped.empty() ? "" : "; " + result.stopped));
    if (toGo > 0) out.note("continue with: tessaro commission --journal " + args.journal + " --resume");
    return result.complete && failed == 0 ? kExitOk : kExitReaderError;
}

}  // namespace

void add_commission_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<CommissionArgs>();
    CLI::App *command = app.add_subcommand(
        "commission", "Commissioning station: write a run of serialised EPCs onto labels, one label at a "
                      "time, with a journal (resume with --resume, export with --export).");
    command->add_option("--identity", args->identity,
                        "the first label's identity: a URI or element string whose serial counts up "
                        "(urn:epc:id:sgtin:0614141.812345.1001)");
    command->add_option("--gtin", args->gtin, "a GTIN-14 to serialise (with --first-serial, --company-prefix-length)");
    command->add_option("--first-serial", args->firstSerial, "with --gtin: the first serial")->capture_default_str();
    command->add_option("--count", args->count, "labels (serials) in the run")->check(CLI::Range(1, 10000000));
    command->add_option("--csv", args->csv, "a file of identities, one URI or element string per line (first column)");
    command->add_option("--filter", args->filter, "filter value of the EPCs (default: the tag URI's, else 0)")
        ->check(CLI::Range(0, 63));
    command->add_option("--company-prefix-length", args->companyPrefixLength,
                        "digits of the GS1 company prefix, for element strings and --gtin")
        ->check(CLI::Range(6, 12));
    command->add_option("--access-password", args->accessPassword, "give each label this access password (8 hex digits)");
    command->add_flag("--lock", args->lock, "lock the EPC bank and the access password (needs --access-password)");
    command->add_option("--journal", args->journal, "the run's journal file")->capture_default_str();
    command->add_flag("--resume", args->resume, "continue the run of the journal");
    command->add_option("--export", args->exportFile, "write the journal's labels to this CSV file and stop");
    command->add_option("--idle-timeout", args->idleSeconds,
                        "stop when no label comes (or the last one stays) for S seconds")
        ->check(CLI::PositiveNumber);
    command->callback([&cli, args] {
        if (!args->exportFile.empty()) {
            cli.needsReader = false;
            cli.action = [args](Session &session) { return runExport(session, *args); };
            return;
        }
        const int sources = !args->identity.empty() + !args->gtin.empty() + !args->csv.empty();
        if (args->resume && sources)
            throw CLI::ValidationError("--resume", "the run's identities come from the journal");
        if (!args->resume && sources != 1)
            throw CLI::ValidationError("--identity/--gtin/--csv", "give one of them");
        if (!args->resume && args->csv.empty() && args->count < 1)
            throw CLI::ValidationError("--count", "how many labels (serials) the run has");
        if (!args->accessPassword.empty()) parseHexArg("--access-password", args->accessPassword, 4);
        if (args->lock && args->accessPassword.empty())
            throw CLI::ValidationError("--lock", "a locked label needs an access password (--access-password)");
        cli.action = [args](Session &session) { return runCommission(session, *args); };
    });
}

}  // namespace tessaro::cli
