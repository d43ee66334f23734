#include "instant_reader.h"

#include <algorithm>
#include <cstring>

#include "Tessaro.h"

namespace tessaro::bench {

void InstantReader::answer(std::uint8_t code, const std::vector<Bytes> &frames) {
    std::vector<Report> &reports = answers_[code];
    reports.clear();
    for (const Bytes &frame : frames) {
        for (std::size_t at = 0; at < frame.size(); at += REPORT_MAX_FRAME_BYTES) {
            Report report{};
            const std::size_t n = std::min<std::size_t>(REPORT_MAX_FRAME_BYTES, frame.size() - at);
            report[1] = static_cast<std::uint8_t>(n);
            std::memcpy(report.data() + 2, frame.data() + at, n);
            reports.push_back(report);
        }
    }
}

void InstantReader::install() {
    const TessaroTransport transport = {TESSARO_TRANSPORT_VERSION, this, interfacePath, open,
                                        attributes, writeReport, readReport, close, tickMs, sleepMs};
    TessaroSetTransport(&transport);
}

int InstantReader::interfacePath(void *, int index, char *path, std::size_t size) {
    if (index != 0 || size < 8) return 1;
    std::strcpy(path, "bench:0");
    return 0;
}

void *InstantReader::open(void *context, const char *) { return context; }

int InstantReader::attributes(void *, void *, unsigned short *vendorId, unsigned short *productId) {
    *vendorId = READER_VENDOR_ID;
    *productId = READER_PRODUCT_ID;
    return 0;
}

int InstantReader::writeReport(void *context, void *, const unsigned char *report, unsigned) {
    InstantReader &reader = of(context);
    if (report[0] == REPORT_ID_DATA && report[1] >= 3) {
        // A command frame: its answer is served from the start.
        reader.serving_ = &reader.answers_[report[2 + 2]];
        reader.next_ = 0;
    } else if (report[0] == REPORT_ID_CONTROL && report[1] == CTRL_ACK) {
        ++reader.next_;
    }
    return 64;
}

int InstantReader::readReport(void *context, void *, unsigned char *report, unsigned) {
    InstantReader &reader = of(context);
    if (reader.serving_ && reader.next_ < reader.serving_->size())
        std::memcpy(report, (*reader.serving_)[reader.next_].data(), 64);
    else
        std::memset(report, 0, 64);
    return 64;
}

void InstantReader::close(void *, void *) {}

unsigned InstantReader::tickMs(void *context) { return static_cast<unsigned>(of(context).pausedMs_); }

void InstantReader::sleepMs(void *context, unsigned ms) { of(context).pausedMs_ += ms; }

}  // namespace tessaro::bench
