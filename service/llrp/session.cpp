#include "session.h"

#include <algorithm>

namespace tessaro::llrp {

namespace {

// Reader event types of ReaderEventNotificationSpec.
enum : unsigned { kGpiEvent = 1, kROSpecEvent = 2, kReaderExceptionEvent = 4, kAISpecEvent = 6, kAntennaEvent = 8 };

// Tag reports held for a client that asks with GET_REPORT only; beyond, reads
// are dropped and a ReportBufferOverflowErrorEvent says so.
constexpr std::size_t kMaxPendingTags = 10000;
// TagReportData per RO_ACCESS_REPORT.
constexpr std::size_t kTagsPerReport = 256;

Fault fieldFault(const Element &message, std::string_view field, std::uint16_t code, std::string text) {
    Fault f;
    f.problem = Problem::FieldError;
    f.field = message.definition()->fieldIndex(field);  // messages here have no reserved runs before it
    f.fieldCode = code;
    f.description = std::move(text);
    return f;
}

Fault parameterFault(Problem problem, std::uint16_t type, std::string text) {
    Fault f;
    f.problem = problem;
    f.path = {type};
    f.description = std::move(text);
    return f;
}

// The country and the regulation of the reader's region codes 1 to 5.
void regulation(int region, std::uint16_t &country, std::uint16_t &standard) {
    switch (region) {
    case 1: country = 156; standard = 0; break;  // China
    case 2: country = 840; standard = 1; break;  // US, FCC part 15
    case 3: country = 410; standard = 9; break;  // Korea
    case 4: country = 0; standard = 2; break;    // EU, ETSI EN 302 208
    case 5: country = 392; standard = 6; break;  // Japan, ARIB STD-T89
    default: country = 0; standard = 0; break;
    }
}

// LLRP result codes of each OpSpec for what the reader answered.
std::uint8_t resultCode(TagCommand::Kind kind, const TagCommandResult &r) {
    const bool done = r.outcome == TagCommandResult::Done, noTag = r.outcome == TagCommandResult::NoTag,
               tag = r.outcome == TagCommandResult::TagError;
    const int error = r.tagError;
    switch (kind) {
    case TagCommand::Read:  // Success, Nonspecific tag error, No response, Nonspecific reader error
        return done ? 0 : tag ? 1 : noTag ? 2 : 3;
    case TagCommand::Write: case TagCommand::BlockWrite: case TagCommand::BlockErase:
        // Success, Memory overrun, Memory locked, Insufficient power, Tag error, No response, Reader error
        return done ? 0 : tag ? (error == 0x03 ? 1 : error == 0x04 ? 2 : error == 0x0B ? 3 : 4) : noTag ? 5 : 6;
    case TagCommand::Lock:  // Success, Insufficient power, Tag error, No response, Reader error
        return done ? 0 : tag ? (error == 0x0B ? 1 : 2) : noTag ? 3 : 4;
    case TagCommand::Kill:  // Success, Zero kill password, Insufficient power, Tag error, No response, Reader error
        return done ? 0 : tag ? (error == 0x0B ? 2 : 3) : noTag ? 4 : 5;
    }
    return 3;
}

const char *resultName(TagCommand::Kind kind) {
    switch (kind) {
    case TagCommand::Read: return "C1G2ReadOpSpecResult";
    case TagCommand::Write: return "C1G2WriteOpSpecResult";
    case TagCommand::BlockWrite: return "C1G2BlockWriteOpSpecResult";
    case TagCommand::BlockErase: return "C1G2BlockEraseOpSpecResult";
    case TagCommand::Lock: return "C1G2LockOpSpecResult";
    case TagCommand::Kill: return "C1G2KillOpSpecResult";
    }
    return "";
}

}  // namespace

Session::Session(ReaderLink &reader, const ReaderFacts &facts, Send send, Clock utcNow)
    : reader_(reader), facts_(facts), send_(std::move(send)), utcNow_(std::move(utcNow)) {
    limits_.antennas = facts.antennas;
    limits_.minPowerDbm = facts.minPowerDbm;
    limits_.maxPowerDbm = facts.maxPowerDbm;
    defaults_.powerDbm = std::clamp(facts.powerDbm, facts.minPowerDbm, facts.maxPowerDbm);
    for (const unsigned type : {kROSpecEvent, kReaderExceptionEvent, kAISpecEvent, kAntennaEvent})
        defaults_.events[type] = true;
    config_ = defaults_;
}

// --- Sending ---------------------------------------------------------------

void Session::reply(const Message &request, Element body) {
    Message m;
    m.version = request.version;
    m.id = request.id;
    m.body = std::move(body);
    send_(m);
}

void Session::replyStatus(const Message &request, const char *response, std::uint16_t code, const std::string &text) {
    Element body = Element::make(response);
    body.add(status(code, text));
    reply(request, std::move(body));
}

void Session::replyFault(const Message &request, const char *response, const Fault &fault) {
    Element body = Element::make(response);
    body.add(statusFor(fault));
    reply(request, std::move(body));
}

void Session::notify(Element body) {
    Message m;
    m.version = version_;
    m.id = nextId_++;
    m.body = std::move(body);
    send_(m);
}

Element Session::timestamp() const { return Element::make("UTCTimestamp").set("Microseconds", utcNow_()); }

void Session::event(Element what) {
    Element data = Element::make("ReaderEventNotificationData");
    data.add(timestamp());
    data.add(std::move(what));
    Element body = Element::make("READER_EVENT_NOTIFICATION");
    body.add(std::move(data));
    notify(std::move(body));
}

void Session::open(std::uint64_t nowMs) {
    event(Element::make("ConnectionAttemptEvent").set("Status", 0));
    nextKeepaliveMs_ = nowMs;
}

void Session::close(std::uint64_t nowMs, bool tell) {
    if (active()) end(nowMs);
    waiting_.clear();
    reader_.stop();
    reading_ = false;
    drain_ = nullptr;
    if (tell) event(Element::make("ConnectionCloseEvent"));
}

// --- Messages --------------------------------------------------------------

void Session::refuse(const Message &message, const Fault &fault) {
    // A known request is answered in its own response; anything else, and a
    // version this reader does not speak, in an ERROR_MESSAGE.
    const Definition *d = message.body.definition();
    const Definition *response = d && fault.problem != Problem::UnsupportedVersion
                                     ? definitionByName(d->name + "_RESPONSE")
                                     : nullptr;
    Element body = Element::make(response ? response->name : "ERROR_MESSAGE");
    if (response && response->name == "GET_SUPPORTED_VERSION_RESPONSE")
        body.set("CurrentVersion", version_).set("SupportedVersion", 2);
    body.add(statusFor(fault));
    reply(message, std::move(body));
}

bool Session::handle(const Message &m, std::uint64_t nowMs) {
    const std::string &name = m.body.name();
    const bool versionMessage = name == "GET_SUPPORTED_VERSION" || name == "SET_PROTOCOL_VERSION";
    if (!versionMessage && m.version != version_) {
        Fault f;
        f.problem = Problem::UnsupportedVersion;
        f.description = "this connection speaks version " + std::to_string(version_) + ", the message came in version " +
                        std::to_string(m.version);
        Element body = Element::make("ERROR_MESSAGE");
        body.add(statusFor(f));
        reply(m, std::move(body));
        return true;
    }
    if (name == "GET_SUPPORTED_VERSION") {
        Element body = Element::make("GET_SUPPORTED_VERSION_RESPONSE");
        body.set("CurrentVersion", version_).set("SupportedVersion", 2);
        body.add(status(kSuccess));
        reply(m, std::move(body));
        return true;
    }
    if (name == "SET_PROTOCOL_VERSION") {
        const std::uint64_t v = m.body.number("ProtocolVersion");
        if (v < 1 || v > 2)
            replyStatus(m, "SET_PROTOCOL_VERSION_RESPONSE", kMUnsupportedVersion,
                        "this reader speaks versions 1 and 2, not " + std::to_string(v));
        else if (negotiated_ && v != version_)
            replyStatus(m, "SET_PROTOCOL_VERSION_RESPONSE", kAInvalid,
                        "the version is set before any other message of the connection");
        else {
            version_ = static_cast<std::uint8_t>(v);
            replyStatus(m, "SET_PROTOCOL_VERSION_RESPONSE", kSuccess);
        }
        return true;
    }
    negotiated_ = true;
    if (name == "KEEPALIVE_ACK") {
        unansweredKeepalives_ = 0;
    } else if (name == "CLOSE_CONNECTION") {
        replyStatus(m, "CLOSE_CONNECTION_RESPONSE", kSuccess);
        close(nowMs, false);
        return false;
    } else if (name == "GET_REPORT") {
        flush(true);
    } else if (name == "ENABLE_EVENTS_AND_REPORTS") {
        // Nothing is held back on connection: nothing to release.
    } else if (name == "GET_READER_CAPABILITIES") {
        capabilities(m);
    } else if (name == "GET_READER_CONFIG") {
        getConfig(m);
    } else if (name == "SET_READER_CONFIG") {
        setConfig(m, nowMs);
    } else if (name.find("ROSPEC") != std::string::npos && name.find("RESPONSE") == std::string::npos) {
        rospecCommand(m, nowMs);
    } else if (name.find("ACCESSSPEC") != std::string::npos && name.find("RESPONSE") == std::string::npos) {
        accessCommand(m);
    } else {
        Fault f;
        f.problem = Problem::UnsupportedMessage;
        f.description = name == "CUSTOM_MESSAGE" ? "this reader has no vendor messages"
                                                 : name + " is not a message a client sends";
        Element body = Element::make("ERROR_MESSAGE");
        body.add(statusFor(f));
        reply(m, std::move(body));
    }
    return true;
}

void Session::capabilities(const Message &m) {
    const std::uint64_t requested = m.body.number("RequestedData");
    if (requested > 4)
        return replyFault(m, "GET_READER_CAPABILITIES_RESPONSE",
                          fieldFault(m.body, "RequestedData", kAOutOfRange, "RequestedData is 0 to 4"));
    Element body = Element::make("GET_READER_CAPABILITIES_RESPONSE");
    body.add(status(kSuccess));
    if (requested == 0 || requested == 1) {
        Element general = Element::make("GeneralDeviceCapabilities");
        general.set("MaxNumberOfAntennaSupported", facts_.antennas).set("CanSetAntennaProperties", 0)
            .set("HasUTCClockCapability", 1).set("DeviceManufacturerName", 0).set("ModelName", facts_.modelNumber)
            .setText("ReaderFirmwareVersion", facts_.firmware);
        general.add(Element::make("ReceiveSensitivityTableEntry").set("Index", 1).setSigned("ReceiveSensitivityValue", 0));
        general.add(Element::make("GPIOCapabilities").set("NumGPIs", 0).set("NumGPOs", 0));
        for (unsigned antenna = 1; antenna <= facts_.antennas; ++antenna) {
            const std::uint8_t gen2 = 1;
            general.add(Element::make("PerAntennaAirProtocol").set("AntennaID", antenna).setBytes("ProtocolID", &gen2, 1));
        }
        body.add(std::move(general));
    }
    if (requested == 0 || requested == 2) {
        body.add(Element::make("LLRPCapabilities")
                     .set("MaxNumPriorityLevelsSupported", 1)
                     .set("MaxNumROSpecs", kMaxROSpecs)
                     .set("MaxNumSpecsPerROSpec", kMaxSpecsPerROSpec)
                     .set("MaxNumInventoryParameterSpecsPerAISpec", 1)
                     .set("MaxNumAccessSpecs", kMaxAccessSpecs)
                     .set("MaxNumOpSpecsPerAccessSpec", kMaxOpSpecsPerAccessSpec));
    }
    if (requested == 0 || requested == 3) {
        std::uint16_t country, standard;
        regulation(facts_.region, country, standard);
        Element band = Element::make("UHFBandCapabilities");
        for (unsigned index = 1; index <= limits_.powerLevels(); ++index)
            band.add(Element::make("TransmitPowerLevelTableEntry").set("Index", index)
                         .setSigned("TransmitPowerValue", limits_.dbmOf(index) * 100));
        Element frequencies = Element::make("FrequencyInformation").set("Hopping", facts_.channelsKHz.size() > 1);
        const std::vector<std::uint32_t> khz(facts_.channelsKHz.begin(), facts_.channelsKHz.end());
        if (khz.size() > 1)
            frequencies.add(Element::make("FrequencyHopTable").set("HopTableID", 1).setItems("Frequency", khz));
        else
            frequencies.add(Element::make("FixedFrequencyTable").setItems("Frequency", khz));
        band.add(std::move(frequencies));
        Element modes = Element::make("C1G2UHFRFModeTable");
        modes.add(Element::make("C1G2UHFRFModeTableEntry")
                      .set("ModeIdentifier", kModeIdentifier).set("DRValue", 1).set("MValue", 0)
                      .set("ForwardLinkModulation", 0).set("SpectralMaskIndicator", 0).set("BDRValue", 40000)
                      .set("PIEValue", 1500).set("MinTariValue", kMinTariNs).set("MaxTariValue", kMaxTariNs)
                      .set("StepTariValue", kMinTariNs));
        band.add(std::move(modes));
        Element regulatory = Element::make("RegulatoryCapabilities");
        regulatory.set("CountryCode", country).set("CommunicationsStandard", standard);
        regulatory.add(std::move(band));
        body.add(std::move(regulatory));
    }
    if (requested == 0 || requested == 4)
        body.add(Element::make("C1G2LLRPCapabilities").set("CanSupportBlockErase", 1).set("CanSupportBlockWrite", 1)
                     .set("MaxNumSelectFiltersPerQuery", 1));
    reply(m, std::move(body));
}

void Session::getConfig(const Message &m) {
    const unsigned antenna = static_cast<unsigned>(m.body.number("AntennaID"));
    const std::uint64_t requested = m.body.number("RequestedData");
    const char *response = "GET_READER_CONFIG_RESPONSE";
    if (antenna > facts_.antennas)
        return replyFault(m, response, fieldFault(m.body, "AntennaID", kAOutOfRange,
                                                  "antenna " + std::to_string(antenna) + " is not one of this reader's"));
    if (requested > 11)
        return replyFault(m, response, fieldFault(m.body, "RequestedData", kAOutOfRange, "RequestedData is 0 to 11"));
    if ((requested == 0 || requested == 9) && m.body.number("GPIPortNum") != 0)
        return replyFault(m, response, fieldFault(m.body, "GPIPortNum", kAOutOfRange, "this reader has no GPI ports"));
    if ((requested == 0 || requested == 10) && m.body.number("GPOPortNum") != 0)
        return replyFault(m, response, fieldFault(m.body, "GPOPortNum", kAOutOfRange, "this reader has no GPO ports"));
    const auto wants = [requested](unsigned what) { return requested == 0 || requested == what; };
    Element body = Element::make(response);
    body.add(status(kSuccess));
    if (wants(1)) {
        std::vector<std::uint8_t> id;
        for (std::size_t i = 0; i + 1 < facts_.serial.size(); i += 2)
            id.push_back(static_cast<std::uint8_t>(std::stoul(facts_.serial.substr(i, 2), nullptr, 16)));
        body.add(Element::make("Identification").set("IDType", 1).setBytes("ReaderID", id.data(), id.size()));
    }
    for (unsigned a = 1; a <= facts_.antennas; ++a) {
        if (antenna != 0 && antenna != a) continue;
        if (wants(2))
            body.add(Element::make("AntennaProperties").set("AntennaConnected", 1).set("AntennaID", a).setSigned("AntennaGain", 0));
        if (wants(3)) {
            Element config = Element::make("AntennaConfiguration").set("AntennaID", a);
            config.add(Element::make("RFReceiver").set("ReceiverSensitivity", 1));
            config.add(Element::make("RFTransmitter").set("HopTableID", 1).set("ChannelIndex", 1)
                           .set("TransmitPower", limits_.indexOf(config_.powerDbm)));
            Element inventory = Element::make("C1G2InventoryCommand");
            const InventoryPlan &plan = config_.inventory;
            if (plan.mask) {
                Element mask = Element::make("C1G2TagInventoryMask").set("MB", static_cast<std::uint64_t>(plan.maskBank))
                                   .set("Pointer", plan.maskPointer);
                mask.setBits("TagMask", plan.maskData, plan.maskBits);
                Element filter = Element::make("C1G2Filter");
                filter.add(std::move(mask));
                inventory.add(std::move(filter));
            }
            inventory.add(Element::make("C1G2SingulationControl").set("Session", static_cast<std::uint64_t>(plan.session)));
            config.add(std::move(inventory));
            body.add(std::move(config));
        }
    }
    if (wants(5)) {
        Element notifications = Element::make("ReaderEventNotificationSpec");
        for (unsigned type = 0; type < 9; ++type)
            notifications.add(Element::make("EventNotificationState").set("EventType", type).set("NotificationState", config_.events[type]));
        body.add(std::move(notifications));
    }
    if (wants(4)) body.add(config_.roReport.element());
    if (wants(6))
        body.add(Element::make("AccessReportSpec").set("AccessReportTrigger", static_cast<std::uint64_t>(config_.accessReportTrigger)));
    if (wants(7)) body.add(Element::make("LLRPConfigurationStateValue").set("LLRPConfigurationStateValue", configState_));
    if (wants(8))
        body.add(Element::make("KeepaliveSpec").set("KeepaliveTriggerType", static_cast<std::uint64_t>(config_.keepaliveType))
                     .set("PeriodicTriggerValue", config_.keepaliveMs));
    if (wants(11)) body.add(Element::make("EventsAndReports").set("HoldEventsAndReportsUponReconnect", 0));
    reply(m, std::move(body));
}

bool Session::readConfig(const Element &body, Config &c, Fault &fault) const {
    if (body.flag("ResetToFactoryDefault")) c = defaults_;
    for (const Element &p : body.children()) {
        const std::vector<std::uint16_t> path = {p.type()};
        const auto refuse = [&](std::string_view field, std::uint16_t code, std::string text) {
            fault = Fault{};
            fault.problem = Problem::FieldError;
            fault.path = path;
            fault.field = p.definition()->fieldIndex(field);
            fault.fieldCode = code;
            fault.description = std::move(text);
            return false;
        };
        if (p.is("ReaderEventNotificationSpec")) {
            for (const Element &state : p.children()) {
                const std::uint64_t type = state.number("EventType");
                if (type > 8) {
                    fault = fieldFault(state, "EventType", kAOutOfRange, "EventType is 0 to 8");
                    fault.path = {p.type(), state.type()};
                    return false;
                }
                c.events[type] = state.flag("NotificationState");
            }
        } else if (p.is("AntennaProperties")) {
            fault = parameterFault(Problem::UnsupportedParameter, p.type(),
                                   "antenna properties cannot be set on this reader (CanSetAntennaProperties is 0)");
            return false;
        } else if (p.is("AntennaConfiguration")) {
            if (p.number("AntennaID") > facts_.antennas) return refuse("AntennaID", kAOutOfRange, "no such antenna");
            if (const Element *rx = p.child("RFReceiver"); rx && rx->number("ReceiverSensitivity") != 1) {
                fault = fieldFault(*rx, "ReceiverSensitivity", kAOutOfRange, "the receive sensitivity table has one entry, index 1");
                fault.path = {p.type(), rx->type()};
                return false;
            }
            if (const Element *tx = p.child("RFTransmitter")) {
                const unsigned index = static_cast<unsigned>(tx->number("TransmitPower"));
                if (index < 1 || index > limits_.powerLevels()) {
                    fault = fieldFault(*tx, "TransmitPower", kAOutOfRange,
                                       "transmit power index " + std::to_string(index) + " is not 1 to " +
                                           std::to_string(limits_.powerLevels()));
                    fault.path = {p.type(), tx->type()};
                    return false;
                }
                c.powerDbm = limits_.dbmOf(index);  // one power for all the reader's antennas
            }
            if (const Element *command = p.child("C1G2InventoryCommand"))
                if (!readInventoryCommand(*command, path, c.inventory, fault)) return false;
        } else if (p.is("ROReportSpec")) {
            if (!readReportSpec(p, {}, c.roReport, fault)) return false;
        } else if (p.is("AccessReportSpec")) {
            if (p.number("AccessReportTrigger") > 1) return refuse("AccessReportTrigger", kAOutOfRange, "AccessReportTrigger is 0 or 1");
            c.accessReportTrigger = static_cast<int>(p.number("AccessReportTrigger"));
        } else if (p.is("KeepaliveSpec")) {
            const std::uint64_t type = p.number("KeepaliveTriggerType");
            if (type > 1) return refuse("KeepaliveTriggerType", kAOutOfRange, "KeepaliveTriggerType is 0 or 1");
            if (type == 1 && p.number("PeriodicTriggerValue") == 0)
                return refuse("PeriodicTriggerValue", kAOutOfRange, "a periodic keepalive needs a period");
            c.keepaliveType = static_cast<int>(type);
            c.keepaliveMs = static_cast<std::uint32_t>(p.number("PeriodicTriggerValue"));
        } else if (p.is("GPOWriteData") || p.is("GPIPortCurrentState")) {
            fault = parameterFault(Problem::UnsupportedParameter, p.type(), "this reader has no GPIO ports for LLRP");
            return false;
        } else if (p.is("EventsAndReports")) {
            if (p.flag("HoldEventsAndReportsUponReconnect"))
                return refuse("HoldEventsAndReportsUponReconnect", kAOutOfRange,
                              "events and reports are not held across connections: ROSpecs stop when the client leaves");
        }
        // Custom parameters are skipped.
    }
    return true;
}

void Session::setConfig(const Message &m, std::uint64_t nowMs) {
    Config next = config_;
    Fault fault;
    if (!readConfig(m.body, next, fault)) return replyFault(m, "SET_READER_CONFIG_RESPONSE", fault);
    if (next.powerDbm != config_.powerDbm && !reader_.setPower(next.powerDbm))
        return replyStatus(m, "SET_READER_CONFIG_RESPONSE", kRDeviceError, "the reader refused the transmit power");
    const bool keepaliveChanged = next.keepaliveType != config_.keepaliveType || next.keepaliveMs != config_.keepaliveMs;
    config_ = next;
    ++configState_;
    if (keepaliveChanged) {
        nextKeepaliveMs_ = nowMs + config_.keepaliveMs;
        unansweredKeepalives_ = 0;
    }
    replyStatus(m, "SET_READER_CONFIG_RESPONSE", kSuccess);
}

// --- ROSpecs ---------------------------------------------------------------

RoSpec *Session::findROSpec(std::uint32_t id) {
    for (RoSpec &s : roSpecs_)
        if (s.id == id) return &s;
    return nullptr;
}

void Session::rospecCommand(const Message &m, std::uint64_t nowMs) {
    const std::string &name = m.body.name();
    const std::string response = name + "_RESPONSE";
    if (name == "ADD_ROSPEC") {
        RoSpec ro;
        Fault fault;
        if (!readROSpec(*m.body.child("ROSpec"), limits_, config_.roReport, ro, fault))
            return replyFault(m, response.c_str(), fault);
        if (findROSpec(ro.id)) {
            fault = Fault{};
            fault.problem = Problem::FieldError;
            fault.path = {177};
            fault.field = 0;
            fault.fieldCode = kAInvalid;
            fault.description = "ROSpec " + std::to_string(ro.id) + " exists already";
            return replyFault(m, response.c_str(), fault);
        }
        if (roSpecs_.size() >= kMaxROSpecs)
            return replyStatus(m, response.c_str(), kRDeviceError,
                               "the reader holds at most " + std::to_string(kMaxROSpecs) + " ROSpecs");
        roSpecs_.push_back(std::move(ro));
        ++configState_;
        return replyStatus(m, response.c_str(), kSuccess);
    }
    if (name == "GET_ROSPECS") {
        Element body = Element::make("GET_ROSPECS_RESPONSE");
        body.add(status(kSuccess));
        for (const RoSpec &s : roSpecs_) {
            Element e = s.element;
            e.set("CurrentState", static_cast<std::uint64_t>(s.state));
            body.add(std::move(e));
        }
        return reply(m, std::move(body));
    }
    const std::uint32_t id = static_cast<std::uint32_t>(m.body.number("ROSpecID"));
    const bool all = id == 0 && (name == "DELETE_ROSPEC" || name == "ENABLE_ROSPEC" || name == "DISABLE_ROSPEC");
    RoSpec *ro = findROSpec(id);
    if (!all && !ro)
        return replyFault(m, response.c_str(), fieldFault(m.body, "ROSpecID", kAInvalid,
                                                          id == 0 ? "ROSpecID 0 names no ROSpec here"
                                                                  : "there is no ROSpec " + std::to_string(id)));
    if (name == "START_ROSPEC") {
        if (ro->state == 0)
            return replyStatus(m, response.c_str(), kAInvalid, "ROSpec " + std::to_string(id) + " is disabled: enable it first");
        if (ro->state == 2) return replyStatus(m, response.c_str(), kAInvalid, "ROSpec " + std::to_string(id) + " is active");
        replyStatus(m, response.c_str(), kSuccess);
        return start(*ro, nowMs);
    }
    if (name == "STOP_ROSPEC") {
        const auto queued = std::find(waiting_.begin(), waiting_.end(), id);
        if (ro->state != 2 && queued == waiting_.end())
            return replyStatus(m, response.c_str(), kAInvalid, "ROSpec " + std::to_string(id) + " is not active");
        replyStatus(m, response.c_str(), kSuccess);
        if (queued != waiting_.end()) waiting_.erase(queued);
        if (ro->state == 2) end(nowMs);
        return;
    }
    std::vector<std::uint32_t> ids;
    for (const RoSpec &s : roSpecs_)
        if (all || s.id == id) ids.push_back(s.id);
    replyStatus(m, response.c_str(), kSuccess);
    for (const std::uint32_t each : ids) {
        RoSpec *s = findROSpec(each);
        if (name == "ENABLE_ROSPEC") {
            if (s->state == 0) enable(*s, nowMs);
            continue;
        }
        // DISABLE_ROSPEC and DELETE_ROSPEC stop it first.
        waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), each), waiting_.end());
        if (s->state == 2) end(nowMs);
        s = findROSpec(each);
        s->state = 0;
        s->armed = false;
        if (name == "DELETE_ROSPEC") {
            roSpecs_.erase(roSpecs_.begin() + (s - roSpecs_.data()));
            ++configState_;
        }
    }
}

