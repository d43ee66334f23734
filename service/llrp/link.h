// One TCP connection of the LLRP server: its non-blocking socket, its TLS
// state when the server speaks TLS, and the bytes waiting to go out. The
// server's loop polls the socket and calls receive() and flush(); what it
// queues is plaintext, encrypted here when the connection is TLS.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tls.h"

namespace tessaro::llrp {

class Link {
public:
    // Takes `fd` (closed with the object); `tls` null: plain TCP.
    Link(int fd, std::string name, const TlsContext *tls, std::uint64_t nowMs);
    ~Link();
    Link(const Link &) = delete;
    Link &operator=(const Link &) = delete;

    int fd() const { return fd_; }
    const std::string &name() const { return name_; }
    std::uint64_t since() const { return since_; }
    // Plain TCP, or TLS with its handshake done.
    bool ready() const { return !tls_ || tls_->established(); }

    // Bytes for the peer.
    void queue(const std::uint8_t *data, std::size_t size);
    // Bytes waiting for the socket (as they go on the wire).
    std::size_t backlog() const { return out_.size() - outStart_; }

    enum class Read { Data, Nothing, Closed, Failed };
    // One read of the socket; what it carried for the server is appended to
    // `plain`. Closed: the peer closed (or said TLS goodbye); Failed: the
    // connection broke or spoke no TLS, and `why` says so.
    Read receive(std::vector<std::uint8_t> &plain, std::string &why);
    // Sends what the socket takes now. False when the connection broke.
    bool flush();
    // Waits up to `ms` for what is queued to go out: for last words before
    // the socket is closed.
    void flushFor(int ms);
    // A TLS goodbye (close_notify) after what is queued; nothing for plain
    // TCP. Said once, and only once a handshake is done.
    void goodbye();
    bool saidGoodbye() const { return saidGoodbye_; }

private:
    int fd_;
    std::string name_;
    std::uint64_t since_;
    std::unique_ptr<TlsChannel> tls_;
    std::vector<std::uint8_t> out_;
    std::size_t outStart_ = 0;
    bool saidGoodbye_ = false;
};

}  // namespace tessaro::llrp
