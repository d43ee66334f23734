// The 32-bit DLLs called the way VB6, .NET's DllImport and Delphi call them:
// each function looked up by its undecorated name with GetProcAddress, its
// arguments pushed, and nothing taken off the stack by the caller afterwards.
// Each call measures how many bytes of arguments are still on the stack when
// the function returns: none for a __stdcall function, all of them for one
// that leaves the cleanup to its caller.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

// Constants and types only: nothing of the libraries is linked.
#include "Tessaro.h"
#include "TessaroSim.h"
#include "TessaroTiming.h"

namespace {

struct Call {
    std::uint32_t result;
    std::uint32_t leftBytes;  // argument bytes still on the stack after the return
};

// Pushes `args` right to left, calls `function`, and restores the stack
// pointer whatever the function did to it.
__attribute__((noinline)) Call callPushing(FARPROC function,
                                           const std::vector<std::uint32_t> &args) {
    std::uint32_t result;
    std::uint32_t count = static_cast<std::uint32_t>(args.size());
    asm volatile(
        "movl %%esp, %%edi\n\t"
        "jecxz 2f\n\t"
        "1:\n\t"
        "pushl -4(%%esi,%%ecx,4)\n\t"
        "loop 1b\n\t"
        "2:\n\t"
        "call *%%ebx\n\t"
        "movl %%edi, %%ecx\n\t"
        "subl %%esp, %%ecx\n\t"
        "movl %%edi, %%esp\n\t"
        : "=a"(result), "+c"(count)
        : "b"(function), "S"(args.data())
        : "edi", "edx", "memory", "cc");
    return {result, count};
}

template <class T>
std::uint32_t arg(T *pointer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

class Stdcall : public ::testing::Test {
protected:
    void SetUp() override {
        tessaro = LoadLibraryA("Tessaro.dll");
        sim = LoadLibraryA("TessaroSim.dll");
        ASSERT_NE(tessaro, nullptr);
        ASSERT_NE(sim, nullptr);
    }
    void TearDown() override {
        FreeLibrary(sim);
        FreeLibrary(tessaro);
    }

    // Calls `name` of either DLL; expects it to clean up `leftBytes` bytes less
    // than it was given (0: it removed all of them).
    Call call(const char *name, std::initializer_list<std::uint32_t> args,
              std::uint32_t leftBytes = 0) {
        FARPROC function = GetProcAddress(tessaro, name);
        if (!function) function = GetProcAddress(sim, name);
        if (!function) {
            ADD_FAILURE() << name << " is not exported under that name";
            return {0xFFFFFFFF, 0};
        }
        const Call done = callPushing(function, args);
        EXPECT_EQ(done.leftBytes, leftBytes) << name << " returned with the stack pointer off";
        return done;
    }

    HMODULE tessaro = nullptr;
    HMODULE sim = nullptr;
};

const unsigned char kEpc[12] = {0x30, 0x08, 0x33, 0xB2, 0xDD, 0xD9,
                                0x01, 0x40, 0x00, 0x00, 0x00, 0x01};

TEST_F(Stdcall, ReaderSessionOnTheSimulator) {
    const std::uint32_t bus = call("TessaroSimCreate", {TESSARO_SIM_VIRTUAL_CLOCK}).result;
    ASSERT_NE(bus, 0u);
    const std::uint32_t reader = call("TessaroSimAddReader", {bus}).result;
    char error[128] = "";
    const char *tag = "gen2 epc=300833B2DDD9014000000001";
    EXPECT_EQ(call("TessaroSimAddTag", {bus, reader, arg(tag), arg(error), sizeof error}).result,
              0u)
        << error;
    EXPECT_EQ(call("TessaroSimInstall", {bus}).result, 0u);

    int port = 0;
    ASSERT_EQ(call("OpenUSBPort", {arg(&port)}).result, 0u);
    unsigned char address = 0xFF, version[2] = {}, info[10] = {};
    EXPECT_EQ(call("GetReaderInformation",
                   {arg(&address), arg(version), arg(&info[0]), arg(&info[1]), arg(&info[2]),
                    arg(&info[3]), arg(&info[4]), arg(&info[5]), arg(&info[6]), arg(&info[7]),
                    arg(&info[8]), arg(&info[9]), static_cast<std::uint32_t>(port)})
                  .result,
              0u);

    std::vector<unsigned char> list(EPC_LIST_MAX_BYTES);
    unsigned char none[32] = {}, antenna = 0;
    int totalLength = 0, tagCount = 0;
    const std::uint32_t status =
        call("Inventory_G2", {arg(&address), 4, 0, 0, arg(none), 0, arg(none), 0, 0, 0, 0, 0, 0, 0,
                              0, arg(list.data()), arg(&antenna), arg(&totalLength),
                              arg(&tagCount), static_cast<std::uint32_t>(port)})
            .result;
    EXPECT_TRUE(status == 1 || status == 2) << status;
    EXPECT_EQ(tagCount, 1);
    EXPECT_EQ(call("TessaroDecodeTagRecordCount", {arg(list.data()),
                                                   static_cast<std::uint32_t>(totalLength)})
                  .result,
              1u);

    unsigned char password[4] = {}, data[12] = {};
    int errorCode = 0;
    EXPECT_EQ(call("ReadData_G2", {arg(&address), arg(kEpc), 6, 1, 2, 6, arg(password), 0,
                                   arg(none), 0, arg(none), arg(data), arg(&errorCode),
                                   static_cast<std::uint32_t>(port)})
                  .result,
              0u);
    EXPECT_EQ(std::memcmp(data, kEpc, sizeof kEpc), 0);

    EXPECT_EQ(call("CloseUSBPort", {static_cast<std::uint32_t>(port)}).result, 0u);
    EXPECT_EQ(call("TessaroSetTransport", {0}).result, 0u);
    call("TessaroSimDestroy", {bus});
}

TEST_F(Stdcall, ExtensionsAndTheCxxNames) {
    // GetCRC keeps its C++ name, as on x64; TessaroCheckCRC is a C companion.
    unsigned char frame[5] = {0x04, 0x00, 0x21};
    call("_Z6GetCRCPhi", {arg(frame), 3});
    EXPECT_EQ(frame[3], 0xD9);
    EXPECT_EQ(frame[4], 0x6A);
    EXPECT_EQ(call("TessaroCheckCRC", {arg(frame), 5}).result, 0u);
    EXPECT_EQ(call("_Z14SendDataToPortPhji", {arg(frame), 5, 7}).result, 0u);  // never opened

    const auto text =
        reinterpret_cast<const char *>(call("TessaroReturnCodeText", {ERR_COMM}).result);
    EXPECT_EQ(std::strncmp(text, "ERR_COMM:", 9), 0);
    EXPECT_EQ(call("TessaroSetReportPause", {20}).result, 0u);
    EXPECT_EQ(call("TessaroGetReportPause", {}).result, 20u);
    EXPECT_EQ(call("TessaroSetReportPause", {TESSARO_REPORT_PAUSE_DEFAULT_MS}).result, 0u);
}

TEST_F(Stdcall, EntryPointsOfAnyArgumentListLeaveTheCleanupToTheCaller) {
    // They cannot know what was pushed: declared without parameters, a
    // stdcall caller pushes nothing and both conventions agree.
    EXPECT_EQ(call("SetBaudRate", {}).result, 0u);
    EXPECT_EQ(call("ChangeATMode", {1, 2}, 8).result, 0u);
    EXPECT_EQ(call("TransparentCMD", {1, 2, 3}, 12).result, 0u);
}

}  // namespace
