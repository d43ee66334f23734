// The one road from the link to the reader: every call through the transport
// seam goes through these wrappers, which fill in the platform clock where a
// transport brings none.
#pragma once

#include <cstddef>

#include "TessaroTiming.h"
#include "TessaroTransport.h"

namespace tessaro::link {

// Waits the link passes to the transport.
constexpr unsigned kWriteWaitMs = 50;
constexpr unsigned kReadWaitMs = 100;
// The pause after a read: always after one that failed, and after every
// report unless the application chose another (reportPauseMs()).
constexpr unsigned kReportPauseMs = TESSARO_REPORT_PAUSE_DEFAULT_MS;

int interfacePath(int index, char *path, std::size_t size);
void *openDevice(const char *path);
bool readerIdentity(void *device, unsigned short &vendorId, unsigned short &productId);
int writeReport(void *device, const unsigned char *report);
int readReport(void *device, unsigned char *report);
void closeDevice(void *device);
unsigned tickMs();
void sleepMs(unsigned ms);

// Milliseconds since construction, in unsigned 32-bit arithmetic so that the
// wrap of the tick counter does no harm.
class Stopwatch {
public:
    Stopwatch() : start_(tickMs()) {}
    unsigned elapsedMs() const { return tickMs() - start_; }

private:
    unsigned start_;
};

// The platform side, from the one transport file the build selects: hidapi
// (Linux, macOS) or the Win32 HID services (Windows) for the reports.
const TessaroTransport &platformTransport();
// The hidapi transport's: brings a read of `got` bytes (hidapi's count: 63 when the device has no
// numbered input reports) to the link's layout, byte 1 the count; returns
// the count the transport reports (64 when complete).
int normaliseInputReport(const unsigned char *raw, int got, unsigned char *report);
unsigned platformTickMs();
void platformSleepMs(unsigned ms);

}  // namespace tessaro::link
