// LLRP sessions end to end: `tessaro --sim llrp` on 127.0.0.1 and a free
// port, a client written here, and the sample shelf's tags in the reports.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "session_fixture.h"

namespace tessaro::llrp::testing {
namespace {

class LlrpSession : public LlrpFixture {
protected:
    void SetUp() override { open(); }
};

TEST_F(LlrpSession, CapabilitiesComeFromTheReader) {
    const Message caps = ok(Element::make("GET_READER_CAPABILITIES").set("RequestedData", 0));
    const Element *general = caps.body.child("GeneralDeviceCapabilities");
    ASSERT_NE(general, nullptr);
    EXPECT_EQ(general->number("MaxNumberOfAntennaSupported"), 4u);
    EXPECT_EQ(general->text("ReaderFirmwareVersion"), "3.2");
    EXPECT_EQ(general->all("PerAntennaAirProtocol").size(), 4u);
    const Element *band = caps.body.child("RegulatoryCapabilities")->child("UHFBandCapabilities");
    ASSERT_NE(band, nullptr);
    const auto powers = band->all("TransmitPowerLevelTableEntry");
    ASSERT_EQ(powers.size(), 31u) << "0 to 30 dBm";
    EXPECT_EQ(powers.back()->signedNumber("TransmitPowerValue"), 3000);
    const Element *hops = band->child("FrequencyInformation")->child("FrequencyHopTable");
    ASSERT_NE(hops, nullptr);
    const std::vector<std::uint32_t> &khz = hops->value("Frequency").items;
    ASSERT_EQ(khz.size(), 50u) << "the US plan";
    EXPECT_EQ(khz.front(), 902750u);
    EXPECT_EQ(khz.back(), 927250u);
    EXPECT_NE(band->child("C1G2UHFRFModeTable"), nullptr);
    EXPECT_NE(caps.body.child("C1G2LLRPCapabilities"), nullptr);
    EXPECT_EQ(caps.body.child("RegulatoryCapabilities")->number("CountryCode"), 840u);

    // Setting the power through LLRP sets the reader's, and reads back.
    Element set = Element::make("SET_READER_CONFIG");
    Element antenna = Element::make("AntennaConfiguration").set("AntennaID", 0);
    antenna.add(Element::make("RFTransmitter").set("HopTableID", 1).set("TransmitPower", 21));  // 20 dBm
    set.add(std::move(antenna));
    ok(std::move(set));
    const Message config = ok(Element::make("GET_READER_CONFIG").set("RequestedData", 3));
    ASSERT_EQ(config.body.all("AntennaConfiguration").size(), 4u);
    EXPECT_EQ(config.body.child("AntennaConfiguration")->child("RFTransmitter")->number("TransmitPower"), 21u);

    // And the shelf answers an inventory.
    addAndEnable(rospec(1, 1, 0, aiSpec({0}), 1, 1));
    EXPECT_EQ(collectAll(8000), shelfEpcs());
}

TEST_F(LlrpSession, ImmediateROSpecReportsEveryNTags) {
    addAndEnable(rospec(7, 1, 0, aiSpec({0}), 1, 1));
    std::vector<Message> seen;
    const std::set<std::string> all = shelfEpcs();
    const std::set<std::string> epcs = collect(8000, [&all](const std::set<std::string> &e) { return e == all; }, &seen);
    EXPECT_EQ(epcs, all);
    int reports = 0;
    for (const Message &m : seen) {
        if (!m.body.is("RO_ACCESS_REPORT")) continue;
        ++reports;
        ASSERT_EQ(m.body.all("TagReportData").size(), 1u) << "N = 1";
        const Element &data = *m.body.child("TagReportData");
        EXPECT_EQ(data.child("ROSpecID")->number("ROSpecID"), 7u);
        EXPECT_NE(data.child("AntennaID"), nullptr);
        EXPECT_NE(data.child("PeakRSSI"), nullptr);
        EXPECT_NE(data.child("FirstSeenTimestampUTC"), nullptr);
    }
    EXPECT_GE(reports, static_cast<int>(all.size()));
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(),
                            [](const Message &m) { return eventField(m, "ROSpecEvent", "EventType") == 0; }))
        << "the ROSpec's start is announced";
    ok(Element::make("STOP_ROSPEC").set("ROSpecID", 7));
    Message end;
    ASSERT_TRUE(client_.waitFor("READER_EVENT_NOTIFICATION", end, 3000));
    while (!hasEvent(end, "ROSpecEvent")) ASSERT_TRUE(client_.waitFor("READER_EVENT_NOTIFICATION", end, 3000));
    EXPECT_EQ(eventField(end, "ROSpecEvent", "EventType"), 1u);
}

