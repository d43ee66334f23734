#include "tag_events.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "gs1_identity.h"
#include "terminal.h"

namespace tessaro::cli {

namespace {

std::string seconds(unsigned ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1fs", ms / 1000.0);
    return text;
}

std::string padded(const std::string &text, size_t width) {
    return text.size() >= width ? text + " " : text + std::string(width - text.size() + 1, ' ');
}

Json summaryJson(const TagTable &table, const RunStatus &status) {
    return Json{{"type", "summary"},           {"uniqueTags", table.tags().size()},
                {"reads", status.reads},       {"rounds", status.rounds},
                {"errors", status.errors},     {"elapsedMs", status.elapsedMs},
                {"interrupted", status.interrupted}};
}

class TablePrinter : public TagPrinter {
public:
    TablePrinter(const Output &out, bool withTid, bool watch)
        : out_(out), withTid_(withTid), watch_(watch) {}
    void finish(const TagTable &table, const RunStatus &status) override {
        for (const std::string &line : tagTableLines(table, withTid_, watch_)) out_.text(line);
        if (watch_) out_.text(statusLine(table, status));
    }

private:
    const Output &out_;
    bool withTid_, watch_;
};

// Redraws the table in place after each round, as top and watch do: in the
// terminal's alternate screen, so that no frame reaches the scrollback and
// the command line stays; each frame overwrites the last from the top left,
// cut to the terminal's size. At the end the normal screen comes back with
// the final table and the summary under the command line.
class LivePrinter : public TagPrinter {
public:
    LivePrinter(const Output &out, bool withTid) : out_(out), withTid_(withTid) {
        std::cout << "\x1b[?1049h\x1b[?25l" << std::flush;  // alternate screen, no cursor
    }
    ~LivePrinter() override { leave(); }
    void round(const TagTable &table, const RunStatus &status) override {
        std::vector<std::string> lines = tagTableLines(table, withTid_, true);
        const size_t room = static_cast<size_t>(terminalRows() > 4 ? terminalRows() - 3 : 1);
        if (lines.size() > room) {
            const size_t hidden = lines.size() - room + 1;
            lines.resize(room - 1);
            lines.push_back("... " + std::to_string(hidden) + " more tags");
        }
        lines.push_back("");
        lines.push_back(statusLine(table, status) + "  (Ctrl-C to stop)");
        const size_t width = static_cast<size_t>(terminalColumns());
        std::string screen = "\x1b[H";
        for (std::string &line : lines) {
            if (line.size() >= width) line.resize(width - 1);
            screen += line + "\x1b[K\r\n";  // the rest of the line cleared
        }
        std::cout << screen << "\x1b[J" << std::flush;  // and the rest of the screen
    }
    // Back on the normal screen: the whole table once more, however tall,
    // and where the run stopped.
    void finish(const TagTable &table, const RunStatus &status) override {
        leave();
        for (const std::string &line : tagTableLines(table, withTid_, true)) out_.text(line);
        out_.text("\nStopped: " + statusLine(table, status));
    }

private:
    void leave() {
        if (left_) return;
        left_ = true;
        std::cout << "\x1b[?25h\x1b[?1049l" << std::flush;
    }

