#include "server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>

#include "codec.h"
#include "session.h"

namespace tessaro::llrp {

namespace {

std::uint64_t nowMs() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

std::uint64_t utcNowUs() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch()).count());
}

// What the reading hands over from its own thread, for the loop to take.
class Inbox {
public:
    struct Item {
        bool isTag = true;
        TagSighting tag;
        ReaderEvent event = ReaderEvent::Lost;
        std::string text;
    };

    Inbox() {
        if (pipe(wake_) == 0)
            for (const int fd : wake_) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    ~Inbox() {
        for (const int fd : wake_)
            if (fd >= 0) ::close(fd);
    }
    int fd() const { return wake_[0]; }

    void push(Item item) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            // A client far behind loses reads rather than the server its memory.
            if (items_.size() >= kMaxItems) return;
            items_.push_back(std::move(item));
        }
        const char byte = 1;
        (void)!write(wake_[1], &byte, 1);
    }
    std::deque<Item> take() {
        char sink[256];
        while (read(wake_[0], sink, sizeof sink) > 0) {
        }
        std::lock_guard<std::mutex> lock(mutex_);
        std::deque<Item> taken;
        taken.swap(items_);
        return taken;
    }

private:
    static constexpr std::size_t kMaxItems = 100000;
    std::mutex mutex_;
    std::deque<Item> items_;
    int wake_[2] = {-1, -1};
};

std::string peerName(const sockaddr_in &a) {
    char host[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &a.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(a.sin_port));
}

std::vector<std::uint8_t> connectionEvent(std::uint16_t status) {
    Element data = Element::make("ReaderEventNotificationData");
    data.add(Element::make("UTCTimestamp").set("Microseconds", utcNowUs()));
    data.add(Element::make("ConnectionAttemptEvent").set("Status", status));
    Message m;
    m.body = Element::make("READER_EVENT_NOTIFICATION");
    m.body.add(std::move(data));
    return encode(m);
}

}  // namespace

class Server::Loop {
public:
    Loop(ReaderLink &reader, const ServerOptions &options) : reader_(reader), options_(options) {}
    ~Loop() {
        if (listener_ >= 0) ::close(listener_);
    }
    bool listen(std::string &error);
    void run();

private:
    void log(const std::string &text) const {
        if (!options_.quiet) std::fprintf(stderr, "llrp: %s\n", text.c_str());
    }
    void accept(std::uint64_t now);
    void receive(std::uint64_t now);
    void send(const Message &m);
    void writeOut();
    void drop(std::uint64_t now, const std::string &why, bool tell);
    void deliver(std::uint64_t now);  // what the reading handed over, to the session

    ReaderLink &reader_;
    const ServerOptions &options_;
    ReaderFacts facts_;
    Inbox inbox_;
    int listener_ = -1;
    int client_ = -1;
    std::string clientName_;
    FrameReader frames_;
    std::vector<std::uint8_t> out_;
    std::size_t outStart_ = 0;
    bool closing_ = false;  // flush what is queued, then close
    std::unique_ptr<Session> session_;
};

void Server::Loop::send(const Message &m) {
    std::vector<std::uint8_t> wire;
    std::string error;
    if (!encode(m, wire, error)) {
        log("a message could not be encoded: " + error);
        return;
    }
    out_.insert(out_.end(), wire.begin(), wire.end());
}

void Server::Loop::writeOut() {
    while (client_ >= 0 && outStart_ < out_.size()) {
        const ssize_t n = ::send(client_, out_.data() + outStart_, out_.size() - outStart_, MSG_NOSIGNAL);
        if (n > 0) {
            outStart_ += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) break;
        drop(nowMs(), "the connection broke", false);
        return;
    }
    if (outStart_ == out_.size()) {
        out_.clear();
        outStart_ = 0;
    } else if (outStart_ > (1u << 20)) {
        out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(outStart_));
        outStart_ = 0;
    }
}

