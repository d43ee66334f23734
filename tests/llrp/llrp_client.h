// A small LLRP client for the session tests and the benchmark: it starts
// `tessaro --sim llrp` on 127.0.0.1 and a free port, connects (over TLS if
// asked), sends messages
// built from the codec's definitions and waits for what comes back, with a
// bound on every wait.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "codec.h"

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace tessaro::llrp::testing {

// `tessaro --sim llrp` in a child process, stopped with the object.
class ServerProcess {
public:
    // `extra`: more arguments after "llrp"; `global`: before it (--virtual-clock).
    explicit ServerProcess(const std::vector<std::string> &extra = {}, const std::vector<std::string> &global = {});
    ~ServerProcess();
    // Stops the server (SIGTERM, then SIGKILL after 5 s) and returns its exit
    // code: 0 when it ended cleanly, -1 when it had to be killed or died of a
    // signal. Once only; the destructor calls it if nobody did.
    int stop();
    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    bool running() const { return port_ > 0; }

private:
    pid_t pid_ = -1;
    int output_ = -1;  // the read end of its stdout
    int port_ = 0;
    std::string journal_;
};

class Client {
public:
    Client() = default;
    ~Client();
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    bool connect(int port);
    // Connects over TLS, trusting only the certificate in `caFile` (the
    // server's own, when it signed itself). False when the handshake fails.
    bool connectTls(int port, const std::string &caFile);
    void close();  // abruptly: no CLOSE_CONNECTION
    bool send(const Message &m);
    bool sendBytes(const std::vector<std::uint8_t> &bytes);
    // The next message within `timeoutMs`; false on timeout, end or a broken stream.
    bool receive(Message &m, int timeoutMs = 5000);
    // Sends `body` with a fresh id and returns the response (the message with
    // that id); messages that come in between are kept for next().
    Message transact(Element body, int timeoutMs = 5000);
    // The next message, from those kept first.
    bool next(Message &m, int timeoutMs = 5000);
    // Waits for a message named `name`, keeping the others (in order) in `skipped`.
    bool waitFor(const std::string &name, Message &m, int timeoutMs, std::vector<Message> *skipped = nullptr);
    // True when the server closed the connection within `timeoutMs`.
    bool closedByServer(int timeoutMs);
    std::uint32_t nextId() { return ++id_; }

private:
    // One read of the connection (TLS or not) within `timeoutMs`; 0 at the end.
    ssize_t readSome(std::uint8_t *buffer, std::size_t size, int timeoutMs);

    int fd_ = -1;
    SSL_CTX *tlsContext_ = nullptr;
    SSL *tls_ = nullptr;
    std::uint32_t id_ = 100;
    FrameReader frames_;
    std::deque<Message> kept_;
};

// Helpers to build what clients send.
Element rospec(std::uint32_t id, int startType, std::uint32_t stopDurationMs, Element aiSpec,
               int reportTrigger, unsigned n, std::uint32_t periodMs = 0);
Element aiSpec(std::vector<std::uint32_t> antennas, int stopType = 0, std::uint32_t durationMs = 0);
std::uint16_t statusOf(const Message &response);  // the LLRPStatus code
// The EPCs (hex) of every TagReportData of an RO_ACCESS_REPORT.
std::vector<std::string> epcsOf(const Message &report);
std::string hex(const std::vector<std::uint8_t> &bytes);
std::vector<std::uint8_t> unhex(const std::string &text);

// The Gen2 tags of the sample shelf (sim/populations/shelf.tags): EPC, TID,
// and user memory (the words given, hex, then zeros up to `userWords`).
struct ShelfTag {
    std::string epc, tid, user;
    unsigned userWords = 0;
};
std::vector<ShelfTag> shelfTags();

}  // namespace tessaro::llrp::testing
