#include "api.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

#include "Tessaro.h"
#include "fields.h"

namespace tessaro::http {

using nlohmann::json;
using Ordered = nlohmann::ordered_json;

namespace {

constexpr const char *kJson = "application/json";
constexpr const char *kCookie = "tessaro_token";
constexpr unsigned kKeepAliveMs = 15000;  // a comment on a quiet stream, so proxies keep it

std::string lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Comparing a token takes as long whatever the guess.
bool sameToken(const std::string &given, const std::string &token) {
    if (given.size() != token.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < token.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ token[i]);
    return difference == 0;
}

std::string cookieValue(const std::string &header, const std::string &name) {
    std::stringstream cookies(header);
    std::string item;
    while (std::getline(cookies, item, ';')) {
        const std::size_t start = item.find_first_not_of(' ');
        if (start == std::string::npos) continue;
        item = item.substr(start);
        if (item.compare(0, name.size() + 1, name + "=") == 0) return item.substr(name.size() + 1);
    }
    return {};
}

bool isIpv4(const std::string &text, bool &loopback) {
    int parts = 0, value = -1, first = -1;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (value < 0 || value > 255) return false;
            if (parts++ == 0) first = value;
            value = -1;
        } else if (std::isdigit(static_cast<unsigned char>(text[i])) && (value < 0 || value < 256)) {
            value = (value < 0 ? 0 : value * 10) + (text[i] - '0');
        } else {
            return false;
        }
    }
    loopback = first == 127;
    return parts == 4;
}

bool isIpv6Literal(const std::string &text, bool &loopback) {
    if (text.size() < 3 || text.front() != '[' || text.back() != ']') return false;
    const std::string inside = text.substr(1, text.size() - 2);
    for (char c : inside)
        if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
    loopback = inside == "::1";
    return true;
}

std::string escapeLabel(const std::string &value) {
    std::string out;
    for (char c : value) {
        if (c == '\\' || c == '"') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

// A metric family: its HELP and TYPE lines once, then its samples.
class Family {
public:
    Family(std::string &out, const std::string &name, const char *type, const char *help)
        : out_(out), name_(name) {
        out_ += "# HELP " + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
    }
    Family &sample(const std::vector<std::pair<std::string, std::string>> &labels, double value) {
        out_ += name_;
        if (!labels.empty()) {
            out_ += '{';
            for (std::size_t i = 0; i < labels.size(); ++i)
                out_ += (i ? "," : "") + labels[i].first + "=\"" + escapeLabel(labels[i].second) + "\"";
            out_ += '}';
        }
        std::ostringstream number;
        number.precision(17);
        number << value;
        out_ += " " + number.str() + "\n";
        return *this;
    }

private:
    std::string &out_;
    std::string name_;
};

long long number(const httplib::Request &req, const char *name, long long fallback, long long low,
                 long long high, bool &ok) {
    if (!req.has_param(name)) return fallback;
    const std::string text = req.get_param_value(name);
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        ok = false;
        return fallback;
    }
    const long long value = std::stoll(text);
    if (value < low || value > high) ok = false;
    return value;
}

}  // namespace

std::string makeToken() {
    std::random_device random;
    static const char digits[] = "0123456789abcdef";
    std::string token;
    for (int i = 0; i < 32; ++i) token += digits[random() & 15];
    return token;
}

Api::Api(service::Engine &engine, Console &console, Recording &recording, ApiOptions options,
         std::vector<Peer> peers)
    : engine_(engine), console_(console), recording_(recording), options_(std::move(options)),
      peers_(std::move(peers)) {
    for (std::string &host : options_.allowedHosts) host = lower(host);
}

void Api::reply(httplib::Response &res, const Answer &answer) {
    res.status = answer.status;
    res.set_content(answer.body.dump(-1, ' ', false, Ordered::error_handler_t::replace), kJson);
}