    const Output &out_;
    bool withTid_;
    bool left_ = false;
};

class LinesPrinter : public TagPrinter {
public:
    LinesPrinter(const Output &out, bool withTid) : out_(out), withTid_(withTid) {}
    void read(const TagEvent &event) override {
        const std::string identity = gs1Short(event.epc);
        out_.text(padded(seconds(static_cast<unsigned>(event.monotonicMs)), 8) + padded(event.epc, 24) +
                  (identity.empty() ? "" : padded(identity, 30)) +
                  (withTid_ ? padded(event.tid, 24) : "") + "antenna " +
                  std::to_string(event.antenna) + "  " + std::to_string(event.rssi) + " dBm");
    }
    void finish(const TagTable &table, const RunStatus &status) override {
        out_.text(statusLine(table, status));
    }

private:
    const Output &out_;
    bool withTid_;
};

class JsonPrinter : public TagPrinter {
public:
    explicit JsonPrinter(const Output &out) : out_(out) {}
    // The tool's own lines: the tag fields and the time since the run started.
    void read(const TagEvent &event) override {
        Json object{{"type", "tag"}, {"epc", event.epc}};
        if (Json gs1 = gs1Json(event.epc); !gs1.is_null()) object["gs1"] = std::move(gs1);
        if (!event.tid.empty()) object["tid"] = event.tid;
        object["antenna"] = event.antenna;
        object["rssi"] = event.rssi;
        object["timeMs"] = event.monotonicMs;
        object["round"] = event.round;
        out_.record(object);
    }
    void finish(const TagTable &table, const RunStatus &status) override {
        out_.record(summaryJson(table, status));
    }

private:
    const Output &out_;
};

class CsvPrinter : public TagPrinter {
public:
    CsvPrinter(bool withTid) : withTid_(withTid) {
        std::cout << "time_ms,round,epc," << (withTid_ ? "tid," : "") << "antenna,rssi\n";
    }
    void read(const TagEvent &e) override {
        std::cout << e.monotonicMs << ',' << e.round << ',' << e.epc << ','
                  << (withTid_ ? e.tid + "," : "") << e.antenna << ',' << e.rssi << '\n';
    }
    void finish(const TagTable &, const RunStatus &) override { std::cout << std::flush; }

private:
    bool withTid_;
};

}  // namespace

TagEvent tagEvent(const TessaroTagRecord &record, unsigned timeMs, int round) {
    TagEvent event = events::fromRecord(record);
    event.monotonicMs = timeMs;
    event.round = static_cast<unsigned long long>(round);
    return event;
}

void TagTable::add(const TagEvent &event) {
    for (TagSighting &tag : tags_)
        if (tag.epc == event.epc && tag.tid == event.tid) {
            tag.antenna = event.antenna;
            tag.rssi = event.rssi;
            tag.lastMs = static_cast<unsigned>(event.monotonicMs);
            ++tag.reads;
            return;
        }
    const auto at = static_cast<unsigned>(event.monotonicMs);
    tags_.push_back({event.epc, event.tid, event.antenna, event.rssi, at, at, 1});
}

std::vector<std::string> tagTableLines(const TagTable &table, bool withTid, bool watch) {
    size_t epcWidth = 3, tidWidth = 3, identityWidth = 8;
    std::vector<std::string> identities;
    for (const TagSighting &tag : table.tags()) {
        epcWidth = std::max(epcWidth, tag.epc.size());
        tidWidth = std::max(tidWidth, tag.tid.size());
        identities.push_back(gs1Short(tag.epc));
        if (identities.back().empty()) identities.back() = "-";
        identityWidth = std::max(identityWidth, identities.back().size());
    }
    std::string header = padded("#", 3) + padded("EPC", epcWidth) + padded("Identity", identityWidth) +
                         (withTid ? padded("TID", tidWidth) : "") + "Antenna  RSSI      Reads";
    if (watch) header += "  First    Last";
    std::vector<std::string> lines{header};
    int row = 0;
    for (const TagSighting &tag : table.tags()) {
        std::string line = padded(std::to_string(row + 1), 3) + padded(tag.epc, epcWidth) +
                           padded(identities[row], identityWidth) + (withTid ? padded(tag.tid, tidWidth) : "") +
                           padded(std::to_string(tag.antenna), 8) +
                           padded(std::to_string(tag.rssi) + " dBm", 9) +
                           std::to_string(tag.reads);
        ++row;
        if (watch)
            line = padded(line, header.size() - 15) + padded(seconds(tag.firstMs), 8) +
                   seconds(tag.lastMs);
        lines.push_back(line);
    }
    if (table.tags().empty()) lines.push_back("(no tags)");
    return lines;
}

std::string statusLine(const TagTable &table, const RunStatus &status) {
    const double perSecond = status.elapsedMs ? status.reads * 1000.0 / status.elapsedMs : 0.0;
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f", perSecond);
    return std::to_string(table.tags().size()) + " unique tags, " + std::to_string(status.reads) +
           " reads (" + rate + "/s), " + std::to_string(status.rounds) + " rounds, " +
           std::to_string(status.errors) + " errors, " + seconds(status.elapsedMs);
}

std::unique_ptr<TagPrinter> makeTagPrinter(TagFormat format, const Output &out, bool withTid,
                                           bool watch) {
    switch (format) {
    case TagFormat::Live: return std::make_unique<LivePrinter>(out, withTid);
    case TagFormat::Lines: return std::make_unique<LinesPrinter>(out, withTid);
    case TagFormat::JsonLines: return std::make_unique<JsonPrinter>(out);
    case TagFormat::Csv: return std::make_unique<CsvPrinter>(withTid);
    case TagFormat::Table: break;
    }
    return std::make_unique<TablePrinter>(out, withTid, watch);
}

}  // namespace tessaro::cli
