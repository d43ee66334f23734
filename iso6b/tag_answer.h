// What the 6B commands share in reading an answer: the tag error code and
// fields that a short answer may lack.
#pragma once

#include <cstddef>
#include <cstdint>

#include "TessaroTypes.h"
#include "protocol/exchange.h"

namespace tessaro::iso6b {

using protocol::Answer;

// Answer data byte k, or 0 when the answer does not carry it: a short answer
// from a faulty reader never hands its CRC bytes on as data.
inline std::uint8_t carriedData(const Answer &answer, std::size_t k) {
    return k < answer.carriedDataLength() ? answer.data(k) : 0;
}

// Fills `count` bytes of `out` from data byte `first` on, with 0 for the
// bytes the answer does not carry.
inline void copyCarried(const Answer &answer, std::size_t first, unsigned char *out,
                        std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = carriedData(answer, first + i);
}

// A tag command with an error code: transact, accept under `rule` (`fill`
// copies the outputs on Status 0), then the tag error code: -1 after Status
// 0, the tag's error byte (data byte 0) after TAG_ERROR. Other statuses leave
// it untouched.
template <class Fill = protocol::NoOutputs>
int tagCommand(const protocol::CommandFrame &frame, int portIndex, protocol::Rule rule,
               unsigned char *address, int *errorCode, Fill &&fill = {}) {
    const int status = protocol::command(frame, portIndex, rule, address, [&](const Answer &answer) {
        fill(answer);
        *errorCode = -1;
    });
    // No library code is 252: it can only be the Status of an accepted answer.
    if (status == TAG_ERROR) *errorCode = carriedData(Answer(), 0);
    return status;
}

}  // namespace tessaro::iso6b