bool Api::hostAllowed(const std::string &hostHeader) const {
    std::string host = lower(hostHeader);
    // Strip the port: after the last ':' outside brackets.
    const std::size_t bracket = host.rfind(']');
    const std::size_t colon = host.rfind(':');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        const std::string port = host.substr(colon + 1);
        if (port.empty() || port.size() > 5 ||
            !std::all_of(port.begin(), port.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            return false;
        host = host.substr(0, colon);
    }
    if (host.empty()) return false;
    bool loopback = false;
    if (isIpv4(host, loopback) || isIpv6Literal(host, loopback))
        return loopback || !options_.loopbackOnly;
    if (host == "localhost") return true;
    return std::find(options_.allowedHosts.begin(), options_.allowedHosts.end(), host) !=
           options_.allowedHosts.end();
}

bool Api::admit(const httplib::Request &req, httplib::Response &res) {
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Referrer-Policy", "no-referrer");
    res.set_header("Cache-Control", "no-store");
    if (!req.has_header("Host") || !hostAllowed(req.get_header_value("Host"))) {
        reply(res, badRequest("the Host header does not name this server (DNS rebinding is "
                              "refused; --allow-host adds a name)",
                              403));
        return false;
    }
    const bool changes = req.method != "GET" && req.method != "HEAD";
    const bool needsToken = changes || options_.tokenForEverything ||
                            req.path == "/api/v1/recording/transcript";
    if (needsToken) {
        std::string given;
        const std::string authorization = req.get_header_value("Authorization");
        if (authorization.compare(0, 7, "Bearer ") == 0) given = authorization.substr(7);
        // A change takes the token only from the header: a page of another
        // site can make a browser send cookies and query strings, not that.
        if (given.empty() && !changes) {
            given = req.get_param_value("token");
            if (given.empty()) given = cookieValue(req.get_header_value("Cookie"), kCookie);
        }
        if (!sameToken(given, options_.token)) {
            res.set_header("WWW-Authenticate", "Bearer");
            reply(res, badRequest(given.empty() ? "this request needs the token printed at start "
                                                  "(Authorization: Bearer TOKEN)"
                                                : "the token is wrong",
                                  401));
            return false;
        }
    }
    return true;
}

bool Api::body(const httplib::Request &req, httplib::Response &res, json &out) {
    if (req.body.empty()) {
        out = json::object();
        return true;
    }
    if (lower(req.get_header_value("Content-Type")).compare(0, 16, "application/json") != 0) {
        reply(res, badRequest("the body must be JSON (Content-Type: application/json)", 415));
        return false;
    }
    out = json::parse(req.body, nullptr, false);
    if (out.is_discarded()) {
        reply(res, badRequest("the body is not valid JSON"));
        return false;
    }
    if (!out.is_object()) {
        reply(res, badRequest("the body must be a JSON object"));
        return false;
    }
    return true;
}

const service::ReaderInfo *Api::readerOf(const httplib::Request &req, httplib::Response &res) {
    const service::ReaderInfo *info = engine_.reader(req.matches[1]);
    if (!info) reply(res, badRequest("no reader " + std::string(req.matches[1]), 404));
    return info;
}

void Api::stop() {
    stopping_ = true;
    console_.wakeAll();
}

void Api::stream(const httplib::Request &req, httplib::Response &res) {
    bool ok = true;
    const long long recent = number(req, "recent", static_cast<long long>(options_.recentEvents), 0,
                                    static_cast<long long>(console_.limits().recentEvents), ok);
    if (!ok) {
        reply(res, badRequest("'recent' must be 0 to " + std::to_string(console_.limits().recentEvents)));
        return;
    }
    if (streams_.fetch_add(1) >= options_.maxStreams) {
        --streams_;
        reply(res, badRequest("too many event-stream clients (" + std::to_string(options_.maxStreams) + ")", 503));
        return;
    }
    // A client that comes back says where it was; a new one gets the recent
    // events first.
    auto cursor = std::make_shared<std::uint64_t>(console_.idBeforeRecent(static_cast<std::size_t>(recent)));
    const std::string last = req.has_param("after") ? req.get_param_value("after")
                                                     : req.get_header_value("Last-Event-ID");
    if (!last.empty()) {
        if (last.size() > 18 || !std::all_of(last.begin(), last.end(), [](char c) {
                return std::isdigit(static_cast<unsigned char>(c));
            })) {
            --streams_;
            reply(res, badRequest("'after' (Last-Event-ID) must be an event id"));
            return;
        }
        *cursor = std::min<std::uint64_t>(std::stoull(last), console_.lastId());
    }
    auto quietSince = std::make_shared<std::chrono::steady_clock::time_point>(std::chrono::steady_clock::now());
    res.set_header("X-Accel-Buffering", "no");
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, cursor, quietSince](std::size_t, httplib::DataSink &sink) {
            if (stopping_) return false;
            std::uint64_t skipped = 0;
            const std::vector<StreamEvent> events = console_.eventsAfter(*cursor, 512, 1000, skipped);
            std::string chunk;
            if (skipped > 0) {
                skipped_ += skipped;
                chunk += "event: skipped\ndata: {\"skipped\":" + std::to_string(skipped) + "}\n\n";
            }
            for (const StreamEvent &event : events) {
                chunk += "id: " + std::to_string(event.id) + "\ndata: " + event.json + "\n\n";
                *cursor = event.id;
            }
            const auto now = std::chrono::steady_clock::now();
            if (chunk.empty() && now - *quietSince > std::chrono::milliseconds(kKeepAliveMs))
                chunk = ": still here\n\n";
            if (chunk.empty()) return !stopping_;
            *quietSince = now;
            // A client too slow to take this within the write timeout is
            // dropped; the others and the reading go on.
            return sink.write(chunk.data(), chunk.size()) && !stopping_;
        },
        [this](bool) { --streams_; });
}

