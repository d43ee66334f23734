// The web console's pieces in-process: what it keeps of the events (stream,
// table, rates), the checks every request passes, the checks of request
// bodies before anything is sent, and the recorder's start and stop.
#include <httplib.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api.h"
#include "console.h"
#include "http_sink.h"
#include "reader_ops.h"
#include "recorder.h"
#include "recording.h"

namespace tessaro::http {
namespace {

using events::EventType;
using events::TagEvent;

TagEvent read(const std::string &epc, int antenna, long long ms, int rssi = -50) {
    TagEvent event;
    event.type = EventType::Tag;
    event.reader = "R1";
    event.epc = epc;
    event.antenna = antenna;
    event.rssi = rssi;
    event.wallClockMs = ms;
    event.run = 1;
    return event;
}

TEST(Console, LateClientGetsTheRecentEventsThenTheNewOnes) {
    Console console(ConsoleLimits{8, 100, 60});
    for (int i = 0; i < 5; ++i) console.add(read("AA01", 1, 1000 + i));
    std::uint64_t skipped = 1;
    const std::uint64_t start = console.idBeforeRecent(3);
    std::vector<StreamEvent> events = console.eventsAfter(start, 100, 0, skipped);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(skipped, 0u);
    EXPECT_EQ(events.front().id, 3u);
    EXPECT_NE(events.front().json.find("\"epc\":\"AA01\""), std::string::npos);
    EXPECT_TRUE(console.eventsAfter(events.back().id, 100, 0, skipped).empty());
    console.add(read("AA02", 2, 2000));
    events = console.eventsAfter(5, 100, 0, skipped);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].id, 6u);
}

TEST(Console, ClientFurtherBehindThanKeptIsToldWhatItMissed) {
    Console console(ConsoleLimits{4, 100, 60});
    for (int i = 0; i < 10; ++i) console.add(read("AA01", 1, 1000 + i));
    std::uint64_t skipped = 0;
    const std::vector<StreamEvent> events = console.eventsAfter(2, 100, 0, skipped);
    EXPECT_EQ(skipped, 4u);  // 3 to 6 are gone; 7 to 10 are kept
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events.front().id, 7u);
    EXPECT_EQ(console.eventsAfter(0, 2, 0, skipped).size(), 2u);  // the limit holds
}

TEST(Console, TableFollowsReadsArrivalsAndDepartures) {
    Console console;
    TagEvent arrived = read("BB01", 3, 500);
    arrived.type = EventType::Arrived;
    console.add(arrived);
    console.add(read("BB01", 3, 1000, -40));
    console.add(read("BB01", 4, 1500, -45));
    console.add(read("CC01", 1, 1200));
    TagEvent departed = read("CC01", 1, 5000);
    departed.type = EventType::Departed;
    console.add(departed);
    std::uint64_t lastId = 0;
    const std::vector<TagRow> rows = console.tags("R1", 10, lastId);
    EXPECT_EQ(lastId, 5u);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].epc, "BB01");  // most recently seen first
    EXPECT_EQ(rows[0].reads, 2u);
    EXPECT_EQ(rows[0].antenna, 4);
    EXPECT_EQ(rows[0].rssi, -45);
    EXPECT_EQ(rows[0].firstSeenMs, 500);
    EXPECT_EQ(rows[0].lastSeenMs, 1500);
    EXPECT_TRUE(rows[0].present);
    EXPECT_FALSE(rows[1].present);
    EXPECT_EQ(console.tags("R1", 1, lastId).size(), 1u);
    EXPECT_TRUE(console.tags("R2", 10, lastId).empty());
    const ReaderCounters counters = console.counters("R1");
    EXPECT_EQ(counters.readsByAntenna.at(3), 1u);
    EXPECT_EQ(counters.readsByAntenna.at(4), 1u);
}

TEST(Console, TableStopsAtItsLimitAndCountsTheRest) {
    Console console(ConsoleLimits{16, 2, 60});
    for (const char *epc : {"01", "02", "03", "04"}) console.add(read(epc, 1, 1000));
    std::uint64_t lastId = 0;
    EXPECT_EQ(console.tags("R1", 10, lastId).size(), 2u);
    EXPECT_EQ(console.tagsOverflow(), 2u);
}

