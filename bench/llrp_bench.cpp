// LLRP figures (docs/performance.md): how long a tag read takes to reach the
// client as a TagReportData, and how many reports a second the server sends
// with the N = 1 trigger. `tessaro --sim llrp` on 127.0.0.1 and a client that
// runs an immediate ROSpec reporting every tag read at once.
//
//   llrp_bench [SECONDS]
//
// Two runs: the simulated reader on the real clock (its rounds take the time
// a reader's do: the reader's share), and on the virtual clock (rounds take
// no time: what is left is the host's share, the most the server can send).
// Latency is the client's receive time less the read's time
// (FirstSeenTimestampUTC, taken when the reading handed the read over).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "llrp_client.h"

using namespace tessaro::llrp;
using namespace tessaro::llrp::testing;

namespace {

std::uint64_t utcNowUs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
}

struct Figures {
    std::size_t reports = 0, tags = 0;
    double seconds = 0;
    std::vector<double> latencyMs;
};

Figures measure(bool virtualClock, double seconds) {
    Figures f;
    ServerProcess server({}, virtualClock ? std::vector<std::string>{"--virtual-clock"} : std::vector<std::string>{});
    Client client;
    Message m;
    if (!server.running() || !client.connect(server.port()) || !client.receive(m)) {
        std::fprintf(stderr, "llrp_bench: the server did not start\n");
        std::exit(1);
    }
    Element add = Element::make("ADD_ROSPEC");
    add.add(rospec(1, 1, 0, aiSpec({0}), 1, 1));
    client.transact(std::move(add));
    const auto start = std::chrono::steady_clock::now();
    client.transact(Element::make("ENABLE_ROSPEC").set("ROSpecID", 1));
    const auto end = start + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end && client.next(m, 1000)) {
        if (!m.body.is("RO_ACCESS_REPORT")) continue;
        const std::uint64_t now = utcNowUs();
        ++f.reports;
        for (const Element *data : m.body.all("TagReportData")) {
            ++f.tags;
            if (const Element *seen = data->child("FirstSeenTimestampUTC"))
                f.latencyMs.push_back(static_cast<double>(now - seen->number("Microseconds")) / 1000.0);
        }
    }
    f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    client.transact(Element::make("CLOSE_CONNECTION"));
    return f;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char **argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10;
    std::printf("| Simulated reader's clock | Reports/s (N = 1) | Tag reads | Latency median (ms) | Latency p99 (ms) |\n");
    std::printf("|---|---|---|---|---|\n");
    for (const bool virtualClock : {false, true}) {
        const Figures f = measure(virtualClock, seconds);
        std::printf("| %s | %.0f | %zu | %.2f | %.2f |\n", virtualClock ? "virtual (host only)" : "real (reader's rounds)",
                    static_cast<double>(f.reports) / f.seconds, f.tags, percentile(f.latencyMs, 0.5),
                    percentile(f.latencyMs, 0.99));
    }
    return 0;
}
