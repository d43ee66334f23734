// tessaro tune: how short a report pause this reader keeps up with. The same
// workload (the reader's information and three inventories) runs at falling
// pauses until an answer no longer arrives intact; the smallest pause that
// passed is reported with its speed-up over the default 50 ms.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Tessaro.h"
#include "TessaroErrors.h"
#include "TessaroRecords.h"
#include "TessaroTiming.h"
#include "cli.h"
#include "session.h"

namespace tessaro::cli {

namespace {

constexpr unsigned kPausesMs[] = {50, 40, 30, 20, 15, 10, 5, 2, 1, 0};
constexpr int kInventories = 3;

// What one run of the workload brought back, and what went wrong, if anything.
struct Outcome {
    std::vector<unsigned char> information;  // the 12 data bytes of GetReaderInformation
    std::vector<std::vector<std::string>> tags;  // per inventory: the EPCs, sorted
    std::string problem;                     // empty: every answer intact
    unsigned ms = 0;
};

std::string codeName(int code) {
    const std::string text = TessaroReturnCodeText(code);
    return text.substr(0, text.find(':'));
}

// The EPCs of an EPC-ID list, sorted; false when the list does not decode to
// its end into exactly `tagCount` records.
bool decodeEpcs(const unsigned char *list, int length, int tagCount, std::vector<std::string> &epcs) {
    int offset = 0;
    TessaroTagRecord record;
    int status;
    while ((status = TessaroNextTagRecord(list, length, &offset, &record)) == 1)
        epcs.push_back(hex(record.epc, record.epcLength));
    std::sort(epcs.begin(), epcs.end());
    return status == 0 && static_cast<int>(epcs.size()) == tagCount;
}

Outcome runWorkload(Session &session) {
    Outcome outcome;
    const unsigned start = session.nowMs();
    unsigned char *address = session.address();
    unsigned char version[2], b[10];
    int rc = GetReaderInformation(address, version, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &b[6],
                                  &b[7], &b[8], &b[9], session.port());
    if (rc != 0) {
        outcome.problem = "reader information: " + codeName(rc);
        return outcome;
    }
    outcome.information.assign(version, version + 2);
    outcome.information.insert(outcome.information.end(), b, b + 10);

    static unsigned char list[EPC_LIST_MAX_BYTES];
    const unsigned char maskAddress[2] = {0, 0}, maskData[1] = {0};
    for (int round = 1; round <= kInventories; ++round) {
        unsigned char antenna = 0;
        int totalLength = 0, tagCount = 0;
        rc = Inventory_G2(address, 4, 0, 1, maskAddress, 0, maskData, 0, 0, 0, 0, 0, 0, 0, 0, list,
                          &antenna, &totalLength, &tagCount, session.port());
        const std::string which = "inventory " + std::to_string(round);
        if (rc != kDone && rc != kScanOverflow && rc != kNoTag) {
            outcome.problem = which + ": " + codeName(rc);
            return outcome;
        }
        std::vector<std::string> epcs;
        if (!decodeEpcs(list, totalLength, tagCount, epcs)) {
            outcome.problem = which + ": damaged tag records";
            return outcome;
        }
        outcome.tags.push_back(epcs);
    }
    outcome.ms = session.nowMs() - start;
    return outcome;
}

// Empty when `run` brought back what the run at 50 ms did.
std::string differences(const Outcome &run, const Outcome &reference) {
    if (!run.problem.empty()) return run.problem;
    if (run.information != reference.information) return "reader information differs";
    for (std::size_t i = 0; i < run.tags.size(); ++i)
        if (run.tags[i] != reference.tags[i])
            return "inventory " + std::to_string(i + 1) + ": " + std::to_string(run.tags[i].size()) +
                   " tags, " + std::to_string(reference.tags[i].size()) + " at 50 ms";
    return "";
}

std::string speedText(double speedup) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", speedup);
    return text;
}

int runTune(Session &session) {
    const Output &out = session.out();
    const unsigned chosen = TessaroGetReportPause();
    out.note("Running the reader's information and " + std::to_string(kInventories) +
             " inventories at falling report pauses; keep the tags in the field still.");
    out.text("Pause   Time      Answers");

    Outcome reference;
    unsigned best = kPausesMs[0];
    unsigned bestMs = 0;
    for (const unsigned pause : kPausesMs) {
        TessaroSetReportPause(pause);
        const Outcome run = runWorkload(session);
        if (pause == kPausesMs[0]) reference = run;
        const std::string problem = differences(run, reference);
        char time[16] = "       -";
        if (problem.empty()) std::snprintf(time, sizeof time, "%5u ms", run.ms);
        char line[200];
        std::snprintf(line, sizeof line, "%2u ms   %s  %s", pause, time,
                      problem.empty() ? "intact" : problem.c_str());
        out.text(line);
        out.record(Json{{"pauseMs", pause},
                        {"ms", problem.empty() ? Json(run.ms) : Json()},
                        {"intact", problem.empty()},
                        {"problem", problem.empty() ? Json() : Json(problem)}});
        if (!problem.empty()) break;
        best = pause;
        bestMs = run.ms;
    }
    TessaroSetReportPause(chosen);

    if (!reference.problem.empty()) {
        out.error("the reader's answers do not arrive intact even at 50 ms (" + reference.problem +
                  "): nothing to tune");
        return kExitReaderError;
    }
    const double speedup = bestMs > 0 ? static_cast<double>(reference.ms) / bestMs : 1.0;
    out.record(Json{{"smallestPauseMs", best},
                    {"msAt50", reference.ms},
                    {"msAtSmallest", bestMs},
                    {"speedup", std::stod(speedText(speedup))}});
    out.text("Smallest pause with every answer intact: " + std::to_string(best) + " ms, " +
             speedText(speedup) + " times as fast as at 50 ms.");
    out.text("Use it with `tessaro --pause " + std::to_string(best) +
             " ...`, or TessaroSetReportPause(" + std::to_string(best) +
             ") in an application; a pause a step above it leaves a margin.");
    return kExitOk;
}

}  // namespace

void add_tune_command(CLI::App &app, Cli &cli) {
    CLI::App *command = app.add_subcommand(
        "tune", "Find the shortest report pause the reader keeps up with: its information and "
                "three inventories at 50, 40, ... 0 ms until an answer is damaged or missing.");
    command->callback([&cli] { cli.action = runTune; });
}

}  // namespace tessaro::cli
