// The console's HTTP interface: the page, the REST API under /api/v1/, the
// live event stream (Server-Sent Events) and /metrics, with the checks every
// request passes first: its Host (DNS rebinding), its token, its body.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "console.h"
#include "engine.h"
#include "reader_ops.h"
#include "recording.h"
#include "run.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace tessaro::http {

struct ApiOptions {
    std::string token;                      // never empty
    bool tokenForEverything = false;        // bound beyond the loopback: reads need it too
    bool loopbackOnly = true;               // Host may name only the loopback
    std::vector<std::string> allowedHosts;  // more names Host may give (lower case)
    bool tls = false;
    std::size_t maxBodyBytes = 64 * 1024;
    unsigned maxStreams = 32;               // event-stream clients at once
    std::size_t recentEvents = 100;         // what a new stream client gets first
};

// Another output of the same run whose figures /metrics shows (its
// summarize()), under tessaro_NAME_*.
struct Peer {
    std::string name;
    service::Sink *sink = nullptr;
};

class Api {
public:
    Api(service::Engine &engine, Console &console, Recording &recording, ApiOptions options,
        std::vector<Peer> peers = {});

    // Registers the checks and routes on `server`.
    void install(httplib::Server &server);
    // Ends every event stream (the server is stopping).
    void stop();

    // The figures in Prometheus text format (0.0.4).
    std::string metrics();
    unsigned streamClients() const { return streams_.load(); }
    // Events the console's queue could not take (counted by the sink).
    std::atomic<std::uint64_t> queueDropped{0};

    // The checks alone, for tests and the fuzzer: true when the request may
    // go on; else `res` holds the refusal.
    bool admit(const httplib::Request &req, httplib::Response &res);
    bool hostAllowed(const std::string &host) const;

private:
    void reply(httplib::Response &res, const Answer &answer);
    const service::ReaderInfo *readerOf(const httplib::Request &req, httplib::Response &res);
    bool body(const httplib::Request &req, httplib::Response &res, nlohmann::json &out);
    void stream(const httplib::Request &req, httplib::Response &res);

    service::Engine &engine_;
    Console &console_;
    Recording &recording_;
    ApiOptions options_;
    std::vector<Peer> peers_;
    std::atomic<unsigned> streams_{0};
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> skipped_{0};
};

// The page's files, embedded at build time (www_files.cpp, generated).
struct WwwFile {
    const char *path;
    const char *contentType;
    const unsigned char *data;
    std::size_t size;
};
const WwwFile *findWwwFile(const std::string &path);

// A token of 32 random hex digits.
std::string makeToken();

}  // namespace tessaro::http
