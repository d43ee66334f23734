// Tag commands (Gen2 and 6B) hand back the tag's error code in `errorCode`:
// -1 after Status 0, the tag's error byte (answer data byte 0; 0 when the
// answer carries none) after TAG_ERROR, untouched after anything else.
#pragma once

#include <utility>

#include "TessaroTypes.h"
#include "exchange.h"

namespace tessaro::protocol {

// Sets the tag error code after an answer was accepted with `result`.
inline void setTagErrorCode(int result, int *errorCode) {
    // No library code is 0 or 252: these two results are reader statuses.
    if (result == 0) *errorCode = -1;
    if (result == TAG_ERROR) *errorCode = Answer().carriedData(0);
}

// A whole tag command: the exchange and acceptance of command(), then the
// tag error code.
template <class Fill = NoOutputs>
int tagCommand(const CommandFrame &frame, int portIndex, Rule rule, unsigned char *address,
               int *errorCode, Fill &&fill = {}) {
    const int result = command(frame, portIndex, rule, address, std::forward<Fill>(fill));
    setTagErrorCode(result, errorCode);
    return result;
}

}  // namespace tessaro::protocol
