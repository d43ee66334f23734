#include "process_state.h"

#include <cstring>

namespace tessaro {

namespace {
ProcessState state{};
}  // namespace

ProcessState &processState() { return state; }

void resetProcessState() { std::memset(&state, 0, sizeof state); }

PortSlot *portSlot(int portIndex) {
    if (portIndex < 0 || portIndex >= kMaxPorts) return nullptr;
    return &state.ports[portIndex];
}

}  // namespace tessaro
