#include "output.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>

namespace tessaro::cli {

namespace {

// What went to this process's stdout and stderr: one stdout, one record.
bool errorRecorded = false;
std::string firstError;

}  // namespace

void Output::text(const std::string &line) const {
    if (!json_) std::cout << line << '\n' << std::flush;
}

void Output::record(const Json &document) const {
    if (json_) std::cout << document.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n' << std::flush;
}

void Output::note(const std::string &line) const {
    if (!quiet_) std::cerr << line << '\n';
}

void Output::error(const std::string &message) const {
    std::cerr << "tessaro: " << message << '\n';
    if (firstError.empty()) firstError = message;
}

void Output::errorRecord(int exitCode, const std::string &message, const Json &details) const {
    if (!json_ || errorRecorded) return;
    Json error{{"type", "error"}, {"exitCode", exitCode}, {"message", message}};
    if (details.is_object()) error.update(details);
    record(error);
    errorRecorded = true;
}

int Output::finish(int exitCode) const {
    if (exitCode != 0) errorRecord(exitCode, firstError.empty() ? "failed" : firstError);
    return exitCode;
}

Fields &Fields::add(const std::string &key, const std::string &label, const std::string &text,
                    Json value) {
    fields_.push_back({key, label, text, std::move(value)});
    return *this;
}

Json Fields::object() const {
    Json object = Json::object();
    for (const Field &field : fields_) object[field.key] = field.value;
    return object;
}

Fields Fields::only(const std::string &key) const {
    Fields one;
    for (const Field &field : fields_)
        if (field.key == key) one.fields_.push_back(field);
    return one;
}

void Fields::print(const Output &out) const {
    if (out.json()) {
        out.record(object());
        return;
    }
    size_t width = 0;
    for (const Field &field : fields_) width = std::max(width, field.label.size());
    for (const Field &field : fields_)
        out.text(field.label + std::string(width + 2 - field.label.size(), ' ') + field.text);
}

std::string hex(const unsigned char *bytes, int length) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < length; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

bool parseHex(const std::string &text, std::vector<unsigned char> &bytes) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ':') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        digits += c;
    }
    if (digits.size() % 2 != 0) return false;
    bytes.clear();
    for (size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return true;
}

}  // namespace tessaro::cli
