#include "link.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace tessaro::llrp {

Link::Link(int fd, std::string name, const TlsContext *tls, std::uint64_t nowMs)
    : fd_(fd), name_(std::move(name)), since_(nowMs), tls_(tls ? std::make_unique<TlsChannel>(*tls) : nullptr) {}

Link::~Link() {
    if (fd_ >= 0) ::close(fd_);
}

void Link::queue(const std::uint8_t *data, std::size_t size) {
    if (!tls_) {
        out_.insert(out_.end(), data, data + size);
        return;
    }
    tls_->send(data, size);
    tls_->take(out_);
}

Link::Read Link::receive(std::vector<std::uint8_t> &plain, std::string &why) {
    std::uint8_t buffer[65536];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n == 0) return Read::Closed;
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return Read::Nothing;
        why = "vanished";
        return Read::Failed;
    }
    if (!tls_) {
        plain.insert(plain.end(), buffer, buffer + n);
        return Read::Data;
    }
    const bool ok = tls_->receive(buffer, static_cast<std::size_t>(n), plain, why);
    tls_->take(out_);  // the handshake's answers, alerts
    if (!ok) return Read::Failed;
    return tls_->peerClosed() ? Read::Closed : Read::Data;
}

bool Link::flush() {
    while (outStart_ < out_.size()) {
        const ssize_t n = ::send(fd_, out_.data() + outStart_, out_.size() - outStart_, MSG_NOSIGNAL);
        if (n > 0) {
            outStart_ += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) break;
        return false;
    }
    if (outStart_ == out_.size()) {
        out_.clear();
        outStart_ = 0;
    } else if (outStart_ > (1u << 20)) {
        out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(outStart_));
        outStart_ = 0;
    }
    return true;
}

void Link::flushFor(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (backlog() > 0 && flush() && backlog() > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLOUT, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return;
    }
}

void Link::goodbye() {
    if (saidGoodbye_ || !ready()) return;
    saidGoodbye_ = true;
    if (!tls_) return;
    tls_->shutdown();
    tls_->take(out_);
}

}  // namespace tessaro::llrp
