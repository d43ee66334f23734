// Transcripts of the tool's runs (--record), read and changed by the tests:
// an answer of the reader replaced before a replay, or the host's reports
// written again into a simulated reader to see what they did to its tags.
#pragma once

#include <string>
#include <vector>

#include "TessaroSim.h"

namespace tessaro::testing {

using Bytes = std::vector<unsigned char>;

Bytes hexBytes(const std::string &digits);

// One report of a transcript: "> 50 0205..." or "< 100 none".
struct ReportLine {
    char direction;     // '>' host to reader, '<' reader to host
    std::string time;   // as recorded
    std::string value;  // 128 hex digits, or "none" / "error" (a read), with " failed" (a write)

    bool carries() const { return value.size() >= 128; }
    Bytes report() const { return hexBytes(value.substr(0, 128)); }
    // For a data report the host wrote: the frame's command code, else -1.
    int command() const;
    // For a read: the frame bytes the report carries (empty for a busy report).
    Bytes frameBytes() const;
};

class Transcript {
public:
    Transcript() = default;  // no report at all
    explicit Transcript(const std::string &path);
    void save(const std::string &path) const;

    // Indexes of the data reports the host wrote with command code `command`.
    std::vector<std::size_t> commands(int command) const;
    // The index of the first report after `from` that brought answer bytes.
    std::size_t answerAfter(std::size_t from) const;
    // Replaces the bytes a read brought with `frame` (CRC appended here).
    void answerWith(std::size_t line, Bytes frame);
    // Drops every report after `line`.
    void endAfter(std::size_t line);

    std::vector<std::string> comments;
    std::vector<ReportLine> lines;
};

// The simulated reader with the sample shelf (or another population file)
// after the host reports of a transcript were written into it again: the
// state the tool left its tags in.
class SimulatedAfter {
public:
    explicit SimulatedAfter(const Transcript &transcript, const std::string &population = "");
    ~SimulatedAfter();
    SimulatedAfter(const SimulatedAfter &) = delete;
    SimulatedAfter &operator=(const SimulatedAfter &) = delete;

    // The tag whose EPC is `epc` (hex), by its number in the field; -1 if none.
    int tag(const std::string &epc) const;
    int tagCount() const { return static_cast<int>(epcs_.size()); }
    Bytes memory(int tag, int bank) const;
    TessaroSimTagState state(int tag) const;

private:
    void replay(const Transcript &transcript);

    TessaroSim *sim_;
    std::vector<std::string> epcs_;
};

// The sample shelf's population file.
std::string shelfFile();

}  // namespace tessaro::testing
