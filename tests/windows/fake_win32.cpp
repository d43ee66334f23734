#include "fake_win32.h"

#include <cstddef>
#include <cstring>

namespace tessaro::testing {

namespace {

FakeWin32 *active = nullptr;
// What OVERLAPPED.Internal holds while a transfer is pending.
constexpr ULONG_PTR kPending = 0x103;
const GUID kHidGuid = {0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

FakeWin32 &fake() { return *active; }

}  // namespace

const link::Win32Calls FakeWin32::calls = {
    getHidGuid,  getClassDevs,        enumDeviceInterfaces, getDeviceInterfaceDetail,
    destroyDeviceInfoList,            getAttributes,        createFile,
    createEvent, writeFile,           readFile,             waitForSingleObject,
    getOverlappedResult,              cancelIoEx,           getLastError,
    closeHandle, getTickCount,        sleep};

FakeWin32::FakeWin32(FakeBus &bus) : bus_(bus), busTransport_(bus.transport()) { active = this; }

FakeWin32::~FakeWin32() { active = nullptr; }

std::wstring FakeWin32::devicePath(std::size_t member) {
    // Not plain ASCII, as instance ids and the paths built on them may be.
    return L"\\\\?\\hid#fake&dev_" + std::to_wstring(member) +
           L"#\u00e9t\u00e9#{4d1e55b2-f16f-11cf-88cb-001111000030}";
}

HANDLE FakeWin32::newHandle() {
    nextHandle_ += 4;
    return reinterpret_cast<HANDLE>(nextHandle_);
}

FakeWin32::File *FakeWin32::file(HANDLE handle) {
    const auto found = files_.find(handle);
    if (found != files_.end()) return &found->second;
    misuse.push_back("not an open file handle");
    return nullptr;
}

void FakeWin32::complete(File &f, Transfer transfer, DWORD error, DWORD moved) {
    transfer.overlapped->Internal = error;  // the fake keeps the Win32 error here
    transfer.overlapped->InternalHigh = moved;
    events_[transfer.overlapped->hEvent] = true;
    for (auto it = f.pending.begin(); it != f.pending.end(); ++it)
        if (it->overlapped == transfer.overlapped) {
            f.pending.erase(it);
            break;
        }
}

DWORD FakeWin32::deliver(void *device, unsigned char *buffer, unsigned waitMs, int &got) {
    unsigned char report[REPORT_SIZE];
    got = busTransport_.readReport(busTransport_.context, device, report, waitMs);
    if (got != REPORT_SIZE) return 0;
    if (numberedReports) {
        std::memcpy(buffer, report, REPORT_SIZE);
        return REPORT_SIZE;
    }
    buffer[0] = 0;
    std::memcpy(buffer + 1, report, REPORT_SIZE);
    return REPORT_SIZE + 1;
}

// --- Device discovery -----------------------------------------------------

void WINAPI FakeWin32::getHidGuid(GUID *guid) { *guid = kHidGuid; }

HDEVINFO WINAPI FakeWin32::getClassDevs(const GUID *guid, PCWSTR, HWND, DWORD flags) {
    FakeWin32 &f = fake();
    if (!guid || std::memcmp(guid, &kHidGuid, sizeof kHidGuid) != 0 ||
        flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE))
        f.misuse.push_back("device set of another class or with other flags");
    if (f.refuseDeviceSet) {
        f.lastError_ = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE set = f.newHandle();
    f.deviceSets_.push_back(set);
    ++f.deviceSetsOpen;
    return set;
}

BOOL WINAPI FakeWin32::enumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID *,
                                            DWORD member, PSP_DEVICE_INTERFACE_DATA data) {
    FakeWin32 &f = fake();
    if (data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        f.misuse.push_back("interface data of the wrong size");
        f.lastError_ = ERROR_INVALID_USER_BUFFER;
        return FALSE;
    }
    if (member >= f.bus_.deviceCount()) {
        f.lastError_ = ERROR_NO_MORE_ITEMS;
        return FALSE;
    }
    (void)set;
    data->Reserved = member;
    return TRUE;
}

BOOL WINAPI FakeWin32::getDeviceInterfaceDetail(HDEVINFO, PSP_DEVICE_INTERFACE_DATA data,
                                                PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                                DWORD size, PDWORD required, PSP_DEVINFO_DATA) {
    FakeWin32 &f = fake();
    const auto member = static_cast<int>(data->Reserved);
    char busPath[256];
    // A position the bus leaves out is a member whose detail cannot be had.
    if (f.busTransport_.interfacePath(f.busTransport_.context, member, busPath, sizeof busPath)) {
        f.lastError_ = ERROR_NOT_FOUND;
        return FALSE;
    }
    std::wstring path = devicePath(static_cast<std::size_t>(member));
    if (f.unconvertiblePaths.count(static_cast<std::size_t>(member))) path += L'\xD800';
    const DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                            (path.size() + 1) * sizeof(wchar_t));
    if (required) *required = needed;
    if (!detail || size < needed) {
        f.lastError_ = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        f.misuse.push_back("detail of the wrong size");
        f.lastError_ = ERROR_INVALID_USER_BUFFER;
        return FALSE;
    }
    std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    return TRUE;
}

