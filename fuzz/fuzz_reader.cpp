#include "fuzz_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Tessaro.h"

namespace tessaro::fuzz {

namespace {

constexpr std::size_t kReportSize = 64;
constexpr std::size_t kFrameBytes = 62;

struct Records {
    const std::uint8_t *data = nullptr;
    std::size_t size = 0;
    std::size_t at = 0;
    unsigned clockMs = 0;
    int device = 0;  // the one device's handle

    std::uint8_t next() { return at < size ? data[at++] : 0; }
};

Records records;

int interfacePath(void *, int index, char *path, std::size_t size) {
    if (index != 0 || size == 0) return 1;
    std::snprintf(path, size, "fuzz");
    return 0;
}

void *open(void *context, const char *) { return &static_cast<Records *>(context)->device; }

int attributes(void *, void *, unsigned short *vendorId, unsigned short *productId) {
    *vendorId = READER_VENDOR_ID;
    *productId = READER_PRODUCT_ID;
    return 0;
}

int writeReport(void *, void *, const unsigned char *, unsigned) {
    return static_cast<int>(kReportSize);
}

int readReport(void *context, void *, unsigned char *report, unsigned waitMs) {
    Records &r = *static_cast<Records *>(context);
    if (r.at >= r.size) {
        r.clockMs += waitMs;
        return 0;
    }
    const std::uint8_t kind = r.next() % 4;
    const std::uint8_t count = r.next();
    switch (kind) {
    case 1:
        r.clockMs += waitMs;
        return 0;
    case 2:
        return -1;
    default:
        break;
    }
    std::memset(report, 0, kReportSize);
    report[0] = REPORT_ID_DATA;
    report[1] = count;
    const std::size_t n = std::min<std::size_t>({count, kFrameBytes, r.size - r.at});
    std::memcpy(report + 2, r.data + r.at, n);
    r.at += n;
    return kind == 3 ? static_cast<int>(2 + n) : static_cast<int>(kReportSize);
}

void close(void *, void *) {}
unsigned tickMs(void *context) { return static_cast<Records *>(context)->clockMs; }
void sleepMs(void *context, unsigned ms) { static_cast<Records *>(context)->clockMs += ms; }

}  // namespace

Head::Head(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return;
    selector_ = data[0];
    for (std::size_t i = 0; i < kArgs; ++i) {
        std::uint8_t b[4] = {};
        for (std::size_t k = 0; k < 4; ++k) {
            const std::size_t at = 1 + 4 * i + k;
            if (at < size) b[k] = data[at];
        }
        std::uint32_t value = b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
        std::memcpy(&args_[i], &value, sizeof value);
    }
}

std::unique_ptr<unsigned char[]> heapBytes(std::size_t n, unsigned char fill) {
    std::unique_ptr<unsigned char[]> p(new unsigned char[n]);
    std::memset(p.get(), fill, n);
    return p;
}

int openFuzzReaderRecords(const std::uint8_t *data, std::size_t size) {
    records = Records{data, size, 0, 0, 0};
    const TessaroTransport transport = {TESSARO_TRANSPORT_VERSION, &records, interfacePath, open,
                                        attributes, writeReport, readReport, close, tickMs, sleepMs};
    // Back to the load state: nothing of the last input is left.
    if (TessaroSetTransport(&transport) != 0) std::abort();
    int port = -1;
    if (OpenUSBPort(&port) != 0) std::abort();  // writes always go through
    return port;
}

int openFuzzReader(const std::uint8_t *data, std::size_t size, Head &head) {
    if (size < kHeadSize) return -1;
    head = Head(data, size);
    return openFuzzReaderRecords(data + kHeadSize, size - kHeadSize);
}

}  // namespace tessaro::fuzz
