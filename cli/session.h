// One run of the tool against one reader: the simulator or the USB reader,
// wrapped by the recorder when --trace or --record asks for it.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "TessaroTransport.h"
#include "cli.h"
#include "output.h"

struct TessaroSim;
struct TessaroSimReplay;

namespace tessaro::toolkit {
class Recorder;
}

namespace tessaro::cli {

class Session {
public:
    Session(const GlobalOptions &options);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Installs the transport and opens the reader. Returns kExitOk, or prints
    // what went wrong and returns kExitNoReader.
    int open();
    // The exit code of the run once the action returned `rc`: with a replay
    // whose host reports differed from the transcript, says where and gives
    // kExitReplayDiffers.
    int finish(int rc) const;

    int port() const { return port_; }
    // The simulated bus with --sim, else null.
    TessaroSim *sim() const { return sim_; }
    unsigned char *address() { return &address_; }
    const Output &out() const { return out_; }
    const GlobalOptions &options() const { return options_; }

    // Milliseconds on the clock the library runs on (virtual under tests).
    unsigned nowMs() const;
    // Sleeps on that clock.
    void sleepMs(unsigned ms) const;

    // The recorder every report crosses (--trace, --record, and recordings
    // started later); null before open().
    toolkit::Recorder *recorder() { return recorder_.get(); }

    // Prints the text of a return code that is not success and returns
    // kExitReaderError; `what` names the operation ("read", "inventory").
    int fail(const std::string &what, int code, int tagError = -1) const;

private:
    int installTransport();

    GlobalOptions options_;
    Output out_;
    TessaroSim *sim_ = nullptr;
    TessaroSimReplay *replay_ = nullptr;
    std::FILE *record_ = nullptr;
    std::unique_ptr<toolkit::Recorder> recorder_;
    TessaroTransport transport_{};
    bool installed_ = false;
    int port_ = 0;
    unsigned char address_;
};

}  // namespace tessaro::cli
