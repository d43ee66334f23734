// Reader information and the configuration commands against arbitrary
// answers: every command with outputs, and the setters whose answers follow
// the four acceptance rules, each output allocated at its documented size.
#include "Tessaro.h"
#include "fuzz_reader.h"

using namespace tessaro::fuzz;

namespace {

// `n` separate single-byte outputs.
struct Bytes1 {
    explicit Bytes1(int n) : n(n) {
        for (int i = 0; i < n; ++i) p[i] = heapBytes(1);
    }
    unsigned char *operator[](int i) const { return p[i].get(); }
    int n;
    std::unique_ptr<unsigned char[]> p[12];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Head head;
    const int port = openFuzzReader(data, size, head);
    if (port < 0) return 0;
    const auto address = heapBytes(1, 0x00);
    const Bytes1 b(12);

    switch (head.selector() % 20) {
    case 0: {
        const auto version = heapBytes(2);
        GetReaderInformation(address.get(), version.get(), b[0], b[1], b[2], b[3], b[4], b[5],
                             b[6], b[7], b[8], b[9], port);
        break;
    }
    case 1: {
        const auto maskAddress = heapBytes(2), maskData = heapBytes(32);
        GetSystemParameter(address.get(), b[0], b[1], b[2], b[3], b[4], b[5], b[6],
                           maskAddress.get(), b[7], maskData.get(), b[8], b[9], b[10], port);
        break;
    }
    case 2: GetRevDelay(address.get(), b[0], port); break;
    case 3: SetTagCustomFunction(address.get(), b[0], port); break;
    case 4: {
        const auto maskAddress = heapBytes(2);
        const auto maskData = heapBytes((head.lowByte(1) + 7) / 8);
        SetMask(address.get(), head.arg(0), maskAddress.get(), head.arg(1), maskData.get(), port);
        break;
    }
    case 5: {
        const auto clock = heapBytes(6);
        GetTime(address.get(), clock.get(), port);
        break;
    }
    case 6: GetGPIOStatus(address.get(), b[0], port); break;
    case 7: {
        const auto serial = heapBytes(4);
        GetSeriaNo(address.get(), serial.get(), port);
        break;
    }
    case 8: GetWorkTime(address.get(), b[0], b[1], port); break;
    case 9: {
        const auto version = heapBytes(2);
        GetModuleVersion(address.get(), version.get(), port);
        break;
    }
    case 10:
        InSelfTestMode(head.arg(0) == 0 ? nullptr : address.get(), head.arg(0), port);
        break;
    case 11: GetDAC(address.get(), b[0], port); break;
    case 12:
        GetStartInformation(address.get(), b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8],
                            port);
        break;
    case 13: {
        const auto ad = heapBytes(2);
        GetADValue(address.get(), head.arg(0), ad.get(), port);
        break;
    }
    case 14: {
        const auto adjust = heapBytes(148);
        GetAdjustPara(address.get(), adjust.get(), port);
        break;
    }
    case 15: {
        const auto pwr1 = heapBytes(2), pwr2 = heapBytes(2);
        GetCheckPWR(address.get(), pwr1.get(), pwr2.get(), port);
        break;
    }
    case 16: GetQS(address.get(), b[0], b[1], port); break;
    case 17: GetHidWorkPara(address.get(), b[0], b[1], b[2], b[3], b[4], b[5], port); break;
    case 18: GetHidBeepEn(address.get(), b[0], port); break;
    default:
        SetRegion(address.get(), head.arg(0), head.arg(1), port);
        SetAddress(address.get(), head.arg(2), port);
        SetWorkTime(address.get(), head.arg(3), head.arg(4), port);
        break;
    }
    return 0;
}
