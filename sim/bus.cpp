#include "bus.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace tessaro::sim {

namespace {

constexpr const char *kPathPrefix = "sim:";

// One open handle: the reader it reaches, and the plug-in it belongs to.
struct Connection {
    TessaroSim *sim;
    std::size_t reader;
    unsigned generation;
};

TessaroSim &busOf(void *context) { return *static_cast<TessaroSim *>(context); }

// The reader behind a handle, or nullptr when it was unplugged since.
Reader *live(TessaroSim &sim, void *device) {
    const auto *connection = static_cast<const Connection *>(device);
    Reader *reader = connection ? sim.reader(static_cast<int>(connection->reader)) : nullptr;
    if (!reader || !reader->plugged || reader->generation != connection->generation) return nullptr;
    return reader;
}

int TESSARO_CALL interfacePath(void *context, int index, char *path, std::size_t size) {
    TessaroSim &sim = busOf(context);
    const std::lock_guard<std::mutex> guard(sim.mutex);
    const Reader *reader = sim.reader(index);
    if (!reader || !reader->plugged) return 1;
    const int written = std::snprintf(path, size, "%s%d", kPathPrefix, index);
    return written > 0 && static_cast<std::size_t>(written) < size ? 0 : 1;
}

void *TESSARO_CALL open(void *context, const char *path) {
    TessaroSim &sim = busOf(context);
    const std::lock_guard<std::mutex> guard(sim.mutex);
    const std::size_t prefix = std::strlen(kPathPrefix);
    if (!path || std::strncmp(path, kPathPrefix, prefix) != 0) return nullptr;
    char *end = nullptr;
    const long index = std::strtol(path + prefix, &end, 10);
    if (*end != '\0' || index < 0) return nullptr;
    const Reader *reader = sim.reader(static_cast<int>(index));
    if (!reader || !reader->plugged) return nullptr;
    return new (std::nothrow) Connection{&sim, static_cast<std::size_t>(index), reader->generation};
}

int TESSARO_CALL attributes(void *context, void *device, unsigned short *vendorId,
                            unsigned short *productId) {
    TessaroSim &sim = busOf(context);
    const std::lock_guard<std::mutex> guard(sim.mutex);
    if (!live(sim, device)) return 1;
    *vendorId = READER_VENDOR_ID;
    *productId = READER_PRODUCT_ID;
    return 0;
}

// Lets `ms` pass for a transfer: the virtual clock moves on under the lock,
// the real one is slept on outside it.
int after(TessaroSim &sim, std::unique_lock<std::mutex> &guard, unsigned ms, int result) {
    if (sim.clock.isVirtual()) {
        sim.clock.advance(ms);
    } else if (ms > 0) {
        guard.unlock();
        sleepFor(ms);
    }
    return result;
}

// A write that fails takes its whole wait, as a device that does not take
// the report does; so does a read from a device that is gone.
int TESSARO_CALL writeReport(void *context, void *device, const unsigned char *report,
                             unsigned waitMs) {
    TessaroSim &sim = busOf(context);
    std::unique_lock<std::mutex> guard(sim.mutex);
    Reader *reader = live(sim, device);
    if (!reader) return after(sim, guard, waitMs, -1);
    Faults &faults = reader->faults;
    if (faults.refuseWrites != 0 && (faults.refuseKind == 0 || faults.refuseKind == report[0]) &&
        Faults::strike(faults.refuseWrites))
        return after(sim, guard, waitMs, -1);
    if (report[0] == REPORT_ID_DATA) {
        // A data report cannot carry more than 62 frame bytes.
        if (report[1] <= kReportFrameBytes)
            reader->receiveData(report + 2, report[1]);
        else
            ++reader->counters.framesIgnored;
    } else if (report[0] == REPORT_ID_CONTROL) {
        reader->receiveControl(report[1]);
    }
    return static_cast<int>(kReportSize);
}

int TESSARO_CALL readReport(void *context, void *device, unsigned char *report, unsigned waitMs) {
    TessaroSim &sim = busOf(context);
    std::unique_lock<std::mutex> guard(sim.mutex);
    Reader *reader = live(sim, device);
    if (!reader) return after(sim, guard, waitMs, -1);
    ReportPort::ReadResult result{0, waitMs, false};
    if (!Faults::strike(reader->faults.silentReads)) result = reader->port.read(report, waitMs, sim.clock.nowMs());
    if (result.carriedBytes) {
        ++reader->counters.inputReports;
        int &unplugAfter = reader->faults.unplugAfter;
        if (unplugAfter > 0 && --unplugAfter == 0) {
            unplugAfter = -1;
            unplug(*reader);
        }
    } else if (result.result > 0) {
        ++reader->counters.busyReports;
    }
    return after(sim, guard, result.waitedMs, result.result);
}

void TESSARO_CALL close(void *, void *device) { delete static_cast<Connection *>(device); }

unsigned TESSARO_CALL tickMs(void *context) {
    TessaroSim &sim = busOf(context);
    const std::lock_guard<std::mutex> guard(sim.mutex);
    return static_cast<unsigned>(sim.clock.nowMs());
}

void TESSARO_CALL sleepMs(void *context, unsigned ms) {
    TessaroSim &sim = busOf(context);
    const std::lock_guard<std::mutex> guard(sim.mutex);
    sim.clock.advance(ms);
}

}  // namespace

void unplug(Reader &reader) {
    reader.plugged = false;
    ++reader.generation;
    reader.port.flush();
}

}  // namespace tessaro::sim

tessaro::sim::Reader *TessaroSim::reader(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= readers.size()) return nullptr;
    return readers[static_cast<std::size_t>(index)].get();
}

TessaroTransport TessaroSim::transport() {
    using namespace tessaro::sim;
    TessaroTransport t{TESSARO_TRANSPORT_VERSION, this, interfacePath, open, attributes,
                       writeReport, readReport, close, nullptr, nullptr};
    if (clock.isVirtual()) {
        t.tickMs = tickMs;
        t.sleepMs = sleepMs;
    }
    return t;
}