void Session::enable(RoSpec &ro, std::uint64_t nowMs) {
    ro.state = 1;
    if (ro.startType == 1) return start(ro, nowMs);
    if (ro.startType == 2) {
        std::uint64_t delayMs = ro.offsetMs;
        if (ro.firstStartUtcUs >= 0) {
            const std::int64_t untilUs = ro.firstStartUtcUs - static_cast<std::int64_t>(utcNow_());
            delayMs += untilUs > 0 ? static_cast<std::uint64_t>(untilUs) / 1000 : 0;
        }
        ro.armed = true;
        ro.nextStartMs = nowMs + delayMs;
    }
}

void Session::start(RoSpec &ro, std::uint64_t nowMs) {
    if (activeId_ && activeId_ != ro.id) {
        // One ROSpec runs at a time: this one waits for the running one to end.
        if (std::find(waiting_.begin(), waiting_.end(), ro.id) == waiting_.end()) waiting_.push_back(ro.id);
        return;
    }
    ro.state = 2;
    activeId_ = ro.id;
    startedMs_ = nowMs;
    aiIndex_ = 0;
    if (eventEnabled(kROSpecEvent))
        event(Element::make("ROSpecEvent").set("EventType", 0).set("ROSpecID", ro.id));
    startAiSpec(nowMs);
}