BOOL WINAPI FakeWin32::destroyDeviceInfoList(HDEVINFO set) {
    FakeWin32 &f = fake();
    for (auto it = f.deviceSets_.begin(); it != f.deviceSets_.end(); ++it)
        if (*it == set) {
            f.deviceSets_.erase(it);
            --f.deviceSetsOpen;
            return TRUE;
        }
    f.misuse.push_back("device set destroyed that is not open");
    return FALSE;
}

BOOLEAN WINAPI FakeWin32::getAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes) {
    FakeWin32 &f = fake();
    File *file = f.file(handle);
    if (!file) return FALSE;
    if (attributes->Size != sizeof(HIDD_ATTRIBUTES)) f.misuse.push_back("attributes of the wrong size");
    if (f.busTransport_.attributes(f.busTransport_.context, file->device, &attributes->VendorID,
                                   &attributes->ProductID) != 0)
        return FALSE;
    return TRUE;
}

// --- Files and events -----------------------------------------------------

HANDLE WINAPI FakeWin32::createFile(LPCWSTR path, DWORD access, DWORD share,
                                    LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags, HANDLE) {
    FakeWin32 &f = fake();
    ++f.createFileCalls;
    if (access != (GENERIC_READ | GENERIC_WRITE) || share != (FILE_SHARE_READ | FILE_SHARE_WRITE) ||
        disposition != OPEN_EXISTING || !(flags & FILE_FLAG_OVERLAPPED))
        f.misuse.push_back("a HID interface opened other than for overlapped reading and writing");
    for (std::size_t member = 0; member < f.bus_.deviceCount(); ++member) {
        if (devicePath(member) != path) continue;
        char busPath[256];
        void *device = nullptr;
        if (f.busTransport_.interfacePath(f.busTransport_.context, static_cast<int>(member), busPath,
                                          sizeof busPath) == 0)
            device = f.busTransport_.open(f.busTransport_.context, busPath);
        if (!device) break;
        const HANDLE handle = f.newHandle();
        f.files_[handle] = File{device, {}};
        ++f.openFiles;
        return handle;
    }
    f.lastError_ = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
}

