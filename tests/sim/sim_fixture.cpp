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

Bytes Answer::data() const {
    if (bytes.size() < 6) return {};
    return Bytes(bytes.begin() + 4, bytes.end() - 2);
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

std::vector<std::string> SimTest::inventoryByMask(int bank, unsigned bitAddress, int bitLength, const Bytes &mask) {
    InventoryArgs args;
    args.mask = true;
    args.maskMem = bank;
    args.maskAddress = {static_cast<unsigned char>(bitAddress >> 8), static_cast<unsigned char>(bitAddress & 0xFF)};
    args.maskLength = bitLength;
    std::copy(mask.begin(), mask.end(), args.maskData.begin());
    const Inventory result = inventory(args);
    EXPECT_TRUE(result.result == 1 || result.result == TESSARO_SIM_STATUS_NO_TAG) << result.result;
    return result.epcs();
}

void SimTest::SetUp() {
    sim = TessaroSimCreate(TESSARO_SIM_VIRTUAL_CLOCK);
    ASSERT_NE(sim, nullptr);
    reader = TessaroSimAddReader(sim);
    ASSERT_EQ(TessaroSimInstall(sim), 0);
    ASSERT_EQ(OpenUSBPort(&port), 0);
}

void SimTest::TearDown() { TessaroSimDestroy(sim); }

int SimTest::addTag(const std::string &line) {
    char error[256] = "";
    const int tag = TessaroSimAddTag(sim, reader, line.c_str(), error, sizeof error);
    EXPECT_GE(tag, 0) << line << ": " << error;
    return tag;
}

std::string SimTest::numberedEpc(int number) {
    char epc[32];
    std::snprintf(epc, sizeof epc, "30000000000000000000%04X", number & 0xFFFF);
    return epc;
}

void SimTest::addNumberedTags(int count, const std::string &extra) {
    for (int i = 0; i < count; ++i) addTag("gen2 epc=" + numberedEpc(i) + " " + extra);
}

TessaroSimReaderState SimTest::state() {
    TessaroSimReaderState s{};
    EXPECT_EQ(TessaroSimGetReaderState(sim, reader, &s), 0);
    return s;
}

void SimTest::setState(const TessaroSimReaderState &s) { EXPECT_EQ(TessaroSimSetReaderState(sim, reader, &s), 0); }

TessaroSimTagState SimTest::tagState(int tag) {
    TessaroSimTagState s{};
    EXPECT_EQ(TessaroSimGetTagState(sim, reader, tag, &s), 0);
    return s;
}

Bytes SimTest::memory(int tag, int bank) {
    Bytes out(512);
    const int length = TessaroSimReadTagMemory(sim, reader, tag, bank, out.data(), static_cast<int>(out.size()));
    EXPECT_GE(length, 0);
    out.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return out;
}

TessaroSimCounters SimTest::counters() {
    TessaroSimCounters c{};
    EXPECT_EQ(TessaroSimGetCounters(sim, reader, &c), 0);
    return c;
}

unsigned SimTest::elapsedMs(const std::function<void()> &call) {
    const unsigned start = TessaroSimNowMs(sim);
    call();
    return TessaroSimNowMs(sim) - start;
}

Answer SimTest::exchange(const Bytes &frame) {
    Bytes copy = frame;
    SendDataToPort(copy.data(), static_cast<unsigned>(copy.size()), port);
    Answer answer;
    Bytes response(RESPONSE_BUFFER_SIZE);
    int length = 0;
    answer.result = GetDataFromPort(response.data(), &length, port);
    if (answer.result == 0) answer.bytes.assign(response.begin(), response.begin() + length);
    return answer;
}

}  // namespace tessaro::simtest
