// Where results go: text for people, or one JSON document per line (--json)
// for scripts. Errors and notes go to stderr in both modes.
#pragma once

#include <string>
#include <vector>

#include "fields.h"

namespace tessaro::cli {

// The tool's words for the reader (fields, hex, settings, banks) are shared
// with the service: toolkit/.
using namespace tessaro::toolkit;

class Output {
public:
    Output(bool json, bool quiet) : json_(json), quiet_(quiet) {}

    bool json() const { return json_; }
    bool quiet() const { return quiet_; }

    // A line of text on stdout; nothing in JSON mode.
    void text(const std::string &line) const;
    // One JSON document on one line of stdout; nothing in text mode.
    void record(const Json &document) const;
    // A note on stderr (what is going on); nothing with --quiet.
    void note(const std::string &line) const;
    // An error on stderr, always: "tessaro: <message>".
    void error(const std::string &message) const;
    // Named results as aligned "label  text" lines, or as one JSON object.
    void print(const Fields &fields) const;

private:
    bool json_;
    bool quiet_;
};

}  // namespace tessaro::cli
