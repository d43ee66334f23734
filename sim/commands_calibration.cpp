// Calibration and factory commands. The reader takes them only in self-test
// mode (InSelfTestMode 0x26 enters it, the single byte 0xA5 leaves it);
// outside it they are answered "illegal command". Codes 0x60 and 0x61 are
// shared with the work time, which needs no self-test: the data length tells
// the two apart.
#include <cstring>

#include "commands.h"

namespace tessaro::sim {

namespace {

const SettingRow kStored[] = {
    TESSARO_SIM_SETTING(0x29, dac, nullptr),
    TESSARO_SIM_SETTING(0x30, rfOutput, nullptr),
    TESSARO_SIM_SETTING(0x66, checkAnt, nullptr),
    TESSARO_SIM_SETTING(0x6C, dcOffset, nullptr),
    TESSARO_SIM_SETTING(0x81, qs, nullptr),
};

const SettingRow kAnswered[] = {
    TESSARO_SIM_SETTING(0x2A, dac, nullptr),
    TESSARO_SIM_SETTING(0x2D, startInfo, nullptr),
    TESSARO_SIM_SETTING(0x67, checkPower, nullptr),
    TESSARO_SIM_SETTING(0x82, qs, nullptr),
};

// Bytes of GetAdjustPara's block.
constexpr std::size_t kAdjustBlockSize = 148;

bool inSelfTest(const Reader &reader, Reply &reply) {
    if (reader.state.selfTestMode) return true;
    reply.answer(TESSARO_SIM_STATUS_ILLEGAL);
    return false;
}

void stored(Reader &reader, Cursor &data, Reply &reply) {
    if (inSelfTest(reader, reply)) storeSetting(reader, data, reply, *findSetting(kStored, reply.code()));
}

void answered(Reader &reader, Cursor &data, Reply &reply) {
    if (inSelfTest(reader, reply)) answerSetting(reader, data, reply, *findSetting(kAnswered, reply.code()));
}

void enterSelfTest(Reader &reader, Cursor &data, Reply &reply) {
    if (!readWhole(data, reply)) return;
    reader.state.selfTestMode = 1;
    reply.answer(0);
}

void leaveSelfTest(Reader &reader, Cursor &, Reply &reply) {
    reader.state.selfTestMode = 0;
    reply.answer(0);
}

// 0 while the power list rises from step to step, 1 when it does not.
void checkPowerParameter(Reader &reader, Cursor &data, Reply &reply) {
    if (!inSelfTest(reader, reply) || !readWhole(data, reply)) return;
    const unsigned char *list = reader.state.powerList;
    bool rising = true;
    for (std::size_t i = 1; i < sizeof reader.state.powerList; ++i) rising = rising && list[i] > list[i - 1];
    reply.answer(0, {static_cast<std::uint8_t>(rising ? 0 : 1)});
}

void solidifyPowerList(Reader &reader, Cursor &data, Reply &reply) {
    if (!inSelfTest(reader, reply)) return;
    const std::uint8_t *list = data.take(sizeof reader.state.powerList);
    if (!readWhole(data, reply)) return;
    std::memcpy(reader.state.powerList, list, sizeof reader.state.powerList);
    reply.answer(0, {0});
}

void deleteRfOutput(Reader &reader, Cursor &data, Reply &reply) {
    if (!inSelfTest(reader, reply) || !readWhole(data, reply)) return;
    reader.state.rfOutput = 0;
    reply.answer(0, {0});
}

void setAValue(Reader &reader, Cursor &data, Reply &reply) {
    if (!inSelfTest(reader, reply)) return;
    const std::uint8_t selector = data.byte();
    const std::uint8_t *values = data.take(8);
    if (!readWhole(data, reply)) return;
    std::memcpy(reader.state.aValues[selector & 0x0Fu], values, 8);
    reply.answer(0);
}

// The calibration block: the sixteen A values, then DAC, QS, DC offset,
// check-antenna, RF output, test mode and test frequency; zeros after that.
void adjustParameters(Reader &reader, Cursor &data, Reply &reply) {
    if (!inSelfTest(reader, reply) || !readWhole(data, reply)) return;
    const TessaroSimReaderState &s = reader.state;
    Bytes block(&s.aValues[0][0], &s.aValues[0][0] + sizeof s.aValues);
    block.insert(block.end(), {s.dac, s.qs[0], s.qs[1], s.dcOffset[0], s.dcOffset[1], s.checkAnt,
                               s.rfOutput, s.testMode});
    block.insert(block.end(), s.testFrequency, s.testFrequency + 4);
    block.resize(kAdjustBlockSize, 0);
    reply.answer(0, block);
}

void flashRom(Reader &reader, Cursor &data, Reply &reply) {
    if (!inSelfTest(reader, reply) || !readWhole(data, reply)) return;
    ++reader.state.flashWrites;
    reply.answer(0);
}

// 0x60: 00 + two work-time bytes (SetWorkTime), or a test frequency of four
// bytes and its mode (EnableTestFreq).
void workTimeOrTestFrequency(Reader &reader, Cursor &data, Reply &reply) {
    if (data.remaining() == 3) {
        data.byte();
        reader.state.workTime[0] = data.byte();
        reader.state.workTime[1] = data.byte();
        reply.answer(0);
        return;
    }
    if (!inSelfTest(reader, reply)) return;
    const std::uint8_t *frequency = data.take(4);
    const std::uint8_t mode = data.byte();
    if (!readWhole(data, reply)) return;
    std::memcpy(reader.state.testFrequency, frequency, 4);
    reader.state.testMode = mode;
    reply.answer(0);
}

// 0x61: no data (GetWorkTime: 00 and the two work-time bytes), or an AD
// channel (GetADValue: its two bytes).
void workTimeOrAdValue(Reader &reader, Cursor &data, Reply &reply) {
    if (data.remaining() == 0) {
        reply.answer(0, {0x00, reader.state.workTime[0], reader.state.workTime[1]});
        return;
    }
    if (!inSelfTest(reader, reply)) return;
    const std::uint8_t channel = data.byte();
    if (!readWhole(data, reply)) return;
    const unsigned char *value = reader.state.adValues[channel & 7u];
    reply.answer(0, {value[0], value[1]});
}

}  // namespace

void addCalibrationCommands(CommandTable &table) {
    for (const SettingRow &row : kStored) table[row.code] = stored;
    for (const SettingRow &row : kAnswered) table[row.code] = answered;
    table[0x26] = enterSelfTest;
    table[0xA5] = leaveSelfTest;
    table[0x2B] = checkPowerParameter;
    table[0x2C] = solidifyPowerList;
    table[0x32] = deleteRfOutput;
    table[0x60] = workTimeOrTestFrequency;
    table[0x61] = workTimeOrAdValue;
    table[0x62] = setAValue;
    table[0x65] = adjustParameters;
    table[0x84] = flashRom;
}

}  // namespace tessaro::sim
