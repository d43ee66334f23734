// The reader behind the LLRP server: one reader of the service's engine.
// Inventories are the engine's continuous reading of that reader, started and
// stopped with each AISpec's settings; its tag events come back through the
// engine's listener (journaled like every event). The reader's information,
// settings and the OpSpecs' tag commands are plain calls of the flat
// interface on its port, which the library runs between rounds.
#pragma once

#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "engine.h"
#include "reader.h"

namespace tessaro::llrp {

class EngineReader : public ReaderLink {
public:
    // `serial` names one of engine.readers(); `address` is the reader address
    // of the flat commands (0xFF reaches any).
    EngineReader(service::Engine &engine, const service::ReaderInfo &reader, unsigned char address);
    ~EngineReader() override;

    void setHandlers(TagHandler onTag, EventHandler onEvent) override;
    ReaderFacts facts() override;
    bool start(const InventoryPlan &plan, std::string &error) override;
    void stop() override;
    TagCommandResult command(const TagCommand &command) override;
    bool setPower(int dbm) override;

private:
    void onEvent(const events::TagEvent &event);
    // `count` words from `word` on into `words`; the reader's code.
    int read(const TagCommand &c, unsigned word, unsigned count, std::vector<std::uint16_t> &words, int &errorCode);
    // From c.wordPointer to the end of the bank (WordCount 0).
    int readToEnd(const TagCommand &c, std::vector<std::uint16_t> &words, int &errorCode);

    service::Engine &engine_;
    const std::string serial_;
    const int port_;
    unsigned char address_;
    int listener_ = 0;
    std::mutex handlersMutex_;  // the engine calls the listener on the reading's thread
    TagHandler tagHandler_;
    EventHandler eventHandler_;
    bool reading_ = false;
    // Where each tag's banks ended at the last read to the end: (EPC, bank) -> size.
    std::map<std::pair<std::vector<std::uint8_t>, int>, unsigned> bankEnds_;
};

}  // namespace tessaro::llrp
