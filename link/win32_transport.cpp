// The platform transport on Windows: the reader's HID interface through the
// system's HID class driver, without hidapi.
//
// - Discovery lists the device paths of the present HID interfaces once, when
//   the link asks for index 0, and answers the following indexes from that
//   list; index n is the n-th member of the system's enumeration.
// - Every report goes through one overlapped transfer with a bounded wait. A
//   transfer still pending when its wait runs out is cancelled, and the
//   transport waits for the cancellation to settle before the control block,
//   its event and the transfer buffer are used again or released: the system
//   never writes into memory the transport has let go.
// - Windows puts the report id in front of every input report: see
//   normaliseWin32InputReport.
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "transport.h"
#include "win32_calls.h"

namespace tessaro::link {

namespace {

// Discovery asks for no more interfaces than these.
constexpr DWORD kMaxInterfaces = 100;
// A device path longer than this is not a HID interface's: skipped.
constexpr DWORD kMaxDetailSize = 64 * 1024;
// How long a cancelled transfer may take to end. A driver that has not ended
// it by then keeps the control block and buffers: the device is retired.
constexpr DWORD kCancelSettleMs = 500;
// One byte more than a report: room for the zero report id of a reader that
// numbers none of its reports.
constexpr DWORD kReadSize = REPORT_SIZE + 1;

struct Win32Device {
    HANDLE file;
    HANDLE event;  // manual reset: ReadFile and WriteFile reset it as they start
    OVERLAPPED overlapped;
    unsigned char output[REPORT_SIZE];
    unsigned char input[kReadSize];
    // A cancelled transfer never ended: the system may still write into this
    // struct, so it is never freed and no further transfer is started.
    bool retired;
};

const Win32Calls &callsOf(void *context) { return *static_cast<const Win32Calls *>(context); }

std::vector<std::string> &interfaces() {
    static std::vector<std::string> list;
    return list;
}

std::string toUtf8(const wchar_t *wide) {
    const int size =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};  // nothing, or nothing that would open again
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, text.data(), size, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(size - 1));
    return text;
}

// The device path of member `member` of the set into `path`, empty when it
// cannot be had; false when the set has no such member.
bool devicePath(const Win32Calls &calls, HDEVINFO set, const GUID &guid, DWORD member,
                std::string &path) {
    path.clear();
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    if (!calls.setupEnumDeviceInterfaces(set, nullptr, &guid, member, &data))
        return calls.getLastError() != ERROR_NO_MORE_ITEMS;
    DWORD required = 0;
    calls.setupGetDeviceInterfaceDetail(set, &data, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) || required > kMaxDetailSize)
        return true;
    // Zero-filled with room for one more character: the path ends in a NUL
    // even if the system wrote none.
    std::vector<unsigned char> buffer(required + sizeof(wchar_t), 0);
    auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (calls.setupGetDeviceInterfaceDetail(set, &data, detail, required, nullptr, nullptr))
        path = toUtf8(detail->DevicePath);
    return true;
}

