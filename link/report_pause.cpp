// The pause after each input report: 50 ms unless the application chose a
// shorter one for a reader that keeps up with it.
#include <atomic>

#include "TessaroTiming.h"
#include "report_transfer.h"

namespace tessaro::link {

namespace {
// Read once per report; set from any thread, so atomic (no lock: a command
// in progress must not hold up the setter for its whole exchange).
std::atomic<unsigned> pauseMs{TESSARO_REPORT_PAUSE_DEFAULT_MS};
}  // namespace

unsigned reportPauseMs() { return pauseMs.load(std::memory_order_relaxed); }

}  // namespace tessaro::link

TESSARO_API int TessaroSetReportPause(unsigned ms) {
    if (ms > TESSARO_REPORT_PAUSE_MAX_MS) return ERR_PARAMETER;
    tessaro::link::pauseMs.store(ms, std::memory_order_relaxed);
    return 0;
}

TESSARO_API unsigned TessaroGetReportPause(void) { return tessaro::link::reportPauseMs(); }
