#include "recorder.h"

#include "TessaroTypes.h"
#include "fields.h"

namespace tessaro::toolkit {

namespace {

Recorder &self(void *context) { return *static_cast<Recorder *>(context); }

}  // namespace

Recorder::Recorder(const TessaroTransport &inner, std::FILE *trace, std::FILE *record,
                   const std::string &title)
    : inner_(inner), self_(inner), trace_(trace), record_(nullptr) {
    self_.context = this;
    self_.interfacePath = interfacePath;
    self_.open = open;
    self_.attributes = attributes;
    self_.writeReport = writeReport;
    self_.readReport = readReport;
    self_.close = close;
    // A transport without a clock of its own leaves the library on the
    // platform clock; the wrapper must not change that.
    self_.tickMs = inner.tickMs ? tickMs : nullptr;
    self_.sleepMs = inner.sleepMs ? sleepMs : nullptr;
    traceClock_ = clockNow();
    if (record) startRecording(record, title);
}

Recorder::Clock Recorder::clockNow() const {
    return {inner_.tickMs ? inner_.tickMs(inner_.context) : 0, std::chrono::steady_clock::now()};
}

unsigned Recorder::since(const Clock &clock) const {
    if (inner_.tickMs) return inner_.tickMs(inner_.context) - clock.startMs;
    return static_cast<unsigned>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - clock.start)
                                     .count());
}

bool Recorder::startRecording(std::FILE *record, const std::string &title, std::uint64_t maxBytes) {
    const std::lock_guard<std::mutex> guard(recordMutex_);
    if (record_ || !record) return false;
    record_ = record;
    recordClock_ = clockNow();
    recordLimit_ = maxBytes;
    recordReports_ = 0;
    recordFull_ = false;
    const std::string header = "# tessaro transcript 1\n# " + title + "\n";
    recordBytes_ = header.size();
    std::fputs(header.c_str(), record_);
    return true;
}

std::uint64_t Recorder::stopRecording(const std::vector<std::string> &trailer) {
    const std::lock_guard<std::mutex> guard(recordMutex_);
    if (!record_) return 0;
    for (const std::string &comment : trailer) std::fprintf(record_, "# %s\n", comment.c_str());
    std::fflush(record_);
    record_ = nullptr;
    return recordReports_;
}

bool Recorder::recording() {
    const std::lock_guard<std::mutex> guard(recordMutex_);
    return record_ != nullptr;
}

std::uint64_t Recorder::recordedReports() {
    const std::lock_guard<std::mutex> guard(recordMutex_);
    return recordReports_;
}

bool Recorder::recordingFull() {
    const std::lock_guard<std::mutex> guard(recordMutex_);
    return recordFull_;
}

// "> 12 0205...": direction, milliseconds since the start, the 64 bytes. A
// write that did not go out in full ends with " failed"; a read that brought
// nothing is "< 12 none", one that failed "< 12 error".
void Recorder::line(char direction, const unsigned char *report, int result) {
    std::string body;
    if (direction == '<' && result == 0)
        body = "none";
    else if (direction == '<' && result < 0)
        body = "error";
    else
        body = hex(report, REPORT_SIZE) + (result == REPORT_SIZE ? "" : " failed");
    if (trace_) {
        const std::string text =
            std::string(1, direction) + ' ' + std::to_string(since(traceClock_)) + ' ' + body + '\n';
        std::fputs(text.c_str(), trace_);
    }
    const std::lock_guard<std::mutex> guard(recordMutex_);
    if (!record_ || recordFull_) return;
    const std::string text =
        std::string(1, direction) + ' ' + std::to_string(since(recordClock_)) + ' ' + body + '\n';
    if (recordBytes_ + text.size() > recordLimit_) {
        recordFull_ = true;
        return;
    }
    recordBytes_ += text.size();
    ++recordReports_;
    std::fputs(text.c_str(), record_);
}

int Recorder::interfacePath(void *context, int index, char *path, size_t size) {
    Recorder &r = self(context);
    return r.inner_.interfacePath(r.inner_.context, index, path, size);
}

void *Recorder::open(void *context, const char *path) {
    Recorder &r = self(context);
    return r.inner_.open(r.inner_.context, path);
}

int Recorder::attributes(void *context, void *device, unsigned short *vendorId,
                         unsigned short *productId) {
    Recorder &r = self(context);
    return r.inner_.attributes(r.inner_.context, device, vendorId, productId);
}

int Recorder::writeReport(void *context, void *device, const unsigned char *report,
                          unsigned waitMs) {
    Recorder &r = self(context);
    const int result = r.inner_.writeReport(r.inner_.context, device, report, waitMs);
    r.line('>', report, result);
    return result;
}

int Recorder::readReport(void *context, void *device, unsigned char *report, unsigned waitMs) {
    Recorder &r = self(context);
    const int result = r.inner_.readReport(r.inner_.context, device, report, waitMs);
    r.line('<', report, result);
    return result;
}

void Recorder::close(void *context, void *device) {
    Recorder &r = self(context);
    r.inner_.close(r.inner_.context, device);
}

unsigned Recorder::tickMs(void *context) {
    Recorder &r = self(context);
    return r.inner_.tickMs(r.inner_.context);
}

void Recorder::sleepMs(void *context, unsigned ms) {
    Recorder &r = self(context);
    r.inner_.sleepMs(r.inner_.context, ms);
}

}  // namespace tessaro::toolkit