std::string Api::metrics() {
    std::string out;
    const std::vector<service::ReaderInfo> &readers = engine_.readers();
    std::vector<ReaderCounters> counters;
    std::vector<TessaroReadingStats> stats;
    for (const service::ReaderInfo &r : readers) {
        counters.push_back(console_.counters(r.serial));
        stats.push_back(engine_.readingStats(r.serial));
    }
    {
        Family reads(out, "tessaro_reads_total", "counter", "Tag reads reported, per reader and antenna.");
        for (std::size_t i = 0; i < readers.size(); ++i)
            for (const auto &[antenna, count] : counters[i].readsByAntenna)
                reads.sample({{"reader", readers[i].serial}, {"antenna", std::to_string(antenna)}},
                             static_cast<double>(count));
    }
    {
        Family rounds(out, "tessaro_rounds_total", "counter",
                      "Inventory rounds of the reader's current reading.");
        for (std::size_t i = 0; i < readers.size(); ++i)
            rounds.sample({{"reader", readers[i].serial}}, static_cast<double>(stats[i].rounds));
    }
    {
        Family decoded(out, "tessaro_reads_decoded_total", "counter",
                       "Tag records decoded by the reader's current reading (before de-duplication).");
        for (std::size_t i = 0; i < readers.size(); ++i)
            decoded.sample({{"reader", readers[i].serial}}, static_cast<double>(stats[i].reads));
    }
    {
        Family errors(out, "tessaro_round_errors_total", "counter",
                      "Rounds that ended with an error code other than the round before.");
        for (std::size_t i = 0; i < readers.size(); ++i)
            errors.sample({{"reader", readers[i].serial}}, static_cast<double>(counters[i].errors));
    }
    {
        Family up(out, "tessaro_reader_online", "gauge", "1 while the reader answers, 0 while it is lost.");
        for (const service::ReaderInfo &r : readers)
            up.sample({{"reader", r.serial}}, engine_.state(r.serial) == "online" ? 1 : 0);
    }
    {
        Family lost(out, "tessaro_reader_lost_total", "counter", "Times the reader was lost.");
        for (std::size_t i = 0; i < readers.size(); ++i)
            lost.sample({{"reader", readers[i].serial}}, static_cast<double>(counters[i].lost));
    }
    {
        Family back(out, "tessaro_reader_back_total", "counter", "Times a lost reader came back.");
        for (std::size_t i = 0; i < readers.size(); ++i)
            back.sample({{"reader", readers[i].serial}}, static_cast<double>(counters[i].back));
    }
    const journal::JournalStats journal = engine_.journal().stats();
    Family(out, "tessaro_journal_events", "gauge", "Events the journal holds.")
        .sample({}, static_cast<double>(journal.events));
    Family(out, "tessaro_journal_bytes", "gauge", "Bytes the journal's database takes.")
        .sample({}, static_cast<double>(journal.bytes));
    {
        Family dropped(out, "tessaro_journal_dropped_total", "counter",
                       "Undelivered events the journal dropped to keep its size cap, per reader.");
        for (const service::ReaderInfo &r : readers)
            dropped.sample({{"reader", r.serial}}, static_cast<double>(engine_.journal().dropped(r.serial)));
    }
    // The other outputs' figures, e.g. MQTT's delivered and reconnects.
    std::map<std::string, std::vector<std::pair<std::string, double>>> peerSamples;
    for (const Peer &peer : peers_) {
        for (const service::ReaderInfo &r : readers) {
            nlohmann::ordered_json summary = nlohmann::ordered_json::object();
            peer.sink->summarize(r.serial, summary);
            for (const auto &[key, value] : summary.items()) {
                if (!value.is_number() || key == "dropped") continue;  // dropped: the journal's
                std::string name = "tessaro_" + peer.name + "_";
                for (char c : key) {
                    if (std::isupper(static_cast<unsigned char>(c))) name += '_';
                    name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                }
                peerSamples[name].push_back({r.serial, value.get<double>()});
            }
        }
    }
    for (const auto &[name, samples] : peerSamples) {
        const bool counter = name.size() > 10 && (name.find("delivered") != std::string::npos ||
                                                  name.find("reconnects") != std::string::npos);
        Family family(out, counter ? name + "_total" : name, counter ? "counter" : "gauge",
                      "From the run's other output, per reader.");
        for (const auto &[reader, value] : samples) family.sample({{"reader", reader}}, value);
    }
    Family(out, "tessaro_http_stream_clients", "gauge", "Clients on the event stream.")
        .sample({}, streams_.load());
    Family(out, "tessaro_http_stream_skipped_total", "counter",
           "Events slow stream clients missed (they fell further behind than the console keeps).")
        .sample({}, static_cast<double>(skipped_.load()));
    Family(out, "tessaro_http_events_dropped_total", "counter",
           "Events the console could not take in time (its queue was full).")
        .sample({}, static_cast<double>(queueDropped.load()));
    Family(out, "tessaro_http_tags_overflow_total", "counter",
           "Tags a reader's table could not hold.")
        .sample({}, static_cast<double>(console_.tagsOverflow()));
    return out;
}

