#include "sim_fixture.h"

#include <algorithm>
#include <cstdio>

namespace tessaro::simtest {

Bytes hex(const std::string &digits) {
    Bytes out;
    std::string clean;
    for (char c : digits)
        if (c != ' ') clean += c;
    for (std::size_t i = 0; i + 1 < clean.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoi(clean.substr(i, 2), nullptr, 16)));
    return out;
}

std::string hexOf(const unsigned char *bytes, int length) {
    std::string out;
    char two[3];
    for (int i = 0; i < length; ++i) {
        std::snprintf(two, sizeof two, "%02X", bytes[i]);
        out += two;
    }
    return out;
}

Bytes commandFrame(unsigned char adr, unsigned char cmd, const Bytes &data) {
    Bytes frame(3 + data.size() + 2, 0);
    frame[0] = static_cast<unsigned char>(data.size() + 4);
    frame[1] = adr;
    frame[2] = cmd;
    std::copy(data.begin(), data.end(), frame.begin() + 3);
    GetCRC(frame.data(), static_cast<int>(frame.size() - 2));
    return frame;
}

std::vector<TessaroTagRecord> records(const unsigned char *list, int length) {
    std::vector<TessaroTagRecord> out;
    int offset = 0;
    TessaroTagRecord record;
    int result = 0;
    while ((result = TessaroNextTagRecord(list, length, &offset, &record)) == 1) out.push_back(record);
    EXPECT_EQ(result, 0) << "the EPC-ID list does not decode past offset " << offset;
    return out;
}

std::vector<std::string> Inventory::epcs() const {
    std::vector<std::string> out;
    for (const SeenTag &tag : tags) out.push_back(tag.epc);
    return out;
}

std::vector<SeenTag> decodeList(const unsigned char *list, int length) {
    std::vector<SeenTag> out;
    for (const TessaroTagRecord &r : records(list, length))
        out.push_back({hexOf(r.epc, r.epcLength), hexOf(r.tid, r.tidLength), r.rssi, r.antenna});
    return out;
}

Inventory SimTest::inventory(const InventoryArgs &args) {
    Inventory out;
    Bytes list(EPC_LIST_MAX_BYTES);
    out.result = Inventory_G2(&address, 4, 0, args.maskMem, args.maskAddress.data(), args.maskLength,
                              args.maskData.data(), args.mask ? 1 : 0, args.tidAddress, args.tidLength,
                              args.tid ? 1 : 0, 0, args.antenna, args.scanTime, args.target ? 1 : 0, list.data(),
                              &out.antenna, &out.totalLength, &out.tagCount, port);
    if (out.totalLength > 0) out.tags = decodeList(list.data(), out.totalLength);
    return out;
}

void SimBus::SetUp() {
    sim = TessaroSimCreate(TESSARO_SIM_VIRTUAL_CLOCK);
    ASSERT_NE(sim, nullptr);
    reader = TessaroSimAddReader(sim);
}

void SimBus::TearDown() { TessaroSimDestroy(sim); }

void SimTest::SetUp() {
    SimBus::SetUp();
    ASSERT_EQ(TessaroSimInstall(sim), 0);
    ASSERT_EQ(OpenUSBPort(&port), 0);
}

int SimBus::addTag(const std::string &line) {
    char error[256] = "";
    const int tag = TessaroSimAddTag(sim, reader, line.c_str(), error, sizeof error);
    EXPECT_GE(tag, 0) << line << ": " << error;
    return tag;
}

std::string numberedEpc(int number) {
    char epc[32];
    std::snprintf(epc, sizeof epc, "30000000000000000000%04X", number & 0xFFFF);
    return epc;
}

void SimBus::addNumberedTags(int count) {
    for (int i = 0; i < count; ++i) addTag("gen2 epc=" + numberedEpc(i));
}

TessaroSimReaderState SimBus::state() {
    TessaroSimReaderState s{};
    EXPECT_EQ(TessaroSimGetReaderState(sim, reader, &s), 0);
    return s;
}

void SimBus::setState(const TessaroSimReaderState &s) { EXPECT_EQ(TessaroSimSetReaderState(sim, reader, &s), 0); }

TessaroSimTagState SimBus::tagState(int tag) {
    TessaroSimTagState s{};
    EXPECT_EQ(TessaroSimGetTagState(sim, reader, tag, &s), 0);
    return s;
}

Bytes SimBus::memory(int tag, int bank) {
    Bytes out(512);
    const int length = TessaroSimReadTagMemory(sim, reader, tag, bank, out.data(), static_cast<int>(out.size()));
    EXPECT_GE(length, 0);
    out.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return out;
}

TessaroSimCounters SimBus::counters() {
    TessaroSimCounters c{};
    EXPECT_EQ(TessaroSimGetCounters(sim, reader, &c), 0);
    return c;
}

unsigned SimTest::elapsedMs(const std::function<void()> &call) {
    const unsigned start = TessaroSimNowMs(sim);
    call();
    return TessaroSimNowMs(sim) - start;
}

int SimTest::readerInformation(Bytes &info) {
    info.assign(12, 0xEE);
    return GetReaderInformation(&address, &info[0], &info[2], &info[3], &info[4], &info[5], &info[6], &info[7],
                                &info[8], &info[9], &info[10], &info[11], port);
}

}  // namespace tessaro::simtest
