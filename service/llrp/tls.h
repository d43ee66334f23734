// LLRP over TLS: the server's certificate and key (checked when they are
// loaded, so that a wrong file stops the server before it listens), and one
// connection's TLS state on memory buffers. The server keeps doing its own
// socket I/O (non-blocking, no SIGPIPE): it feeds what the socket gave in
// and sends what comes out, so a TLS connection is handled exactly like a
// plain one in its poll loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;
typedef struct bio_st BIO;

namespace tessaro::llrp {

class TlsContext {
public:
    // The certificate chain and private key in PEM files. Null (and `error`
    // says which file and why) when a file cannot be read, holds no
    // certificate or key, the key has a passphrase, or the two do not match.
    static std::unique_ptr<TlsContext> load(const std::string &certFile, const std::string &keyFile,
                                            std::string &error);
    ~TlsContext();
    TlsContext(const TlsContext &) = delete;
    TlsContext &operator=(const TlsContext &) = delete;
    SSL_CTX *get() const { return context_; }

private:
    explicit TlsContext(SSL_CTX *context) : context_(context) {}
    SSL_CTX *context_;
};

// The server's side of one TLS connection.
class TlsChannel {
public:
    explicit TlsChannel(const TlsContext &context);
    ~TlsChannel();
    TlsChannel(const TlsChannel &) = delete;
    TlsChannel &operator=(const TlsChannel &) = delete;

    // Bytes the socket gave: the handshake goes on, and what they carry for
    // the server is appended to `plain`. False, with `error` in words, when
    // the peer does not speak TLS or the connection failed.
    bool receive(const std::uint8_t *data, std::size_t size, std::vector<std::uint8_t> &plain, std::string &error);
    // Bytes for the peer; held until the handshake is done.
    void send(const std::uint8_t *data, std::size_t size);
    // Appends what is to go on the socket (handshake, records, alerts) to `out`.
    void take(std::vector<std::uint8_t> &out);
    // Says goodbye (close_notify): the next take() carries it.
    void shutdown();
    bool established() const { return established_; }
    // The peer said goodbye (close_notify).
    bool peerClosed() const { return peerClosed_; }

private:
    bool writeHeld();

    SSL *ssl_ = nullptr;
    BIO *in_ = nullptr;   // owned by ssl_
    BIO *out_ = nullptr;  // owned by ssl_
    bool established_ = false;
    bool peerClosed_ = false;
    bool failed_ = false;
    std::vector<std::uint8_t> held_;  // sent before the handshake was done
};

}  // namespace tessaro::llrp
