// LLRP as an output of the service: the reader server runs beside the
// engine, on one of its readers, and drives that reader's reading itself
// (RunLimits::startReadings is false): its clients' ROSpecs decide when
// inventories run.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "run.h"
#include "server.h"

namespace tessaro::llrp {

class EngineReader;

struct LlrpOptions {
    ServerOptions server;
    std::string reader;           // serial number; empty: the engine's first reader
    unsigned char address = 0xFF; // reader address of the flat commands
};

class LlrpSink : public service::Sink {
public:
    explicit LlrpSink(LlrpOptions options);
    ~LlrpSink() override;

    int start(service::Engine &engine) override;
    std::string fatalError() override { return {}; }
    void stop(unsigned drainMs) override;

private:
    LlrpOptions options_;
    std::atomic<bool> stop_{false};
    std::unique_ptr<EngineReader> reader_;
    std::unique_ptr<Server> server_;
    std::thread thread_;
};

}  // namespace tessaro::llrp
