#include "reader.h"

#include <cstring>

#include "commands.h"

namespace tessaro::sim {

namespace {

// The settings of a reader fresh from the box.
TessaroSimReaderState defaultState() {
    TessaroSimReaderState s;
    std::memset(&s, 0, sizeof s);
    s.version[0] = 0x03;
    s.version[1] = 0x02;
    s.readerType = 0x0F;
    s.protocols = 0x03;        // Gen2 and ISO 18000-6B
    s.maxChannelByte = 0x31;   // region 2, channels 0 to 49
    s.minChannelByte = 0x80;
    s.rfPower = 30;
    s.scanTime = 10;           // 1 s
    s.antennaMask = 0x0F;      // all four antennas
    s.beepNotification = 1;
    s.tidParam[1] = 6;
    s.revDelay = 2;
    const unsigned char serial[4] = {0x19, 0x08, 0x20, 0x24};
    std::memcpy(s.serialNumber, serial, sizeof serial);
    s.moduleVersion[0] = 0x01;
    s.moduleVersion[1] = 0x08;
    const unsigned char clock[6] = {24, 1, 1, 9, 0, 0};  // 2024-01-01 09:00:00
    std::memcpy(s.clock, clock, sizeof clock);
    s.saveLength = 1;
    s.hidWorkPara[0] = 1;
    s.hidBeepEnable = 1;
    s.dac = 0x80;
    for (int i = 0; i < 31; ++i) s.powerList[i] = static_cast<unsigned char>(0x40 + 4 * i);
    for (int channel = 0; channel < 8; ++channel) {
        s.adValues[channel][0] = 0x01;
        s.adValues[channel][1] = static_cast<unsigned char>(0x10 * channel);
    }
    s.checkPower[1] = 0xC8;    // 200: forward power reading
    s.checkPower[3] = 0x0A;    // 10: reflected
    s.qs[0] = 4;
    s.qs[1] = 1;
    return s;
}

CommandTable buildTable() {
    CommandTable table{};
    addInventoryCommands(table);
    addGen2TagCommands(table);
    addIso6bCommands(table);
    addSettingsCommands(table);
    addCalibrationCommands(table);
    return table;
}

// The reader leaves self-test mode on this single byte, sent without a frame.
constexpr std::uint8_t kLeaveSelfTest = 0xA5;

}  // namespace

Reader::Reader(const SimClock &clock)
    : state(defaultState()), clock_(clock), clockBaseSeconds_(secondsFromClockBytes(state.clock)),
      clockBaseMs_(clock.nowMs()) {
    counters.lastCommand = -1;
}

void Reader::receiveData(const std::uint8_t *bytes, std::size_t count) {
    ++counters.dataReports;
    if (count == 1 && bytes[0] == kLeaveSelfTest) {
        Cursor none(bytes, 0);
        answer(kLeaveSelfTest, none);
        return;
    }
    // A frame that is cut, damaged or meant for another reader gets no answer.
    const bool intact = count >= 5 && bytes[0] + 1u == count && frameCrc(bytes, count) == 0;
    if (!intact || (bytes[1] != state.address && bytes[1] != 0xFF)) {
        ++counters.framesIgnored;
        return;
    }
    Cursor data(bytes + 3, count - 5);
    answer(bytes[2], data);
}

void Reader::answer(std::uint8_t code, Cursor &data) {
    static const CommandTable table = buildTable();
    Reply reply(*this, code);
    if (const Handler handler = table[code])
        handler(*this, data, reply);
    else
        reply.answer(TESSARO_SIM_STATUS_ILLEGAL);

    const bool wrongEcho = Faults::strike(faults.wrongEcho);
    const bool badCrc = Faults::strike(faults.badCrc);
    for (AnswerFrame &frame : reply.frames) {
        Bytes &bytes = frame.bytes;
        if (wrongEcho) {
            bytes[2] = static_cast<std::uint8_t>(bytes[2] + 1);
            bytes.resize(bytes.size() - 2);
            appendFrameCrc(bytes);
        }
        if (badCrc) bytes.back() ^= 0xFF;
    }
    port.flush();
    port.queue(reply.frames, clock_.nowMs(), faults);
    ++counters.framesAnswered;
    counters.lastCommand = code;
}

void Reader::receiveControl(std::uint8_t code) {
    switch (code) {
    case 0x0A:
        ++counters.polls;
        port.poll();
        break;
    case 0x01:
        ++counters.acks;
        port.acknowledge();
        break;
    case 0x0F:
        ++counters.syncs;
        port.flush();
        break;
    case 0xA0:
        // Keyboard-emulation mode: the reader types the tags it reads, and
        // goes on answering on this interface as well.
        ++counters.changeToHid;
        state.keyboardMode = 1;
        break;
    default:
        break;
    }
}

Air Reader::air(std::uint8_t antennaByte) const {
    const std::uint8_t antennas = (antennaByte & 0x80u) ? static_cast<std::uint8_t>(1u << (antennaByte & 3u))
                                                         : state.antennaMask;
    return {antennas, state.rfPower, clock_.nowMs()};
}

void Reader::readClock(unsigned char clock[6]) const {
    clockBytesFromSeconds(clockBaseSeconds_ + (clock_.nowMs() - clockBaseMs_) / 1000, clock);
}

void Reader::setClock(const unsigned char clock[6]) {
    clockBaseSeconds_ = secondsFromClockBytes(clock);
    clockBaseMs_ = clock_.nowMs();
}

// --- Reply --------------------------------------------------------------

void Reply::answer(std::uint8_t status, const Bytes &data, unsigned readyAfterMs) {
    frames.push_back({answerFrame(reader_.state.address, code_, status, data), readyAfterMs});
}

void Reply::outcome(const Outcome &result, const Bytes &data) {
    if (result.isOk())
        answer(0, data);
    else if (result.status == TESSARO_SIM_STATUS_TAG_ERROR)
        answer(result.status, {result.tagError});
    else
        answer(result.status);
}

bool readWhole(const Cursor &data, Reply &reply) {
    if (data.complete()) return true;
    reply.answer(TESSARO_SIM_STATUS_LENGTH);
    return false;
}

}  // namespace tessaro::sim
