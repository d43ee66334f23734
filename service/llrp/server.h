// The LLRP reader server: a TCP listener (plain, or TLS with a certificate)
// that serves one client at a time with a Session over the reader. A second client is told
// Failed_A_Client_Initiated_Connection_Already_Exists and closed; a client
// that vanishes, stops answering keepalives or stops reading its reports is
// dropped, and its ROSpecs stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "reader.h"

namespace tessaro::llrp {

struct ServerOptions {
    std::string bind = "0.0.0.0";
    int port = 5084;              // 0: any free port (the line on stdout names it)
    // Both: LLRP over TLS with this certificate chain and private key (PEM),
    // checked by listen().
    std::string certFile, keyFile;
    // Bytes waiting to go to a client that does not read them; beyond, it is dropped.
    std::size_t maxBacklogBytes = 16u << 20;
    bool quiet = false;           // no connection log on stderr
    const std::atomic<bool> *stop = nullptr;   // set from a signal handler
    std::function<void()> poll;   // called from the loop, at least every 100 ms
};

class Server {
public:
    Server(ReaderLink &reader, const ServerOptions &options);
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    // Loads the certificate and key when given, opens the listening socket
    // and says where on stdout. False (and `error` says why) when the TLS
    // files are not usable or the address or port cannot be had.
    bool listen(std::string &error);
    // Serves until `options.stop` is set.
    void run();

private:
    class Loop;
    std::unique_ptr<Loop> loop_;
};

}  // namespace tessaro::llrp
