// Where results go: text for people, or one JSON document per line (--json)
// for scripts. Errors and notes go to stderr in both modes; with --json every
// failed run also leaves one error object on stdout (Output::finish).
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
    // One JSON error object on stdout (nothing in text mode): {"type": "error",
    // "exitCode": exitCode, "message": message} and the fields of `details`.
    void errorRecord(int exitCode, const std::string &message, const Json &details = {}) const;
    // The end of a run that exits with `exitCode`: with --json, a failure that
    // has not yet left an error object leaves one with the first error's text.
    // An object is written once per process, also when a run nests another
    // (tessaro replay).
    int finish(int exitCode) const;
    // Named results as aligned "label  text" lines, or as one JSON object.
    void print(const Fields &fields) const;

private:
    bool json_;
    bool quiet_;
};

}  // namespace tessaro::cli
