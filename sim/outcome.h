// What a tag operation comes to, as the reader reports it: a reader status,
// and with TAG_ERROR the tag's own error byte.
#pragma once

#include <cstdint>

#include "TessaroSim.h"

namespace tessaro::sim {

struct Outcome {
    std::uint8_t status = 0;
    std::uint8_t tagError = 0;  // meaningful with TESSARO_SIM_STATUS_TAG_ERROR

    static Outcome ok() { return {}; }
    static Outcome tagFailed(std::uint8_t error) { return {TESSARO_SIM_STATUS_TAG_ERROR, error}; }
    static Outcome reader(std::uint8_t status) { return {status, 0}; }
    bool isOk() const { return status == 0; }
};

}  // namespace tessaro::sim
