// The console's recording: a transcript of the reports exchanged with a
// reader, from a start to a stop, that `tessaro replay` plays back.
//
// So that the transcript begins as a session of the tool does, the start
// stops the reader's reading, reopens its port (the sync report OpenUSBPort
// sends), asks the reader's information, and starts the reading again; the
// stop ends the reading before the transcript closes. What is recorded is
// then what `tessaro inventory --watch --rounds N` sends, and the
// transcript's last comment says so with its N. Operations run from the
// console during a recording are in the transcript too (a replay of the
// inventory differs where the first one was); so are the reports of other
// readers of the process.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "engine.h"
#include "reader_ops.h"

namespace tessaro::toolkit {
class Recorder;
}

namespace tessaro::http {

class Recording {
public:
    // `recorder` may be null (no recording then); transcripts go into
    // `folder` (made if missing); a recording stops growing at `maxBytes`.
    Recording(service::Engine &engine, toolkit::Recorder *recorder, std::string folder,
              std::uint64_t maxBytes);
    ~Recording();

    Answer start(const std::string &reader);
    Answer stop();
    Answer status();
    // An operation of the console ran (counted in the transcript's trailer:
    // the recorder sees every reader's reports).
    void noteOperation();
    // The last finished transcript: false when there is none.
    bool transcript(std::string &path, std::string &fileName);

private:
    Answer statusLocked();

    service::Engine &engine_;
    toolkit::Recorder *recorder_;
    std::string folder_;
    std::uint64_t maxBytes_;
    std::mutex mutex_;
    std::FILE *file_ = nullptr;
    std::string reader_;             // being recorded
    std::string startedAt_;
    unsigned operations_ = 0;
    std::string path_, fileName_;     // the last finished one
    std::uint64_t reports_ = 0, rounds_ = 0;
    bool full_ = false;
};

}  // namespace tessaro::http