TEST_F(LlrpSession, PeriodicROSpecStartsAgainEachPeriod) {
    addAndEnable(rospec(2, 2, 300, aiSpec({0}), 2, 0, 1500));
    std::vector<Message> seen;
    collect(4000, [&seen](const std::set<std::string> &) {
        return std::count_if(seen.begin(), seen.end(), [](const Message &m) {
                   return eventField(m, "ROSpecEvent", "EventType") == 1;
               }) >= 2;
    }, &seen);
    std::vector<std::uint64_t> starts;
    std::set<std::string> firstRun;
    int ends = 0;
    for (const Message &m : seen) {
        if (eventField(m, "ROSpecEvent", "EventType") == 0)
            starts.push_back(m.body.child("ReaderEventNotificationData")->child("UTCTimestamp")->number("Microseconds"));
        if (eventField(m, "ROSpecEvent", "EventType") == 1) ++ends;
        if (m.body.is("RO_ACCESS_REPORT") && ends == 0)
            for (const std::string &epc : epcsOf(m)) firstRun.insert(epc);
    }
    ASSERT_GE(starts.size(), 2u);
    EXPECT_GE(starts[1] - starts[0], 1400000u) << "a period of 1.5 s between starts";
    EXPECT_FALSE(firstRun.empty());
    for (const std::string &epc : firstRun) EXPECT_TRUE(shelfEpcs().count(epc)) << epc;
}

TEST_F(LlrpSession, DurationStopEndsTheROSpecWithItsReport) {
    const auto started = Clock::now();
    addAndEnable(rospec(3, 1, 800, aiSpec({0}), 2, 0));
    std::vector<Message> seen;
    Message end;
    ASSERT_TRUE(client_.waitFor("READER_EVENT_NOTIFICATION", end, 6000, &seen));
    while (eventField(end, "ROSpecEvent", "EventType") != 1)
        ASSERT_TRUE(client_.waitFor("READER_EVENT_NOTIFICATION", end, 6000, &seen));
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(800));
    std::set<std::string> epcs;
    int reports = 0;
    for (const Message &m : seen)
        if (m.body.is("RO_ACCESS_REPORT")) {
            ++reports;
            for (const std::string &epc : epcsOf(m)) epcs.insert(epc);
        }
    EXPECT_EQ(reports, 1) << "one report, at the end of the ROSpec, before its end event";
    EXPECT_EQ(epcs, shelfEpcs());
}

