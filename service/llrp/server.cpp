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
#include "link.h"
#include "session.h"
#include "tls.h"

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

// How long a TLS client may take over its handshake, and a refused client
// to hear why; how many refused clients are heard out at once (the rest are
// closed without a word).
constexpr std::uint64_t kHandshakeMs = 10000;
constexpr std::uint64_t kRefusalMs = 2000;
constexpr std::size_t kMaxRefused = 8;

class Server::Loop {
public:
    Loop(ReaderLink &reader, const ServerOptions &options) : reader_(reader), options_(options) {}
    ~Loop() {
        if (listener_ >= 0) ::close(listener_);
    }
    bool listen(std::string &error);
    void run();

private:
    // A second client, told why it is refused, then closed.
    struct Refused {
        std::unique_ptr<Link> link;
        std::uint64_t deadlineMs = 0;
        bool halfClosed = false;  // everything said, waiting for the peer to close
    };

    void log(const std::string &text) const {
        if (!options_.quiet) std::fprintf(stderr, "llrp: %s\n", text.c_str());
    }
    void accept(std::uint64_t now);
    void receive(std::uint64_t now);
    void take(const std::vector<std::uint8_t> &plain, std::uint64_t now);  // the client's messages
    void send(const Message &m);
    void closeWhenSent();
    void drop(std::uint64_t now, const std::string &why, bool tell);
    void deliver(std::uint64_t now);  // what the reading handed over, to the session
    // Goes on with the refused clients; false once `r` is done with.
    bool serveRefused(Refused &r, short revents, std::uint64_t now);

    ReaderLink &reader_;
    const ServerOptions &options_;
    ReaderFacts facts_;
    Inbox inbox_;
    std::unique_ptr<TlsContext> tls_;
    int listener_ = -1;
    std::unique_ptr<Link> client_;
    FrameReader frames_;
    bool closing_ = false;  // flush what is queued, then close
    std::unique_ptr<Session> session_;
    std::vector<Refused> refused_;
};

void Server::Loop::send(const Message &m) {
    std::vector<std::uint8_t> wire;
    std::string error;
    if (!encode(m, wire, error)) {
        log("a message could not be encoded: " + error);
        return;
    }
    if (client_) client_->queue(wire.data(), wire.size());
}

void Server::Loop::closeWhenSent() {
    closing_ = true;
    client_->goodbye();
}

void Server::Loop::drop(std::uint64_t now, const std::string &why, bool tell) {
    if (!client_) return;
    if (session_) {
        session_->close(now, tell);
        if (tell) {
            // Best effort: the ConnectionCloseEvent, then the socket goes.
            client_->goodbye();
            client_->flushFor(200);
        }
    }
    session_.reset();
    const std::string name = client_->name();
    client_.reset();
    frames_ = FrameReader();
    closing_ = false;
    log(name + " " + why);
}

void Server::Loop::accept(std::uint64_t now) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept4(listener_, reinterpret_cast<sockaddr *>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto link = std::make_unique<Link>(fd, peerName(peer), tls_.get(), now);
    if (client_) {
        // One client at a time: the newcomer hears why (after its handshake,
        // over TLS), the client is not disturbed.
        log("refused " + link->name() + ": " + client_->name() + " is connected");
        if (refused_.size() == kMaxRefused) return;
        const std::vector<std::uint8_t> refusal = connectionEvent(2);
        link->queue(refusal.data(), refusal.size());
        refused_.push_back({std::move(link), now + kRefusalMs, false});
        return;
    }
    client_ = std::move(link);
    session_ = std::make_unique<Session>(reader_, facts_, [this](const Message &m) { send(m); }, utcNowUs);
    session_->setDrain([this] { deliver(nowMs()); });
    session_->open(now);
    log(client_->name() + " connected" + (tls_ ? " (TLS)" : ""));
}

bool Server::Loop::serveRefused(Refused &r, short revents, std::uint64_t now) {
    Link &link = *r.link;
    if (revents & (POLLIN | POLLHUP | POLLERR)) {
        std::vector<std::uint8_t> ignored;  // what it says is not heard
        std::string why;
        const Link::Read read = link.receive(ignored, why);
        if (read == Link::Read::Closed || read == Link::Read::Failed) return false;
    }
    link.goodbye();  // once its handshake is done
    if (!link.flush()) return false;
    if (link.saidGoodbye() && link.backlog() == 0 && !r.halfClosed) {
        // Said: the peer closes, and no reset cuts off what it has not read yet.
        shutdown(link.fd(), SHUT_WR);
        r.halfClosed = true;
    }
    return now < r.deadlineMs;
}

