// The web console's request handling fed arbitrary bytes as one HTTP request:
// cpp-httplib parses it, then the Host and token checks, the routes, the body
// checks and the reader operations run against a simulated reader on virtual
// time (a recording is refused: no recorder; the event stream ends at once).
#include <httplib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Tessaro.h"
#include "TessaroSim.h"
#include "api.h"

namespace {

using namespace tessaro;

// The input as the connection's bytes; what the server writes goes nowhere.
class InputStream : public httplib::Stream {
public:
    InputStream(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
    bool is_readable() const override { return true; }
    bool is_writable() const override { return true; }
    ssize_t read(char *out, std::size_t size) override {
        const std::size_t n = std::min(size, size_ - at_);
        std::memcpy(out, data_ + at_, n);
        at_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char *, std::size_t size) override { return static_cast<ssize_t>(size); }
    void get_remote_ip_and_port(std::string &ip, int &port) const override {
        ip = "127.0.0.1";
        port = 40000;
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override {
        ip = "127.0.0.1";
        port = 8080;
    }
    socket_t socket() const override { return 0; }

private:
    const std::uint8_t *data_;
    std::size_t size_, at_ = 0;
};

class FuzzServer : public httplib::Server {
public:
    void feed(const std::uint8_t *data, std::size_t size) {
        InputStream stream(data, size);
        bool closed = false;
        process_request(stream, true, closed, [](httplib::Request &) {});
    }
};

struct Console {
    TessaroSim *sim = nullptr;
    TessaroTransport transport{};
    service::Engine engine;
    http::Console console;
    std::unique_ptr<http::Recording> recording;
    std::unique_ptr<http::Api> api;
    FuzzServer server;

    Console() {
        sim = TessaroSimCreate(TESSARO_SIM_VIRTUAL_CLOCK);
        const int reader = TessaroSimAddReader(sim);
        char error[128];
        TessaroSimLoadPopulationText(sim, reader,
                                     "gen2 epc=3034257BF7194E40000003E9 userwords=8 antenna=1 rssi=-41\n"
                                     "gen2 epc=E2003412 antenna=2 rssi=-50\n",
                                     error, sizeof error);
        TessaroSimGetTransport(sim, &transport);
        TessaroSetTransport(&transport);
        int port = 0;
        if (OpenUSBPort(&port) != 0) std::abort();
        char folder[] = "/tmp/tessaro-http-fuzz-XXXXXX";
        if (!mkdtemp(folder)) std::abort();
        service::EngineOptions options;
        options.journal.folder = folder;
        options.journal.fsync = journal::Fsync::Never;
        options.quiet = true;
        if (engine.open(options) != service::kExitOk) std::abort();
        recording = std::make_unique<http::Recording>(engine, nullptr, folder, 0);
        http::ApiOptions apiOptions;
        apiOptions.token = "0123456789abcdef";
        api = std::make_unique<http::Api>(engine, console, *recording, apiOptions);
        api->install(server);
        api->stop();  // event streams end at their first turn
        server.set_payload_max_length(apiOptions.maxBodyBytes);
        // Some events, so the table, rates, history and stream have content.
        events::TagEvent event;
        event.type = events::EventType::Tag;
        event.reader = engine.readers().front().serial;
        event.epc = "3034257BF7194E40000003E9";
        event.antenna = 1;
        event.wallClockMs = events::wallClockNowMs();
        for (int i = 0; i < 3; ++i) {
            engine.emit(event);
            console.add(event);
        }
        engine.journal().flush();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static Console *console = new Console;  // once: the journal and the reader stay
    console->server.feed(data, size);
    return 0;
}