void Session::startAiSpec(std::uint64_t nowMs) {
    RoSpec &ro = *active();
    const AiSpec &ai = ro.aiSpecs[aiIndex_];
    InventoryPlan plan = ai.plan;
    // The reader has one power: each AISpec sets its own or the configured one.
    if (plan.powerDbm < 0) plan.powerDbm = config_.powerDbm;
    if (!ai.commandGiven) {
        const InventoryPlan &d = config_.inventory;
        plan.session = d.session;
        plan.mask = d.mask;
        plan.maskBank = d.maskBank;
        plan.maskPointer = d.maskPointer;
        plan.maskBits = d.maskBits;
        std::copy(std::begin(d.maskData), std::end(d.maskData), plan.maskData);
    }
    aiStartedMs_ = nowMs;
    lastNewTagMs_ = nowMs;
    aiTags_.clear();
    reading_ = false;
    if (readerLost_) return;  // the triggers still end it; reading resumes with the next
    std::string error;
    if (reader_.start(plan, error)) {
        reading_ = true;
    } else if (eventEnabled(kReaderExceptionEvent)) {
        Element exception = Element::make("ReaderExceptionEvent").setText("Message", error);
        exception.add(Element::make("ROSpecID").set("ROSpecID", ro.id));
        exception.add(Element::make("SpecIndex").set("SpecIndex", aiIndex_ + 1));
        event(std::move(exception));
    }
}

