// The Win32 services behind the Windows HID transport, gathered in one table:
// the transport makes every system call through it, so its logic (enumeration,
// bounded waits, cancellation, report layout) runs against a fake of the
// system in the tests as well as against Windows itself.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: the setup and HID headers build on its types; the HID
// header of mingw-w64 declares its functions without C linkage.
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include "TessaroTransport.h"

namespace tessaro::link {

struct Win32Calls {
    // Device discovery.
    void(WINAPI *hidGetHidGuid)(GUID *guid);
    HDEVINFO(WINAPI *setupGetClassDevs)(const GUID *guid, PCWSTR enumerator, HWND parent,
                                        DWORD flags);
    BOOL(WINAPI *setupEnumDeviceInterfaces)(HDEVINFO set, PSP_DEVINFO_DATA info,
                                            const GUID *guid, DWORD member,
                                            PSP_DEVICE_INTERFACE_DATA data);
    BOOL(WINAPI *setupGetDeviceInterfaceDetail)(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                                PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                                DWORD size, PDWORD requiredSize,
                                                PSP_DEVINFO_DATA info);
    BOOL(WINAPI *setupDestroyDeviceInfoList)(HDEVINFO set);
    BOOLEAN(WINAPI *hidGetAttributes)(HANDLE file, PHIDD_ATTRIBUTES attributes);
    // Files, events and overlapped transfers.
    HANDLE(WINAPI *createFile)(LPCWSTR path, DWORD access, DWORD share,
                               LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                               HANDLE templateFile);
    HANDLE(WINAPI *createEvent)(LPSECURITY_ATTRIBUTES security, BOOL manualReset,
                                BOOL initialState, LPCWSTR name);
    BOOL(WINAPI *writeFile)(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                            LPOVERLAPPED overlapped);
    BOOL(WINAPI *readFile)(HANDLE file, LPVOID data, DWORD size, LPDWORD read,
                           LPOVERLAPPED overlapped);
    DWORD(WINAPI *waitForSingleObject)(HANDLE object, DWORD waitMs);
    BOOL(WINAPI *getOverlappedResult)(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred,
                                      BOOL wait);
    BOOL(WINAPI *cancelIoEx)(HANDLE file, LPOVERLAPPED overlapped);
    DWORD(WINAPI *getLastError)();
    BOOL(WINAPI *closeHandle)(HANDLE object);
    // Time.
    DWORD(WINAPI *getTickCount)();
    void(WINAPI *sleep)(DWORD ms);
};

// The system's own services.
const Win32Calls &systemWin32Calls();

// The Windows HID transport making its calls through `calls`, which must
// outlive it (platformTransport() is this over systemWin32Calls()).
TessaroTransport win32Transport(const Win32Calls *calls);

// Brings a read of `got` bytes to the link's layout (byte 0 the report id,
// byte 1 the count) and returns the count the transport reports, 64 when
// complete. Windows hands every input report over with its report id first:
// a reader with numbered reports gives 64 bytes that already have the link's
// layout; one that numbers none gives a zero id and then its 64 bytes, and the
// zero is dropped, as hidapi does.
int normaliseWin32InputReport(const unsigned char *raw, int got, unsigned char *report);

}  // namespace tessaro::link