void takeInventory(const Win32Calls &calls) {
    auto &list = interfaces();
    list.clear();
    GUID guid;
    calls.hidGetHidGuid(&guid);
    const HDEVINFO set = calls.setupGetClassDevs(&guid, nullptr, nullptr,
                                                 DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return;
    // A member that cannot be read keeps its place, empty, so that the
    // following members keep their indexes.
    std::string path;
    for (DWORD member = 0; member < kMaxInterfaces && devicePath(calls, set, guid, member, path);
         ++member)
        list.push_back(path);
    calls.setupDestroyDeviceInfoList(set);
}

int TESSARO_CALL win32InterfacePath(void *context, int index, char *path, size_t size) {
    if (index == 0) takeInventory(callsOf(context));
    const auto &list = interfaces();
    if (index < 0 || static_cast<size_t>(index) >= list.size()) return 1;
    const std::string &found = list[static_cast<size_t>(index)];
    if (found.empty() || found.size() + 1 > size) return 1;
    std::memcpy(path, found.c_str(), found.size() + 1);
    return 0;
}

void *TESSARO_CALL win32Open(void *context, const char *path) {
    const Win32Calls &calls = callsOf(context);
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (size <= 1) return nullptr;
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide.data(), size);

    const HANDLE file = calls.createFile(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    const HANDLE event = calls.createEvent(nullptr, TRUE, FALSE, nullptr);
    auto *device = event ? new (std::nothrow) Win32Device{} : nullptr;
    if (!device) {
        if (event) calls.closeHandle(event);
        calls.closeHandle(file);
        return nullptr;
    }
    device->file = file;
    device->event = event;
    return device;
}

int TESSARO_CALL win32Attributes(void *context, void *device, unsigned short *vendorId,
                                 unsigned short *productId) {
    HIDD_ATTRIBUTES attributes = {};
    attributes.Size = sizeof attributes;
    if (!callsOf(context).hidGetAttributes(static_cast<Win32Device *>(device)->file, &attributes))
        return 1;
    *vendorId = attributes.VendorID;
    *productId = attributes.ProductID;
    return 0;
}

// One overlapped transfer between the device's own buffers and the driver:
// the number of bytes moved, 0 when nothing moved within waitMs, -1 on error.
int transfer(const Win32Calls &calls, Win32Device &device, bool write, unsigned waitMs) {
    if (device.retired) return -1;
    device.overlapped = OVERLAPPED{};
    device.overlapped.hEvent = device.event;
    DWORD moved = 0;
    const BOOL done =
        write ? calls.writeFile(device.file, device.output, REPORT_SIZE, &moved, &device.overlapped)
              : calls.readFile(device.file, device.input, kReadSize, &moved, &device.overlapped);
    if (done) return static_cast<int>(moved);
    if (calls.getLastError() != ERROR_IO_PENDING) return -1;

    if (calls.waitForSingleObject(device.event, waitMs) != WAIT_OBJECT_0) {
        calls.cancelIoEx(device.file, &device.overlapped);
        if (calls.waitForSingleObject(device.event, kCancelSettleMs) != WAIT_OBJECT_0) {
            device.retired = true;
            return -1;
        }
    }
    // Settled: either it finished (perhaps just as it was cancelled, and then
    // its bytes count) or it was cancelled and moved nothing.
    if (calls.getOverlappedResult(device.file, &device.overlapped, &moved, FALSE))
        return static_cast<int>(moved);
    return calls.getLastError() == ERROR_OPERATION_ABORTED ? 0 : -1;
}

int TESSARO_CALL win32WriteReport(void *context, void *device, const unsigned char *report,
                                  unsigned waitMs) {
    auto &d = *static_cast<Win32Device *>(device);
    std::memcpy(d.output, report, REPORT_SIZE);
    return transfer(callsOf(context), d, true, waitMs);
}

int TESSARO_CALL win32ReadReport(void *context, void *device, unsigned char *report,
                                 unsigned waitMs) {
    auto &d = *static_cast<Win32Device *>(device);
    const int got = transfer(callsOf(context), d, false, waitMs);
    return normaliseWin32InputReport(d.input, got, report);
}

void TESSARO_CALL win32Close(void *context, void *device) {
    const Win32Calls &calls = callsOf(context);
    auto *d = static_cast<Win32Device *>(device);
    calls.closeHandle(d->file);  // ends whatever transfer the system still holds
    if (d->retired) return;      // its event and struct stay the system's
    calls.closeHandle(d->event);
    delete d;
}

unsigned TESSARO_CALL win32TickMs(void *context) { return callsOf(context).getTickCount(); }

void TESSARO_CALL win32SleepMs(void *context, unsigned ms) { callsOf(context).sleep(ms); }

}  // namespace

int normaliseWin32InputReport(const unsigned char *raw, int got, unsigned char *report) {
    if (got == static_cast<int>(kReadSize) && raw[0] == 0) {
        std::memcpy(report, raw + 1, REPORT_SIZE);
        return REPORT_SIZE;
    }
    if (got >= REPORT_SIZE) {  // a longer numbered report: its first 64 bytes
        std::memcpy(report, raw, REPORT_SIZE);
        return REPORT_SIZE;
    }
    if (got > 0) std::memcpy(report, raw, static_cast<size_t>(got));
    return got;
}

TessaroTransport win32Transport(const Win32Calls *calls) {
    return {TESSARO_TRANSPORT_VERSION,
            const_cast<Win32Calls *>(calls),
            win32InterfacePath,
            win32Open,
            win32Attributes,
            win32WriteReport,
            win32ReadReport,
            win32Close,
            win32TickMs,
            win32SleepMs};
}

const TessaroTransport &platformTransport() {
    static const TessaroTransport transport = win32Transport(&systemWin32Calls());
    return transport;
}

}  // namespace tessaro::link