void Session::stopReading() {
    if (!reading_ || stopping_) return;
    stopping_ = true;
    reader_.stop();
    if (drain_) drain_();
    stopping_ = false;
    reading_ = false;
}

void Session::endAiSpec(std::uint64_t nowMs, bool next) {
    stopReading();
    RoSpec &ro = *active();
    if (ro.report.trigger == 1) flush();
    if (eventEnabled(kAISpecEvent))
        event(Element::make("AISpecEvent").set("EventType", 0).set("ROSpecID", ro.id).set("SpecIndex", aiIndex_ + 1));
    if (!next) return;
    if (++aiIndex_ < ro.aiSpecs.size()) return startAiSpec(nowMs);
    end(nowMs);
}

void Session::end(std::uint64_t nowMs) {
    stopReading();
    RoSpec &ro = *active();
    if (ro.report.trigger != 0) flush();
    ro.state = 1;
    activeId_ = 0;
    if (eventEnabled(kROSpecEvent))
        event(Element::make("ROSpecEvent").set("EventType", 1).set("ROSpecID", ro.id));
    if (ro.startType == 2 && ro.armed) {
        if (ro.periodMs == 0) ro.armed = false;  // one shot
        else
            while (ro.nextStartMs <= nowMs) ro.nextStartMs += ro.periodMs;
    }
    while (!waiting_.empty()) {
        RoSpec *next = findROSpec(waiting_.front());
        waiting_.pop_front();
        if (next && next->state == 1) return start(*next, nowMs);
    }
}