void Server::Loop::receive(std::uint64_t now) {
    std::vector<std::uint8_t> plain;
    std::string why;
    const Link::Read read = client_->receive(plain, why);
    if (read == Link::Read::Failed) return drop(now, why, false);
    if (!plain.empty() && !closing_) take(plain, now);
    if (read == Link::Read::Closed && client_) {
        // The last words (a CLOSE_CONNECTION's answer) go out if they can.
        if (closing_) client_->flushFor(200);
        drop(now, closing_ ? "closed the connection" : "left", false);
    }
}

void Server::Loop::take(const std::vector<std::uint8_t> &plain, std::uint64_t now) {
    frames_.feed(plain.data(), plain.size());
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
            closeWhenSent();
            return;
        }
        Message m;
        Fault fault;
        if (!decode(frame.data(), frame.size(), m, fault)) {
            session_->refuse(m, fault);
        } else if (!session_->handle(m, now)) {
            closeWhenSent();
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
    if (options_.certFile.empty() != options_.keyFile.empty()) {
        error = "a certificate and its key go together (--cert and --key)";
        return false;
    }
    if (!options_.certFile.empty() && !(tls_ = TlsContext::load(options_.certFile, options_.keyFile, error)))
        return false;
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
    std::printf("LLRP reader listening on %s:%d %s(%s, firmware %s, %u antennas)\n", options_.bind.c_str(),
                ntohs(address.sin_port), tls_ ? "over TLS " : "", facts_.model.c_str(), facts_.firmware.c_str(),
                facts_.antennas);
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

    std::vector<pollfd> fds;
    while (!(options_.stop && options_.stop->load())) {
        if (options_.poll) options_.poll();
        std::uint64_t now = nowMs();
        deliver(now);
        int timeout = 100;
        if (session_) {
            timeout = static_cast<int>(std::min<std::uint64_t>(session_->tick(now), 100));
            if (session_->unresponsive()) drop(now, "stopped answering keepalives: dropped", true);
        }
        if (client_ && !client_->ready() && now - client_->since() > kHandshakeMs)
            drop(now, "did not finish its TLS handshake: dropped", false);
        if (client_ && client_->backlog() > options_.maxBacklogBytes)
            drop(now, "does not read its reports: dropped", false);
        if (client_ && !client_->flush()) drop(now, "the connection broke", false);
        if (closing_ && client_ && client_->backlog() == 0) drop(now, "closed the connection", false);

        // The listener, the reading's wake-up, the client, the refused ones.
        fds.assign({{listener_, POLLIN, 0}, {inbox_.fd(), POLLIN, 0}, {client_ ? client_->fd() : -1, POLLIN, 0}});
        if (client_ && client_->backlog() > 0) fds[2].events |= POLLOUT;
        for (const Refused &r : refused_)
            fds.push_back({r.link->fd(), static_cast<short>(POLLIN | (r.link->backlog() > 0 ? POLLOUT : 0)), 0});
        if (!refused_.empty()) timeout = std::min(timeout, 50);
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
        now = nowMs();
        for (std::size_t i = refused_.size(); i-- > 0;)
            if (!serveRefused(refused_[i], fds[3 + i].revents, now)) refused_.erase(refused_.begin() + static_cast<std::ptrdiff_t>(i));
        if (client_ && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) receive(now);
        if (fds[0].revents & POLLIN) accept(now);
    }
    if (client_) drop(nowMs(), "was disconnected: the server stops", true);
    refused_.clear();
    reader_.stop();
    reader_.setHandlers(nullptr, nullptr);
}

Server::Server(ReaderLink &reader, const ServerOptions &options) : loop_(std::make_unique<Loop>(reader, options)) {}
Server::~Server() = default;
bool Server::listen(std::string &error) { return loop_->listen(error); }
void Server::run() { loop_->run(); }

}  // namespace tessaro::llrp