TEST_F(LlrpSession, FilterInventoriesOnlyTheMatchingTags) {
    const std::string prefix = "3034257BF7194E40";  // espresso beans, top shelf
    std::set<std::string> expected;
    for (const std::string &epc : shelfEpcs())
        if (epc.rfind(prefix, 0) == 0) expected.insert(epc);
    ASSERT_FALSE(expected.empty());

    Element ai = aiSpec({0});
    Element mask = Element::make("C1G2TagInventoryMask").set("MB", 1).set("Pointer", 32);
    const std::vector<std::uint8_t> bits = unhex(prefix);
    mask.setBits("TagMask", bits.data(), static_cast<unsigned>(bits.size() * 8));
    Element filter = Element::make("C1G2Filter");
    filter.add(std::move(mask));
    Element command = Element::make("C1G2InventoryCommand");
    command.add(std::move(filter));
    Element antenna = Element::make("AntennaConfiguration").set("AntennaID", 0);
    antenna.add(std::move(command));
    Element ips = Element::make("InventoryParameterSpec").set("InventoryParameterSpecID", 1).set("ProtocolID", 1);
    ips.add(std::move(antenna));
    ai.children().pop_back();  // the plain InventoryParameterSpec
    ai.add(std::move(ips));
    addAndEnable(rospec(4, 1, 1500, std::move(ai), 2, 0));
    EXPECT_EQ(collect(6000, [&expected](const std::set<std::string> &e) { return e == expected; }), expected);
}

TEST_F(LlrpSession, AccessSpecReadsTheTidOfEveryTag) {
    Element command = accessCommand("");  // every tag
    command.add(Element::make("C1G2Read").set("OpSpecID", 5).set("MB", 2).set("WordPointer", 0).set("WordCount", 6));
    addAndEnableAccess(11, std::move(command));
    addAndEnable(rospec(5, 1, 0, aiSpec({0}), 1, 1));

    std::map<std::string, std::string> tids;  // EPC -> TID read
    std::vector<Message> seen;
    const std::size_t wanted = shelfTags().size();
    collect(10000, [&](const std::set<std::string> &) {
        for (; !seen.empty(); seen.pop_back()) {
            if (!seen.back().body.is("RO_ACCESS_REPORT")) continue;
            for (const Element *data : seen.back().body.all("TagReportData")) {
                const Element *result = data->child("C1G2ReadOpSpecResult");
                if (!result || result->number("Result") != 0) continue;
                EXPECT_EQ(data->child("AccessSpecID")->number("AccessSpecID"), 11u);
                std::vector<std::uint8_t> bytes;
                for (const std::uint32_t word : result->value("ReadData").items) {
                    bytes.push_back(static_cast<std::uint8_t>(word >> 8));
                    bytes.push_back(static_cast<std::uint8_t>(word));
                }
                tids[hex(data->child("EPC_96")->value("EPC").bytes)] = hex(bytes);
            }
        }
        return tids.size() == wanted;
    }, &seen);
    ASSERT_EQ(tids.size(), wanted);
    for (const ShelfTag &t : shelfTags()) EXPECT_EQ(tids[t.epc], t.tid) << t.epc;
}

TEST_F(LlrpSession, AccessSpecWritesAnEpcThatTheNextInventorySees) {
    const std::string oldEpc = shelfTags().back().epc;  // not the first tag read
    const std::string newEpc = "3034257BF7194E4000000BAD";
    Element command = accessCommand(oldEpc);
    std::vector<std::uint32_t> words;
    const std::vector<std::uint8_t> bytes = unhex(newEpc);
    for (std::size_t i = 0; i < bytes.size(); i += 2) words.push_back(static_cast<std::uint32_t>(bytes[i] << 8 | bytes[i + 1]));
    command.add(Element::make("C1G2Write").set("OpSpecID", 6).set("MB", 1).set("WordPointer", 2).setItems("WriteData", words));
    addAndEnableAccess(12, std::move(command), 1);
    addAndEnable(rospec(6, 1, 0, aiSpec({0}), 1, 1));

    bool written = false;
    std::vector<Message> seen;
    const std::set<std::string> epcs = collect(10000, [&](const std::set<std::string> &e) {
        for (const Message &m : seen)
            for (const Element *data : m.body.all("TagReportData"))
                if (const Element *r = data->child("C1G2WriteOpSpecResult")) {
                    EXPECT_EQ(r->number("Result"), 0u);
                    EXPECT_EQ(r->number("NumWordsWritten"), 6u);
                    written = true;
                }
        seen.clear();
        return written && e.count(newEpc);
    }, &seen);
    EXPECT_TRUE(written);
    EXPECT_TRUE(epcs.count(newEpc)) << "the simulated tag answers with its new EPC";
    // The tag that was chosen, and no other, changed: a later inventory sees
    // the shelf with that one EPC replaced.
    std::set<std::string> after = shelfEpcs();
    after.erase(oldEpc);
    after.insert(newEpc);
    ok(Element::make("DELETE_ROSPEC").set("ROSpecID", 0));
    addAndEnable(rospec(16, 1, 0, aiSpec({0}), 1, 1));
    EXPECT_EQ(collect(8000, [&after](const std::set<std::string> &e) { return e == after; }), after);
    // The AccessSpec ran once (operation count 1) and is gone.
    const Message accessSpecs = ok(Element::make("GET_ACCESSSPECS"));
    EXPECT_TRUE(accessSpecs.body.all("AccessSpec").empty());
}