HANDLE WINAPI FakeWin32::createEvent(LPSECURITY_ATTRIBUTES, BOOL, BOOL initialState, LPCWSTR) {
    FakeWin32 &f = fake();
    if (f.refuseEvents) {
        f.lastError_ = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    const HANDLE event = f.newHandle();
    f.events_[event] = initialState != FALSE;
    ++f.openEvents;
    return event;
}

BOOL WINAPI FakeWin32::closeHandle(HANDLE object) {
    FakeWin32 &f = fake();
    if (f.events_.count(object)) {
        for (const auto &[handle, file] : f.files_)
            for (const Transfer &t : file.pending)
                if (t.overlapped->hEvent == object)
                    f.misuse.push_back("event closed under a pending transfer");
        f.events_.erase(object);
        --f.openEvents;
        return TRUE;
    }
    const auto found = f.files_.find(object);
    if (found == f.files_.end()) {
        f.misuse.push_back("closed a handle that is not open");
        return FALSE;
    }
    File &file = found->second;
    // Closing ends what is still pending; only a transfer whose cancel the
    // driver ignored may be left to it.
    while (!file.pending.empty()) {
        if (!file.pending.front().stuck) f.misuse.push_back("file closed with a transfer pending");
        f.complete(file, file.pending.front(), ERROR_OPERATION_ABORTED, 0);
    }
    f.busTransport_.close(f.busTransport_.context, file.device);
    f.files_.erase(found);
    --f.openFiles;
    return TRUE;
}

// --- Transfers ------------------------------------------------------------

BOOL WINAPI FakeWin32::writeFile(HANDLE handle, LPCVOID data, DWORD size, LPDWORD written,
                                 LPOVERLAPPED overlapped) {
    FakeWin32 &f = fake();
    File *file = f.file(handle);
    if (!file || !overlapped) return FALSE;
    if (size != REPORT_SIZE) {
        f.misuse.push_back("a write of another size than the output report");
        f.lastError_ = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (!file->pending.empty()) f.misuse.push_back("a transfer started while another is pending");
    f.events_[overlapped->hEvent] = false;
    overlapped->Internal = kPending;
    Transfer transfer{overlapped, static_cast<unsigned char *>(const_cast<void *>(data)), true, -1,
                      false};
    if (!f.stallWrites) {
        transfer.written = f.busTransport_.writeReport(
            f.busTransport_.context, file->device, static_cast<const unsigned char *>(data), 0);
        if (transfer.written < 0) {
            f.lastError_ = ERROR_DEVICE_NOT_CONNECTED;
            return FALSE;
        }
    }
    file->pending.push_back(transfer);
    if (f.synchronous && !f.stallWrites) {
        f.complete(*file, transfer, 0, static_cast<DWORD>(transfer.written));
        *written = static_cast<DWORD>(transfer.written);
        return TRUE;
    }
    f.lastError_ = ERROR_IO_PENDING;  // the wait finds it done, or stalled
    return FALSE;
}

BOOL WINAPI FakeWin32::readFile(HANDLE handle, LPVOID data, DWORD size, LPDWORD read,
                                LPOVERLAPPED overlapped) {
    FakeWin32 &f = fake();
    ++f.readCalls;
    File *file = f.file(handle);
    if (!file || !overlapped) return FALSE;
    if (size < (f.numberedReports ? REPORT_SIZE : REPORT_SIZE + 1)) {
        f.misuse.push_back("a read buffer smaller than the input report");
        f.lastError_ = ERROR_INVALID_USER_BUFFER;
        return FALSE;
    }
    if (!file->pending.empty()) f.misuse.push_back("a transfer started while another is pending");
    f.events_[overlapped->hEvent] = false;
    overlapped->Internal = kPending;
    auto *buffer = static_cast<unsigned char *>(data);
    const Transfer transfer{overlapped, buffer, false, 0, false};
    file->pending.push_back(transfer);
    if (f.synchronous) {
        int got = 0;
        const DWORD moved = f.deliver(file->device, buffer, 0, got);
        if (got == REPORT_SIZE) {
            f.complete(*file, transfer, 0, moved);
            *read = moved;
            return TRUE;
        }
    }
    f.lastError_ = ERROR_IO_PENDING;
    return FALSE;
}

DWORD WINAPI FakeWin32::waitForSingleObject(HANDLE object, DWORD waitMs) {
    FakeWin32 &f = fake();
    f.waits.push_back(waitMs);
    const auto event = f.events_.find(object);
    if (event == f.events_.end()) {
        f.misuse.push_back("waited on something that is not an event");
        return WAIT_FAILED;
    }
    if (event->second) return WAIT_OBJECT_0;
    for (auto &[handle, file] : f.files_)
        for (const Transfer transfer : file.pending) {
            if (transfer.overlapped->hEvent != object || transfer.stuck) continue;
            if (transfer.write) {
                if (transfer.written < 0) break;  // stalled: the wait runs out
                f.complete(file, transfer, 0, static_cast<DWORD>(transfer.written));
                return WAIT_OBJECT_0;
            }
            int got = 0;
            const DWORD moved = f.deliver(file.device, transfer.buffer, waitMs, got);
            if (got == 0) return WAIT_TIMEOUT;  // the bus has let the wait run out
            f.complete(file, transfer, got < 0 ? ERROR_DEVICE_NOT_CONNECTED : 0, moved);
            return WAIT_OBJECT_0;
        }
    f.busTransport_.sleepMs(f.busTransport_.context, waitMs);
    return WAIT_TIMEOUT;
}

BOOL WINAPI FakeWin32::getOverlappedResult(HANDLE, LPOVERLAPPED overlapped, LPDWORD transferred,
                                           BOOL wait) {
    FakeWin32 &f = fake();
    if (wait) f.misuse.push_back("an unbounded wait for a transfer");
    if (overlapped->Internal == kPending) {
        f.lastError_ = ERROR_IO_INCOMPLETE;
        return FALSE;
    }
    if (overlapped->Internal != 0) {
        f.lastError_ = static_cast<DWORD>(overlapped->Internal);
        return FALSE;
    }
    *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    return TRUE;
}

BOOL WINAPI FakeWin32::cancelIoEx(HANDLE handle, LPOVERLAPPED overlapped) {
    FakeWin32 &f = fake();
    ++f.cancels;
    File *file = f.file(handle);
    if (!file) return FALSE;
    for (Transfer &transfer : file->pending) {
        if (transfer.overlapped != overlapped) continue;
        if (f.cancel == Cancel::IsIgnored) {
            transfer.stuck = true;
            return TRUE;
        }
        if (f.cancel == Cancel::CompletesFirst) {
            int got = 0;
            DWORD moved = 0;
            if (transfer.write)
                got = f.busTransport_.writeReport(f.busTransport_.context, file->device,
                                                  transfer.buffer, 0);
            else
                moved = f.deliver(file->device, transfer.buffer, 0, got);
            if (got > 0) {
                f.complete(*file, transfer, 0, transfer.write ? static_cast<DWORD>(got) : moved);
                return TRUE;
            }
        }
        f.complete(*file, transfer, ERROR_OPERATION_ABORTED, 0);
        return TRUE;
    }
    f.lastError_ = ERROR_NOT_FOUND;
    return FALSE;
}

DWORD WINAPI FakeWin32::getLastError() { return fake().lastError_; }

// --- Time -----------------------------------------------------------------

DWORD WINAPI FakeWin32::getTickCount() {
    FakeWin32 &f = fake();
    return f.busTransport_.tickMs(f.busTransport_.context);
}

void WINAPI FakeWin32::sleep(DWORD ms) {
    FakeWin32 &f = fake();
    f.busTransport_.sleepMs(f.busTransport_.context, ms);
}

}  // namespace tessaro::testing
