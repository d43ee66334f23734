// The LLRP codec against arbitrary bytes from a client: the stream cut into
// messages in pieces of a size the first byte chooses, each message decoded.
// What decodes must encode again to the same element; what is refused must
// give a status that encodes. A lone parameter is decoded from the same bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec.h"

using namespace tessaro::llrp;

namespace {

void check(const Message &message) {
    std::vector<std::uint8_t> wire;
    std::string error;
    if (!encode(message, wire, error)) __builtin_trap();
    Message again;
    Fault fault;
    if (!decode(wire.data(), wire.size(), again, fault)) __builtin_trap();
    if (again.body != message.body) __builtin_trap();
}

void refuse(const Message &message, const Fault &fault) {
    Message answer;
    answer.id = message.id;
    answer.body = Element::make("ERROR_MESSAGE");
    answer.body.add(statusFor(fault));
    std::vector<std::uint8_t> wire;
    std::string error;
    if (!encode(answer, wire, error)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t piece = 1 + data[0] % 64;
    FrameReader reader;
    std::vector<std::uint8_t> frame;
    Header header;
    for (std::size_t at = 1; at < size; at += piece) {
        reader.feed(data + at, std::min(piece, size - at));
        FrameReader::Result result;
        while ((result = reader.next(frame, header)) == FrameReader::kMessage) {
            if (frame.size() != header.length) __builtin_trap();
            Message message;
            Fault fault;
            if (decode(frame.data(), frame.size(), message, fault)) check(message);
            else refuse(message, fault);
        }
        if (result != FrameReader::kNeedMore) break;  // the stream is lost: the server closes it
    }
    Element parameter;
    Fault fault;
    if (decodeParameter(data + 1, size - 1, parameter, fault)) {
        std::vector<std::uint8_t> wire;
        std::string error;
        if (!encodeParameter(parameter, wire, error)) __builtin_trap();
    }
    return 0;
}