TEST_F(LlrpSession, AccessSpecErasesLocksAndRefusesAZeroKillPassword) {
    const std::string target = shelfTags().front().epc;  // espresso beans: user memory, no passwords
    Element command = accessCommand(target);
    command.add(Element::make("C1G2BlockErase").set("OpSpecID", 1).set("MB", 3).set("WordPointer", 0).set("WordCount", 2));
    Element lock = Element::make("C1G2Lock").set("OpSpecID", 2);
    lock.add(Element::make("C1G2LockPayload").set("Privilege", 0).set("DataField", 4));  // lock user memory
    command.add(std::move(lock));
    command.add(Element::make("C1G2Kill").set("OpSpecID", 3).set("KillPassword", 0));
    addAndEnableAccess(13, std::move(command), 1);
    addAndEnable(rospec(14, 1, 0, aiSpec({0}), 1, 1));

    Element kept;
    const Element *results = nullptr;
    std::vector<Message> seen;
    collect(10000, [&](const std::set<std::string> &) {
        for (const Message &m : seen)
            for (const Element *data : m.body.all("TagReportData"))
                if (data->child("C1G2KillOpSpecResult")) {
                    kept = *data;
                    results = &kept;
                }
        seen.clear();
        return results != nullptr;
    }, &seen);
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(hex(results->child("EPC_96")->value("EPC").bytes), target);
    EXPECT_EQ(results->child("C1G2BlockEraseOpSpecResult")->number("Result"), 0u);
    EXPECT_EQ(results->child("C1G2LockOpSpecResult")->number("Result"), 0u);
    EXPECT_EQ(results->child("C1G2KillOpSpecResult")->number("Result"), 1u) << "Zero_Kill_Password_Error";
}

TEST_F(LlrpSession, KeepalivesGoOutAndAClientThatStopsAnsweringIsDropped) {
    Element set = Element::make("SET_READER_CONFIG");
    set.add(Element::make("KeepaliveSpec").set("KeepaliveTriggerType", 1).set("PeriodicTriggerValue", 200));
    ok(std::move(set));
    addAndEnable(rospec(8, 1, 0, aiSpec({0}), 1, 1));
    // Answered: they keep coming, about 200 ms apart, while the tags do too.
    std::vector<Clock::time_point> times;
    std::set<std::string> epcs;
    Message m;
    while (times.size() < 4 && client_.next(m, 2000)) {
        if (m.body.is("RO_ACCESS_REPORT"))
            for (const std::string &epc : epcsOf(m)) epcs.insert(epc);
        if (!m.body.is("KEEPALIVE")) continue;
        times.push_back(Clock::now());
        Message ack;
        ack.id = m.id;
        ack.body = Element::make("KEEPALIVE_ACK");
        client_.send(ack);
    }
    ASSERT_EQ(times.size(), 4u);
    EXPECT_GE(times[3] - times[0], std::chrono::milliseconds(500));
    EXPECT_FALSE(epcs.empty());
    // Unanswered: the reader says it closes, then closes.
    Message close;
    ASSERT_TRUE(client_.waitFor("READER_EVENT_NOTIFICATION", close, 3000));
    while (!hasEvent(close, "ConnectionCloseEvent")) ASSERT_TRUE(client_.waitFor("READER_EVENT_NOTIFICATION", close, 3000));
    EXPECT_TRUE(client_.closedByServer(2000));
}

