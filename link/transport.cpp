#include "transport.h"

#include "api_lock.h"
#include "process_state.h"

namespace tessaro::link {

namespace {

TessaroTransport &active() {
    static TessaroTransport transport = platformTransport();
    return transport;
}

bool isComplete(const TessaroTransport *transport) {
    return transport->version == TESSARO_TRANSPORT_VERSION && transport->interfacePath &&
           transport->open && transport->attributes && transport->writeReport &&
           transport->readReport && transport->close;
}

}  // namespace

int interfacePath(int index, char *path, std::size_t size) {
    const TessaroTransport &t = active();
    return t.interfacePath(t.context, index, path, size);
}

void *openDevice(const char *path) {
    const TessaroTransport &t = active();
    return t.open(t.context, path);
}

bool readerIdentity(void *device, unsigned short &vendorId, unsigned short &productId) {
    const TessaroTransport &t = active();
    return t.attributes(t.context, device, &vendorId, &productId) == 0;
}

int writeReport(void *device, const unsigned char *report) {
    const TessaroTransport &t = active();
    return t.writeReport(t.context, device, report, kWriteWaitMs);
}

int readReport(void *device, unsigned char *report) {
    const TessaroTransport &t = active();
    return t.readReport(t.context, device, report, kReadWaitMs);
}

void closeDevice(void *device) {
    const TessaroTransport &t = active();
    t.close(t.context, device);
}

unsigned tickMs() {
    const TessaroTransport &t = active();
    return t.tickMs ? t.tickMs(t.context) : platformTickMs();
}

void sleepMs(unsigned ms) {
    const TessaroTransport &t = active();
    if (t.sleepMs)
        t.sleepMs(t.context, ms);
    else
        platformSleepMs(ms);
}

}  // namespace tessaro::link

extern "C" TESSARO_API int TessaroSetTransport(const TessaroTransport *transport) {
    using namespace tessaro;
    const ApiLock lock;
    if (transport && !link::isComplete(transport)) return ERR_PARAMETER;

    for (PortSlot &slot : processState().ports)
        if (slot.handle == Handle::Open) link::closeDevice(slot.device);
    link::active() = transport ? *transport : link::platformTransport();
    resetProcessState();
    return 0;
}
