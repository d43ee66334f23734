#include "llrp_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <openssl/ssl.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace tessaro::llrp::testing {

namespace {

std::uint64_t nowMs() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

}  // namespace

ServerProcess::ServerProcess(const std::vector<std::string> &extra, const std::vector<std::string> &global) {
    // Each server its own journal: one process per journal folder.
    char folder[] = "/tmp/tessaro-llrp-test-XXXXXX";
    if (!mkdtemp(folder)) return;
    journal_ = folder;
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<std::string> words = {TESSARO_CLI, "--sim", "--quiet", "llrp", "--port", "0", "--bind", "127.0.0.1",
                                          "--seconds", "120", "--journal", journal_};
        words.insert(words.begin() + 3, global.begin(), global.end());
        words.insert(words.end(), extra.begin(), extra.end());
        std::vector<char *> argv;
        for (std::string &w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        execv(TESSARO_CLI, argv.data());
        _exit(127);
    }
    ::close(out[1]);
    // The first line names the port: "LLRP reader listening on 127.0.0.1:PORT (...)".
    std::string line;
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0 && read(out[0], &c, 1) == 1) line += c;
    output_ = out[0];  // open until it ends: its summary line must not meet a closed pipe
    std::smatch match;
    if (std::regex_search(line, match, std::regex(":([0-9]+) "))) port_ = std::stoi(match[1]);
}

