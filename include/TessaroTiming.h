/*
 * Tessaro - the report pause.
 *
 * Every input report the library reads is followed by a pause before it is
 * acknowledged: 50 ms, the pace the reader family is built for. That pause is
 * nearly the whole time a command takes (a single-report command takes one,
 * a 200-tag inventory dozens), so a reader that keeps up with a faster pace
 * answers proportionally sooner with a shorter one. Readers differ: measure
 * yours (`tessaro tune`) before lowering it, and keep the default when in
 * doubt. docs/performance.md tells what the pause costs and buys.
 *
 * The pause is process-wide, takes effect from the next report on, and is
 * kept when the transport changes (TessaroSetTransport). Both functions may
 * be called from any thread, also while a command runs.
 */
#ifndef TESSARO_TIMING_H
#define TESSARO_TIMING_H

#include "TessaroTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The pause after every input report unless TessaroSetReportPause changed it. */
#define TESSARO_REPORT_PAUSE_DEFAULT_MS 50u
/* The longest pause TessaroSetReportPause takes. */
#define TESSARO_REPORT_PAUSE_MAX_MS 50u

/* Sets the pause after every input report.
 *   ms [in] 0 to TESSARO_REPORT_PAUSE_MAX_MS milliseconds; 0 acknowledges
 *           each report as soon as it is read
 * Returns 0, or ERR_PARAMETER (255) for a value above the range; the pause
 * is unchanged then. A failed transfer is still followed by the default
 * pause, so a reader that stops answering is not polled in a tight loop. */
TESSARO_API int TESSARO_CALL TessaroSetReportPause(unsigned ms);

/* The pause in force, in milliseconds (TESSARO_REPORT_PAUSE_DEFAULT_MS until
 * TessaroSetReportPause changes it). */
TESSARO_API unsigned TESSARO_CALL TessaroGetReportPause(void);

#ifdef __cplusplus
}
#endif

#endif /* TESSARO_TIMING_H */