// --- Time --------------------------------------------------------------------

std::uint64_t Session::tick(std::uint64_t nowMs) {
    std::uint64_t due = nowMs + 1000;
    for (RoSpec &ro : roSpecs_) {
        if (ro.state != 1 || !ro.armed) continue;
        if (nowMs >= ro.nextStartMs) {
            if (ro.periodMs == 0) ro.armed = false;
            else
                while (ro.nextStartMs <= nowMs) ro.nextStartMs += ro.periodMs;
            start(ro, nowMs);
        }
        if (ro.armed) due = std::min(due, ro.nextStartMs);
    }
    if (RoSpec *ro = active()) {
        const AiSpec &ai = ro->aiSpecs[aiIndex_];
        std::uint64_t aiDue = UINT64_MAX;
        if (ai.stopType == 1) aiDue = aiStartedMs_ + ai.durationMs;
        if (ai.stopType == 3 && ai.observationType == 1) aiDue = lastNewTagMs_ + ai.quietMs;
        if (ai.stopType == 3 && ai.timeoutMs > 0) aiDue = std::min(aiDue, aiStartedMs_ + ai.timeoutMs);
        const std::uint64_t roDue = ro->stopType == 1 ? startedMs_ + ro->durationMs : UINT64_MAX;
        if (nowMs >= roDue) {
            endAiSpec(nowMs, false);
            end(nowMs);
        } else if (nowMs >= aiDue) {
            endAiSpec(nowMs, true);
        }
        if (RoSpec *still = active()) {
            const AiSpec &now = still->aiSpecs[aiIndex_];
            if (now.stopType == 1) due = std::min(due, aiStartedMs_ + now.durationMs);
            if (now.stopType == 3 && now.observationType == 1) due = std::min(due, lastNewTagMs_ + now.quietMs);
            if (now.stopType == 3 && now.timeoutMs > 0) due = std::min(due, aiStartedMs_ + now.timeoutMs);
            if (still->stopType == 1) due = std::min(due, startedMs_ + still->durationMs);
        }
    }
    if (config_.keepaliveType == 1) {
        if (nowMs >= nextKeepaliveMs_) {
            notify(Element::make("KEEPALIVE"));
            ++unansweredKeepalives_;
            nextKeepaliveMs_ = nowMs + config_.keepaliveMs;
        }
        due = std::min(due, nextKeepaliveMs_);
    }
    return due > nowMs ? due - nowMs : 0;
}

