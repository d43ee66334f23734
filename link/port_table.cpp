// Discovery and the port table: OpenUSBPort records every reader among the
// HID interfaces (slot 1, 2, ...) and hands out the first; CloseUSBPort gives
// an index back.
#include <cstring>

#include "Tessaro.h"
#include "TessaroReading.h"
#include "api_lock.h"
#include "process_state.h"
#include "report_transfer.h"
#include "transport.h"

namespace tessaro::link {

namespace {

constexpr std::size_t kPathSize = 4096;

bool isReader(void *device) {
    unsigned short vendorId = 0;
    unsigned short productId = 0;
    return readerIdentity(device, vendorId, productId) && vendorId == READER_VENDOR_ID &&
           productId == READER_PRODUCT_ID;
}

// Stores a newly opened reader in `slot`. A handle still open there (a reader
// kept but never handed out, or a slot cleared by a fruitless enumeration) is
// closed first so that it does not leak.
void store(PortSlot &slot, void *device, const char *path) {
    if (slot.handle == Handle::Open) closeDevice(slot.device);
    slot.handle = Handle::Open;
    slot.device = device;
    const std::size_t length = std::strlen(path);
    if (length < sizeof slot.path)
        std::memcpy(slot.path, path, length + 1);
    else
        slot.path[0] = '\0';
}

// Whether a slot other than `except` holds the reader at `path` open.
bool heldElsewhere(const char *path, int except) {
    const PortSlot *ports = processState().ports;
    for (int index = 1; index < kMaxPorts; ++index)
        if (index != except && ports[index].handle == Handle::Open &&
            std::strcmp(ports[index].path, path) == 0)
            return true;
    return false;
}

// Opens the reader at `path`, or returns nullptr when it is none.
void *openReader(const char *path) {
    void *device = openDevice(path);
    if (device && !isReader(device)) {
        closeDevice(device);
        device = nullptr;
    }
    return device;
}

}  // namespace

}  // namespace tessaro::link

using namespace tessaro;
using namespace tessaro::link;

TESSARO_API int OpenUSBPort(int *portIndex) {
    const ApiLock lock;
    PortSlot *ports = processState().ports;
    int candidate = 1;
    int kept = 0;
    for (int index = 0; index < MAX_HID_INTERFACES; ++index) {
        char path[kPathSize];
        if (interfacePath(index, path, sizeof path) != 0) continue;
        path[sizeof path - 1] = '\0';
        // While the candidate slot is in use nothing is opened: with port 1
        // handed out, a second OpenUSBPort finds no reader.
        if (candidate >= kMaxPorts || ports[candidate].inUse) continue;
        void *device = openReader(path);
        if (!device) continue;
        store(ports[candidate], device, path);
        ++candidate;
        ++kept;
    }

    if (kept == 0) {
        for (PortSlot &slot : processState().ports) slot.inUse = false;
        return ERR_COMM;
    }
    int chosen = 1;
    while (chosen < candidate && ports[chosen].inUse) ++chosen;
    if (chosen == candidate) return ERR_COMM;

    ports[chosen].inUse = true;
    if (!sendControl(CTRL_SYNC, chosen)) return ERR_COMM;
    *portIndex = chosen;
    return 0;
}

TESSARO_API int CloseUSBPort(int portIndex) {
    const ApiLock lock;
    PortSlot *slot = portSlot(portIndex);
    if (!slot || !slot->inUse) return ERR_COMM;
    if (slot->handle == Handle::Open) closeDevice(slot->device);
    slot->handle = Handle::Closed;
    slot->device = nullptr;
    slot->inUse = false;
    return 0;
}

TESSARO_API int TessaroReopenPort(int portIndex) {
    const ApiLock lock;
    if (portIndex < 1 || portIndex >= kMaxPorts) return ERR_PARAMETER;
    PortSlot &slot = processState().ports[portIndex];
    if (slot.handle == Handle::Open) closeDevice(slot.device);
    slot.handle = Handle::Closed;
    slot.device = nullptr;

    // The same interface first; else any reader no other slot holds (a
    // platform may give a re-plugged reader a new path).
    void *device = nullptr;
    char chosen[kPathSize] = "";
    for (int index = 0; index < MAX_HID_INTERFACES; ++index) {
        char path[kPathSize];
        if (interfacePath(index, path, sizeof path) != 0) continue;
        path[sizeof path - 1] = '\0';
        const bool same = slot.path[0] != '\0' && std::strcmp(path, slot.path) == 0;
        if (!same && (device || heldElsewhere(path, portIndex))) continue;
        void *candidate = openReader(path);
        if (!candidate) continue;
        if (device) closeDevice(device);
        device = candidate;
        std::memcpy(chosen, path, sizeof path);
        if (same) break;
    }
    if (!device) return ERR_COMM;
    store(slot, device, chosen);
    return sendControl(CTRL_SYNC, portIndex) ? 0 : ERR_COMM;
}

TESSARO_API int TessaroPortIsOpen(int portIndex) {
    const ApiLock lock;
    const PortSlot *slot = portSlot(portIndex);
    return slot && slot->handle == Handle::Open ? 1 : 0;
}
