// A fake of the Win32 services the Windows transport calls, over the scripted
// fake reader bus: its devices are the HID interfaces that SetupDi lists, and
// its clock is GetTickCount. Transfers are overlapped as the HID class driver
// makes them: ReadFile stays pending until the wait on its event finds a
// report (or the wait runs out, in virtual time), a cancelled transfer ends
// with ERROR_OPERATION_ABORTED. The fake also watches what Windows would not
// forgive: a handle closed twice, an event or file closed under a transfer
// still pending, a buffer too small for a report.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "fake_reader.h"
#include "link/win32_calls.h"

namespace tessaro::testing {

class FakeWin32 {
public:
    explicit FakeWin32(FakeBus &bus);  // the one fake the calls reach until destroyed
    ~FakeWin32();
    FakeWin32(const FakeWin32 &) = delete;
    FakeWin32 &operator=(const FakeWin32 &) = delete;

    static const link::Win32Calls calls;
    // The Windows transport over this fake.
    TessaroTransport transport() const { return link::win32Transport(&calls); }
    // The device path SetupDi gives for the bus device at `member`.
    static std::wstring devicePath(std::size_t member);

    // --- Behaviour ----------------------------------------------------------
    bool refuseDeviceSet = false;  // SetupDiGetClassDevsW fails
    bool refuseEvents = false;     // CreateEventW fails (no memory for one)
    // Members whose device path holds a lone UTF-16 surrogate: no UTF-8 form.
    std::set<std::size_t> unconvertiblePaths;
    bool numberedReports = true;   // false: input reports come as a zero id and 64 bytes
    bool synchronous = false;      // ReadFile and WriteFile finish before they return
    bool stallWrites = false;      // a write stays pending until cancelled
    enum class Cancel { Aborts, CompletesFirst, IsIgnored };
    Cancel cancel = Cancel::Aborts;  // what CancelIoEx does to a pending transfer

    // --- What the transport did ---------------------------------------------
    int deviceSetsOpen = 0;
    int createFileCalls = 0;
    int openFiles = 0;
    int openEvents = 0;
    int cancels = 0;
    std::vector<DWORD> waits;  // the timeouts passed to WaitForSingleObject, in order
    int readCalls = 0;
    std::vector<std::string> misuse;  // what Windows would not forgive

private:
    struct Transfer {
        OVERLAPPED *overlapped;
        unsigned char *buffer;
        bool write;
        int written;  // what a write moved once it ends; -1 while it stalls
        bool stuck;   // cancelled, and the cancel ignored
    };
    struct File {
        void *device;            // the bus device
        std::vector<Transfer> pending;
    };

    HANDLE newHandle();
    File *file(HANDLE handle);
    void complete(File &file, Transfer transfer, DWORD error, DWORD moved);
    // A report from the bus into `buffer` as the driver hands it over; its byte count.
    DWORD deliver(void *device, unsigned char *buffer, unsigned waitMs, int &got);

    // The Win32 calls.
    static void WINAPI getHidGuid(GUID *guid);
    static HDEVINFO WINAPI getClassDevs(const GUID *, PCWSTR, HWND, DWORD flags);
    static BOOL WINAPI enumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID *,
                                            DWORD member, PSP_DEVICE_INTERFACE_DATA data);
    static BOOL WINAPI getDeviceInterfaceDetail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                                PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                                DWORD size, PDWORD required, PSP_DEVINFO_DATA);
    static BOOL WINAPI destroyDeviceInfoList(HDEVINFO set);
    static BOOLEAN WINAPI getAttributes(HANDLE file, PHIDD_ATTRIBUTES attributes);
    static HANDLE WINAPI createFile(LPCWSTR path, DWORD access, DWORD share,
                                    LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                                    HANDLE);
    static HANDLE WINAPI createEvent(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState,
                                     LPCWSTR);
    static BOOL WINAPI writeFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                                 LPOVERLAPPED overlapped);
    static BOOL WINAPI readFile(HANDLE file, LPVOID data, DWORD size, LPDWORD read,
                                LPOVERLAPPED overlapped);
    static DWORD WINAPI waitForSingleObject(HANDLE object, DWORD waitMs);
    static BOOL WINAPI getOverlappedResult(HANDLE file, LPOVERLAPPED overlapped,
                                           LPDWORD transferred, BOOL wait);
    static BOOL WINAPI cancelIoEx(HANDLE file, LPOVERLAPPED overlapped);
    static DWORD WINAPI getLastError();
    static BOOL WINAPI closeHandle(HANDLE object);
    static DWORD WINAPI getTickCount();
    static void WINAPI sleep(DWORD ms);

    FakeBus &bus_;
    TessaroTransport busTransport_;
    DWORD lastError_ = 0;
    std::uintptr_t nextHandle_ = 0x1000;
    std::map<HANDLE, File> files_;
    std::map<HANDLE, bool> events_;  // signalled or not
    std::vector<HANDLE> deviceSets_;
};

}  // namespace tessaro::testing
