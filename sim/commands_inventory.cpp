// Gen2 inventories and the reader's tag buffer: Inventory_G2 (0x01),
// Fast_EPC_Inventory_G2 (0x00), SingleTagInventory_G2 (0x0F),
// InventoryBuffer_G2 (0x18), the save length (0x70, 0x71), ReadBuffer_G2
// (0x72), ClearBuffer_G2 (0x73, and ClearTagBuffer 0x44), GetBufferCnt_G2 (0x74).
//
// An inventory takes time: the reader finds one tag after another, streams a
// frame as soon as it is full, and answers polls with empty reports in
// between. When the scan time runs out first, the tags found so far come back
// with status 2.
#include <algorithm>

#include "TessaroRecords.h"
#include "commands.h"

namespace tessaro::sim {

namespace {

constexpr unsigned kRoundStartMs = 20;  // before the first tag
constexpr unsigned kPerTagMs = 4;       // each tag singulated and read
// Records per frame: the data after Antenna and Count.
constexpr std::size_t kInventoryRecordBytes = kMaxAnswerData - 2;
// Read-out frames: the data after Count.
constexpr std::size_t kReadOutRecordBytes = kMaxAnswerData - 1;

struct InventoryRequest {
    bool mask = false;
    std::uint8_t maskBank = 0;
    unsigned maskAddress = 0;
    unsigned maskLength = 0;
    const std::uint8_t *maskBytes = nullptr;
    bool tid = false;
    std::uint8_t tidAddress = 0;
    std::uint8_t tidLength = 0;
    bool target = false;
    std::uint8_t antenna = 0;
    std::uint8_t scanTime = 0;
};

// The optional blocks after Q and session carry no flags: the reader tells
// them apart by the frame's length. Only seven data bytes can be read two
// ways (a TID and a target block, or a mask of 1 to 8 bits); the mask wins.
bool readBlocks(Cursor &data, InventoryRequest &request) {
    data.byte();  // Q: the simulated reader needs no slot count
    data.byte();  // session: accepted; tags keep no inventoried flags here
    const std::size_t rest = data.remaining();
    const std::size_t maskBytes = (data.peek(3) + 7u) / 8u;
    auto isTail = [](std::size_t n) { return n == 0 || n == 2 || n == 3 || n == 5; };
    std::size_t tail = rest;
    if (rest >= 4 + maskBytes && isTail(rest - 4 - maskBytes)) {
        request.mask = true;
        request.maskBank = data.byte();
        request.maskAddress = data.word();
        request.maskLength = data.byte();
        request.maskBytes = data.take(maskBytes);
        tail = rest - 4 - maskBytes;
    }
    if (!isTail(tail)) return false;
    if (tail == 2 || tail == 5) {
        request.tid = true;
        request.tidAddress = data.byte();
        request.tidLength = data.byte();
    }
    if (tail >= 3) {
        request.target = true;
        data.byte();  // target A/B: accepted
        request.antenna = data.byte();
        request.scanTime = data.byte();
    }
    return data.complete();
}

struct Seen {
    Bytes epc;
    Bytes tid;
    int rssi;
    int antenna;
    unsigned atMs;  // when the reader had read it
};

struct Round {
    std::vector<Seen> seen;
    bool overflow = false;
    unsigned durationMs = 0;
};

// One inventory round over the field. False when it was answered already
// (a mask on a bank that does not exist).
bool runRound(Reader &reader, const InventoryRequest &request, Round &round, Reply &reply) {
    if (request.mask && request.maskBank > kUserBank) {
        reply.answer(TESSARO_SIM_STATUS_PARAMETER);
        return false;
    }
    const Air air = reader.air(request.target ? request.antenna : 0);
    const unsigned scanUnits = request.target && request.scanTime >= 3 ? request.scanTime : reader.state.scanTime;
    const unsigned scanMs = 100u * scanUnits;
    unsigned at = kRoundStartMs;
    for (FieldTag *tag : answering(reader.tags, air, TESSARO_SIM_GEN2)) {
        const Gen2Tag &gen2 = tag->gen2;
        if (request.mask && !gen2.matches(request.maskBank, request.maskAddress, request.maskLength, request.maskBytes))
            continue;
        Bytes tid;
        // A tag whose TID cannot give the words asked for is not reported.
        if (request.tid && request.tidLength > 0 &&
            !gen2.read(kTidBank, request.tidAddress, request.tidLength, TagAccess::Open, tid).isOk())
            continue;
        if (at + kPerTagMs > scanMs) {
            round.overflow = true;
            break;
        }
        at += kPerTagMs;
        round.seen.push_back({gen2.epc(), tid, air.rssiOf(*tag), tag->antenna, at});
    }
    round.durationMs = round.overflow ? scanMs : at;
    return true;
}

void appendRecord(Bytes &out, const Bytes &epc, const Bytes &tid, int rssi, int antenna) {
    out.push_back(static_cast<std::uint8_t>(epc.size() + tid.size() + TESSARO_RECORD_OVERHEAD - 1));
    out.push_back(static_cast<std::uint8_t>(epc.size()));
    out.insert(out.end(), epc.begin(), epc.end());
    out.insert(out.end(), tid.begin(), tid.end());
    out.push_back(static_cast<std::uint8_t>(rssi));
    out.push_back(static_cast<std::uint8_t>(antenna));
}

std::size_t recordSize(const Seen &tag) { return tag.epc.size() + tag.tid.size() + TESSARO_RECORD_OVERHEAD; }

// Inventory frames: Antenna (bit k = antenna k + 1), Count, records. A frame
// holds the tags of one antenna; every frame but the last has status 3.
void streamRound(const Round &round, Reply &reply) {
    if (round.seen.empty()) {
        if (round.overflow)
            reply.answer(TESSARO_SIM_STATUS_SCAN_OVERFLOW, {0, 0}, round.durationMs);
        else
            reply.answer(TESSARO_SIM_STATUS_NO_TAG, {}, round.durationMs);
        return;
    }
    std::size_t first = 0;
    while (first < round.seen.size()) {
        const int antenna = round.seen[first].antenna;
        Bytes records;
        std::size_t next = first;
        while (next < round.seen.size() && round.seen[next].antenna == antenna &&
               records.size() + recordSize(round.seen[next]) <= kInventoryRecordBytes) {
            const Seen &tag = round.seen[next++];
            appendRecord(records, tag.epc, tag.tid, tag.rssi, tag.antenna);
        }
        const bool last = next == round.seen.size();
        Bytes data = {static_cast<std::uint8_t>(1u << (antenna - 1)), static_cast<std::uint8_t>(next - first)};
        data.insert(data.end(), records.begin(), records.end());
        const std::uint8_t status = !last ? TESSARO_SIM_STATUS_MORE_FRAMES
                                          : round.overflow ? TESSARO_SIM_STATUS_SCAN_OVERFLOW
                                                           : TESSARO_SIM_STATUS_INVENTORY_DONE;
        reply.answer(status, data, last ? round.durationMs : round.seen[next - 1].atMs);
        first = next;
    }
}

// Q, session and the blocks; false (answered) when the length fits no layout.
bool readInventory(Cursor &data, InventoryRequest &request, Reply &reply) {
    if (readBlocks(data, request)) return true;
    reply.answer(TESSARO_SIM_STATUS_LENGTH);
    return false;
}

void inventory(Reader &reader, Cursor &data, Reply &reply) {
    InventoryRequest request;
    if (!readInventory(data, request, reply)) return;
    Round round;
    if (runRound(reader, request, round, reply)) streamRound(round, reply);
}

void fastInventory(Reader &reader, Cursor &data, Reply &reply) {
    InventoryRequest request;
    data.byte();  // Q
    data.byte();  // session
    data.byte();  // target
    request.target = true;
    request.antenna = data.byte();
    request.scanTime = data.byte();
    if (!readWhole(data, reply)) return;
    Round round;
    if (runRound(reader, request, round, reply)) streamRound(round, reply);
}

// Status 1 with the EPC's length in bytes and the EPC of the strongest tag.
void singleTagInventory(Reader &reader, Cursor &data, Reply &reply) {
    if (!readWhole(data, reply)) return;
    const Air air = reader.air();
    const FieldTag *tag = strongest(answering(reader.tags, air, TESSARO_SIM_GEN2), air);
    if (!tag) {
        reply.answer(TESSARO_SIM_STATUS_NO_TAG);
        return;
    }
    const Bytes epc = tag->gen2.epc();
    Bytes answer = {static_cast<std::uint8_t>(epc.size())};
    answer.insert(answer.end(), epc.begin(), epc.end());
    reply.answer(TESSARO_SIM_STATUS_INVENTORY_DONE, answer);
}

// --- The tag buffer -----------------------------------------------------

// Save length 0 keeps IDs (EPC and TID together) of up to 128 bits, 1 up to 496.
std::size_t savedBytes(const Reader &reader) { return reader.state.saveLength == 0 ? 16 : 62; }

void addToBuffer(Reader &reader, const Seen &tag) {
    const std::size_t room = savedBytes(reader);
    BufferedTag saved;
    saved.epc.assign(tag.epc.begin(), tag.epc.begin() + static_cast<long>(std::min(room, tag.epc.size())));
    const std::size_t tidRoom = room - saved.epc.size();
    saved.tid.assign(tag.tid.begin(), tag.tid.begin() + static_cast<long>(std::min(tidRoom, tag.tid.size())));
    saved.rssi = tag.rssi;
    saved.antenna = tag.antenna;
    for (const BufferedTag &known : reader.buffer)
        if (known.epc == saved.epc && known.tid == saved.tid) return;
    reader.buffer.push_back(saved);
}

Bytes twoBytes(std::size_t value) {
    Bytes out;
    appendWord(out, static_cast<unsigned>(std::min<std::size_t>(value, 0xFFFF)));
    return out;
}

// Answers, once the round is over: tags in the buffer, tags read this round.
void inventoryBuffer(Reader &reader, Cursor &data, Reply &reply) {
    InventoryRequest request;
    if (!readInventory(data, request, reply)) return;
    Round round;
    if (!runRound(reader, request, round, reply)) return;
    for (const Seen &tag : round.seen) addToBuffer(reader, tag);
    Bytes counts = twoBytes(reader.buffer.size());
    const Bytes seen = twoBytes(round.seen.size());
    counts.insert(counts.end(), seen.begin(), seen.end());
    reply.answer(round.seen.empty() ? TESSARO_SIM_STATUS_NO_TAG : 0, counts, round.durationMs);
}

// Read-out frames: Count, records; status 3 until the last, which has 1.
// The buffer keeps its tags until it is cleared.
void readBuffer(Reader &reader, Cursor &data, Reply &reply) {
    if (!readWhole(data, reply)) return;
    std::size_t next = 0;
    do {
        Bytes records;
        std::size_t count = 0;
        for (; next < reader.buffer.size(); ++next, ++count) {
            const BufferedTag &tag = reader.buffer[next];
            if (records.size() + tag.epc.size() + tag.tid.size() + TESSARO_RECORD_OVERHEAD > kReadOutRecordBytes)
                break;
            appendRecord(records, tag.epc, tag.tid, tag.rssi, tag.antenna);
        }
        Bytes frame = {static_cast<std::uint8_t>(count)};
        frame.insert(frame.end(), records.begin(), records.end());
        const bool last = next == reader.buffer.size();
        reply.answer(last ? TESSARO_SIM_STATUS_INVENTORY_DONE : TESSARO_SIM_STATUS_MORE_FRAMES, frame);
    } while (next < reader.buffer.size());
}

void clearBuffer(Reader &reader, Cursor &data, Reply &reply) {
    if (!readWhole(data, reply)) return;
    reader.buffer.clear();
    reply.answer(0);
}

void bufferCount(Reader &reader, Cursor &data, Reply &reply) {
    if (readWhole(data, reply)) reply.answer(0, twoBytes(reader.buffer.size()));
}

void setSaveLength(Reader &reader, Cursor &data, Reply &reply) {
    const std::uint8_t saveLength = data.byte();
    if (!readWhole(data, reply)) return;
    if (saveLength > 1) {
        reply.answer(TESSARO_SIM_STATUS_PARAMETER);
        return;
    }
    reader.state.saveLength = saveLength;
    reply.answer(0);
}

void getSaveLength(Reader &reader, Cursor &data, Reply &reply) {
    if (readWhole(data, reply)) reply.answer(0, {reader.state.saveLength});
}

}  // namespace

void addInventoryCommands(CommandTable &table) {
    table[0x00] = fastInventory;
    table[0x01] = inventory;
    table[0x0F] = singleTagInventory;
    table[0x18] = inventoryBuffer;
    table[0x44] = clearBuffer;  // ClearTagBuffer
    table[0x70] = setSaveLength;
    table[0x71] = getSaveLength;
    table[0x72] = readBuffer;
    table[0x73] = clearBuffer;  // ClearBuffer_G2
    table[0x74] = bufferCount;
}

}  // namespace tessaro::sim
