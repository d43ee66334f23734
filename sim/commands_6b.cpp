// ISO 18000-6B commands: InventorySingle_6B (0x50), InventoryMultiple_6B
// (0x51), ReadData_6B (0x52), WriteData_6B (0x53), CheckLock_6B (0x54),
// Lock_6B (0x55). A tag is named by its 8-byte identifier.
#include "commands.h"

namespace tessaro::sim {

namespace {

// Bytes one read may ask for: the answer must fit one frame.
constexpr unsigned kMaxReadBytes = 240;
// Identifiers one group answer carries, after its two leading bytes.
constexpr std::size_t kMaxGroupTags = (kMaxAnswerData - 2) / kIso6bIdBytes;

std::uint8_t antennaBit(const FieldTag &tag) { return static_cast<std::uint8_t>(1u << (tag.antenna - 1)); }

// Data: 1 (tags in this answer), identifier, RSSI, antenna number.
void inventorySingle(Reader &reader, Cursor &data, Reply &reply) {
    if (!readWhole(data, reply)) return;
    const Air air = reader.air();
    const FieldTag *tag = strongest(answering(reader.tags, air, TESSARO_SIM_6B), air);
    if (!tag) {
        reply.answer(TESSARO_SIM_STATUS_NO_TAG);
        return;
    }
    Bytes answer = {1};
    const Bytes id = tag->iso6b.id();
    answer.insert(answer.end(), id.begin(), id.end());
    answer.push_back(static_cast<std::uint8_t>(air.rssiOf(*tag)));
    answer.push_back(static_cast<std::uint8_t>(tag->antenna));
    reply.answer(0, answer);
}

// Data: the antennas that saw tags (bit k = antenna k + 1), the number of
// tags, their identifiers.
void inventoryMultiple(Reader &reader, Cursor &data, Reply &reply) {
    const std::uint8_t condition = data.byte();
    const std::uint8_t address = data.byte();
    const std::uint8_t byteMask = data.byte();
    const std::uint8_t *compare = data.take(kIso6bIdBytes);
    if (!readWhole(data, reply)) return;
    if (condition > 3) {
        reply.answer(TESSARO_SIM_STATUS_PARAMETER);
        return;
    }
    Bytes answer(2, 0);  // antennas, count
    std::size_t count = 0;
    for (const FieldTag *tag : answering(reader.tags, reader.air(), TESSARO_SIM_6B)) {
        if (count == kMaxGroupTags) break;
        if (!tag->iso6b.groupSelects(condition, address, byteMask, compare)) continue;
        answer[0] = static_cast<std::uint8_t>(answer[0] | antennaBit(*tag));
        const Bytes id = tag->iso6b.id();
        answer.insert(answer.end(), id.begin(), id.end());
        ++count;
    }
    answer[1] = static_cast<std::uint8_t>(count);
    reply.answer(count == 0 ? TESSARO_SIM_STATUS_NO_TAG : 0, answer);
}

FieldTag *tagWithId(Reader &reader, const std::uint8_t *id, Reply &reply) {
    for (FieldTag *tag : answering(reader.tags, reader.air(), TESSARO_SIM_6B))
        if (tag->iso6b.hasId(id)) return tag;
    reply.answer(TESSARO_SIM_STATUS_NO_TAG);
    return nullptr;
}

bool strongEnough(const Reader &reader, const FieldTag &tag, Reply &reply) {
    if (reader.air().canWrite(tag)) return true;
    reply.outcome(Outcome::tagFailed(TESSARO_SIM_TAG_INSUFFICIENT_POWER));
    return false;
}

void readData(Reader &reader, Cursor &data, Reply &reply) {
    const std::uint8_t address = data.byte();
    const std::uint8_t *id = data.take(kIso6bIdBytes);
    const unsigned length = data.byte();
    if (!readWhole(data, reply)) return;
    if (length == 0 || length > kMaxReadBytes) {
        reply.answer(TESSARO_SIM_STATUS_PARAMETER);
        return;
    }
    if (const FieldTag *tag = tagWithId(reader, id, reply)) {
        Bytes bytes;
        reply.outcome(tag->iso6b.read(address, length, bytes), bytes);
    }
}

void writeData(Reader &reader, Cursor &data, Reply &reply) {
    const std::uint8_t address = data.byte();
    const std::uint8_t *id = data.take(kIso6bIdBytes);
    const std::size_t length = data.remaining();
    const std::uint8_t *bytes = data.take(length);
    if (data.failed()) {
        reply.answer(TESSARO_SIM_STATUS_LENGTH);
        return;
    }
    if (length == 0) {
        reply.answer(TESSARO_SIM_STATUS_PARAMETER);
        return;
    }
    FieldTag *tag = tagWithId(reader, id, reply);
    if (tag && strongEnough(reader, *tag, reply))
        reply.outcome(tag->iso6b.write(address, bytes, static_cast<unsigned>(length)));
}

void lock(Reader &reader, Cursor &data, Reply &reply) {
    const std::uint8_t address = data.byte();
    const std::uint8_t *id = data.take(kIso6bIdBytes);
    if (!readWhole(data, reply)) return;
    FieldTag *tag = tagWithId(reader, id, reply);
    if (tag && strongEnough(reader, *tag, reply)) reply.outcome(tag->iso6b.lock(address));
}

// Data: 1 when the byte is locked, 0 when it is not.
void checkLock(Reader &reader, Cursor &data, Reply &reply) {
    const std::uint8_t address = data.byte();
    const std::uint8_t *id = data.take(kIso6bIdBytes);
    if (!readWhole(data, reply)) return;
    if (const FieldTag *tag = tagWithId(reader, id, reply)) {
        bool locked = false;
        const Outcome result = tag->iso6b.isLocked(address, locked);
        reply.outcome(result, {static_cast<std::uint8_t>(locked ? 1 : 0)});
    }
}

}  // namespace

void addIso6bCommands(CommandTable &table) {
    table[0x50] = inventorySingle;
    table[0x51] = inventoryMultiple;
    table[0x52] = readData;
    table[0x53] = writeData;
    table[0x54] = checkLock;
    table[0x55] = lock;
}

}  // namespace tessaro::sim
