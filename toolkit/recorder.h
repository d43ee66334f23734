// A transport that forwards every call to another one (the USB reader or the
// simulator) and writes each report that crosses it as a transcript line: to
// stderr for --trace, to a file for --record. The transcript format is
// described in docs/cli.md; `tessaro replay` and libTessaroSim's replay
// transport read it back. A recording can also start and stop while the
// transport is in use (the web console's recording).
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "TessaroTransport.h"

namespace tessaro::toolkit {

class Recorder {
public:
    // `trace` and `record` may each be NULL; neither is closed here. The
    // transcript starts with `title` as a comment.
    Recorder(const TessaroTransport &inner, std::FILE *trace, std::FILE *record,
             const std::string &title);
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    // The wrapping transport, to install with TessaroSetTransport; it points
    // to this object, which must outlive its use.
    const TessaroTransport &transport() const { return self_; }

    // Starts writing a transcript into `record` (not closed here) from the
    // next report on, headed by `title`; it stops by itself once it holds
    // `maxBytes`. Times count from this call. False while one is written.
    bool startRecording(std::FILE *record, const std::string &title,
                        std::uint64_t maxBytes = UINT64_MAX);
    // Ends the transcript with `trailer` as comment lines and lets the file
    // go. Returns the reports it holds.
    std::uint64_t stopRecording(const std::vector<std::string> &trailer);
    bool recording();
    std::uint64_t recordedReports();
    // True once the transcript reached its maxBytes (reports after that are
    // not in it).
    bool recordingFull();

private:
    static int TESSARO_CALL interfacePath(void *context, int index, char *path, size_t size);
    static void *TESSARO_CALL open(void *context, const char *path);
    static int TESSARO_CALL attributes(void *context, void *device, unsigned short *vendorId,
                                       unsigned short *productId);
    static int TESSARO_CALL writeReport(void *context, void *device, const unsigned char *report,
                                        unsigned waitMs);
    static int TESSARO_CALL readReport(void *context, void *device, unsigned char *report,
                                       unsigned waitMs);
    static void TESSARO_CALL close(void *context, void *device);
    static unsigned TESSARO_CALL tickMs(void *context);
    static void TESSARO_CALL sleepMs(void *context, unsigned ms);

    struct Clock {
        unsigned startMs = 0;
        std::chrono::steady_clock::time_point start;
    };
    Clock clockNow() const;
    unsigned since(const Clock &clock) const;
    void line(char direction, const unsigned char *report, int result);

    TessaroTransport inner_;
    TessaroTransport self_;
    std::FILE *trace_;
    Clock traceClock_;
    std::mutex recordMutex_;  // the transport's calls and start/stop of a recording
    std::FILE *record_;
    Clock recordClock_;
    std::uint64_t recordBytes_ = 0, recordLimit_ = UINT64_MAX, recordReports_ = 0;
    bool recordFull_ = false;
};

}  // namespace tessaro::toolkit
