#include "recording.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "Tessaro.h"
#include "TessaroReading.h"
#include "recorder.h"

namespace tessaro::http {

using Ordered = nlohmann::ordered_json;

Recording::Recording(service::Engine &engine, toolkit::Recorder *recorder, std::string folder,
                     std::uint64_t maxBytes)
    : engine_(engine), recorder_(recorder), folder_(std::move(folder)), maxBytes_(maxBytes) {}

Recording::~Recording() {
    if (file_) {
        if (recorder_) recorder_->stopRecording({"the console stopped before the recording ended"});
        std::fclose(file_);
    }
}

Answer Recording::start(const std::string &reader) {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (!recorder_) return badRequest("this process cannot record", 501);
    if (file_) return badRequest("a recording of reader " + reader_ + " is running; stop it first", 409);
    const service::ReaderInfo *info = engine_.reader(reader);
    if (!info) return badRequest("no reader " + reader, 404);
    mkdir(folder_.c_str(), 0700);
    const std::string path = folder_ + "/recording.transcript.part";
    std::FILE *file = std::fopen(path.c_str(), "w");
    if (!file) return badRequest("cannot write " + path + ": " + std::strerror(errno), 500);
    const bool wasReading = engine_.reading(reader);
    engine_.stopReading(reader);
    startedAt_ = events::isoTime(events::wallClockNowMs());
    recorder_->startRecording(file, "tessaro web console: reader " + reader + ", from " + startedAt_,
                              maxBytes_);
    file_ = file;
    reader_ = reader;
    operations_ = 0;
    // The transcript begins as a session of the tool does: the port opened
    // (its sync report), then the reader's information.
    // The tool then addresses the reader by the address it answered with:
    // so does the reading while it is recorded.
    unsigned char address = 0xFF, version[2], b[10];
    TessaroReopenPort(info->port);
    TessaroReadingOptions reading = engine_.options().reading;
    if (GetReaderInformation(&address, version, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &b[6],
                             &b[7], &b[8], &b[9], info->port) == 0)
        reading.address = address;
    if (wasReading) engine_.startReading(reader, &reading);
    return statusLocked();
}

Answer Recording::stop() {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (!file_) return badRequest("no recording is running", 409);
    const bool wasReading = engine_.reading(reader_);
    TessaroReadingStats last{};
    engine_.stopReading(reader_, &last);
    rounds_ = last.rounds;
    full_ = recorder_->recordingFull();
    std::vector<std::string> trailer;
    if (full_) trailer.push_back("the transcript reached its size limit: later reports are not in it");
    if (operations_ > 0)
        trailer.push_back(std::to_string(operations_) +
                          " operations from the console ran during the recording");
    const TessaroReadingOptions &o = engine_.options().reading;
    std::string command = "inventory --watch --rounds " + std::to_string(rounds_);
    if (o.qValue != 4) command += " --q " + std::to_string(o.qValue);
    if (o.session != 0) command += " --session " + std::to_string(o.session);
    trailer.push_back(std::to_string(rounds_) + " rounds of reading; replay: tessaro replay FILE -- " +
                      command);
    reports_ = recorder_->stopRecording(trailer);
    std::fclose(file_);
    file_ = nullptr;
    if (wasReading) engine_.startReading(reader_);
    std::string stamp = startedAt_.substr(0, 19);
    for (char &c : stamp)
        if (c == ':') c = '-';
    fileName_ = "tessaro-" + reader_ + "-" + stamp + ".transcript";
    path_ = folder_ + "/recording.transcript";
    std::rename((folder_ + "/recording.transcript.part").c_str(), path_.c_str());
    return statusLocked();
}

Answer Recording::status() {
    const std::lock_guard<std::mutex> guard(mutex_);
    return statusLocked();
}

Answer Recording::statusLocked() {
    Ordered body{{"available", recorder_ != nullptr}, {"recording", file_ != nullptr}};
    if (file_) {
        body["reader"] = reader_;
        body["startedAt"] = startedAt_;
        body["reports"] = recorder_->recordedReports();
        body["full"] = recorder_->recordingFull();
    }
    if (!path_.empty()) {
        body["last"] = Ordered{{"fileName", fileName_},
                               {"reports", reports_},
                               {"rounds", rounds_},
                               {"full", full_},
                               {"download", "/api/v1/recording/transcript"}};
    }
    return {200, body};
}

void Recording::noteOperation() {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (file_) ++operations_;
}

bool Recording::transcript(std::string &path, std::string &fileName) {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (path_.empty()) return false;
    path = path_;
    fileName = fileName_;
    return true;
}

}  // namespace tessaro::http
