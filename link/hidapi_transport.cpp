// The platform transport: the reader's HID interface through hidapi.
//
// hidapi leaves two platform differences to its callers:
//  - A device without numbered input reports is read without the report-ID
//    byte (63 bytes instead of 64 on Linux). The link always expects byte 0 to
//    be the report-ID position and byte 1 the count, so such a read is shifted
//    by one byte and reported as a complete 64-byte report.
//  - hid_write has no timeout of its own on Linux: the kernel waits for the
//    interrupt transfer (up to its own USB timeout, about 5 s). The 50 ms wait
//    the link asks for cannot be honoured there; a stalled reader holds the
//    write until the kernel gives up, and the write then fails.
#include <hidapi.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "transport.h"

namespace tessaro::link {

namespace {

struct Interface {
    std::string path;
    unsigned short vendorId;
    unsigned short productId;
};

struct Device {
    hid_device *handle;
    unsigned short vendorId;
    unsigned short productId;
};

// Enumerating walks the whole HID tree, so the list is taken once when
// discovery starts at index 0 and the following indexes are answered from it.
std::vector<Interface> &interfaces() {
    static std::vector<Interface> list;
    return list;
}

void takeInventory() {
    auto &list = interfaces();
    list.clear();
    if (hid_init() != 0) return;
    hid_device_info *all = hid_enumerate(0, 0);
    for (hid_device_info *info = all; info; info = info->next)
        if (info->path) list.push_back({info->path, info->vendor_id, info->product_id});
    hid_free_enumeration(all);
}

int TESSARO_CALL hidInterfacePath(void *, int index, char *path, size_t size) {
    if (index == 0) takeInventory();
    const auto &list = interfaces();
    if (index < 0 || static_cast<size_t>(index) >= list.size()) return 1;
    const std::string &found = list[static_cast<size_t>(index)].path;
    if (found.size() + 1 > size) return 1;  // a path we cannot hand over whole is skipped
    std::memcpy(path, found.c_str(), found.size() + 1);
    return 0;
}

void *TESSARO_CALL hidOpen(void *, const char *path) {
    if (hid_init() != 0) return nullptr;
    hid_device *handle = hid_open_path(path);
    if (!handle) return nullptr;
    Device *device = new (std::nothrow) Device{handle, 0, 0};
    if (!device) {
        hid_close(handle);
        return nullptr;
    }
    for (const Interface &known : interfaces())
        if (known.path == path) {
            device->vendorId = known.vendorId;
            device->productId = known.productId;
        }
    return device;
}

int TESSARO_CALL hidAttributes(void *, void *device, unsigned short *vendorId,
                               unsigned short *productId) {
    const auto *d = static_cast<const Device *>(device);
    if (d->vendorId == 0 && d->productId == 0) return 1;  // not seen by the enumeration
    *vendorId = d->vendorId;
    *productId = d->productId;
    return 0;
}

int TESSARO_CALL hidWriteReport(void *, void *device, const unsigned char *report, unsigned) {
    return hid_write(static_cast<Device *>(device)->handle, report, REPORT_SIZE);
}

int TESSARO_CALL hidReadReport(void *, void *device, unsigned char *report, unsigned waitMs) {
    unsigned char raw[REPORT_SIZE] = {};
    const int got = hid_read_timeout(static_cast<Device *>(device)->handle, raw, REPORT_SIZE,
                                     static_cast<int>(waitMs));
    return normaliseInputReport(raw, got, report);
}

void TESSARO_CALL hidClose(void *, void *device) {
    auto *d = static_cast<Device *>(device);
    hid_close(d->handle);
    delete d;
}

}  // namespace

int normaliseInputReport(const unsigned char *raw, int got, unsigned char *report) {
    if (got == REPORT_SIZE - 1) {  // read without the report-ID byte
        report[0] = 0;
        std::memcpy(report + 1, raw, REPORT_SIZE - 1);
        return REPORT_SIZE;
    }
    if (got > 0) std::memcpy(report, raw, static_cast<size_t>(got));
    return got;
}

const TessaroTransport &platformTransport() {
    static const TessaroTransport transport = {
        TESSARO_TRANSPORT_VERSION, nullptr, hidInterfacePath, hidOpen, hidAttributes,
        hidWriteReport, hidReadReport, hidClose, nullptr, nullptr};
    return transport;
}

}  // namespace tessaro::link