void Server::Loop::drop(std::uint64_t now, const std::string &why, bool tell) {
    if (client_ < 0) return;
    if (session_) {
        session_->close(now, tell);
        if (tell) {
            // Best effort: the ConnectionCloseEvent, then the socket goes.
            const int flags = fcntl(client_, F_GETFL);
            fcntl(client_, F_SETFL, flags & ~O_NONBLOCK);
            timeval limit{0, 200000};
            setsockopt(client_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
            if (outStart_ < out_.size())
                (void)!::send(client_, out_.data() + outStart_, out_.size() - outStart_, MSG_NOSIGNAL);
        }
    }
    session_.reset();
    ::close(client_);
    client_ = -1;
    out_.clear();
    outStart_ = 0;
    frames_ = FrameReader();
    closing_ = false;
    log(clientName_ + " " + why);
}

void Server::Loop::accept(std::uint64_t now) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept(listener_, reinterpret_cast<sockaddr *>(&peer), &length);
    if (fd < 0) return;
    if (client_ >= 0) {
        // One client at a time: the newcomer hears why, the client is told of it.
        const std::vector<std::uint8_t> refusal = connectionEvent(2);
        timeval limit{0, 200000};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        (void)!::send(fd, refusal.data(), refusal.size(), MSG_NOSIGNAL);
        shutdown(fd, SHUT_WR);
        ::close(fd);
        log("refused " + peerName(peer) + ": " + clientName_ + " is connected");
        return;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    client_ = fd;
    clientName_ = peerName(peer);
    session_ = std::make_unique<Session>(reader_, facts_, [this](const Message &m) { send(m); }, utcNowUs);
    session_->setDrain([this] { deliver(nowMs()); });
    session_->open(now);
    log(clientName_ + " connected");
}

void Server::Loop::receive(std::uint64_t now) {
    std::uint8_t buffer[65536];
    const ssize_t n = recv(client_, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        drop(now, n == 0 ? "left" : "vanished", false);
        return;
    }
    if (n < 0 || closing_) return;
    frames_.feed(buffer, static_cast<std::size_t>(n));
    std::vector<std::uint8_t> frame;
    Header header;
    for (;;) {
        const FrameReader::Result result = frames_.next(frame, header);
        if (result == FrameReader::kNeedMore) return;
        if (result != FrameReader::kMessage) {
            // The length field cannot be right: nothing after it can be read.
            Message m;
            m.version = header.version;
            m.id = header.id;
            m.body = Element::make("ERROR_MESSAGE");
            m.body.add(status(kMFieldError, "message length " + std::to_string(header.length) +
                                                (result == FrameReader::kTooLong
                                                     ? " is above the " + std::to_string(kMaxMessageBytes) + " bytes this reader takes"
                                                     : " is shorter than a header") +
                                                "; the connection closes"));
            send(m);
            closing_ = true;
            return;
        }
        Message m;
        Fault fault;
        if (!decode(frame.data(), frame.size(), m, fault)) {
            session_->refuse(m, fault);
        } else if (!session_->handle(m, now)) {
            closing_ = true;
            return;
        }
    }
}

void Server::Loop::deliver(std::uint64_t now) {
    for (Inbox::Item &item : inbox_.take()) {
        if (!session_) continue;  // nobody to tell
        if (item.isTag) session_->tag(item.tag, now);
        else session_->readerEvent(item.event, item.text, now);
    }
}

bool Server::Loop::listen(std::string &error) {
    facts_ = reader_.facts();
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(options_.port));
    if (inet_pton(AF_INET, options_.bind.c_str(), &address.sin_addr) != 1) {
        error = "\"" + options_.bind + "\" is not an IPv4 address";
        return false;
    }
    if (bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(listener_, 4) != 0) {
        error = "cannot listen on " + options_.bind + ":" + std::to_string(options_.port) + ": " + std::strerror(errno);
        return false;
    }
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length);
    std::printf("LLRP reader listening on %s:%d (%s, firmware %s, %u antennas)\n", options_.bind.c_str(),
                ntohs(address.sin_port), facts_.model.c_str(), facts_.firmware.c_str(), facts_.antennas);
    std::fflush(stdout);
    return true;
}

void Server::Loop::run() {
    reader_.setHandlers(
        [this](const TagSighting &s) {
            Inbox::Item item;
            item.tag = s;
            inbox_.push(std::move(item));
        },
        [this](ReaderEvent e, const std::string &text) {
            Inbox::Item item;
            item.isTag = false;
            item.event = e;
            item.text = text;
            inbox_.push(std::move(item));
        });

    while (!(options_.stop && options_.stop->load())) {
        if (options_.poll) options_.poll();
        std::uint64_t now = nowMs();
        deliver(now);
        int timeout = 100;
        if (session_) {
            timeout = static_cast<int>(std::min<std::uint64_t>(session_->tick(now), 100));
            if (session_->unresponsive()) drop(now, "stopped answering keepalives: dropped", true);
        }
        if (client_ >= 0 && out_.size() - outStart_ > options_.maxBacklogBytes)
            drop(now, "does not read its reports: dropped", false);
        writeOut();
        if (closing_ && client_ >= 0 && outStart_ == out_.size()) drop(now, "closed the connection", false);

        pollfd fds[3] = {{listener_, POLLIN, 0}, {inbox_.fd(), POLLIN, 0}, {client_, POLLIN, 0}};
        if (client_ >= 0 && outStart_ < out_.size()) fds[2].events |= POLLOUT;
        const nfds_t count = client_ >= 0 ? 3 : 2;
        if (poll(fds, count, timeout) < 0 && errno != EINTR) break;
        now = nowMs();
        if (fds[0].revents & POLLIN) accept(now);
        if (client_ >= 0 && count == 3 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) receive(now);
    }
    if (client_ >= 0) drop(nowMs(), "was disconnected: the server stops", true);
    reader_.stop();
    reader_.setHandlers(nullptr, nullptr);
}

Server::Server(ReaderLink &reader, const ServerOptions &options) : loop_(std::make_unique<Loop>(reader, options)) {}
Server::~Server() = default;
bool Server::listen(std::string &error) { return loop_->listen(error); }
void Server::run() { loop_->run(); }

}  // namespace tessaro::llrp