// --- Tags ----------------------------------------------------------------------

void Session::readerEvent(ReaderEvent e, const std::string &text, std::uint64_t) {
    readerLost_ = e == ReaderEvent::Lost;
    if (eventEnabled(kReaderExceptionEvent)) {
        const std::string words = readerLost_ ? "the USB reader is gone (" + text + "); reading resumes when it is back"
                                              : "the USB reader is back; reading goes on";
        Element exception = Element::make("ReaderExceptionEvent").setText("Message", words);
        if (activeId_) exception.add(Element::make("ROSpecID").set("ROSpecID", activeId_));
        event(std::move(exception));
    }
    if (eventEnabled(kAntennaEvent))
        for (unsigned a = 1; a <= facts_.antennas; ++a)
            event(Element::make("AntennaEvent").set("EventType", readerLost_ ? 0 : 1).set("AntennaID", a));
}

void Session::tag(const TagSighting &s, std::uint64_t nowMs) {
    RoSpec *ro = active();
    if (!ro || !reading_ || s.antenna < 1 || s.antenna > 32) return;
    const AiSpec &ai = ro->aiSpecs[aiIndex_];
    if (!(ai.plan.antennaMask & (1u << (s.antenna - 1)))) return;
    if (std::find(aiTags_.begin(), aiTags_.end(), s.epc) == aiTags_.end()) {
        aiTags_.push_back(s.epc);
        lastNewTagMs_ = nowMs;
    }
    std::uint32_t accessSpecId = 0;
    std::vector<Element> results;
    const bool flushNow = access(s, accessSpecId, results);
    report(s, accessSpecId, std::move(results));
    if (flushNow) flush();
    if (!stopping_ && ai.stopType == 3 && ai.observationType == 0 && aiTags_.size() >= ai.numberOfTags)
        endAiSpec(nowMs, true);
}

