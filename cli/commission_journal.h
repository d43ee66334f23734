// The journal of a commissioning run: one JSON object per line, appended and
// flushed to disk before the tool goes on, so that a run stopped at any moment
// (Ctrl-C, kill -9, power loss) resumes without using a serial twice.
//
//   {"type":"run","version":1,"plan":{...}}                          first line
//   {"type":"begin","index":7,"serial":"1007","epc":"...","tid":"...","time":"..."}
//   {"type":"done","index":7,...,"result":"ok"}                        or "failed"
//                                                                     with "reason"
// A "begin" is written before anything goes to the label, a "done" after.
// A begin without its done is a label the run was stopped on: on resume it is
// closed as "interrupted" and its serial is retired. A last line cut short by
// a crash is skipped (and closed with a newline before anything is appended).
// docs/epc.md describes the format for users.
#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fields.h"

namespace tessaro::cli {

using toolkit::Json;

// What a run writes: identities from a first one counting up its serial, or
// from a CSV file; the filter; whether the labels get an access password and
// a lock.
struct CommissionPlan {
    std::string first;      // the first identity (a tag URI), with count
    int count = 0;          // identities in the run
    std::string csv;        // or: the file the identities come from
    int filter = 0;
    int companyPrefixLength = 0;  // for element strings in the CSV
    bool accessPassword = false;
    bool lock = false;

    Json json() const;
    static bool fromJson(const Json &json, CommissionPlan &plan);
};

struct JournalLabel {
    int index = 0;          // 0 to count - 1: which identity of the plan
    std::string serial, epc, tid, time;
    std::string result;     // "" (begun, not done), "ok", "failed", "interrupted"
    std::string reason;     // why it failed
};

class Journal {
public:
    ~Journal();

    // A new journal at `path`; fails when the file exists (a run is never
    // overwritten). `error` says why.
    static std::unique_ptr<Journal> create(const std::string &path, const CommissionPlan &plan,
                                           std::string &error);
    // An existing journal, read to its end, open for appending.
    static std::unique_ptr<Journal> resume(const std::string &path, std::string &error);
    // Reads a journal without opening it for writing (for export).
    static std::unique_ptr<Journal> read(const std::string &path, std::string &error);

    const CommissionPlan &plan() const { return plan_; }
    // Every label of the run by index, in their latest state.
    const std::map<int, JournalLabel> &labels() const { return labels_; }
    // The first index no label has used.
    int nextIndex() const { return labels_.empty() ? 0 : labels_.rbegin()->first + 1; }
    // The label that was commissioned with this TID, or null.
    const JournalLabel *commissionedTid(const std::string &tid) const;
    // Lines that could not be read (a line cut short by a crash).
    int skippedLines() const { return skipped_; }

    // Appends a record and flushes it to disk; false (and `error`) when the
    // disk refused.
    bool begin(const JournalLabel &label, std::string &error);
    bool done(const JournalLabel &label, std::string &error);

    // The labels as CSV: index,serial,epc,tid,time,result,reason.
    std::string csv() const;

private:
    Journal() = default;
    bool load(const std::string &path, std::string &error);
    bool append(const Json &record, std::string &error);

    std::string path_;
    std::FILE *file_ = nullptr;
    CommissionPlan plan_;
    std::map<int, JournalLabel> labels_;
    int skipped_ = 0;
};

}  // namespace tessaro::cli
