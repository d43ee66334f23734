// Integration tests: libTessaro.so against the simulated reader of
// libTessaroSim.so, on the simulator's virtual clock. Only public headers.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Tessaro.h"
#include "TessaroRecords.h"
#include "TessaroSim.h"

namespace tessaro::simtest {

using Bytes = std::vector<unsigned char>;

// "E280 1105" -> bytes (blanks ignored).
Bytes hex(const std::string &digits);

// A command frame: Len, Adr, Cmd, data, CRC (appended by the library's GetCRC).
Bytes commandFrame(unsigned char adr, unsigned char cmd, const Bytes &data = {});

// The decoded records of an EPC-ID list; fails the test if it does not decode.
std::vector<TessaroTagRecord> records(const unsigned char *list, int length);
std::string hexOf(const unsigned char *bytes, int length);

// One tag of an inventory's EPC-ID list, decoded.
struct SeenTag {
    std::string epc;
    std::string tid;
    int rssi;
    int antenna;
};

// The arguments of Inventory_G2 beyond Q and session.
struct InventoryArgs {
    bool mask = false;
    int maskMem = 1;
    Bytes maskAddress = {0x00, 0x20};
    int maskLength = 0;
    Bytes maskData = Bytes(32, 0);
    bool tid = false;
    int tidAddress = 0;
    int tidLength = 0;
    bool target = false;
    int antenna = 0;
    int scanTime = 0;
};

struct Inventory {
    int result = -1;
    int tagCount = -1;
    int totalLength = -1;
    unsigned char antenna = 0;
    std::vector<SeenTag> tags;
    std::vector<std::string> epcs() const;
};

// Decodes an EPC-ID list; fails the test when it does not decode to its end.
std::vector<SeenTag> decodeList(const unsigned char *list, int length);

// The 96-bit EPC 3000...0000 + number, in hex.
std::string numberedEpc(int number);

// One simulated reader on a virtual clock, driven through the simulator's own
// functions: the simulator is not installed and no port is open.
class SimBus : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Adds a tag (a population line); fails the test when it is refused.
    int addTag(const std::string &line);
    // Adds `count` Gen2 tags with EPCs numberedEpc(0), numberedEpc(1), ...
    void addNumberedTags(int count);

    TessaroSimReaderState state();
    void setState(const TessaroSimReaderState &s);
    TessaroSimTagState tagState(int tag);
    Bytes memory(int tag, int bank);
    TessaroSimCounters counters();

    TessaroSim *sim = nullptr;
    int reader = -1;
};

// The same reader installed as the library's transport and opened at port 1.
class SimTest : public SimBus {
protected:
    void SetUp() override;

    // Virtual milliseconds `call` took.
    unsigned elapsedMs(const std::function<void()> &call);

    // GetReaderInformation into `info`: version (2 bytes), then the ten single
    // bytes, each 0xEE unless the library wrote it. Returns its result.
    int readerInformation(Bytes &info);

    // Inventory_G2 with Q 4, session 0.
    Inventory inventory(const InventoryArgs &args = {});

    int port = 0;
    unsigned char address = 0x00;
};

}  // namespace tessaro::simtest
