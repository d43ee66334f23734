// A transport that forwards every call to another one (the USB reader or the
// simulator) and writes each report that crosses it as a transcript line: to
// stderr for --trace, to a file for --record. The transcript format is
// described in docs/cli.md; `tessaro replay` and libTessaroSim's replay
// transport read it back.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "TessaroTransport.h"

namespace tessaro::cli {

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

    unsigned now() const;
    void line(char direction, const unsigned char *report, int result);

    TessaroTransport inner_;
    TessaroTransport self_;
    std::FILE *trace_;
    std::FILE *record_;
    unsigned startMs_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace tessaro::cli
