// A reader that answers at once, on the transport seam, with a virtual clock.
//
// Each command code is given its answer once, before measuring: the answer's
// frames are cut into input reports then (each frame starting a report, as
// the reader does), so serving them costs a 64-byte copy and nothing else: no
// allocation, no lock, no wait. Time moves only when the library pauses.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "TessaroTransport.h"
#include "answer_frames.h"

namespace tessaro::bench {

using testing::Bytes;

// Len, Adr 00, reCmd, Status, data, CRC.
inline Bytes answerFrame(std::uint8_t reCmd, std::uint8_t status, const Bytes &data) {
    return testing::answerFrame(0x00, reCmd, status, data);
}

class InstantReader {
public:
    // The answer to every command frame with code `code`: these frames, back to back.
    void answer(std::uint8_t code, const std::vector<Bytes> &frames);
    // Input reports an answer to `code` takes: the protocol's count of pauses.
    std::size_t reportsFor(std::uint8_t code) const { return answers_[code].size(); }

    // Installs the reader as the library's transport.
    void install();

    std::uint64_t pausedMs() const { return pausedMs_; }

private:
    using Report = std::array<std::uint8_t, 64>;
    static InstantReader &of(void *context) { return *static_cast<InstantReader *>(context); }
    static int interfacePath(void *context, int index, char *path, std::size_t size);
    static void *open(void *context, const char *path);
    static int attributes(void *context, void *device, unsigned short *vendorId,
                          unsigned short *productId);
    static int writeReport(void *context, void *device, const unsigned char *report, unsigned waitMs);
    static int readReport(void *context, void *device, unsigned char *report, unsigned waitMs);
    static void close(void *context, void *device);
    static unsigned tickMs(void *context);
    static void sleepMs(void *context, unsigned ms);

    std::array<std::vector<Report>, 256> answers_;
    const std::vector<Report> *serving_ = nullptr;
    std::size_t next_ = 0;  // report served at the next poll
    std::uint64_t pausedMs_ = 0;
};

}  // namespace tessaro::bench
