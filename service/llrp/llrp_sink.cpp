#include "llrp_sink.h"

#include <cstdio>

#include "engine_reader.h"

namespace tessaro::llrp {

LlrpSink::LlrpSink(LlrpOptions options) : options_(std::move(options)) { options_.server.stop = &stop_; }

LlrpSink::~LlrpSink() { stop(0); }

int LlrpSink::start(service::Engine &engine) {
    const service::ReaderInfo *reader = options_.reader.empty()
                                            ? (engine.readers().empty() ? nullptr : &engine.readers().front())
                                            : engine.reader(options_.reader);
    if (!reader) {
        std::fprintf(stderr, "llrp: no reader %s\n", options_.reader.c_str());
        return service::kExitReaderError;
    }
    reader_ = std::make_unique<EngineReader>(engine, *reader, options_.address);
    server_ = std::make_unique<Server>(*reader_, options_.server);
    std::string error;
    if (!server_->listen(error)) {
        std::fprintf(stderr, "llrp: %s\n", error.c_str());
        return service::kExitUsage;
    }
    thread_ = std::thread([this] { server_->run(); });
    return service::kExitOk;
}

void LlrpSink::stop(unsigned) {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    server_.reset();
    reader_.reset();
}

}  // namespace tessaro::llrp