TEST_F(LlrpSession, SecondClientIsRefusedWhileTheFirstReads) {
    addAndEnable(rospec(9, 1, 0, aiSpec({0}), 1, 1));
    Client second;
    ASSERT_TRUE(second.connect(server_->port()));
    Message refusal;
    ASSERT_TRUE(second.receive(refusal, 3000));
    EXPECT_EQ(eventField(refusal, "ConnectionAttemptEvent", "Status"), 2u)
        << "Failed_A_Client_Initiated_Connection_Already_Exists";
    EXPECT_TRUE(second.closedByServer(2000));
    EXPECT_EQ(collectAll(8000), shelfEpcs()) << "the first client reads on";
}

TEST_F(LlrpSession, ClientVanishingMidROSpecStopsTheReading) {
    addAndEnable(rospec(10, 1, 0, aiSpec({0}), 1, 1));
    EXPECT_FALSE(collect(5000, [](const std::set<std::string> &e) { return !e.empty(); }).empty());
    client_.close();  // no CLOSE_CONNECTION: gone
    // The next client finds a reader with nothing running and nothing to report.
    Client next;
    Message hello;
    const auto until = Clock::now() + std::chrono::seconds(3);
    while (Clock::now() < until) {  // the server notices the first one's end within its loop's round
        ASSERT_TRUE(next.connect(server_->port()));
        if (next.receive(hello, 2000) && eventField(hello, "ConnectionAttemptEvent", "Status") == 0) break;
        next.close();
    }
    ASSERT_EQ(eventField(hello, "ConnectionAttemptEvent", "Status"), 0u);
    Message request;
    request.id = 1;
    request.body = Element::make("GET_ROSPECS");
    next.send(request);
    Message response;
    ASSERT_TRUE(next.waitFor("GET_ROSPECS_RESPONSE", response, 3000));
    EXPECT_TRUE(response.body.all("ROSpec").empty());
    Message report;
    EXPECT_FALSE(next.waitFor("RO_ACCESS_REPORT", report, 1500)) << "no reading runs for nobody";
}

TEST_F(LlrpSession, UnpluggedReaderIsReportedAndReadingResumesWhenItIsBack) {
    addAndEnable(rospec(11, 1, 0, aiSpec({0}), 1, 1));
    EXPECT_FALSE(collect(5000, [](const std::set<std::string> &e) { return !e.empty(); }).empty());
    kill(server_->pid(), SIGUSR1);
    Message lost;
    ASSERT_TRUE(client_.waitFor("READER_EVENT_NOTIFICATION", lost, 8000));
    while (!hasEvent(lost, "ReaderExceptionEvent")) ASSERT_TRUE(client_.waitFor("READER_EVENT_NOTIFICATION", lost, 8000));
    EXPECT_NE(lost.body.child("ReaderEventNotificationData")->child("ReaderExceptionEvent")->text("Message").find("gone"),
              std::string::npos);
    kill(server_->pid(), SIGUSR2);
    Message back;
    ASSERT_TRUE(client_.waitFor("READER_EVENT_NOTIFICATION", back, 8000));
    while (!hasEvent(back, "ReaderExceptionEvent")) ASSERT_TRUE(client_.waitFor("READER_EVENT_NOTIFICATION", back, 8000));
    EXPECT_NE(back.body.child("ReaderEventNotificationData")->child("ReaderExceptionEvent")->text("Message").find("back"),
              std::string::npos);
    EXPECT_EQ(collectAll(8000), shelfEpcs()) << "the reading resumed";
}

