// One LLRP client's connection, as the reader side sees it: the client's
// messages answered, its ROSpecs run on the reader through their start and
// stop triggers, its AccessSpecs applied to the tags read, reports and events
// sent as ROReportSpec and ReaderEventNotificationSpec say, keepalives sent and watched.
//
// Single-threaded: the server calls every method from its loop, with the
// time of its monotonic clock; what the reader reports comes in through
// tag() and readerEvent(). Messages go out through the `send` callback.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "codec.h"
#include "reader.h"
#include "ro_access.h"

namespace tessaro::llrp {

class Session {
public:
    using Send = std::function<void(const Message &)>;
    using Clock = std::function<std::uint64_t()>;  // UTC microseconds

    Session(ReaderLink &reader, const ReaderFacts &facts, Send send, Clock utcNow);

    // Sends the ConnectionAttemptEvent that opens the connection.
    void open(std::uint64_t nowMs);
    // Answers one decoded message. False once the connection is to close
    // (CLOSE_CONNECTION was answered).
    bool handle(const Message &message, std::uint64_t nowMs);
    // Answers a message the codec refused.
    void refuse(const Message &message, const Fault &fault);
    void tag(const TagSighting &sighting, std::uint64_t nowMs);
    void readerEvent(ReaderEvent event, const std::string &text, std::uint64_t nowMs);
    // Runs what is due; returns the milliseconds until something else is.
    std::uint64_t tick(std::uint64_t nowMs);
    // Hands over what the reading delivered and the server has not passed on
    // yet: called right after the reading stopped, so the reads of its last
    // round still count for the AISpec that made them.
    void setDrain(std::function<void()> drain) { drain_ = std::move(drain); }
    // Stops every ROSpec (the client is gone or leaves) and tells it, when
    // `tell`, with a ConnectionCloseEvent.
    void close(std::uint64_t nowMs, bool tell);
    // True once the client left keepalives unanswered: drop it.
    bool unresponsive() const { return unansweredKeepalives_ > kKeepaliveMisses; }

    static constexpr unsigned kKeepaliveMisses = 3;

private:
    // What SET_READER_CONFIG sets.
    struct Config {
        ReportSpec roReport;
        int accessReportTrigger = 0;  // 0 with the RO reports, 1 at the end of the AccessSpec
        int keepaliveType = 0;
        std::uint32_t keepaliveMs = 0;
        bool events[9] = {};
        int powerDbm = 30;
        InventoryPlan inventory;      // C1G2InventoryCommand of an AntennaConfiguration
    };

    struct PendingTag {
        std::vector<std::uint8_t> epc;
        ReportSpec reportSpec;  // the ROReportSpec it is reported under
        std::uint32_t roSpecId = 0;
        std::uint16_t specIndex = 0, inventoryParameterSpecId = 0;
        int antenna = 0;
        int peakRssi = -128;
        std::uint64_t firstUtcUs = 0, lastUtcUs = 0, firstUptimeUs = 0, lastUptimeUs = 0;
        unsigned count = 0;
        std::uint32_t accessSpecId = 0;
        std::vector<Element> opResults;  // never accumulated with other reads
    };

    // Answers.
    void reply(const Message &request, Element body);
    void replyStatus(const Message &request, const char *response, std::uint16_t code, const std::string &text = "");
    void replyFault(const Message &request, const char *response, const Fault &fault);
    void notify(Element body);  // a reader-initiated message
    void event(Element what);   // a READER_EVENT_NOTIFICATION holding `what`
    bool eventEnabled(unsigned type) const { return type < 9 && config_.events[type]; }

    // Messages.
    void capabilities(const Message &m);
    void getConfig(const Message &m);
    void setConfig(const Message &m, std::uint64_t nowMs);
    bool readConfig(const Element &body, Config &config, Fault &fault) const;
    void rospecCommand(const Message &m, std::uint64_t nowMs);
    void accessCommand(const Message &m);

    // ROSpecs.
    RoSpec *findROSpec(std::uint32_t id);
    void enable(RoSpec &ro, std::uint64_t nowMs);
    void start(RoSpec &ro, std::uint64_t nowMs);
    void startAiSpec(std::uint64_t nowMs);
    // Ends the running AISpec; with `next`, the ROSpec goes on to its next
    // AISpec or ends after its last.
    void endAiSpec(std::uint64_t nowMs, bool next);
    void end(std::uint64_t nowMs);  // the active ROSpec
    void stopReading();
    void flush(bool evenEmpty = false);  // pending tag reports out
    RoSpec *active() { return activeId_ ? findROSpec(activeId_) : nullptr; }

    // Tags.
    void report(const TagSighting &s, std::uint32_t accessSpecId, std::vector<Element> opResults);
    bool access(const TagSighting &s, std::uint32_t &accessSpecId, std::vector<Element> &results);
    Element tagReport(const PendingTag &p) const;

    Element timestamp() const;

    ReaderLink &reader_;
    ReaderFacts facts_;
    Limits limits_;
    Send send_;
    Clock utcNow_;
    std::uint8_t version_ = 1;
    bool negotiated_ = false;       // SET_PROTOCOL_VERSION only before anything else
    std::uint32_t nextId_ = 1;      // of reader-initiated messages
    std::uint32_t configState_ = 1; // LLRPConfigurationStateValue

    Config defaults_, config_;

    std::vector<RoSpec> roSpecs_;
    std::vector<AccessSpec> accessSpecs_;  // in the order they were added

    // The ROSpec running, and its AISpec.
    std::uint32_t activeId_ = 0;
    bool reading_ = false;
    bool stopping_ = false;         // draining the last round: no trigger ends the AISpec again
    std::function<void()> drain_;
    std::deque<std::uint32_t> waiting_;  // started while another ran
    std::size_t aiIndex_ = 0;
    std::uint64_t startedMs_ = 0, aiStartedMs_ = 0, lastNewTagMs_ = 0;
    std::vector<std::vector<std::uint8_t>> aiTags_;  // distinct EPCs of this AISpec
    bool readerLost_ = false;

    std::vector<PendingTag> pending_;
    bool overflowTold_ = false;
    std::uint64_t nextKeepaliveMs_ = 0;
    unsigned unansweredKeepalives_ = 0;
};

}  // namespace tessaro::llrp
