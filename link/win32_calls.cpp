#include "win32_calls.h"

namespace tessaro::link {

const Win32Calls &systemWin32Calls() {
    static const Win32Calls calls = {
        HidD_GetHidGuid,      SetupDiGetClassDevsW, SetupDiEnumDeviceInterfaces,
        SetupDiGetDeviceInterfaceDetailW,           SetupDiDestroyDeviceInfoList,
        HidD_GetAttributes,   CreateFileW,          CreateEventW,
        WriteFile,            ReadFile,             WaitForSingleObject,
        GetOverlappedResult,  CancelIoEx,           GetLastError,
        CloseHandle,          GetTickCount,         Sleep};
    return calls;
}

}  // namespace tessaro::link
