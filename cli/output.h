// Where results go: text for people, or one JSON document per line (--json)
// for scripts. Errors and notes go to stderr in both modes; with --json every
// failed run also leaves one error object on stdout (Output::finish).
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tessaro::cli {

using Json = nlohmann::ordered_json;

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

private:
    bool json_;
    bool quiet_;
};

// Named results of a command, printed as aligned "label  text" lines, or as
// one JSON object of key: value.
class Fields {
public:
    Fields &add(const std::string &key, const std::string &label, const std::string &text,
                Json value);
    void print(const Output &out) const;
    Json object() const;
    // The field whose key is `key` alone (none when there is no such field).
    Fields only(const std::string &key) const;

private:
    struct Field {
        std::string key, label, text;
        Json value;
    };
    std::vector<Field> fields_;
};

// Hex text of bytes, upper case, no separators.
std::string hex(const unsigned char *bytes, int length);
// Parses hex text (an even number of digits, blanks and ':' allowed between
// bytes); false when it is not.
bool parseHex(const std::string &text, std::vector<unsigned char> &bytes);

}  // namespace tessaro::cli