TEST(Console, ReadsPerSecondPerAntennaWithQuietSecondsAtZero) {
    Console console(ConsoleLimits{16, 100, 10});
    console.add(read("01", 1, 100'000));
    console.add(read("02", 1, 100'500));
    console.add(read("01", 2, 101'000));
    console.add(read("01", 1, 104'000));
    std::map<int, std::vector<std::uint32_t>> rates = console.rates("R1", 105);
    ASSERT_EQ(rates.size(), 2u);
    const std::vector<std::uint32_t> one = {0, 0, 0, 0, 2, 0, 0, 0, 1, 0};  // seconds 96 to 105
    EXPECT_EQ(rates[1], one);
    EXPECT_EQ(rates[2][5], 1u);
    // Seconds later than the window hold nothing: the ring was cleared on the way.
    console.add(read("01", 1, 120'000));
    rates = console.rates("R1", 120);
    EXPECT_EQ(rates[1].back(), 1u);
    EXPECT_EQ(std::accumulate(rates[1].begin(), rates[1].end(), 0u), 1u);
    EXPECT_EQ(std::accumulate(rates[2].begin(), rates[2].end(), 0u), 0u);
}

TEST(Console, CountsErrorsLostBackAndDropped) {
    Console console;
    TagEvent event = read("", 0, 1000);
    for (EventType type : {EventType::Error, EventType::Lost, EventType::Back, EventType::Lost}) {
        event.type = type;
        event.code = 48;
        console.add(event);
    }
    event.type = EventType::Error;
    event.code = 0;  // "the errors are over"
    console.add(event);
    event.type = EventType::Dropped;
    event.count = 7;
    console.add(event);
    const ReaderCounters counters = console.counters("R1");
    EXPECT_EQ(counters.errors, 1u);
    EXPECT_EQ(counters.lost, 2u);
    EXPECT_EQ(counters.back, 1u);
    EXPECT_EQ(counters.dropped, 7u);
}

class Checks : public ::testing::Test {
protected:
    Api make(bool everything, bool loopbackOnly) {
        ApiOptions options;
        options.token = kToken;
        options.tokenForEverything = everything;
        options.loopbackOnly = loopbackOnly;
        options.allowedHosts = {"Dock-Door.example"};
        return Api(engine, console, recording, options);
    }
    int status(Api &api, const std::string &method, const std::string &path,
               const std::vector<std::pair<std::string, std::string>> &headers,
               const std::string &query = {}) {
        httplib::Request req;
        req.method = method;
        req.path = path;
        req.headers.emplace("Host", "127.0.0.1:8080");
        for (const auto &[name, value] : headers) {
            req.headers.erase(name);
            req.headers.emplace(name, value);
        }
        if (!query.empty()) req.params.emplace("token", query);
        httplib::Response res;
        return api.admit(req, res) ? 0 : res.status;
    }
    static constexpr const char *kToken = "0123456789abcdef0123456789abcdef";
    service::Engine engine;
    Console console;
    Recording recording{engine, nullptr, "/nonexistent", 0};
};

TEST_F(Checks, HostMustNameThisServer) {
    Api loopback = make(false, true), anywhere = make(true, false);
    const struct {
        const char *host;
        bool onLoopback, onAnyAddress;
    } cases[] = {
        {"127.0.0.1:8080", true, true},   {"127.3.4.5", true, true},     {"localhost:1", true, true},
        {"LOCALHOST", true, true},        {"[::1]:8080", true, true},     {"dock-door.example", true, true},
        // 0.0.0.0 is what a browser sends when pointed at http://0.0.0.0:PORT/:
        // an address literal that is not the loopback's.
        {"0.0.0.0:8080", false, true},    {"evil.example", false, false},
        {"localhost.evil.example", false, false}, {"127.0.0.1.evil.example", false, false},
        {"256.1.1.1", false, false},      {"127.0.0.1:", false, false},   {"127.0.0.1:80a", false, false},
        {"", false, false},               {":8080", false, false},        {"[::1", false, false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(loopback.hostAllowed(c.host), c.onLoopback) << c.host;
        EXPECT_EQ(anywhere.hostAllowed(c.host), c.onAnyAddress) << c.host;
    }
}

TEST_F(Checks, TokenRules) {
    Api loopback = make(false, true), anywhere = make(true, false);
    const std::string bearer = std::string("Bearer ") + kToken;
    const std::string cookie = std::string("a=b; tessaro_token=") + kToken;
    // On the loopback: reads free, changes with the header only.
    EXPECT_EQ(status(loopback, "GET", "/api/v1/readers", {}), 0);
    EXPECT_EQ(status(loopback, "PUT", "/api/v1/readers/x/settings", {}), 401);
    EXPECT_EQ(status(loopback, "PUT", "/api/v1/readers/x/settings", {{"Authorization", bearer}}), 0);
    EXPECT_EQ(status(loopback, "POST", "/api/v1/recording/start", {{"Authorization", "Bearer wrong"}}), 401);
    EXPECT_EQ(status(loopback, "POST", "/api/v1/recording/start", {{"Authorization", bearer + "x"}}), 401);
    EXPECT_EQ(status(loopback, "POST", "/api/v1/recording/start", {{"Cookie", cookie}}), 401);
    EXPECT_EQ(status(loopback, "POST", "/api/v1/recording/start", {}, kToken), 401);
    EXPECT_EQ(status(loopback, "GET", "/api/v1/recording/transcript", {}), 401);
    EXPECT_EQ(status(loopback, "GET", "/api/v1/recording/transcript", {{"Cookie", cookie}}), 0);
    // Beyond the loopback: everything needs it; reads take it from a cookie or the query too.
    EXPECT_EQ(status(anywhere, "GET", "/", {}), 401);
    EXPECT_EQ(status(anywhere, "GET", "/metrics", {{"Authorization", bearer}}), 0);
    EXPECT_EQ(status(anywhere, "GET", "/api/v1/events", {}, kToken), 0);
    EXPECT_EQ(status(anywhere, "GET", "/", {{"Cookie", cookie}}), 0);
    EXPECT_EQ(status(anywhere, "GET", "/", {{"Host", "evil.example"}, {"Cookie", cookie}}), 403);
}

constexpr int kNoReader = 7;

TEST(ReaderOps, RefusedRequestsSendNothing) {
    // Port 7 holds no reader: a request that got as far as sending would
    // fail with the library's code for that (503), never with 400.
    const struct {
        const char *json;
        const char *words;
    } settings[] = {
        {R"({"power": 31})", "'power'"},
        {R"({"power": 1.5})", "'power'"},
        {R"({"scanTime": 250})", "'scanTime'"},
        {R"({"scanTime": 350})", "steps of 100"},
        {R"({"antennas": [0]})", "antenna"},
        {R"({"antennas": [1,2,3,4,1]})", "antenna"},
        {R"({"antennas": "1,2"})", "antenna"},
        {R"({"beep": "on"})", "'beep'"},
        {R"({"region": {"name": "eu", "lowestChannel": 15}})", "lowestChannel"},
        {R"({"region": {"code": 9}})", "region"},
        {R"({"region": {"name": "eu", "extra": 1}})", "unknown field 'extra'"},
        {R"({"power": 20, "power2": 20})", "unknown field 'power2'"},
    };
    for (const auto &c : settings) {
        const Answer answer = changeSettings(kNoReader, nlohmann::json::parse(c.json));
        EXPECT_EQ(answer.status, 400) << c.json;
        EXPECT_NE(answer.body["error"].get<std::string>().find(c.words), std::string::npos)
            << c.json << ": " << answer.body.dump();
    }
    const struct {
        const char *epc, *operation, *json;
        int status;
    } operations[] = {
        {"3034", "read", R"({"bank": "tid", "count": 0})", 400},
        {"3034", "read", R"({"bank": "tid", "word": 65536})", 400},
        {"3034", "write", R"({"bank": "user", "data": "0A0B0"})", 400},
        {"3034", "write", R"({"bank": "user", "data": "0A0B", "password": "0000000G"})", 400},
        {"3034", "write-epc", R"({"newEpc": ""})", 400},
        {"3034", "lock", R"({"target": "epc", "action": "seal"})", 400},
        {"3034", "kill", R"({"killPassword": "00"})", 400},
        {"303", "read", R"({"bank": "tid"})", 404},
        {"30G4", "read", R"({"bank": "tid"})", 404},
        {"3034", "erase", R"({})", 404},
        {"3034", "read", R"({"bank": "tid"})", 503},  // checked, sent, and no reader answered
    };
    for (const auto &c : operations) {
        const Answer answer = tagOperation(kNoReader, c.epc, c.operation, nlohmann::json::parse(c.json));
        EXPECT_EQ(answer.status, c.status) << c.operation << " " << c.json << ": " << answer.body.dump();
    }
    const Answer comm = tagOperation(kNoReader, "3034", "read", nlohmann::json::parse(R"({"bank": "tid"})"));
    EXPECT_TRUE(comm.body["code"] == ERR_COMM || comm.body["code"] == ERR_PORT_CLOSED) << comm.body.dump();
    EXPECT_NE(comm.body["text"].get<std::string>().find("ERR_"), std::string::npos);
}

TEST(ListenAddress, Forms) {
    const struct {
        const char *text, *host;
        int port;
        bool ok;
    } cases[] = {
        {"8080", "127.0.0.1", 8080, true},     {"0.0.0.0:80", "0.0.0.0", 80, true},
        {":9000", "0.0.0.0", 9000, true},      {"[::1]:81", "::1", 81, true},
        {"localhost", "localhost", 8080, true}, {"127.0.0.1:0", "127.0.0.1", 0, true},
        {"127.0.0.1:65536", "", 0, false},      {"127.0.0.1:x", "", 0, false},
        {"[::1", "", 0, false},                 {"[::1]x", "", 0, false},
    };
    for (const auto &c : cases) {
        std::string host, error;
        int port = -1;
        EXPECT_EQ(parseListenAddress(c.text, host, port, error), c.ok) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(host, c.host) << c.text;
        EXPECT_EQ(port, c.port) << c.text;
    }
}

// A transport that answers every read at once with a fixed report.
struct Echo {
    static int path(void *, int index, char *out, size_t size) {
        return index == 0 ? (std::snprintf(out, size, "echo"), 0) : 1;
    }
    static void *open(void *context, const char *) { return context; }
    static int attributes(void *, void *, unsigned short *, unsigned short *) { return 0; }
    static int write(void *, void *, const unsigned char *, unsigned) { return 64; }
    static int read(void *, void *, unsigned char *report, unsigned) {
        std::memset(report, 0xAB, 64);
        return 64;
    }
    static void close(void *, void *) {}
};

TEST(Recorder, RecordsFromStartToStopWithinItsLimit) {
    int context = 0;
    const TessaroTransport inner{1, &context, Echo::path, Echo::open, Echo::attributes,
                                 Echo::write, Echo::read, Echo::close, nullptr, nullptr};
    toolkit::Recorder recorder(inner, nullptr, nullptr, "unused");
    const TessaroTransport &t = recorder.transport();
    unsigned char report[64] = {};
    t.writeReport(t.context, nullptr, report, 50);  // before the start: not recorded
    char *text = nullptr;
    size_t size = 0;
    std::FILE *file = open_memstream(&text, &size);
    ASSERT_TRUE(recorder.startRecording(file, "title", 600));
    EXPECT_FALSE(recorder.startRecording(file, "again"));
    for (int i = 0; i < 5; ++i) {
        t.writeReport(t.context, nullptr, report, 50);
        t.readReport(t.context, nullptr, report, 100);
    }
    // 600 bytes hold the header (31) and four reports (133 each).
    EXPECT_TRUE(recorder.recordingFull());
    EXPECT_EQ(recorder.stopRecording({"the end"}), 4u);
    EXPECT_FALSE(recorder.recording());
    t.writeReport(t.context, nullptr, report, 50);  // after the stop: not recorded
    std::fclose(file);
    const std::string transcript(text, size);
    std::free(text);
    EXPECT_EQ(transcript.rfind("# tessaro transcript 1\n# title\n> 0 0000", 0), 0u) << transcript;
    EXPECT_NE(transcript.find("\n< 0 ABABAB"), std::string::npos);
    EXPECT_EQ(transcript.substr(transcript.size() - 10), "# the end\n");
    EXPECT_LE(transcript.size(), 600u + 10u);
}

}  // namespace
}  // namespace tessaro::http