void Api::install(httplib::Server &server) {
    server.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        return admit(req, res) ? httplib::Server::HandlerResponse::Unhandled
                               : httplib::Server::HandlerResponse::Handled;
    });
    server.set_error_handler([this](const httplib::Request &req, httplib::Response &res) {
        if (!res.body.empty()) return;
        const int status = res.status;
        reply(res, badRequest(status == 404   ? "nothing at " + req.method + " " + req.path
                              : status == 413 ? "the body is larger than " +
                                                    std::to_string(options_.maxBodyBytes) + " bytes"
                                              : "the request was refused (" + std::to_string(status) + ")",
                              status));
    });

    // The page.
    server.Get(R"(/|/[a-z0-9_.-]+\.(js|css|svg|html))", [this](const httplib::Request &req, httplib::Response &res) {
        const WwwFile *file = findWwwFile(req.path == "/" ? "/index.html" : req.path);
        if (!file) {
            reply(res, badRequest("nothing at " + req.path, 404));
            return;
        }
        res.set_header("Content-Security-Policy",
                       "default-src 'self'; img-src 'self' data:; connect-src 'self'; "
                       "frame-ancestors 'none'; base-uri 'none'; form-action 'none'");
        res.set_header("Cache-Control", "no-cache");
        // The token of a ready URL goes into a cookie, so the page's event
        // stream and download links carry it.
        const std::string token = req.get_param_value("token");
        if (req.path == "/" && !token.empty() && sameToken(token, options_.token))
            res.set_header("Set-Cookie", std::string(kCookie) + "=" + token +
                                             "; Path=/; HttpOnly; SameSite=Strict" +
                                             (options_.tls ? "; Secure" : ""));
        res.set_content(reinterpret_cast<const char *>(file->data), file->size, file->contentType);
    });

    server.Get("/metrics", [this](const httplib::Request &, httplib::Response &res) {
        res.set_content(metrics(), "text/plain; version=0.0.4; charset=utf-8");
    });

    server.Get("/api/v1/readers", [this](const httplib::Request &, httplib::Response &res) {
        Ordered list = Ordered::array();
        for (const service::ReaderInfo &r : engine_.readers()) {
            const TessaroReadingStats s = engine_.readingStats(r.serial);
            list.push_back({{"serial", r.serial},
                            {"port", r.port},
                            {"state", engine_.state(r.serial)},
                            {"reading", engine_.reading(r.serial)},
                            {"events", engine_.events(r.serial)},
                            {"rounds", s.rounds},
                            {"reads", s.reads},
                            {"lost", s.lost}});
        }
        reply(res, {200, Ordered{{"readers", list}}});
    });
    server.Get(R"(/api/v1/readers/([^/]+))", [this](const httplib::Request &req, httplib::Response &res) {
        const service::ReaderInfo *r = readerOf(req, res);
        if (!r) return;
        const TessaroReadingStats s = engine_.readingStats(r->serial);
        reply(res, {200, Ordered{{"serial", r->serial},
                                 {"port", r->port},
                                 {"state", engine_.state(r->serial)},
                                 {"reading", engine_.reading(r->serial)},
                                 {"events", engine_.events(r->serial)},
                                 {"rounds", s.rounds},
                                 {"reads", s.reads},
                                 {"lost", s.lost}}});
    });
    server.Get(R"(/api/v1/readers/([^/]+)/info)", [this](const httplib::Request &req, httplib::Response &res) {
        if (const service::ReaderInfo *r = readerOf(req, res)) reply(res, readerInfo(r->port));
    });
    server.Get(R"(/api/v1/readers/([^/]+)/settings)", [this](const httplib::Request &req, httplib::Response &res) {
        if (const service::ReaderInfo *r = readerOf(req, res)) reply(res, readerSettings(r->port));
    });
    server.Put(R"(/api/v1/readers/([^/]+)/settings)", [this](const httplib::Request &req, httplib::Response &res) {
        json request;
        const service::ReaderInfo *r = readerOf(req, res);
        if (!r || !body(req, res, request)) return;
        recording_.noteOperation();
        reply(res, changeSettings(r->port, request));
    });
    server.Post(R"(/api/v1/readers/([^/]+)/inventory)", [this](const httplib::Request &req, httplib::Response &res) {
        json request;
        const service::ReaderInfo *r = readerOf(req, res);
        if (!r || !body(req, res, request)) return;
        recording_.noteOperation();
        reply(res, inventory(r->port, request));
    });
    server.Post(R"(/api/v1/readers/([^/]+)/tags/([^/]+)/([a-z-]+))",
                [this](const httplib::Request &req, httplib::Response &res) {
                    json request;
                    const service::ReaderInfo *r = readerOf(req, res);
                    if (!r || !body(req, res, request)) return;
                    recording_.noteOperation();
                    reply(res, tagOperation(r->port, req.matches[2], req.matches[3], request));
                });
    server.Get(R"(/api/v1/readers/([^/]+)/tags)", [this](const httplib::Request &req, httplib::Response &res) {
        const service::ReaderInfo *r = readerOf(req, res);
        if (!r) return;
        bool ok = true;
        const long long limit = number(req, "limit", 20000, 1, 20000, ok);
        if (!ok) return reply(res, badRequest("'limit' must be 1 to 20000"));
        Ordered tags = Ordered::array();
        std::uint64_t lastId = 0;
        for (const TagRow &row : console_.tags(r->serial, static_cast<std::size_t>(limit), lastId)) {
            Ordered tag{{"epc", row.epc},
                        {"antenna", row.antenna},
                        {"rssi", row.rssi},
                        {"reads", row.reads},
                        {"firstSeen", events::isoTime(row.firstSeenMs)},
                        {"lastSeen", row.lastSeenMs ? Ordered(events::isoTime(row.lastSeenMs)) : Ordered()},
                        {"present", row.present}};
            if (!row.gs1.is_null()) tag["gs1"] = row.gs1;
            tags.push_back(std::move(tag));
        }
        reply(res, {200, Ordered{{"reader", r->serial}, {"lastEventId", lastId}, {"tags", tags}}});
    });
    server.Get(R"(/api/v1/readers/([^/]+)/rates)", [this](const httplib::Request &req, httplib::Response &res) {
        const service::ReaderInfo *r = readerOf(req, res);
        if (!r) return;
        const long long now = events::wallClockNowMs() / 1000;
        Ordered antennas = Ordered::object();
        for (const auto &[antenna, series] : console_.rates(r->serial, now))
            antennas[std::to_string(antenna)] = series;
        reply(res, {200, Ordered{{"reader", r->serial},
                                 {"endsAt", events::isoTime(now * 1000)},
                                 {"seconds", console_.limits().rateSeconds},
                                 {"antennas", antennas}}});
    });
    server.Get(R"(/api/v1/tags/([^/]+)/history)", [this](const httplib::Request &req, httplib::Response &res) {
        const std::string epc = req.matches[1];
        std::vector<unsigned char> bytes;
        if (!toolkit::parseHex(epc, bytes) || bytes.empty() || epc.size() != 2 * bytes.size() ||
            bytes.size() > 62)
            return reply(res, badRequest("the EPC in the path must be hex", 404));
        bool ok = true;
        const long long limit = number(req, "limit", 100, 1, 1000, ok);
        if (!ok) return reply(res, badRequest("'limit' must be 1 to 1000"));
        Ordered list = Ordered::array();
        for (const std::string &event : engine_.journal().history(toolkit::hex(bytes.data(), static_cast<int>(bytes.size())),
                                                                  static_cast<std::size_t>(limit))) {
            const Ordered parsed = Ordered::parse(event, nullptr, false);
            if (!parsed.is_discarded()) list.push_back(parsed);
        }
        reply(res, {200, Ordered{{"epc", toolkit::hex(bytes.data(), static_cast<int>(bytes.size()))},
                                 {"events", list}}});
    });
    server.Get("/api/v1/events", [this](const httplib::Request &req, httplib::Response &res) { stream(req, res); });

    server.Get("/api/v1/recording", [this](const httplib::Request &, httplib::Response &res) {
        reply(res, recording_.status());
    });
    server.Post("/api/v1/recording/start", [this](const httplib::Request &req, httplib::Response &res) {
        json request;
        if (!body(req, res, request)) return;
        if (const std::string bad = unknownFields(request, {"reader"}); !bad.empty())
            return reply(res, badRequest(bad));
        std::string reader;
        if (request.contains("reader")) {
            if (!request["reader"].is_string()) return reply(res, badRequest("'reader' must be a serial number"));
            reader = request["reader"].get<std::string>();
        } else if (!engine_.readers().empty()) {
            reader = engine_.readers().front().serial;
        }
        reply(res, recording_.start(reader));
    });
    server.Post("/api/v1/recording/stop", [this](const httplib::Request &req, httplib::Response &res) {
        json request;
        if (!body(req, res, request)) return;
        if (const std::string bad = unknownFields(request, {}); !bad.empty()) return reply(res, badRequest(bad));
        reply(res, recording_.stop());
    });
    server.Get("/api/v1/recording/transcript", [this](const httplib::Request &, httplib::Response &res) {
        std::string path, name;
        if (!recording_.transcript(path, name)) return reply(res, badRequest("no recording has ended yet", 404));
        std::ifstream file(path, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
        res.set_content(text.str(), "text/plain; charset=utf-8");
    });
}

}  // namespace tessaro::http
