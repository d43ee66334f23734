#include "process_state.h"

#include <algorithm>
#include <cstring>

namespace tessaro {

namespace {
ProcessState state{};
}  // namespace

ProcessState &processState() { return state; }

void resetProcessState() { std::memset(&state, 0, sizeof state); }

void noteWritten(const std::uint8_t *buffer, std::size_t end) {
    if (buffer == state.response && end > state.responseWritten)
        state.responseWritten = std::min(end, kResponseBufferSize);
}

void clearResponse(std::size_t limit) {
    const std::size_t written = std::min(state.responseWritten, kResponseBufferSize);
    std::memset(state.response, 0, std::min(written, limit));
    // Written bytes beyond the cleared ones stay as they are, and so does the mark.
    if (written <= limit) state.responseWritten = 0;
}

PortSlot *portSlot(int portIndex) {
    if (portIndex < 0 || portIndex >= kMaxPorts) return nullptr;
    return &state.ports[portIndex];
}

}  // namespace tessaro
