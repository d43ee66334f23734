#include "http_sink.h"

#include <httplib.h>
#include <openssl/ssl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace tessaro::http {

namespace {

constexpr std::size_t kQueueLimit = 100000;  // events waiting for the console's thread
constexpr int kPoolThreads = 48;             // beside the event streams

std::string defaultRecordingFolder() {
    const char *tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/tessaro-console-" + std::to_string(getpid());
}

}  // namespace

bool isLoopback(const std::string &host) {
    return host == "localhost" || host == "::1" || host.compare(0, 4, "127.") == 0;
}

bool parseListenAddress(const std::string &text, std::string &host, int &port, std::string &error) {
    std::string portText = text;
    host = "127.0.0.1";
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || (close + 1 < text.size() && text[close + 1] != ':')) {
            error = "'" + text + "' is not [ADDRESS]:PORT";
            return false;
        }
        host = text.substr(1, close - 1);
        portText = close + 1 < text.size() ? text.substr(close + 2) : "8080";
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
        host = text.substr(0, colon);
        portText = text.substr(colon + 1);
    } else if (!text.empty() && !std::isdigit(static_cast<unsigned char>(text[0]))) {
        host = text;
        portText = "8080";
    }
    if (host.empty()) host = "0.0.0.0";
    char *end = nullptr;
    const long value = std::strtol(portText.c_str(), &end, 10);
    if (portText.empty() || *end || value < 0 || value > 65535) {
        error = "'" + text + "' does not end in a port 0 to 65535";
        return false;
    }
    port = static_cast<int>(value);
    return true;
}

bool checkHttpOptions(const HttpOptions &options, std::string &error) {
    if (options.certFile.empty() != options.keyFile.empty()) {
        error = "--cert and --key go together";
        return false;
    }
    if (!options.token.empty() && options.token.size() < 16) {
        error = "--token must have at least 16 characters";
        return false;
    }
    for (char c : options.token)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') {
            error = "--token may hold letters, digits, '-', '_' and '.'";
            return false;
        }
    if (!options.certFile.empty()) {
        // OpenSSL reads the files now, so a wrong one ends the run at once.
        SSL_CTX *context = SSL_CTX_new(TLS_server_method());
        const bool usable =
            context && SSL_CTX_use_certificate_chain_file(context, options.certFile.c_str()) == 1 &&
            SSL_CTX_use_PrivateKey_file(context, options.keyFile.c_str(), SSL_FILETYPE_PEM) == 1 &&
            SSL_CTX_check_private_key(context) == 1;
        SSL_CTX_free(context);
        if (!usable) {
            error = "the certificate " + options.certFile + " and key " + options.keyFile +
                    " cannot be used together";
            return false;
        }
    }
    return true;
}

HttpSink::HttpSink(HttpOptions options, toolkit::Recorder *recorder, std::vector<Peer> peers)
    : options_(std::move(options)), recorder_(recorder), peers_(std::move(peers)) {}

HttpSink::~HttpSink() { stop(0); }

std::string HttpSink::url() const {
    const bool anyAddress = options_.host == "0.0.0.0" || options_.host == "::";
    std::string host = anyAddress ? "127.0.0.1" : options_.host;
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    return std::string(options_.certFile.empty() ? "http" : "https") + "://" + host + ":" +
           std::to_string(boundPort_) + "/?token=" + options_.token;
}

int HttpSink::start(service::Engine &engine) {
    engine_ = &engine;
    std::string error;
    if (!checkHttpOptions(options_, error)) {
        std::fprintf(stderr, "%s: %s\n", engine.options().name.c_str(), error.c_str());
        return service::kExitUsage;
    }
    if (options_.token.empty()) options_.token = makeToken();
    console_ = std::make_unique<Console>(options_.limits);
    recording_ = std::make_unique<Recording>(
        engine, recorder_,
        options_.recordingFolder.empty() ? defaultRecordingFolder() : options_.recordingFolder,
        options_.maxRecordingBytes);
    ApiOptions api;
    api.token = options_.token;
    api.loopbackOnly = isLoopback(options_.host);
    api.tokenForEverything = !api.loopbackOnly;
    api.allowedHosts = options_.allowedHosts;
    if (!api.loopbackOnly) {
        char name[256] = "";
        if (gethostname(name, sizeof name - 1) == 0 && name[0]) api.allowedHosts.push_back(name);
        if (options_.host != "0.0.0.0" && options_.host != "::") api.allowedHosts.push_back(options_.host);
    }
    api.tls = !options_.certFile.empty();
    api.maxStreams = options_.maxStreams;
    api_ = std::make_unique<Api>(engine, *console_, *recording_, api, peers_);

    if (api.tls)
        server_ = std::make_unique<httplib::SSLServer>(options_.certFile.c_str(), options_.keyFile.c_str());
    else
        server_ = std::make_unique<httplib::Server>();
    const unsigned threads = kPoolThreads + options_.maxStreams;
    server_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server_->set_payload_max_length(api.maxBodyBytes);
    server_->set_read_timeout(5, 0);
    server_->set_write_timeout(5, 0);
    server_->set_keep_alive_timeout(5);
    api_->install(*server_);

    boundPort_ = options_.port == 0 ? server_->bind_to_any_port(options_.host)
                 : server_->bind_to_port(options_.host, options_.port) ? options_.port
                                                                       : -1;
    if (boundPort_ <= 0) {
        std::fprintf(stderr, "%s: cannot listen on %s port %d (in use, or not an address of this "
                             "machine)\n",
                     engine.options().name.c_str(), options_.host.c_str(), options_.port);
        return service::kExitUsage;
    }
    subscription_ = engine.subscribe([this](const events::TagEvent &event) {
        const std::lock_guard<std::mutex> guard(queueMutex_);
        if (queue_.size() >= kQueueLimit) {
            ++api_->queueDropped;
            return;
        }
        queue_.push_back(event);
        queued_.notify_one();
    });
    worker_ = std::thread([this] { work(); });
    listener_ = std::thread([this] {
        if (!server_->listen_after_bind()) {
            const std::lock_guard<std::mutex> guard(queueMutex_);
            if (!stopping_) fatal_ = "the web console stopped listening";
        }
    });
    // The ready URL on stdout (the run's summary follows it there); the
    // token is the key to every change.
    std::printf("Web console: %s\n", url().c_str());
    std::fflush(stdout);
    return service::kExitOk;
}

void HttpSink::work() {
    std::deque<events::TagEvent> batch;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(queueMutex_);
            queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty() && stopping_) return;
            batch.swap(queue_);
        }
        for (const events::TagEvent &event : batch) console_->add(event);
        batch.clear();
    }
}

std::string HttpSink::fatalError() {
    const std::lock_guard<std::mutex> guard(queueMutex_);
    return fatal_;
}

void HttpSink::stop(unsigned) {
    if (!engine_) return;
    if (subscription_) engine_->unsubscribe(subscription_);
    subscription_ = 0;
    {
        const std::lock_guard<std::mutex> guard(queueMutex_);
        stopping_ = true;
        queued_.notify_all();
    }
    if (api_) api_->stop();
    if (server_) server_->stop();
    if (listener_.joinable()) listener_.join();
    if (worker_.joinable()) worker_.join();
    recording_.reset();
    engine_ = nullptr;
}

}  // namespace tessaro::http
