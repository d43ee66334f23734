#include "exchange.h"

#include <algorithm>
#include <cstring>

#include "Tessaro.h"
#include "crc.h"
#include "link/process_state.h"
#include "link/report_transfer.h"

namespace tessaro::protocol {

namespace {

// Most commands clear the first 5000 bytes of the response buffer; the
// inventory commands clear all of it.
constexpr std::size_t kSingleAnswerClear = 5000;

int collect(Collect how, int portIndex) {
    ProcessState &state = processState();
    switch (how) {
    case Collect::Single:
        return GetDataFromPort(state.response, &state.responseLength, portIndex);
    case Collect::InventoryStream:
        return GetInventoryDataFromPort1(state.response, &state.responseLength, portIndex);
    case Collect::BufferStream:
        return GetBufferDataFromPort(state.response, &state.responseLength, portIndex);
    case Collect::LengthEnded:
        return GetDataFromPort_buff(state.response, &state.responseLength, portIndex);
    }
    return ERR_COMM;
}

}  // namespace

std::uint8_t Answer::at(std::size_t offset) const {
    return offset < kResponseBufferSize ? processState().response[offset] : 0;
}

void Answer::copyData(std::size_t first, unsigned char *out, std::size_t count) const {
    for (std::size_t i = 0; i < count; ++i) out[i] = data(first + i);
}

std::size_t Answer::length() const {
    const int length = processState().responseLength;
    return length > 0 ? std::min(static_cast<std::size_t>(length), kResponseBufferSize) : 0;
}

const std::uint8_t *Answer::bytes() const { return processState().response; }

std::size_t Answer::carriedDataLength() const {
    const std::size_t claimed = len() > 5 ? len() - 5u : 0;
    return std::min(claimed, dataLength());
}

int exchange(const CommandFrame &frame, int portIndex, Exchange how) {
    if (!frame.fitsReport()) return ERR_FRAME_TOO_LONG;
    return exchangeBytes(frame.finish(), frame.size(), portIndex, how);
}

int exchangeBytes(const std::uint8_t *bytes, std::size_t count, int portIndex, Exchange how) {
    ProcessState &state = processState();
    const bool inventory = how.collect == Collect::InventoryStream ||
                           how.collect == Collect::LengthEnded;
    state.inventoryInProgress = inventory ? 1 : 0;
    clearResponse(inventory ? kResponseBufferSize : kSingleAnswerClear);

    int result = ERR_COMM;
    if (!how.syncFirst || link::sendControl(CTRL_SYNC, portIndex)) {
        // A frame that did not go out shows up as a missing answer.
        link::sendReport(bytes, static_cast<unsigned>(count), portIndex);
        result = collect(how.collect, portIndex);
        if (how.collected) *how.collected = true;
    }
    state.inventoryInProgress = 0;
    return result;
}

int checkAnswer(std::uint8_t code, Echo echo) {
    const ProcessState &state = processState();
    const Answer answer;
    if (crc16(state.response, answer.length()) != 0) return ERR_CRC;
    if (echo == Echo::Match && answer.reCmd() != code) return ERR_RESPONSE_CMD;
    return 0;
}

int sendControlReport(std::uint8_t code, int portIndex) {
    clearResponse(kSingleAnswerClear);
    return link::sendControl(code, portIndex) ? 0 : ERR_COMM;
}

int checkAnswer(std::uint8_t code, std::uint8_t alternative) {
    const int result = checkAnswer(code, Echo::Ignore);
    if (result != 0) return result;
    const std::uint8_t echoed = Answer().reCmd();
    return echoed == code || echoed == alternative ? 0 : ERR_RESPONSE_CMD;
}

int transact(const CommandFrame &frame, int portIndex, Echo echo) {
    const int result = exchange(frame, portIndex);
    return result != 0 ? result : checkAnswer(frame.code(), echo);
}


}  // namespace tessaro::protocol
