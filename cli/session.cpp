#include "session.h"

#include <chrono>
#include <cerrno>
#include <cstring>
#include <thread>

#include "Tessaro.h"
#include "TessaroErrors.h"
#include "TessaroPlatform.h"
#include "TessaroSim.h"
#include "TessaroTiming.h"
#include "no_reader.h"
#include "recorder.h"
#include "shelf_population.h"

namespace tessaro::cli {

Session::Session(const GlobalOptions &options)
    : options_(options), out_(options.json, options.quiet),
      address_(static_cast<unsigned char>(options.address)) {}

Session::~Session() {
    if (port_) CloseUSBPort(port_);
    // The transport installed here points into the simulator, the replay or
    // the recorder: put the platform's back before they go.
    if (installed_) TessaroSetTransport(nullptr);
    TessaroSimDestroy(sim_);
    TessaroSimReplayDestroy(replay_);
    if (record_) std::fclose(record_);
}

// Picks the transport (simulator or USB), wraps it in the recorder, and
// installs it.
int Session::installTransport() {
    if (!options_.replayFile.empty()) {
        char error[256] = "";
        replay_ = TessaroSimReplayOpen(options_.replayFile.c_str(), error, sizeof error);
        if (!replay_) {
            out_.error("cannot replay " + options_.replayFile + ": " + error);
            return kExitUsage;
        }
        TessaroSimReplayGetTransport(replay_, &transport_);
        out_.note("Replaying " + std::to_string(TessaroSimReplayRemaining(replay_)) +
                  " reports from " + options_.replayFile);
    } else if (options_.sim) {
        sim_ = TessaroSimCreate(options_.virtualClock ? TESSARO_SIM_VIRTUAL_CLOCK
                                                      : TESSARO_SIM_REAL_CLOCK);
        char error[256] = "";
        int tags = sim_ ? 0 : -1;
        for (int n = 0; n < options_.simReaders && tags >= 0; ++n) {
            const int reader = TessaroSimAddReader(sim_);
            tags = reader < 0 ? -1
                   : options_.simFile.empty()
                       ? TessaroSimLoadPopulationText(sim_, reader, kShelfPopulation, error, sizeof error)
                       : TessaroSimLoadPopulation(sim_, reader, options_.simFile.c_str(), error,
                                                  sizeof error);
        }
        if (tags < 0 || TessaroSimGetTransport(sim_, &transport_) != 0) {
            // The simulator names the file when it cannot read it, not when
            // a line of it is wrong.
            const std::string why = error[0] ? error : "out of memory";
            const bool named = options_.simFile.empty() || why.find(options_.simFile) != std::string::npos;
            out_.error("cannot start the simulated reader: " + why +
                       (named ? "" : " (" + options_.simFile + ")"));
            return kExitNoReader;
        }
        out_.note(std::string(options_.simReaders > 1 ? std::to_string(options_.simReaders) +
                                                            " simulated readers, each"
                                                      : "Simulated reader") +
                  " with " + std::to_string(tags) + " tags from " +
                  (options_.simFile.empty() ? std::string("the sample shelf") : options_.simFile));
    } else {
        TessaroPlatformTransport(&transport_);
    }
    if (!options_.recordFile.empty()) {
        record_ = std::fopen(options_.recordFile.c_str(), "w");
        if (!record_) {
            out_.error("cannot write the transcript " + options_.recordFile + ": " +
                       std::strerror(errno));
            return kExitUsage;
        }
    }
    // Always through the recorder (a lock a report while it writes nothing):
    // the long-running commands start and stop recordings while they run.
    recorder_ = std::make_unique<toolkit::Recorder>(transport_, options_.trace ? stderr : nullptr,
                                                    record_, options_.commandLine);
    installed_ = TessaroSetTransport(&recorder_->transport()) == 0;
    return kExitOk;
}

int Session::open() {
    if (options_.pauseMs >= 0) TessaroSetReportPause(static_cast<unsigned>(options_.pauseMs));
    if (int rc = installTransport(); rc != kExitOk) return rc;
    if (OpenUSBPort(&port_) != 0) {
        port_ = 0;
        out_.error(options_.sim
                       ? "the simulated reader did not open"
                       : std::string("no reader found: no USB HID device with vendor 0470 and "
                                     "product A112 (0470:A112) could be opened.\n") +
                             noReaderAdvice());
        return kExitNoReader;
    }
    return kExitOk;
}

int Session::finish(int rc) const {
    if (!replay_) return rc;
    char difference[512] = "";
    const int differences = TessaroSimReplayDifferences(replay_, difference, sizeof difference);
    const int unused = TessaroSimReplayRemaining(replay_);
    if (differences == 0 && unused == 0) return rc;
    out_.error("the replay differs from the transcript " + options_.replayFile + ": " +
               (differences ? std::to_string(differences) + (differences == 1 ? " difference" : " differences") + ", the first at " +
                                  difference
                            : std::to_string(unused) + " recorded reports were not used"));
    return kExitReplayDiffers;
}

unsigned Session::nowMs() const {
    if (transport_.tickMs) return transport_.tickMs(transport_.context);
    return static_cast<unsigned>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void Session::sleepMs(unsigned ms) const {
    if (transport_.sleepMs)
        transport_.sleepMs(transport_.context, ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int Session::fail(const std::string &what, int code, int tagError) const {
    std::string message = what + " failed: " + TessaroReturnCodeText(code);
    Json details{{"operation", what}, {"code", code}};
    if (code == TAG_ERROR) {
        message += std::string("\n  tag error: ") + TessaroTagErrorText(tagError);
        details["tagError"] = tagError;
        details["tagErrorMessage"] = TessaroTagErrorText(tagError);
    }
    // A reader at another address stays silent: the same ERR_COMM as no
    // reader at all, so say which address was asked.
    if (code == ERR_COMM && options_.address != 0xFF) {
        const std::string hint = "no reader answered at address " +
                                 std::to_string(options_.address) +
                                 ": check --address (255, the default, reaches a reader at any "
                                 "address; tessaro info shows the reader's)";
        message += "\n  " + hint;
        details["hint"] = hint;
    }
    out_.error(message);
    out_.errorRecord(kExitReaderError, TessaroReturnCodeText(code), details);
    return kExitReaderError;
}

}  // namespace tessaro::cli
