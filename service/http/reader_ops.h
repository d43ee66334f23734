// What the console's API does with a reader: its information in words, its
// settings read and changed, one inventory, and the Gen2 tag operations. Each
// is a plain call of the flat interface on the reader's port from the
// caller's thread: the library's lock runs it between the reading's rounds.
// Requests are JSON objects, checked field by field before anything is sent;
// answers are JSON with the HTTP status that fits.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace tessaro::http {

struct Answer {
    int status = 200;
    nlohmann::ordered_json body;
};

// 400 (or `status`) with {"error": message}.
Answer badRequest(const std::string &message, int status = 400);
// The library's return code: {"error", "code", "text"} and, after TAG_ERROR,
// {"tagError", "tagErrorText"}; 503 when the reader did not answer, 400 for a
// refused argument, 409 when the reader or the tag refused.
Answer libraryError(const std::string &what, int code, int tagError = -1);

Answer readerInfo(int port);
Answer readerSettings(int port);
Answer changeSettings(int port, const nlohmann::json &request);
Answer inventory(int port, const nlohmann::json &request);
// `operation`: read, write, write-epc, lock or kill; `epc` from the path.
Answer tagOperation(int port, const std::string &epc, const std::string &operation,
                    const nlohmann::json &request);

// Checks that `request` is an object with only `allowed` fields; empty when
// it is, else the message.
std::string unknownFields(const nlohmann::json &request, std::initializer_list<const char *> allowed);

}  // namespace tessaro::http
