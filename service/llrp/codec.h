// LLRP on the wire: the message header, cutting a TCP byte stream into
// messages, decoding a message against the definitions and encoding one.
//
// Everything that arrives is untrusted. The decoder checks every length
// against the bytes that arrived (the message's, each parameter's, each
// field's), refuses messages above kMaxMessageBytes, bounds the nesting, and
// says what is wrong as an LLRP status: the code a reader answers with, the
// parameter path to the culprit and a sentence in words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "element.h"

namespace tessaro::llrp {

// LLRPStatus codes.
enum StatusCode : std::uint16_t {
    kSuccess = 0,
    kMParameterError = 100,
    kMFieldError = 101,
    kMUnexpectedParameter = 102,
    kMMissingParameter = 103,
    kMDuplicateParameter = 104,
    kMOverflowParameter = 105,
    kMOverflowField = 106,
    kMUnknownParameter = 107,
    kMUnknownField = 108,
    kMUnsupportedMessage = 109,
    kMUnsupportedVersion = 110,
    kMUnsupportedParameter = 111,
    kPParameterError = 200,
    kPFieldError = 201,
    kPUnexpectedParameter = 202,
    kPMissingParameter = 203,
    kPDuplicateParameter = 204,
    kPOverflowParameter = 205,
    kPOverflowField = 206,
    kPUnknownParameter = 207,
    kPUnknownField = 208,
    kPUnsupportedParameter = 209,
    kAInvalid = 300,
    kAOutOfRange = 301,
    kRDeviceError = 401
};

// The name of a status code ("M_ParameterError"), or "unknown".
const char *statusName(std::uint16_t code);

constexpr std::size_t kHeaderBytes = 10;
// The largest message this reader takes. A client's messages are a few
// kilobytes at most; a larger length field is a broken or hostile peer.
constexpr std::size_t kMaxMessageBytes = 256 * 1024;
// Parameters nest at most this deep (the definitions need 8).
constexpr unsigned kMaxDepth = 16;

struct Header {
    std::uint8_t version = 0;
    std::uint16_t type = 0;
    std::uint32_t length = 0;  // the whole message, header included
    std::uint32_t id = 0;
};

// Reads the header from the first kHeaderBytes of `data`.
Header readHeader(const std::uint8_t *data);

// What is wrong with a message, scope-free: the decoder places it at the
// message or inside a parameter, and the status carries the right scope.
enum class Problem : std::uint8_t {
    ParameterError,        // a parameter's bytes are broken (a length, a header)
    FieldError,            // a field's value: see Fault::fieldCode
    UnexpectedParameter,   // a known parameter where it may not stand
    MissingParameter,
    DuplicateParameter,    // more of a parameter than it may have
    OverflowField,         // a field runs past the end of its parameter
    UnknownParameter,
    UnsupportedParameter,  // known, but this reader does not do it
    UnsupportedMessage,
    UnsupportedVersion
};

struct Fault {
    Problem problem = Problem::ParameterError;
    // Parameter types from the message's own parameter down to the culprit;
    // empty when the culprit is the message itself.
    std::vector<std::uint16_t> path;
    int field = -1;                     // the culprit's field number, or -1
    std::uint16_t fieldCode = kAInvalid;  // with FieldError: A_Invalid, A_OutOfRange ...
    std::string description;
};

// The LLRPStatus parameter that reports `fault`: the scoped code, the nested
// ParameterError and FieldError down to the culprit, and the description.
Element statusFor(const Fault &fault);
// An LLRPStatus of `code` with a description and nothing nested.
Element status(std::uint16_t code, const std::string &description = "");
// The top-level code statusFor gives `fault` (for tests and logs).
std::uint16_t statusCodeFor(const Fault &fault);

// Decodes one whole message (header included, `size` bytes exactly as its
// length field says). True on success; otherwise `fault` says why and
// `message` holds at least the header's id and version.
bool decode(const std::uint8_t *data, std::size_t size, Message &message, Fault &fault);

// Encodes `message`. False (and `error` says why) when a value does not fit
// its field or a parameter stands where its definition does not allow it:
// a defect of the code that built it.
bool encode(const Message &message, std::vector<std::uint8_t> &out, std::string &error);
// The same, for callers that built the message from the definitions and
// treat a failure as the defect it is (it aborts).
std::vector<std::uint8_t> encode(const Message &message);

// One parameter alone (its header included, exactly `size` bytes), and the
// reverse: for tests and the fuzzer. encodeParameter appends to `out`.
bool decodeParameter(const std::uint8_t *data, std::size_t size, Element &parameter, Fault &fault);
bool encodeParameter(const Element &parameter, std::vector<std::uint8_t> &out, std::string &error);

// Cuts a byte stream into messages. Feed it what one read of the socket gave,
// then take whole messages out until it needs more: it holds at most one
// unfinished message (never above kMaxMessageBytes) and one read.
class FrameReader {
public:
    enum Result {
        kNeedMore,   // no whole message yet
        kMessage,    // `frame` holds one whole message
        kTooLong,    // the length field is above kMaxMessageBytes: the stream is lost
        kTooShort    // the length field is below the header's size: the stream is lost
    };

    void feed(const std::uint8_t *data, std::size_t size);
    Result next(std::vector<std::uint8_t> &frame, Header &header);
    std::size_t buffered() const { return buffer_.size() - start_; }

private:
    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0;
};

}  // namespace tessaro::llrp