TEST_F(LlrpSession, WhatTheReaderCannotDoIsRefusedWithItsStatus) {
    // A GPI start trigger: A_OutOfRange on the trigger's field, nested under the ROSpec.
    Element ro = rospec(12, 1, 0, aiSpec({0}), 1, 1);
    ro.children().front().children().front().set("ROSpecStartTriggerType", 3);
    Element add = Element::make("ADD_ROSPEC");
    add.add(std::move(ro));
    const Message refused = client_.transact(std::move(add));
    EXPECT_EQ(statusOf(refused), kMParameterError);
    const Element *error = refused.body.child("LLRPStatus")->child("ParameterError");
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->number("ParameterType"), 177u);
    while (error->child("ParameterError")) error = error->child("ParameterError");
    EXPECT_EQ(error->number("ParameterType"), 179u);
    EXPECT_EQ(error->child("FieldError")->number("ErrorCode"), kAOutOfRange);
    EXPECT_FALSE(refused.body.child("LLRPStatus")->text("ErrorDescription").empty());

    // A message type nobody knows: ERROR_MESSAGE, M_UnsupportedMessage.
    std::vector<std::uint8_t> unknown = {0x04, 0xC8, 0, 0, 0, 10, 0, 0, 0, 42};  // type 200
    client_.sendBytes(unknown);
    Message error2;
    ASSERT_TRUE(client_.waitFor("ERROR_MESSAGE", error2, 3000));
    EXPECT_EQ(error2.id, 42u);
    EXPECT_EQ(statusOf(error2), kMUnsupportedMessage);

    // Version 2, once negotiated, is what the connection speaks.
    const Message versions = client_.transact(Element::make("GET_SUPPORTED_VERSION"));
    EXPECT_EQ(versions.body.number("SupportedVersion"), 2u);
    Message set;
    set.version = 2;
    set.id = client_.nextId();
    set.body = Element::make("SET_PROTOCOL_VERSION").set("ProtocolVersion", 2);
    client_.send(set);
    Message answer;
    ASSERT_TRUE(client_.waitFor("SET_PROTOCOL_VERSION_RESPONSE", answer, 3000));
    EXPECT_EQ(statusOf(answer), kAInvalid) << "set before any other message, and this connection has sent some";
}

TEST_F(LlrpSession, VersionTwoOnceNegotiated) {
    const Message versions = client_.transact(Element::make("GET_SUPPORTED_VERSION"));
    EXPECT_EQ(versions.body.number("CurrentVersion"), 1u);
    EXPECT_EQ(versions.body.number("SupportedVersion"), 2u);
    Message set;
    set.version = 2;
    set.id = client_.nextId();
    set.body = Element::make("SET_PROTOCOL_VERSION").set("ProtocolVersion", 2);
    client_.send(set);
    Message answer;
    ASSERT_TRUE(client_.waitFor("SET_PROTOCOL_VERSION_RESPONSE", answer, 3000));
    EXPECT_EQ(statusOf(answer), kSuccess);
    // A version-1 message is now refused; a version-2 one answered in version 2.
    const Message old = client_.transact(Element::make("GET_READER_CAPABILITIES"));
    EXPECT_TRUE(old.body.is("ERROR_MESSAGE"));
    EXPECT_EQ(statusOf(old), kMUnsupportedVersion);
    Message caps;
    caps.version = 2;
    caps.id = client_.nextId();
    caps.body = Element::make("GET_READER_CAPABILITIES").set("RequestedData", 2);
    client_.send(caps);
    ASSERT_TRUE(client_.waitFor("GET_READER_CAPABILITIES_RESPONSE", answer, 3000));
    EXPECT_EQ(answer.version, 2);
    EXPECT_NE(answer.body.child("LLRPCapabilities"), nullptr);
}

}  // namespace
}  // namespace tessaro::llrp::testing
