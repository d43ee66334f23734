// The fixture of the LLRP session tests: `tessaro --sim llrp` on 127.0.0.1
// and a free port, a client of the tests connected to it (over TLS when
// asked), and helpers to set up ROSpecs and collect what the reports carry.
// Real time (the server and the simulator run on the real clock), so every
// wait has a bound of a few seconds.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "llrp_client.h"

namespace tessaro::llrp::testing {

using Clock = std::chrono::steady_clock;

inline std::set<std::string> shelfEpcs() {
    std::set<std::string> epcs;
    for (const ShelfTag &t : shelfTags()) epcs.insert(t.epc);
    return epcs;
}

inline std::uint32_t eventField(const Message &m, const char *event, const char *field) {
    const Element *data = m.body.child("ReaderEventNotificationData");
    const Element *e = data ? data->child(event) : nullptr;
    return e ? static_cast<std::uint32_t>(e->number(field)) : 0xFFFFFFFFu;
}

inline bool hasEvent(const Message &m, const char *event) {
    const Element *data = m.body.is("READER_EVENT_NOTIFICATION") ? m.body.child("ReaderEventNotificationData") : nullptr;
    return data && data->child(event);
}

class LlrpFixture : public ::testing::Test {
protected:
    // Starts the server with `extra` arguments and connects to it, over TLS
    // trusting `caFile` when one is given; the reader speaks first.
    void open(const std::vector<std::string> &extra = {}, const std::string &caFile = "") {
        server_ = std::make_unique<ServerProcess>(extra);
        ASSERT_TRUE(server_->running()) << "tessaro llrp did not start";
        ASSERT_TRUE(caFile.empty() ? client_.connect(server_->port()) : client_.connectTls(server_->port(), caFile));
        Message hello;
        ASSERT_TRUE(client_.receive(hello)) << "the reader speaks first";
        ASSERT_TRUE(hello.body.is("READER_EVENT_NOTIFICATION"));
        ASSERT_EQ(eventField(hello, "ConnectionAttemptEvent", "Status"), 0u);
    }

    // The server ends cleanly at SIGTERM: exit code 0, no crash on the way
    // out, nothing a sanitizer objected to (they make the exit code non-zero).
    void TearDown() override {
        client_.close();
        if (server_) {
            EXPECT_EQ(server_->stop(), 0) << "tessaro llrp did not end cleanly";
        }
    }

    Message ok(Element body) {
        Message response = client_.transact(std::move(body));
        EXPECT_EQ(statusOf(response), kSuccess)
            << response.body.name() << ": "
            << (response.body.definition() && response.body.child("LLRPStatus")
                    ? response.body.child("LLRPStatus")->text("ErrorDescription")
                    : "no answer");
        return response;
    }

    void addAndEnable(Element ro) {
        const std::uint32_t id = static_cast<std::uint32_t>(ro.number("ROSpecID"));
        Element add = Element::make("ADD_ROSPEC");
        add.add(std::move(ro));
        ok(std::move(add));
        ok(Element::make("ENABLE_ROSPEC").set("ROSpecID", id));
    }

    // An AccessCommand for the tag with `epc` (every tag when empty), its
    // operations to be added.
    static Element accessCommand(const std::string &epc) {
        Element target = Element::make("C1G2TargetTag").set("MB", 1).set("Match", 1);
        if (!epc.empty()) {
            const std::vector<std::uint8_t> bytes = unhex(epc), ones(12, 0xFF);
            target.set("Pointer", 32).setBits("TagMask", ones.data(), 96).setBits("TagData", bytes.data(), 96);
        }
        Element tagSpec = Element::make("C1G2TagSpec");
        tagSpec.add(std::move(target));
        Element command = Element::make("AccessCommand");
        command.add(std::move(tagSpec));
        return command;
    }

    // AccessSpec `id` with `command` added and enabled: it runs until deleted,
    // or `operations` times.
    void addAndEnableAccess(std::uint32_t id, Element command, std::uint64_t operations = 0) {
        Element access = Element::make("AccessSpec").set("AccessSpecID", id).set("ProtocolID", 1);
        Element stop = Element::make("AccessSpecStopTrigger");
        if (operations) stop.set("AccessSpecStopTrigger", 1).set("OperationCountValue", operations);
        access.add(std::move(stop));
        access.add(std::move(command));
        Element add = Element::make("ADD_ACCESSSPEC");
        add.add(std::move(access));
        ok(std::move(add));
        ok(Element::make("ENABLE_ACCESSSPEC").set("AccessSpecID", id));
    }

    // Collects the EPCs of the reports until `until` is met or `ms` pass
    // (three times that: the simulator runs on the real clock, and a loaded
    // machine is slower; a test that passes ends as soon as `until` holds);
    // every message seen goes to `seen`.
    template <typename Until>
    std::set<std::string> collect(int ms, Until until, std::vector<Message> *seen = nullptr) {
        std::set<std::string> epcs;
        const auto end = Clock::now() + std::chrono::milliseconds(3 * ms);
        Message m;
        while (Clock::now() < end && !until(epcs)) {
            const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
            if (!client_.next(m, std::max(left, 1))) break;
            if (seen) seen->push_back(m);
            if (m.body.is("RO_ACCESS_REPORT"))
                for (const std::string &epc : epcsOf(m)) epcs.insert(epc);
        }
        return epcs;
    }
    std::set<std::string> collectAll(int ms) {
        const std::set<std::string> all = shelfEpcs();
        return collect(ms, [&all](const std::set<std::string> &e) { return e == all; });
    }

    std::unique_ptr<ServerProcess> server_;
    Client client_;
};

}  // namespace tessaro::llrp::testing
