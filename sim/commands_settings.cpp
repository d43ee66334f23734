// Reader settings and the keyboard-emulation mode: what a set command stores,
// the matching get command, GetReaderInformation (0x21) and
// GetSystemParameter (0x36) answer. Most settings are stored as they come
// (the tables below); the reader checks the few whose range it knows.
#include <cstring>

#include "commands.h"

namespace tessaro::sim {

namespace {

bool notBroadcast(const std::uint8_t *b) { return b[0] != 0xFF; }
bool scanTimeInRange(const std::uint8_t *b) { return b[0] >= 3; }
bool powerInRange(const std::uint8_t *b) { return b[0] <= 30; }
bool someAntenna(const std::uint8_t *b) { return b[0] >= 1 && b[0] <= 0x0F; }
bool hidParametersInRange(const std::uint8_t *b) {
    return b[0] >= 1 && b[0] <= 4 && b[2] <= 15 && b[3] <= 1 && b[4] <= 1;
}

const SettingRow kStored[] = {
    TESSARO_SIM_SETTING(0x24, address, notBroadcast),
    TESSARO_SIM_SETTING(0x25, scanTime, scanTimeInRange),
    TESSARO_SIM_SETTING(0x27, revDelay, nullptr),
    TESSARO_SIM_SETTING(0x2F, rfPower, powerInRange),
    TESSARO_SIM_SETTING(0x33, buzzerLed, nullptr),
    TESSARO_SIM_SETTING(0x35, workMode, nullptr),
    TESSARO_SIM_SETTING(0x37, easSensitivity, nullptr),
    TESSARO_SIM_SETTING(0x3C, autoParam, nullptr),
    TESSARO_SIM_SETTING(0x3D, inventoryInterval, nullptr),
    TESSARO_SIM_SETTING(0x3E, tagType, nullptr),
    TESSARO_SIM_SETTING(0x3F, antennaMask, someAntenna),
    TESSARO_SIM_SETTING(0x40, beepNotification, nullptr),
    TESSARO_SIM_SETTING(0x45, relay, nullptr),
    TESSARO_SIM_SETTING(0x46, gpioOutputs, nullptr),
    TESSARO_SIM_SETTING(0x48, pulseOutput, nullptr),
    TESSARO_SIM_SETTING(0x49, triggerTime, nullptr),
    TESSARO_SIM_SETTING(0x4A, tidParam, nullptr),
    TESSARO_SIM_SETTING(0x6A, commType, nullptr),
    TESSARO_SIM_SETTING(0xA1, hidWorkPara, hidParametersInRange),
    TESSARO_SIM_SETTING(0xA3, hidBeepEnable, nullptr),
};

const SettingRow kAnswered[] = {
    TESSARO_SIM_SETTING(0x31, revDelay, nullptr),
    TESSARO_SIM_SETTING(0x4C, serialNumber, nullptr),
    TESSARO_SIM_SETTING(0x83, moduleVersion, nullptr),
    TESSARO_SIM_SETTING(0xA2, hidWorkPara, nullptr),
    TESSARO_SIM_SETTING(0xA4, hidBeepEnable, nullptr),
};

void stored(Reader &reader, Cursor &data, Reply &reply) {
    storeSetting(reader, data, reply, *findSetting(kStored, reply.code()));
}

void answered(Reader &reader, Cursor &data, Reply &reply) {
    answerSetting(reader, data, reply, *findSetting(kAnswered, reply.code()));
}

void readerInformation(Reader &reader, Cursor &data, Reply &reply) {
    if (!readWhole(data, reply)) return;
    const TessaroSimReaderState &s = reader.state;
    reply.answer(0, {s.version[0], s.version[1], s.readerType, s.protocols, s.maxChannelByte,
                     s.minChannelByte, s.rfPower, s.scanTime, s.antennaMask, s.beepNotification,
                     s.workMode, s.commType});
}

void systemParameter(Reader &reader, Cursor &data, Reply &reply) {
    if (!readWhole(data, reply)) return;
    const TessaroSimReaderState &s = reader.state;
    Bytes answer = {s.workMode, s.autoParam[0], s.autoParam[1], s.tagType, s.inventoryInterval, s.triggerTime};
    answer.insert(answer.end(), s.mask, s.mask + sizeof s.mask);
    answer.insert(answer.end(), {s.easSensitivity, s.tidParam[0], s.tidParam[1]});
    reply.answer(0, answer);
}

// Channels of the region plans by band (the region code's four low bits).
unsigned channelCount(unsigned band) {
    static const unsigned kChannels[] = {0, 20, 50, 32, 15};
    return band < 5 ? kChannels[band] : 0;
}

// The band must have a plan and the channel range must lie within it.
void region(Reader &reader, Cursor &data, Reply &reply) {
    const std::uint8_t maxByte = data.byte();
    const std::uint8_t minByte = data.byte();
    if (!readWhole(data, reply)) return;
    const unsigned band = ((maxByte >> 6u) << 2u) | (minByte >> 6u);
    const unsigned highest = maxByte & 0x3Fu;
    const unsigned lowest = minByte & 0x3Fu;
    if (lowest > highest || highest >= channelCount(band)) {
        reply.answer(TESSARO_SIM_STATUS_PARAMETER);
        return;
    }
    reader.state.maxChannelByte = maxByte;
    reader.state.minChannelByte = minByte;
    reply.answer(0);
}

void mask(Reader &reader, Cursor &data, Reply &reply) {
    const std::uint8_t bank = data.byte();
    const std::uint8_t *address = data.take(2);
    const std::uint8_t bits = data.byte();
    const std::uint8_t *bytes = data.take((bits + 7u) / 8u);
    if (!readWhole(data, reply)) return;
    if (bank > kUserBank) {
        reply.answer(TESSARO_SIM_STATUS_PARAMETER);
        return;
    }
    unsigned char *stored = reader.state.mask;
    std::memset(stored, 0, sizeof reader.state.mask);
    stored[0] = bank;
    std::memcpy(stored + 1, address, 2);
    stored[3] = bits;
    std::memcpy(stored + 4, bytes, (bits + 7u) / 8u);
    reply.answer(0);
}

// The reader answers with the function now in force.
void customFunction(Reader &reader, Cursor &data, Reply &reply) {
    const std::uint8_t function = data.byte();
    if (!readWhole(data, reply)) return;
    reader.state.customFunction = function;
    reply.answer(0, {function});
}

void setClock(Reader &reader, Cursor &data, Reply &reply) {
    const std::uint8_t *clock = data.take(6);
    if (!readWhole(data, reply)) return;
    if (!isValidClock(clock)) {
        reply.answer(TESSARO_SIM_STATUS_PARAMETER);
        return;
    }
    reader.setClock(clock);
    reply.answer(0);
}

void time(Reader &reader, Cursor &data, Reply &reply) {
    if (!readWhole(data, reply)) return;
    unsigned char clock[6];
    reader.readClock(clock);
    reply.answer(0, Bytes(clock, clock + 6));
}

// The output lines as SetGPIO left them, with the input lines.
void gpioStatus(Reader &reader, Cursor &data, Reply &reply) {
    if (readWhole(data, reply))
        reply.answer(0, {static_cast<std::uint8_t>(reader.state.gpioOutputs | reader.state.gpioInputs)});
}

// The serial number comes behind the two bytes 'T' 'E', which guard it.
void serialNumber(Reader &reader, Cursor &data, Reply &reply) {
    const std::uint8_t *guard = data.take(2);
    const std::uint8_t *serial = data.take(4);
    if (!readWhole(data, reply)) return;
    if (guard[0] != 0x54 || guard[1] != 0x45) {
        reply.answer(TESSARO_SIM_STATUS_PARAMETER);
        return;
    }
    std::memcpy(reader.state.serialNumber, serial, 4);
    reply.answer(0);
}

}  // namespace

void storeSetting(Reader &reader, Cursor &data, Reply &reply, const SettingRow &row) {
    const std::uint8_t *bytes = data.take(row.size);
    if (!readWhole(data, reply)) return;
    if (row.valid && !row.valid(bytes)) {
        reply.answer(TESSARO_SIM_STATUS_PARAMETER);
        return;
    }
    std::memcpy(reinterpret_cast<unsigned char *>(&reader.state) + row.offset, bytes, row.size);
    reply.answer(0);
}

void answerSetting(Reader &reader, Cursor &data, Reply &reply, const SettingRow &row) {
    if (!readWhole(data, reply)) return;
    const unsigned char *at = reinterpret_cast<const unsigned char *>(&reader.state) + row.offset;
    reply.answer(0, Bytes(at, at + row.size));
}

void addSettingsCommands(CommandTable &table) {
    for (const SettingRow &row : kStored) table[row.code] = stored;
    for (const SettingRow &row : kAnswered) table[row.code] = answered;
    table[0x21] = readerInformation;
    table[0x22] = region;
    table[0x36] = systemParameter;
    table[0x3A] = customFunction;
    table[0x3B] = mask;
    table[0x41] = setClock;
    table[0x42] = time;
    table[0x47] = gpioStatus;
    table[0x4B] = serialNumber;
}

}  // namespace tessaro::sim
