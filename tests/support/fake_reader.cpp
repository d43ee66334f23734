#include "fake_reader.h"

#include <algorithm>
#include <cstring>

namespace tessaro::testing {

Report inputReport(const Bytes &payload) {
    Report report{};
    report[1] = static_cast<std::uint8_t>(payload.size());
    std::copy_n(payload.begin(), std::min<std::size_t>(payload.size(), 62), report.begin() + 2);
    return report;
}

Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes sequence(std::size_t count, std::uint8_t first) {
    Bytes out(count);
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(first + i);
    return out;
}

Bytes inventoryFrame(std::uint8_t status, std::uint8_t antenna, std::uint8_t count,
                     const Bytes &epcIds, std::uint8_t code) {
    return answerFrame(0x00, code, status, joined({{antenna, count}, epcIds}));
}

Bytes readOutFrame(std::uint8_t status, std::uint8_t count, const Bytes &records) {
    return answerFrame(0x09, 0x72, status, joined({{count}, records}));
}

Bytes readerInformationAnswer(std::uint8_t scanTimeUnits) {
    Bytes info(12, 0x00);
    info[7] = scanTimeUnits;
    return answerFrame(0x00, 0x21, 0x00, info);
}

// --- FakeDevice ---------------------------------------------------------

FakeDevice::FakeDevice(std::string devicePath, unsigned short vendor, unsigned short product)
    : path(std::move(devicePath)), vendorId(vendor), productId(product) {}

std::vector<Report> FakeDevice::cut(const Bytes &frame, const std::vector<std::size_t> &split) {
    std::vector<Report> reports;
    std::size_t at = 0;
    auto take = [&](std::size_t size) {
        const std::size_t n = std::min(size, frame.size() - at);
        reports.push_back(inputReport(Bytes(frame.begin() + static_cast<long>(at),
                                            frame.begin() + static_cast<long>(at + n))));
        at += n;
    };
    for (std::size_t size : split)
        if (at < frame.size()) take(size);
    while (at < frame.size()) take(62);
    return reports;
}

void FakeDevice::answer(const Bytes &frame, std::vector<std::size_t> split) {
    script_.push_back(cut(frame, split));
}

void FakeDevice::queueSplit(const Bytes &stream, const std::vector<std::size_t> &split) {
    for (const Report &report : cut(stream, split)) input_.push_back(report);
}

void FakeDevice::answerReports(std::vector<Report> reports) { script_.push_back(std::move(reports)); }

std::vector<Bytes> FakeDevice::frames() const {
    std::vector<Bytes> out;
    for (const Report &r : sent)
        if (r[0] == REPORT_ID_DATA) out.emplace_back(r.begin() + 2, r.begin() + 2 + r[1]);
    return out;
}

std::vector<Bytes> FakeDevice::dialogue() const {
    std::vector<Bytes> out;
    for (const Report &r : sent) {
        if (r[0] == REPORT_ID_DATA)
            out.emplace_back(r.begin(), r.begin() + 2 + std::min<int>(r[1], 62));
        else
            out.emplace_back(r.begin(), r.begin() + 2);
    }
    return out;
}

std::vector<std::uint8_t> FakeDevice::controls() const {
    std::vector<std::uint8_t> out;
    for (const Report &r : sent)
        if (r[0] == REPORT_ID_CONTROL) out.push_back(r[1]);
    return out;
}

int FakeDevice::write(const std::uint8_t *bytes) {
    Report report;
    std::copy_n(bytes, REPORT_SIZE, report.begin());
    if (unplugged || (failWrite && failWrite(report))) return -1;
    sent.push_back(report);
    if (report[0] != REPORT_ID_DATA) return REPORT_SIZE;

    // A command frame: queue its answer.
    std::vector<Report> reports;
    if (!script_.empty()) {
        reports = std::move(script_.front());
        script_.pop_front();
    } else if (responder) {
        const Bytes frame(report.begin() + 2, report.begin() + 2 + std::min<int>(report[1], 62));
        reports = cut(responder(frame), {});
    }
    input_.insert(input_.end(), reports.begin(), reports.end());
    return REPORT_SIZE;
}

int FakeDevice::read(std::uint8_t *report, unsigned waitMs, unsigned &clock) {
    if (unplugged) return -1;
    if (silent || timeoutReads > 0) {
        if (timeoutReads > 0) --timeoutReads;
        clock += waitMs;
        return 0;
    }
    Report next{};  // nothing to say: an empty report
    if (!input_.empty()) {
        next = input_.front();
        input_.pop_front();
    }
    std::copy(next.begin(), next.end(), report);
    return REPORT_SIZE;
}

// --- FakeBus ------------------------------------------------------------

FakeBus::FakeBus(unsigned startTickMs) : clockMs_(startTickMs) {}

FakeBus::~FakeBus() { TessaroSetTransport(nullptr); }

FakeDevice &FakeBus::addReader() { return addDevice(READER_VENDOR_ID, READER_PRODUCT_ID); }

FakeDevice &FakeBus::addDevice(unsigned short vendorId, unsigned short productId) {
    const std::string path = "/dev/fake-hidraw" + std::to_string(devices_.size());
    devices_.push_back(std::make_unique<FakeDevice>(path, vendorId, productId));
    return *devices_.back();
}

void FakeBus::install() {
    const TessaroTransport t = transport();
    TessaroSetTransport(&t);
}

TessaroTransport FakeBus::transport() {
    return {TESSARO_TRANSPORT_VERSION, this, interfacePath, open, attributes, writeReport,
            readReport, close, tickMs, sleepMs};
}

unsigned FakeBus::elapsedMs(const std::function<void()> &call) {
    const unsigned start = clockMs_;
    call();
    return clockMs_ - start;
}

int FakeBus::interfacePath(void *context, int index, char *path, std::size_t size) {
    auto *bus = static_cast<FakeBus *>(context);
    const auto &missing = bus->missingPositions;
    if (std::find(missing.begin(), missing.end(), index) != missing.end()) return 1;
    if (index < 0 || static_cast<std::size_t>(index) >= bus->devices_.size()) return 1;
    const std::string &p = bus->devices_[static_cast<std::size_t>(index)]->path;
    if (p.size() + 1 > size) return 1;
    std::memcpy(path, p.c_str(), p.size() + 1);
    return 0;
}

void *FakeBus::open(void *context, const char *path) {
    for (auto &device : static_cast<FakeBus *>(context)->devices_)
        if (device->path == path) {
            if (device->refuseOpen) return nullptr;
            ++device->opens;
            return device.get();
        }
    return nullptr;
}

int FakeBus::attributes(void *, void *device, unsigned short *vendorId, unsigned short *productId) {
    const auto *d = static_cast<FakeDevice *>(device);
    if (d->hideAttributes) return 1;
    *vendorId = d->vendorId;
    *productId = d->productId;
    return 0;
}

int FakeBus::writeReport(void *, void *device, const unsigned char *report, unsigned) {
    return static_cast<FakeDevice *>(device)->write(report);
}

int FakeBus::readReport(void *context, void *device, unsigned char *report, unsigned waitMs) {
    auto *bus = static_cast<FakeBus *>(context);
    unsigned ignored = 0;
    return static_cast<FakeDevice *>(device)->read(report, waitMs, bus->frozen ? ignored : bus->clockMs_);
}

void FakeBus::close(void *, void *device) { ++static_cast<FakeDevice *>(device)->closes; }

unsigned FakeBus::tickMs(void *context) { return static_cast<FakeBus *>(context)->clockMs_; }

void FakeBus::sleepMs(void *context, unsigned ms) {
    auto *bus = static_cast<FakeBus *>(context);
    if (!bus->frozen) bus->clockMs_ += ms;
}

}  // namespace tessaro::testing