int ServerProcess::stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 250 && (ended = waitpid(pid_, &status, WNOHANG)) == 0; ++i) usleep(20000);
    if (ended == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    ::close(output_);
    output_ = -1;
    return ended > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ServerProcess::~ServerProcess() {
    stop();
    if (!journal_.empty()) std::filesystem::remove_all(journal_);
}

Client::~Client() { close(); }

bool Client::connect(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    const int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return ::connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
}

bool Client::connectTls(int port, const std::string &caFile) {
    if (!connect(port)) return false;
    // Blocking TLS over the socket, with a bound on every read and write.
    timeval limit{5, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    tlsContext_ = SSL_CTX_new(TLS_client_method());
    if (!tlsContext_ || SSL_CTX_load_verify_locations(tlsContext_, caFile.c_str(), nullptr) != 1) return false;
    SSL_CTX_set_verify(tlsContext_, SSL_VERIFY_PEER, nullptr);
    tls_ = SSL_new(tlsContext_);
    if (!tls_ || SSL_set_fd(tls_, fd_) != 1) return false;
    SSL_set1_host(tls_, "127.0.0.1");
    return SSL_connect(tls_) == 1;
}

void Client::close() {
    if (tls_) SSL_free(tls_);
    if (tlsContext_) SSL_CTX_free(tlsContext_);
    tls_ = nullptr;
    tlsContext_ = nullptr;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool Client::sendBytes(const std::vector<std::uint8_t> &bytes) {
    if (tls_) return SSL_write(tls_, bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size());
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

ssize_t Client::readSome(std::uint8_t *buffer, std::size_t size, int timeoutMs) {
    if (fd_ < 0) return 0;
    if (!tls_ || SSL_pending(tls_) == 0) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) return -1;
    }
    if (!tls_) {
        const ssize_t n = recv(fd_, buffer, size, 0);
        return n >= 0 ? n : errno == EAGAIN || errno == EINTR ? -1 : 0;  // a reset ends the stream
    }
    const int n = SSL_read(tls_, buffer, static_cast<int>(size));
    if (n > 0) return n;
    return SSL_get_error(tls_, n) == SSL_ERROR_WANT_READ ? -1 : 0;  // a goodbye or a reset ends it
}

bool Client::send(const Message &m) { return sendBytes(encode(m)); }

bool Client::receive(Message &m, int timeoutMs) {
    const std::uint64_t end = nowMs() + static_cast<std::uint64_t>(timeoutMs);
    std::vector<std::uint8_t> frame;
    Header header;
    for (;;) {
        const FrameReader::Result r = frames_.next(frame, header);
        if (r == FrameReader::kMessage) {
            Fault fault;
            return decode(frame.data(), frame.size(), m, fault);
        }
        if (r != FrameReader::kNeedMore) return false;
        const std::uint64_t now = nowMs();
        if (now >= end) return false;
        std::uint8_t buffer[65536];
        const ssize_t n = readSome(buffer, sizeof buffer, static_cast<int>(end - now));
        if (n <= 0) return false;
        frames_.feed(buffer, static_cast<std::size_t>(n));
    }
}

bool Client::next(Message &m, int timeoutMs) {
    if (!kept_.empty()) {
        m = std::move(kept_.front());
        kept_.pop_front();
        return true;
    }
    return receive(m, timeoutMs);
}

Message Client::transact(Element body, int timeoutMs) {
    Message request;
    request.id = nextId();
    request.body = std::move(body);
    send(request);
    const std::uint64_t end = nowMs() + static_cast<std::uint64_t>(timeoutMs);
    Message m;
    while (nowMs() < end && receive(m, static_cast<int>(end - nowMs()))) {
        if (m.id == request.id && (m.body.name().find("RESPONSE") != std::string::npos || m.body.is("ERROR_MESSAGE")))
            return m;
        kept_.push_back(m);
    }
    return Message{};
}

bool Client::waitFor(const std::string &name, Message &m, int timeoutMs, std::vector<Message> *skipped) {
    const std::uint64_t end = nowMs() + static_cast<std::uint64_t>(timeoutMs);
    while (true) {
        const std::uint64_t now = nowMs();
        if (now >= end && kept_.empty()) return false;
        if (!next(m, static_cast<int>(end > now ? end - now : 0))) return false;
        if (m.body.is(name)) return true;
        if (skipped) skipped->push_back(m);
    }
}

bool Client::closedByServer(int timeoutMs) {
    const std::uint64_t end = nowMs() + static_cast<std::uint64_t>(timeoutMs);
    std::uint8_t buffer[4096];
    for (std::uint64_t now; (now = nowMs()) < end;)
        if (readSome(buffer, sizeof buffer, static_cast<int>(end - now)) == 0) return true;
    return false;
}

Element aiSpec(std::vector<std::uint32_t> antennas, int stopType, std::uint32_t durationMs) {
    Element ai = Element::make("AISpec").setItems("AntennaIDs", std::move(antennas));
    ai.add(Element::make("AISpecStopTrigger").set("AISpecStopTriggerType", static_cast<std::uint64_t>(stopType))
               .set("DurationTrigger", durationMs));
    ai.add(Element::make("InventoryParameterSpec").set("InventoryParameterSpecID", 1).set("ProtocolID", 1));
    return ai;
}

Element rospec(std::uint32_t id, int startType, std::uint32_t stopDurationMs, Element ai, int reportTrigger,
               unsigned n, std::uint32_t periodMs) {
    Element start = Element::make("ROSpecStartTrigger").set("ROSpecStartTriggerType", static_cast<std::uint64_t>(startType));
    if (startType == 2) start.add(Element::make("PeriodicTriggerValue").set("Offset", 0).set("Period", periodMs));
    Element boundary = Element::make("ROBoundarySpec");
    boundary.add(std::move(start));
    boundary.add(Element::make("ROSpecStopTrigger").set("ROSpecStopTriggerType", stopDurationMs ? 1 : 0)
                     .set("DurationTriggerValue", stopDurationMs));
    Element selector = Element::make("TagReportContentSelector");
    for (const char *flag : {"EnableROSpecID", "EnableSpecIndex", "EnableInventoryParameterSpecID", "EnableAntennaID",
                             "EnableChannelIndex", "EnablePeakRSSI", "EnableFirstSeenTimestamp",
                             "EnableLastSeenTimestamp", "EnableTagSeenCount", "EnableAccessSpecID"})
        selector.set(flag, 1);
    Element report = Element::make("ROReportSpec").set("ROReportTrigger", static_cast<std::uint64_t>(reportTrigger)).set("N", n);
    report.add(std::move(selector));
    Element ro = Element::make("ROSpec").set("ROSpecID", id);
    ro.add(std::move(boundary));
    ro.add(std::move(ai));
    ro.add(std::move(report));
    return ro;
}

std::uint16_t statusOf(const Message &response) {
    const Element *s = response.body.definition() ? response.body.child("LLRPStatus") : nullptr;
    return s ? static_cast<std::uint16_t>(s->number("StatusCode")) : 0xFFFF;
}

std::string hex(const std::vector<std::uint8_t> &bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::vector<std::uint8_t> unhex(const std::string &text) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::vector<std::string> epcsOf(const Message &report) {
    std::vector<std::string> epcs;
    for (const Element *data : report.body.all("TagReportData")) {
        if (const Element *e = data->child("EPC_96")) epcs.push_back(hex(e->value("EPC").bytes));
        else if (const Element *d = data->child("EPCData")) epcs.push_back(hex(d->value("EPC").bytes));
    }
    return epcs;
}

std::vector<ShelfTag> shelfTags() {
    std::ifstream in(std::string(TESSARO_SOURCE_DIR) + "/sim/populations/shelf.tags");
    std::vector<ShelfTag> tags;
    std::string line;
    const std::regex epc("(^|\\s)epc=([0-9A-Fa-f]+)"), tid("(^|\\s)tid=([0-9A-Fa-f]+)"),
        user("(^|\\s)user=([0-9A-Fa-f]+)"), userWords("(^|\\s)userwords=([0-9]+)");
    while (std::getline(in, line)) {
        std::smatch m;
        if (line.rfind("gen2 ", 0) != 0 || !std::regex_search(line, m, epc)) continue;
        ShelfTag t;
        t.epc = m[2];
        if (std::regex_search(line, m, tid)) t.tid = m[2];
        if (std::regex_search(line, m, user)) t.user = m[2];
        if (std::regex_search(line, m, userWords)) t.userWords = static_cast<unsigned>(std::stoul(m[2]));
        for (std::string *text : {&t.epc, &t.tid, &t.user})
            for (char &c : *text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        t.user.resize(std::max<std::size_t>(t.user.size(), 4 * t.userWords), '0');
        tags.push_back(t);
    }
    return tags;
}

}  // namespace tessaro::llrp::testing
