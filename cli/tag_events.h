// The one tag-event type of the tool and the printers that consume it: a
// table of unique tags, a live view that refreshes in place, one text line
// per read, JSON Lines and CSV. An inventory (or any other source of reads)
// hands each read to a printer; the printer decides what the user sees.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "TessaroRecords.h"
#include "events/tag_event.h"
#include "output.h"

namespace tessaro::cli {

// One read of one tag: the service's event type (service/events/), of which
// an inventory fills the tag fields, monotonicMs (since the run started) and
// round.
using TagEvent = events::TagEvent;

// The event of a record of an inventory's EPC-ID list.
TagEvent tagEvent(const TessaroTagRecord &record, unsigned timeMs, int round);

// A tag as the whole run saw it.
struct TagSighting {
    std::string epc, tid;
    int antenna = 0, rssi = 0; // of the last read
    unsigned firstMs = 0, lastMs = 0;
    int reads = 0;
};

// How the run is going.
struct RunStatus {
    int rounds = 0;
    int reads = 0;
    int errors = 0;
    unsigned elapsedMs = 0;
    int lastCode = 0;      // return code of the last round
    bool interrupted = false;
};

// The unique tags of a run, in the order they were first seen.
class TagTable {
public:
    void add(const TagEvent &event);
    const std::vector<TagSighting> &tags() const { return tags_; }

private:
    std::vector<TagSighting> tags_;
};

class TagPrinter {
public:
    virtual ~TagPrinter() = default;
    virtual void read(const TagEvent &) {}
    // After every inventory round.
    virtual void round(const TagTable &, const RunStatus &) {}
    // Once, at the end of the run.
    virtual void finish(const TagTable &, const RunStatus &) {}
};

enum class TagFormat {
    Table,  // the unique tags once at the end
    Live,   // a table redrawn after every round, with a status line
    Lines,  // one text line per read
    JsonLines, // one JSON object per read, a summary object at the end
    Csv     // a header, then one row per read
};

// `withTid`: show the TID column; `watch`: the run has several rounds (the
// table shows first and last seen, and a summary line ends it).
std::unique_ptr<TagPrinter> makeTagPrinter(TagFormat format, const Output &out, bool withTid,
                                           bool watch);

// The table of unique tags as text lines (also the live view's body).
std::vector<std::string> tagTableLines(const TagTable &table, bool withTid, bool watch);
std::string statusLine(const TagTable &table, const RunStatus &status);

}  // namespace tessaro::cli
