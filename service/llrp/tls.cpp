#include "tls.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tessaro::llrp {

namespace {

// The reason of the first error OpenSSL queued, in its words; the queue is
// emptied, so that the next failure says its own.
std::string sslReason() {
    const unsigned long code = ERR_peek_error();  // the first: the cause
    const char *reason = code ? ERR_reason_error_string(code) : nullptr;
    ERR_clear_error();
    return reason ? reason : "unreadable";
}

// A key with a passphrase would ask for it on the terminal: refuse instead.
int noPassphrase(char *, int, int, void *) { return -1; }

bool readable(const std::string &what, const std::string &path, std::string &error) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot read the " + what + " " + path + ": " + std::strerror(errno);
        return false;
    }
    std::fclose(file);
    return true;
}

}  // namespace

std::unique_ptr<TlsContext> TlsContext::load(const std::string &certFile, const std::string &keyFile,
                                             std::string &error) {
    if (!readable("certificate", certFile, error) || !readable("key", keyFile, error)) return nullptr;
    ERR_clear_error();
    SSL_CTX *raw = SSL_CTX_new(TLS_server_method());
    if (!raw) {
        error = "cannot set up TLS: " + sslReason();
        return nullptr;
    }
    std::unique_ptr<TlsContext> context(new TlsContext(raw));
    SSL_CTX_set_min_proto_version(raw, TLS1_2_VERSION);
    SSL_CTX_set_options(raw, SSL_OP_NO_RENEGOTIATION);  // a client cannot make the server redo handshakes
    SSL_CTX_set_default_passwd_cb(raw, noPassphrase);
    if (SSL_CTX_use_certificate_chain_file(raw, certFile.c_str()) != 1) {
        error = "the certificate " + certFile + " holds no usable PEM certificate (" + sslReason() + ")";
        return nullptr;
    }
    BIO *file = BIO_new_file(keyFile.c_str(), "r");
    EVP_PKEY *key = file ? PEM_read_bio_PrivateKey(file, nullptr, noPassphrase, nullptr) : nullptr;
    BIO_free(file);
    if (!key) {
        const std::string reason = sslReason();
        error = "the key " + keyFile +
                (reason.find("bad password") != std::string::npos || reason.find("bad decrypt") != std::string::npos ||
                         reason.find("interrupted or cancelled") != std::string::npos
                     ? " needs a passphrase; give the server a key without one"
                     : " holds no usable PEM private key (" + reason + ")");
        return nullptr;
    }
    const bool matches = X509_check_private_key(SSL_CTX_get0_certificate(raw), key) == 1;
    const bool used = matches && SSL_CTX_use_PrivateKey(raw, key) == 1;
    EVP_PKEY_free(key);
    if (!used) {
        error = matches ? "the key " + keyFile + " cannot be used (" + sslReason() + ")"
                        : "the key " + keyFile + " does not match the certificate " + certFile;
        ERR_clear_error();
        return nullptr;
    }
    return context;
}

TlsContext::~TlsContext() { SSL_CTX_free(context_); }

TlsChannel::TlsChannel(const TlsContext &context) : ssl_(SSL_new(context.get())) {
    in_ = BIO_new(BIO_s_mem());
    out_ = BIO_new(BIO_s_mem());
    if (!ssl_ || !in_ || !out_) {
        failed_ = true;
        BIO_free(in_);
        BIO_free(out_);
        in_ = out_ = nullptr;
        return;
    }
    SSL_set_bio(ssl_, in_, out_);
    SSL_set_accept_state(ssl_);
}

TlsChannel::~TlsChannel() { SSL_free(ssl_); }

bool TlsChannel::receive(const std::uint8_t *data, std::size_t size, std::vector<std::uint8_t> &plain,
                         std::string &error) {
    if (failed_) {
        error = "TLS could not be set up";
        return false;
    }
    if (size > 0 && BIO_write(in_, data, static_cast<int>(size)) != static_cast<int>(size)) {
        error = "out of memory";
        failed_ = true;
        return false;
    }
    const auto failure = [this, &error](int rc, const char *during) {
        const int code = SSL_get_error(ssl_, rc);
        if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) return false;
        if (code == SSL_ERROR_ZERO_RETURN) {
            peerClosed_ = true;
            return false;
        }
        error = std::string("TLS ") + during + " failed: " + sslReason();
        failed_ = true;
        return true;
    };
    ERR_clear_error();
    if (!established_) {
        const int rc = SSL_do_handshake(ssl_);
        if (rc != 1) return !failure(rc, "handshake");
        established_ = true;
        if (!writeHeld()) {
            error = "TLS failed: " + sslReason();
            return false;
        }
    }
    std::uint8_t buffer[16384];
    for (;;) {
        const int n = SSL_read(ssl_, buffer, sizeof buffer);
        if (n > 0) {
            plain.insert(plain.end(), buffer, buffer + n);
            continue;
        }
        return !failure(n, "read");
    }
}

bool TlsChannel::writeHeld() {
    if (held_.empty()) return true;
    const int n = SSL_write(ssl_, held_.data(), static_cast<int>(held_.size()));
    held_.clear();
    if (n > 0) return true;
    failed_ = true;
    return false;
}

void TlsChannel::send(const std::uint8_t *data, std::size_t size) {
    if (failed_ || size == 0) return;
    held_.insert(held_.end(), data, data + size);
    // Memory buffers take every record at once: nothing waits on the socket here.
    if (established_) writeHeld();
}

void TlsChannel::take(std::vector<std::uint8_t> &out) {
    if (!out_) return;
    char buffer[16384];
    for (int n; (n = BIO_read(out_, buffer, sizeof buffer)) > 0;) out.insert(out.end(), buffer, buffer + n);
}

void TlsChannel::shutdown() {
    if (ssl_ && established_ && !failed_) {
        ERR_clear_error();
        SSL_shutdown(ssl_);
        ERR_clear_error();
    }
}

}  // namespace tessaro::llrp
