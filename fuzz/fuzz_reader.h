// A reader made of the fuzzer's bytes, on the transport seam.
//
// An input is a head of kHeadSize bytes (which command to run and its
// arguments), then the reader's input reports, one record each:
//
//     kind | count | min(count, 62) frame bytes
//
// kind % 4: 0 a report carrying `count` (byte 1 of the report, which may
// claim more than 62) and the bytes that follow; 1 a read that times out;
// 2 a read that fails; 3 a short read (fewer than 64 bytes). Once the
// records run out every read times out, so the library's time bounds end
// each command. Writes always go through. The clock is virtual.
//
// Outputs and caller buffers are allocated on the heap at exactly the size
// the interface documents, so AddressSanitizer catches a byte written or
// read beyond it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "TessaroTransport.h"

namespace tessaro::fuzz {

// The command selector and eight ints.
constexpr std::size_t kArgs = 8;
constexpr std::size_t kHeadSize = 1 + 4 * kArgs;

class Head {
public:
    Head() = default;
    Head(const std::uint8_t *data, std::size_t size);
    std::uint8_t selector() const { return selector_; }
    // Argument i, all 32 bits (INT_MIN, INT_MAX, negatives all come).
    int arg(std::size_t i) const { return args_[i % kArgs]; }
    // Its low byte: the sizes the interface derives from a byte argument.
    std::size_t lowByte(std::size_t i) const { return static_cast<std::uint8_t>(arg(i)); }

private:
    std::uint8_t selector_ = 0;
    int args_[kArgs] = {};
};

// Exactly `n` bytes on the heap; `fill` in each.
std::unique_ptr<unsigned char[]> heapBytes(std::size_t n, unsigned char fill = 0xA5);

template <class T>
std::unique_ptr<T> heapValue() {
    return std::make_unique<T>();
}

// Installs the reader for the records after the head and opens it. Returns
// the port index, or -1 when the input is too short for a head.
int openFuzzReader(const std::uint8_t *data, std::size_t size, Head &head);

// The reader without a head: every byte is a record (the link target).
int openFuzzReaderRecords(const std::uint8_t *data, std::size_t size);

}  // namespace tessaro::fuzz
