// A scripted fake reader on the transport seam, with a virtual clock.
//
// The bus plays the host's HID interfaces: readers (0x0470/0xA112) and other
// devices, in enumeration order. Each device records every output report the
// library writes and answers each command frame with the next scripted answer
// (or its responder), split into input reports as the test chooses. Time only
// moves when the library sleeps or a read times out, so every time bound of
// the library is tested in microseconds.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "Tessaro.h"
#include "answer_frames.h"

namespace tessaro::testing {

using Report = std::array<std::uint8_t, REPORT_SIZE>;

// An input report carrying `payload` (at most 62 bytes) with its count in byte 1.
Report inputReport(const Bytes &payload);
// The parts one after the other.
Bytes joined(std::initializer_list<Bytes> parts);
// `count` bytes counting up from `first`: recognisable data.
Bytes sequence(std::size_t count, std::uint8_t first);
// A Gen2 inventory answer frame (reCmd `code`): Status, Antenna, Count, EPC-ID data.
Bytes inventoryFrame(std::uint8_t status, std::uint8_t antenna, std::uint8_t count,
                     const Bytes &epcIds = {}, std::uint8_t code = 0x01);
// A tag-buffer read-out frame from address 0x09: Status, Count, records.
Bytes readOutFrame(std::uint8_t status, std::uint8_t count, const Bytes &records = {});
// An answer to GetReaderInformation reporting a scan time of `units` x 100 ms.
Bytes readerInformationAnswer(std::uint8_t scanTimeUnits = 0);

// Outputs start as these sentinels, so that every byte written shows.
constexpr std::uint8_t kUntouched = 0xEE;
constexpr int kUntouchedCount = 0x5A5A;
// True when the `n` bytes at `p` all hold `value`.
inline bool allAre(const unsigned char *p, std::size_t n, std::uint8_t value = kUntouched) {
    return std::all_of(p, p + n, [value](unsigned char b) { return b == value; });
}
// A write fault that refuses the sync control report alone.
inline bool isSyncReport(const Report &report) {
    return report[0] == REPORT_ID_CONTROL && report[1] == CTRL_SYNC;
}

class FakeDevice {
public:
    explicit FakeDevice(std::string path, unsigned short vendorId = READER_VENDOR_ID,
                        unsigned short productId = READER_PRODUCT_ID);

    // --- Identity -------------------------------------------------------
    const std::string path;
    unsigned short vendorId;
    unsigned short productId;
    bool refuseOpen = false;      // open() fails
    bool hideAttributes = false;  // attributes() fails

    // --- Scripting ------------------------------------------------------
    // The next command frame is answered with `frame`, cut into input reports
    // of the given sizes (the rest in reports of 62 bytes).
    void answer(const Bytes &frame, std::vector<std::size_t> split = {});
    // The next command frame is answered with these input reports as they are.
    void answerReports(std::vector<Report> reports);
    // Answers command frames for which nothing is scripted; returns the frame
    // bytes to send back (empty: no answer).
    std::function<Bytes(const Bytes &frame)> responder;
    // Input reports served before any answer, whatever was sent.
    void queue(const Report &report) { input_.push_back(report); }
    void queue(const Bytes &payload) { input_.push_back(inputReport(payload)); }
    // Input reports carrying `stream`, cut as answer() cuts it.
    void queueSplit(const Bytes &stream, const std::vector<std::size_t> &split = {});
    // Drops every input report and scripted answer not yet served.
    void clearInput() {
        input_.clear();
        script_.clear();
    }

    // --- Faults ---------------------------------------------------------
    // A write for which this returns true fails (-1).
    std::function<bool(const Report &)> failWrite;
    bool silent = false;     // every read times out
    int timeoutReads = 0;    // the next n reads time out
    bool unplugged = false;  // every read and write fails (-1)

    // --- What the library did -------------------------------------------
    std::vector<Report> sent;  // every output report written, in order
    int opens = 0;
    int closes = 0;
    bool isOpen() const { return opens > closes; }
    // The command frames carried by the data reports sent, in order.
    std::vector<Bytes> frames() const;
    // Every output report as its meaningful bytes: "03 0A" for a control
    // report, "02 05 04 00 21 D9 6A" for a data report.
    std::vector<Bytes> dialogue() const;
    // Control codes sent, in order.
    std::vector<std::uint8_t> controls() const;
    void forget() { sent.clear(); }

private:
    friend class FakeBus;
    static std::vector<Report> cut(const Bytes &frame, const std::vector<std::size_t> &split);
    int write(const std::uint8_t *report);
    int read(std::uint8_t *report, unsigned waitMs, unsigned &clock);

    std::deque<Report> input_;
    std::deque<std::vector<Report>> script_;
};

class FakeBus {
public:
    explicit FakeBus(unsigned startTickMs = 0);
    ~FakeBus();  // restores the platform transport
    FakeBus(const FakeBus &) = delete;
    FakeBus &operator=(const FakeBus &) = delete;

    FakeDevice &addReader();
    FakeDevice &addDevice(unsigned short vendorId, unsigned short productId);
    std::size_t deviceCount() const { return devices_.size(); }

    // Routes the library through this bus (and back to its load state).
    void install();
    TessaroTransport transport();

    unsigned nowMs() const { return clockMs_; }
    // Virtual milliseconds spent by `call`.
    unsigned elapsedMs(const std::function<void()> &call);
    // Interface positions for which interfacePath fails (skipped by discovery).
    std::vector<int> missingPositions;
    // A clock that never moves: only bounds other than time can end a loop.
    bool frozen = false;

private:
    static int TESSARO_CALL interfacePath(void *context, int index, char *path, std::size_t size);
    static void *TESSARO_CALL open(void *context, const char *path);
    static int TESSARO_CALL attributes(void *context, void *device, unsigned short *vendorId,
                                       unsigned short *productId);
    static int TESSARO_CALL writeReport(void *context, void *device, const unsigned char *report,
                                        unsigned waitMs);
    static int TESSARO_CALL readReport(void *context, void *device, unsigned char *report,
                                       unsigned waitMs);
    static void TESSARO_CALL close(void *context, void *device);
    static unsigned TESSARO_CALL tickMs(void *context);
    static void TESSARO_CALL sleepMs(void *context, unsigned ms);

    std::vector<std::unique_ptr<FakeDevice>> devices_;
    unsigned clockMs_;
};

// Shorthand for a byte string in tests: bytes({0x04, 0x00, 0x21}).
inline Bytes bytes(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

}  // namespace tessaro::testing