bool Session::access(const TagSighting &s, std::uint32_t &accessSpecId, std::vector<Element> &results) {
    for (auto a = accessSpecs_.begin(); a != accessSpecs_.end(); ++a) {
        if (!a->active || (a->antenna != 0 && a->antenna != static_cast<unsigned>(s.antenna)) ||
            (a->roSpecId != 0 && a->roSpecId != activeId_) || !a->matches(s.epc))
            continue;
        accessSpecId = a->id;
        for (const OpSpec &op : a->opSpecs) {
            const TagCommand::Kind kind = op.command.kind;
            Element result = Element::make(resultName(kind));
            result.set("OpSpecID", op.id);
            TagCommandResult r;
            std::uint8_t code;
            if (kind == TagCommand::Kill && op.command.password == 0) {
                code = 1;  // a zero kill password kills no tag
            } else if (kind == TagCommand::Lock) {
                r.outcome = TagCommandResult::Done;
                for (TagCommand lock : op.locks) {
                    lock.epc = s.epc;
                    r = reader_.command(lock);
                    if (r.outcome != TagCommandResult::Done) break;
                }
                code = resultCode(kind, r);
            } else {
                TagCommand c = op.command;
                c.epc = s.epc;
                r = reader_.command(c);
                code = resultCode(kind, r);
            }
            result.set("Result", code);
            if (kind == TagCommand::Read)
                result.setItems("ReadData", std::vector<std::uint32_t>(r.words.begin(), r.words.end()));
            if (kind == TagCommand::Write || kind == TagCommand::BlockWrite) result.set("NumWordsWritten", r.wordsWritten);
            results.push_back(std::move(result));
            if (code != 0) break;  // a failed OpSpec ends the AccessSpec's run on this tag
        }
        ++a->executed;
        if (a->operationCount == 0 || a->executed < a->operationCount) return false;
        const int trigger = a->reportTrigger >= 0 ? a->reportTrigger : config_.accessReportTrigger;
        accessSpecs_.erase(a);  // its operation count is reached
        ++configState_;
        return trigger == 1;
    }
    return false;
}

void Session::report(const TagSighting &s, std::uint32_t accessSpecId, std::vector<Element> opResults) {
    const RoSpec &ro = *active();
    const ReportSpec &r = ro.report;
    const std::uint16_t specIndex = static_cast<std::uint16_t>(aiIndex_ + 1);
    const std::uint16_t ips = ro.aiSpecs[aiIndex_].inventoryParameterSpecId;
    if (opResults.empty() && accessSpecId == 0) {
        for (PendingTag &p : pending_) {
            if (!p.opResults.empty() || p.accessSpecId != 0 || p.epc != s.epc || p.roSpecId != ro.id ||
                (r.specIndex && p.specIndex != specIndex) || (r.inventoryParameterSpecId && p.inventoryParameterSpecId != ips) ||
                (r.antennaId && p.antenna != s.antenna))
                continue;
            ++p.count;
            p.peakRssi = std::max(p.peakRssi, s.rssi);
            p.lastUtcUs = s.utcUs;
            p.lastUptimeUs = s.uptimeUs;
            return;
        }
    }
    if (pending_.size() >= kMaxPendingTags) {
        if (!overflowTold_) event(Element::make("ReportBufferOverflowErrorEvent"));
        overflowTold_ = true;
        return;
    }
    PendingTag p;
    p.epc = s.epc;
    p.reportSpec = r;
    p.roSpecId = ro.id;
    p.specIndex = specIndex;
    p.inventoryParameterSpecId = ips;
    p.antenna = s.antenna;
    p.peakRssi = s.rssi;
    p.firstUtcUs = p.lastUtcUs = s.utcUs;
    p.firstUptimeUs = p.lastUptimeUs = s.uptimeUs;
    p.count = 1;
    p.accessSpecId = accessSpecId;
    p.opResults = std::move(opResults);
    pending_.push_back(std::move(p));
    if (r.trigger != 0 && r.n > 0 && pending_.size() >= r.n) flush();
}

