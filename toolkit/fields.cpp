#include "fields.h"

#include <algorithm>
#include <cctype>

namespace tessaro::toolkit {

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

std::vector<std::string> Fields::lines() const {
    size_t width = 0;
    for (const Field &field : fields_) width = std::max(width, field.label.size());
    std::vector<std::string> lines;
    for (const Field &field : fields_)
        lines.push_back(field.label + std::string(width + 2 - field.label.size(), ' ') + field.text);
    return lines;
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

}  // namespace tessaro::toolkit
