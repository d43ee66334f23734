// The LLRP reader server: a TCP listener that serves one client at a time
// with a Session over the reader. A second client is told
// Failed_A_Client_Initiated_Connection_Already_Exists and closed; a client
// that vanishes, stops answering keepalives or stops reading its reports is
// dropped, and its ROSpecs stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "reader.h"

namespace tessaro::llrp {

struct ServerOptions {
    std::string bind = "0.0.0.0";
    int port = 5084;              // 0: any free port (the line on stdout names it)
    double seconds = 0;           // > 0: stop after this long
    // Bytes waiting to go to a client that does not read them; beyond, it is dropped.
    std::size_t maxBacklogBytes = 16u << 20;
    bool quiet = false;           // no connection log on stderr
    const std::atomic<bool> *stop = nullptr;   // set from a signal handler
    std::function<void()> poll;   // called from the loop, at least every 100 ms
};

// Serves until `options.stop`, the time is up, or the listener fails.
// Returns 0, or 1 with a message on stderr when the port could not be opened.
int serve(ReaderLink &reader, const ServerOptions &options);

}  // namespace tessaro::llrp