Element Session::tagReport(const PendingTag &p) const {
    const ReportSpec &r = p.reportSpec;
    Element data = Element::make("TagReportData");
    if (p.epc.size() == 12) data.add(Element::make("EPC_96").setBytes("EPC", p.epc.data(), 12));
    else data.add(Element::make("EPCData").setBits("EPC", p.epc.data(), static_cast<unsigned>(p.epc.size() * 8)));
    if (r.roSpecId) data.add(Element::make("ROSpecID").set("ROSpecID", p.roSpecId));
    if (r.specIndex) data.add(Element::make("SpecIndex").set("SpecIndex", p.specIndex));
    if (r.inventoryParameterSpecId)
        data.add(Element::make("InventoryParameterSpecID").set("InventoryParameterSpecID", p.inventoryParameterSpecId));
    if (r.antennaId) data.add(Element::make("AntennaID").set("AntennaID", static_cast<std::uint64_t>(p.antenna)));
    if (r.peakRssi) data.add(Element::make("PeakRSSI").setSigned("PeakRSSI", std::clamp(p.peakRssi, -128, 127)));
    if (r.firstSeen) data.add(Element::make("FirstSeenTimestampUTC").set("Microseconds", p.firstUtcUs));
    if (r.lastSeen) data.add(Element::make("LastSeenTimestampUTC").set("Microseconds", p.lastUtcUs));
    if (r.tagSeenCount) data.add(Element::make("TagSeenCount").set("TagCount", std::min(p.count, 65535u)));
    const std::uint16_t pc = pcWord(p.epc.size());
    if (r.pc) data.add(Element::make("C1G2_PC").set("PC_Bits", pc));
    if (r.crc) data.add(Element::make("C1G2_CRC").set("CRC", gen2Crc(pc, p.epc)));
    if (r.accessSpecId && p.accessSpecId) data.add(Element::make("AccessSpecID").set("AccessSpecID", p.accessSpecId));
    for (const Element &result : p.opResults) data.add(result);
    return data;
}

void Session::flush(bool evenEmpty) {
    if (pending_.empty() && !evenEmpty) return;
    std::size_t at = 0;
    do {
        Element body = Element::make("RO_ACCESS_REPORT");
        for (std::size_t end = std::min(pending_.size(), at + kTagsPerReport); at < end; ++at)
            body.add(tagReport(pending_[at]));
        notify(std::move(body));
    } while (at < pending_.size());
    pending_.clear();
    overflowTold_ = false;
}

// --- AccessSpecs -----------------------------------------------------------------

void Session::accessCommand(const Message &m) {
    const std::string &name = m.body.name();
    const std::string response = name + "_RESPONSE";
    if (name == "ADD_ACCESSSPEC") {
        AccessSpec access;
        Fault fault;
        if (!readAccessSpec(*m.body.child("AccessSpec"), limits_, access, fault)) return replyFault(m, response.c_str(), fault);
        for (const AccessSpec &a : accessSpecs_)
            if (a.id == access.id) {
                fault = Fault{};
                fault.problem = Problem::FieldError;
                fault.path = {207};
                fault.field = 0;
                fault.description = "AccessSpec " + std::to_string(access.id) + " exists already";
                return replyFault(m, response.c_str(), fault);
            }
        if (accessSpecs_.size() >= kMaxAccessSpecs)
            return replyStatus(m, response.c_str(), kRDeviceError,
                               "the reader holds at most " + std::to_string(kMaxAccessSpecs) + " AccessSpecs");
        accessSpecs_.push_back(std::move(access));
        ++configState_;
        return replyStatus(m, response.c_str(), kSuccess);
    }
    if (name == "GET_ACCESSSPECS") {
        Element body = Element::make("GET_ACCESSSPECS_RESPONSE");
        body.add(status(kSuccess));
        for (const AccessSpec &a : accessSpecs_) {
            Element e = a.element;
            e.set("CurrentState", a.active);
            body.add(std::move(e));
        }
        return reply(m, std::move(body));
    }
    const std::uint32_t id = static_cast<std::uint32_t>(m.body.number("AccessSpecID"));
    bool found = false;
    for (auto a = accessSpecs_.begin(); a != accessSpecs_.end();) {
        if (id != 0 && a->id != id) { ++a; continue; }
        found = true;
        if (name == "DELETE_ACCESSSPEC") {
            a = accessSpecs_.erase(a);
            ++configState_;
            continue;
        }
        a->active = name == "ENABLE_ACCESSSPEC";
        ++a;
    }
    if (!found && id != 0)
        return replyFault(m, response.c_str(), fieldFault(m.body, "AccessSpecID", kAInvalid,
                                                          "there is no AccessSpec " + std::to_string(id)));
    replyStatus(m, response.c_str(), kSuccess);
}

}  // namespace tessaro::llrp
