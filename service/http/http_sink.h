// The web console as an output of the service: `tessaro serve` runs it alone,
// `tessaro gateway --http ADDR` beside MQTT. It listens to the engine's
// events (copied into its own queue, handled on its own thread) and serves
// the page, the API, the event stream and /metrics on threads of its own, so
// a slow or hostile client never holds up a reading.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "api.h"
#include "console.h"
#include "recording.h"
#include "run.h"

namespace httplib {
class Server;
}

namespace tessaro::http {

struct HttpOptions {
    std::string host = "127.0.0.1";
    int port = 8080;                        // 0: any free port
    std::string token;                      // empty: a new one at each start
    std::string certFile, keyFile;          // both: HTTPS
    std::vector<std::string> allowedHosts;  // names the Host header may give besides the defaults
    std::string recordingFolder;            // empty: a folder of its own under /tmp
    std::uint64_t maxRecordingBytes = 256ull << 20;
    unsigned maxStreams = 32;
    bool quiet = false;
    ConsoleLimits limits;
};

// Parses "[HOST:]PORT", "HOST" or "[V6]:PORT" into host and port; false with
// `error` set when it is none of them.
bool parseListenAddress(const std::string &text, std::string &host, int &port, std::string &error);
// True for 127.0.0.0/8, ::1 and localhost.
bool isLoopback(const std::string &host);
// Checks what can be checked before the engine opens (TLS files, address).
bool checkHttpOptions(const HttpOptions &options, std::string &error);

class HttpSink : public service::Sink {
public:
    // `recorder`: what the console's recordings go through (may be null);
    // `peers`: other outputs whose figures /metrics shows.
    HttpSink(HttpOptions options, toolkit::Recorder *recorder, std::vector<Peer> peers = {});
    ~HttpSink() override;

    int start(service::Engine &engine) override;
    std::string fatalError() override;
    void stop(unsigned drainMs) override;

    // The address it listens on once started (the port chosen when 0).
    int port() const { return boundPort_; }
    // http(s)://HOST:PORT/?token=...
    std::string url() const;

private:
    void work();

    HttpOptions options_;
    toolkit::Recorder *recorder_;
    std::vector<Peer> peers_;
    std::unique_ptr<Console> console_;
    std::unique_ptr<Recording> recording_;
    std::unique_ptr<Api> api_;
    std::unique_ptr<httplib::Server> server_;
    std::thread listener_, worker_;
    service::Engine *engine_ = nullptr;
    int subscription_ = 0;
    int boundPort_ = 0;

    std::mutex queueMutex_;
    std::condition_variable queued_;
    std::deque<events::TagEvent> queue_;
    bool stopping_ = false;
    std::string fatal_;
};

}  // namespace tessaro::http
