// The reader behind the LLRP server, through the library's public interface:
// its information and settings from the flat commands, inventories from the
// library's continuous reading (TessaroReading.h), OpSpecs as the Gen2 tag
// commands. One port, opened by the caller.
#pragma once

#include <mutex>

#include "TessaroReading.h"
#include "reader.h"

namespace tessaro::llrp {

class LibraryReader : public ReaderLink {
public:
    LibraryReader(int port, unsigned char address);
    ~LibraryReader() override;

    void setHandlers(TagHandler onTag, EventHandler onEvent) override;
    ReaderFacts facts() override;
    bool start(const InventoryPlan &plan, std::string &error) override;
    void stop() override;
    TagCommandResult command(const TagCommand &command) override;
    bool setPower(int dbm) override;

private:
    static void onTag(const TessaroTagRead *read, void *self);
    static void onStatus(const TessaroReadingStatus *status, void *self);

    const int port_;
    unsigned char address_;
    TagHandler tagHandler_;
    EventHandler eventHandler_;
    std::mutex mutex_;  // the reading's start and stop
    TessaroReading *reading_ = nullptr;
};

}  // namespace tessaro::llrp
