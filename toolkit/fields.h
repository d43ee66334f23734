// Named results in words and as JSON: what `tessaro info` prints and what the
// web console shows come from the same fields. Each has a key (camelCase), a
// label for people, the value in words and the value as JSON.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tessaro::toolkit {

using Json = nlohmann::ordered_json;

class Fields {
public:
    struct Field {
        std::string key, label, text;
        Json value;
    };

    Fields &add(const std::string &key, const std::string &label, const std::string &text,
                Json value);
    const std::vector<Field> &entries() const { return fields_; }
    // {key: value, ...}
    Json object() const;
    // "label  text" lines, the texts in one column.
    std::vector<std::string> lines() const;

private:
    std::vector<Field> fields_;
};

// Hex text of bytes, upper case, no separators.
std::string hex(const unsigned char *bytes, int length);
// Parses hex text (an even number of digits, blanks and ':' allowed between
// bytes); false when it is not.
bool parseHex(const std::string &text, std::vector<unsigned char> &bytes);

}  // namespace tessaro::toolkit
