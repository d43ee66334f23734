#include "ro_access.h"

#include <algorithm>

namespace tessaro::llrp {

namespace {

using Path = std::vector<std::uint16_t>;

// The number a FieldError gives a field: its place among the fields that
// are not reserved bits.
int fieldNumber(const Element &e, std::string_view name) {
    int number = 0;
    for (const FieldDef &f : e.definition()->fields) {
        if (f.name == name) return number;
        if (f.kind != FieldKind::Reserved) ++number;
    }
    return -1;
}

// Refusals, each naming where: `path` leads to the parameter being read.
struct Refuse {
    Fault &fault;

    bool field(const Path &path, const Element &e, std::string_view name, std::uint16_t code,
               std::string text) {
        fault.problem = Problem::FieldError;
        fault.path = path;
        fault.field = fieldNumber(e, name);
        fault.fieldCode = code;
        fault.description = std::move(text);
        return false;
    }
    bool parameter(Problem problem, Path path, std::uint16_t type, std::string text) {
        path.push_back(type);
        fault.problem = problem;
        fault.path = std::move(path);
        fault.field = -1;
        fault.description = std::move(text);
        return false;
    }
};

Path with(Path path, std::uint16_t type) {
    path.push_back(type);
    return path;
}

bool readAiSpec(const Element &e, const Limits &limits, const Path &path, AiSpec &ai, Fault &fault) {
    Refuse refuse{fault};
    const Value &ids = e.value("AntennaIDs");
    if (ids.items.empty()) return refuse.field(path, e, "AntennaIDs", kAInvalid, "AISpec names no antenna (0 is all)");
    ai.plan.antennaMask = 0;
    for (const std::uint32_t id : ids.items) {
        if (id > limits.antennas)
            return refuse.field(path, e, "AntennaIDs", kAOutOfRange,
                                "antenna " + std::to_string(id) + " is not one of this reader's 1 to " +
                                    std::to_string(limits.antennas));
        ai.plan.antennaMask |= id == 0 ? (1u << limits.antennas) - 1 : 1u << (id - 1);
    }

    const Element &stop = *e.child("AISpecStopTrigger");
    const Path stopPath = with(path, stop.type());
    ai.stopType = static_cast<int>(stop.number("AISpecStopTriggerType"));
    ai.durationMs = static_cast<std::uint32_t>(stop.number("DurationTrigger"));
    if (ai.stopType == 2)
        return refuse.field(stopPath, stop, "AISpecStopTriggerType", kAOutOfRange, "this reader has no GPI triggers");
    if (ai.stopType > 3)
        return refuse.field(stopPath, stop, "AISpecStopTriggerType", kAOutOfRange,
                            "AISpecStopTriggerType " + std::to_string(ai.stopType) + " is not 0 to 3");
    if (ai.stopType == 1 && ai.durationMs == 0)
        return refuse.field(stopPath, stop, "DurationTrigger", kAOutOfRange, "a duration stop needs a duration");
    if (ai.stopType == 3) {
        const Element *tags = stop.child("TagObservationTrigger");
        if (!tags)
            return refuse.parameter(Problem::MissingParameter, stopPath, 185,
                                    "a tag observation stop needs its TagObservationTrigger");
        const Path tagsPath = with(stopPath, tags->type());
        ai.observationType = static_cast<int>(tags->number("TriggerType"));
        ai.numberOfTags = static_cast<unsigned>(tags->number("NumberOfTags"));
        ai.quietMs = static_cast<unsigned>(tags->number("T"));
        ai.timeoutMs = static_cast<std::uint32_t>(tags->number("Timeout"));
        if (ai.observationType > 1)
            return refuse.field(tagsPath, *tags, "TriggerType", kAOutOfRange,
                                "only N tags (0) and no new tag within T (1) are supported");
        if (ai.observationType == 0 && ai.numberOfTags == 0)
            return refuse.field(tagsPath, *tags, "NumberOfTags", kAOutOfRange, "N tags needs N of 1 or more");
        if (ai.observationType == 1 && ai.quietMs == 0)
            return refuse.field(tagsPath, *tags, "T", kAOutOfRange, "no new tag within T needs T of 1 ms or more");
    }

    const std::vector<const Element *> parameterSpecs = e.all("InventoryParameterSpec");
    if (parameterSpecs.size() > 1)
        return refuse.parameter(Problem::UnsupportedParameter, path, 186,
                                "this reader runs one InventoryParameterSpec per AISpec");
    const Element &ips = *parameterSpecs.front();
    const Path ipsPath = with(path, ips.type());
    ai.inventoryParameterSpecId = static_cast<std::uint16_t>(ips.number("InventoryParameterSpecID"));
    if (ips.number("ProtocolID") != 1)
        return refuse.field(ipsPath, ips, "ProtocolID", kAOutOfRange, "this reader speaks EPC Gen2 (ProtocolID 1) only");
    for (const Element *config : ips.all("AntennaConfiguration")) {
        const Path configPath = with(ipsPath, config->type());
        const unsigned antenna = static_cast<unsigned>(config->number("AntennaID"));
        if (antenna > limits.antennas)
            return refuse.field(configPath, *config, "AntennaID", kAOutOfRange,
                                "antenna " + std::to_string(antenna) + " is not one of this reader's");
        if (const Element *tx = config->child("RFTransmitter")) {
            const unsigned index = static_cast<unsigned>(tx->number("TransmitPower"));
            if (index < 1 || index > limits.powerLevels())
                return refuse.field(with(configPath, tx->type()), *tx, "TransmitPower", kAOutOfRange,
                                    "transmit power index " + std::to_string(index) + " is not 1 to " +
                                        std::to_string(limits.powerLevels()));
            ai.plan.powerDbm = std::max(ai.plan.powerDbm, limits.dbmOf(index));
        }
        if (const Element *rx = config->child("RFReceiver"); rx && rx->number("ReceiverSensitivity") != 1)
            return refuse.field(with(configPath, rx->type()), *rx, "ReceiverSensitivity", kAOutOfRange,
                                "the receive sensitivity table has one entry, index 1");
        if (const Element *command = config->child("C1G2InventoryCommand")) {
            if (!readInventoryCommand(*command, configPath, ai.plan, fault)) return false;
            ai.commandGiven = true;
        }
    }
    return true;
}

}  // namespace

Element ReportSpec::element() const {
    Element selector = Element::make("TagReportContentSelector");
    selector.set("EnableROSpecID", roSpecId).set("EnableSpecIndex", specIndex)
        .set("EnableInventoryParameterSpecID", inventoryParameterSpecId).set("EnableAntennaID", antennaId)
        .set("EnableChannelIndex", channelIndex).set("EnablePeakRSSI", peakRssi)
        .set("EnableFirstSeenTimestamp", firstSeen).set("EnableLastSeenTimestamp", lastSeen)
        .set("EnableTagSeenCount", tagSeenCount).set("EnableAccessSpecID", accessSpecId);
    if (crc || pc) selector.add(Element::make("C1G2EPCMemorySelector").set("EnableCRC", crc).set("EnablePCBits", pc));
    Element report = Element::make("ROReportSpec");
    report.set("ROReportTrigger", static_cast<std::uint64_t>(trigger)).set("N", n);
    report.add(std::move(selector));
    return report;
}

bool readReportSpec(const Element &e, Path path, ReportSpec &out, Fault &fault) {
    Refuse refuse{fault};
    path.push_back(e.type());
    ReportSpec r;
    r.trigger = static_cast<int>(e.number("ROReportTrigger"));
    if (r.trigger > 2)
        return refuse.field(path, e, "ROReportTrigger", kAOutOfRange,
                            "ROReportTrigger " + std::to_string(r.trigger) + " is not 0 to 2");
    r.n = static_cast<unsigned>(e.number("N"));
    const Element &s = *e.child("TagReportContentSelector");
    r.roSpecId = s.flag("EnableROSpecID");
    r.specIndex = s.flag("EnableSpecIndex");
    r.inventoryParameterSpecId = s.flag("EnableInventoryParameterSpecID");
    r.antennaId = s.flag("EnableAntennaID");
    r.channelIndex = s.flag("EnableChannelIndex");
    r.peakRssi = s.flag("EnablePeakRSSI");
    r.firstSeen = s.flag("EnableFirstSeenTimestamp");
    r.lastSeen = s.flag("EnableLastSeenTimestamp");
    r.tagSeenCount = s.flag("EnableTagSeenCount");
    r.accessSpecId = s.flag("EnableAccessSpecID");
    for (const Element *memory : s.all("C1G2EPCMemorySelector")) {
        r.crc = r.crc || memory->flag("EnableCRC");
        r.pc = r.pc || memory->flag("EnablePCBits");
    }
    out = r;
    return true;
}

bool readInventoryCommand(const Element &e, Path path, InventoryPlan &plan, Fault &fault) {
    Refuse refuse{fault};
    path.push_back(e.type());
    const std::vector<const Element *> filters = e.all("C1G2Filter");
    if (filters.size() > 1)
        return refuse.parameter(Problem::UnsupportedParameter, path, 331,
                                "this reader takes one C1G2Filter per inventory");
    if (!filters.empty()) {
        const Element &filter = *filters.front();
        const Path filterPath = with(path, filter.type());
        const Element &mask = *filter.child("C1G2TagInventoryMask");
        const Path maskPath = with(filterPath, mask.type());
        const Value &bits = mask.value("TagMask");
        if (bits.bits > 255)
            return refuse.field(maskPath, mask, "TagMask", kAOutOfRange, "the reader's mask holds at most 255 bits");
        if (mask.number("MB") == 0)
            return refuse.field(maskPath, mask, "MB", kAOutOfRange, "the reader masks EPC, TID or user memory, not reserved");
        if (const Element *action = filter.child("C1G2TagInventoryStateUnawareFilterAction");
            action && action->number("Action") > 1)
            return refuse.field(with(filterPath, action->type()), *action, "Action", kAOutOfRange,
                                "the reader can only inventory the tags that match (Select_Unselect or Select_DoNothing)");
        plan.mask = bits.bits > 0;
        plan.maskBank = static_cast<int>(mask.number("MB"));
        plan.maskPointer = static_cast<unsigned>(mask.number("Pointer"));
        plan.maskBits = bits.bits;
        std::fill(std::begin(plan.maskData), std::end(plan.maskData), 0);
        std::copy(bits.bytes.begin(), bits.bytes.end(), plan.maskData);
    }
    if (const Element *rf = e.child("C1G2RFControl")) {
        const Path rfPath = with(path, rf->type());
        if (rf->number("ModeIndex") != kModeIdentifier)
            return refuse.field(rfPath, *rf, "ModeIndex", kAOutOfRange, "the RF mode table has one mode, 0");
        const std::uint64_t tari = rf->number("Tari");
        if (tari != 0 && (tari < kMinTariNs || tari > kMaxTariNs))
            return refuse.field(rfPath, *rf, "Tari", kAOutOfRange, "Tari " + std::to_string(tari) + " ns is outside the mode's range");
    }
    if (const Element *singulation = e.child("C1G2SingulationControl"))
        plan.session = static_cast<int>(singulation->number("Session"));
    return true;
}

bool readROSpec(const Element &e, const Limits &limits, const ReportSpec &defaults, RoSpec &out, Fault &fault) {
    Refuse refuse{fault};
    const Path path = {e.type()};
    RoSpec r;
    r.element = e;
    r.id = static_cast<std::uint32_t>(e.number("ROSpecID"));
    if (r.id == 0) return refuse.field(path, e, "ROSpecID", kAInvalid, "ROSpecID 0 is reserved for \"all\"");
    // Priorities 0 to 7 are taken; none preempts another here (one ROSpec
    // runs at a time, the others wait their turn).
    if (e.number("Priority") > 7) return refuse.field(path, e, "Priority", kAOutOfRange, "Priority is 0 to 7");
    if (e.number("CurrentState") != 0)
        return refuse.field(path, e, "CurrentState", kAInvalid, "a ROSpec is added in the Disabled state");

    const Element &boundary = *e.child("ROBoundarySpec");
    const Path boundaryPath = with(path, boundary.type());
    const Element &start = *boundary.child("ROSpecStartTrigger");
    const Path startPath = with(boundaryPath, start.type());
    r.startType = static_cast<int>(start.number("ROSpecStartTriggerType"));
    if (r.startType == 3)
        return refuse.field(startPath, start, "ROSpecStartTriggerType", kAOutOfRange, "this reader has no GPI triggers");
    if (r.startType > 3)
        return refuse.field(startPath, start, "ROSpecStartTriggerType", kAOutOfRange,
                            "ROSpecStartTriggerType " + std::to_string(r.startType) + " is not 0 to 3");
    if (r.startType == 2) {
        const Element *periodic = start.child("PeriodicTriggerValue");
        if (!periodic)
            return refuse.parameter(Problem::MissingParameter, startPath, 180,
                                    "a periodic start needs its PeriodicTriggerValue");
        r.offsetMs = periodic->number("Offset");
        r.periodMs = periodic->number("Period");
        if (const Element *utc = periodic->child("UTCTimestamp"))
            r.firstStartUtcUs = static_cast<std::int64_t>(utc->number("Microseconds"));
    }
    const Element &stop = *boundary.child("ROSpecStopTrigger");
    const Path stopPath = with(boundaryPath, stop.type());
    r.stopType = static_cast<int>(stop.number("ROSpecStopTriggerType"));
    r.durationMs = static_cast<std::uint32_t>(stop.number("DurationTriggerValue"));
    if (r.stopType == 2)
        return refuse.field(stopPath, stop, "ROSpecStopTriggerType", kAOutOfRange, "this reader has no GPI triggers");
    if (r.stopType > 2)
        return refuse.field(stopPath, stop, "ROSpecStopTriggerType", kAOutOfRange,
                            "ROSpecStopTriggerType " + std::to_string(r.stopType) + " is not 0 to 2");
    if (r.stopType == 1 && r.durationMs == 0)
        return refuse.field(stopPath, stop, "DurationTriggerValue", kAOutOfRange, "a duration stop needs a duration");

    for (const Element &child : e.children()) {
        if (child.is("RFSurveySpec"))
            return refuse.parameter(Problem::UnsupportedParameter, path, child.type(), "this reader does no RF survey");
        if (!child.is("AISpec")) continue;  // vendor parameters are skipped
        if (r.aiSpecs.size() == kMaxSpecsPerROSpec)
            return refuse.parameter(Problem::UnsupportedParameter, path, child.type(),
                                    "a ROSpec holds at most " + std::to_string(kMaxSpecsPerROSpec) + " AISpecs here");
        AiSpec ai;
        if (!readAiSpec(child, limits, with(path, child.type()), ai, fault)) return false;
        r.aiSpecs.push_back(ai);
    }
    if (r.aiSpecs.empty())
        return refuse.parameter(Problem::MissingParameter, path, 183, "the ROSpec has no AISpec this reader can run");
    r.report = defaults;
    if (const Element *report = e.child("ROReportSpec")) {
        r.ownReport = true;
        if (!readReportSpec(*report, path, r.report, fault)) return false;
    }
    out = std::move(r);
    return true;
}

bool readAccessSpec(const Element &e, const Limits &limits, AccessSpec &out, Fault &fault) {
    Refuse refuse{fault};
    const Path path = {e.type()};
    AccessSpec a;
    a.element = e;
    a.id = static_cast<std::uint32_t>(e.number("AccessSpecID"));
    if (a.id == 0) return refuse.field(path, e, "AccessSpecID", kAInvalid, "AccessSpecID 0 is reserved for \"all\"");
    a.antenna = static_cast<unsigned>(e.number("AntennaID"));
    if (a.antenna > limits.antennas)
        return refuse.field(path, e, "AntennaID", kAOutOfRange, "antenna " + std::to_string(a.antenna) + " is not one of this reader's");
    if (e.number("ProtocolID") != 1)
        return refuse.field(path, e, "ProtocolID", kAOutOfRange, "this reader speaks EPC Gen2 (ProtocolID 1) only");
    if (e.number("CurrentState") != 0)
        return refuse.field(path, e, "CurrentState", kAInvalid, "an AccessSpec is added in the Disabled state");
    a.roSpecId = static_cast<std::uint32_t>(e.number("ROSpecID"));

    const Element &stop = *e.child("AccessSpecStopTrigger");
    if (stop.number("AccessSpecStopTrigger") > 1)
        return refuse.field(with(path, stop.type()), stop, "AccessSpecStopTrigger", kAOutOfRange,
                            "AccessSpecStopTrigger is 0 (none) or 1 (operation count)");
    if (stop.number("AccessSpecStopTrigger") == 1) a.operationCount = static_cast<unsigned>(stop.number("OperationCountValue"));

    const Element &command = *e.child("AccessCommand");
    const Path commandPath = with(path, command.type());
    const Element &tagSpec = *command.child("C1G2TagSpec");
    const Path tagSpecPath = with(commandPath, tagSpec.type());
    const std::vector<const Element *> targets = tagSpec.all("C1G2TargetTag");
    if (targets.size() > 2)
        return refuse.parameter(Problem::UnsupportedParameter, tagSpecPath, 339, "a C1G2TagSpec holds at most two target tags");
    for (const Element *target : targets) {
        const Path targetPath = with(tagSpecPath, target->type());
        TargetTag t;
        t.bank = static_cast<int>(target->number("MB"));
        t.match = target->flag("Match");
        t.pointer = static_cast<unsigned>(target->number("Pointer"));
        const Value &mask = target->value("TagMask"), &data = target->value("TagData");
        if (mask.bits != data.bits)
            return refuse.field(targetPath, *target, "TagData", kAInvalid, "TagMask and TagData differ in length");
        t.bits = mask.bits;
        t.mask = mask.bytes;
        t.data = data.bytes;
        if (t.bits > 0 && t.bank != 1)
            return refuse.field(targetPath, *target, "MB", kAOutOfRange, "target tags are matched on EPC memory (MB 1) only");
        a.targets.push_back(std::move(t));
    }

    for (const Element &op : command.children()) {
        if (op.is("C1G2TagSpec") || op.is("Custom")) continue;
        const Path opPath = with(commandPath, op.type());
        if (a.opSpecs.size() == kMaxOpSpecsPerAccessSpec)
            return refuse.parameter(Problem::UnsupportedParameter, commandPath, op.type(), "too many OpSpecs");
        OpSpec s;
        s.id = static_cast<std::uint16_t>(op.number("OpSpecID"));
        TagCommand &c = s.command;
        if (op.is("C1G2Kill")) {
            c.kind = TagCommand::Kill;
            c.password = static_cast<std::uint32_t>(op.number("KillPassword"));
        } else {
            c.password = static_cast<std::uint32_t>(op.number("AccessPassword"));
        }
        if (op.is("C1G2Lock")) {
            c.kind = TagCommand::Lock;
            for (const Element *payload : op.all("C1G2LockPayload")) {
                const Path payloadPath = with(opPath, payload->type());
                const std::uint64_t privilege = payload->number("Privilege"), field = payload->number("DataField");
                if (privilege > 3) return refuse.field(payloadPath, *payload, "Privilege", kAOutOfRange, "Privilege is 0 to 3");
                if (field > 4) return refuse.field(payloadPath, *payload, "DataField", kAOutOfRange, "DataField is 0 to 4");
                // LLRP's privileges as the reader's lock actions: read/write lock,
                // perma-lock, perma-unlock, unlock.
                static const int kActions[] = {2, 3, 1, 0};
                TagCommand lock = c;
                lock.lockTarget = static_cast<int>(field);
                lock.lockAction = kActions[privilege];
                s.locks.push_back(lock);
            }
        }
        if (op.is("C1G2Read") || op.is("C1G2Write") || op.is("C1G2BlockErase") || op.is("C1G2BlockWrite")) {
            c.bank = static_cast<int>(op.number("MB"));
            c.wordPointer = static_cast<unsigned>(op.number("WordPointer"));
        }
        if (op.is("C1G2Read") || op.is("C1G2BlockErase")) {
            c.kind = op.is("C1G2Read") ? TagCommand::Read : TagCommand::BlockErase;
            c.wordCount = static_cast<unsigned>(op.number("WordCount"));
            if (c.wordCount == 0 && c.kind == TagCommand::BlockErase)
                return refuse.field(opPath, op, "WordCount", kAOutOfRange, "a block erase needs the number of words");
        }
        if (op.is("C1G2Write") || op.is("C1G2BlockWrite")) {
            c.kind = op.is("C1G2Write") ? TagCommand::Write : TagCommand::BlockWrite;
            for (const std::uint32_t word : op.value("WriteData").items) c.words.push_back(static_cast<std::uint16_t>(word));
            if (c.words.empty()) return refuse.field(opPath, op, "WriteData", kAInvalid, "nothing to write");
        }
        a.opSpecs.push_back(std::move(s));
    }
    if (const Element *report = e.child("AccessReportSpec")) {
        a.reportTrigger = static_cast<int>(report->number("AccessReportTrigger"));
        if (a.reportTrigger > 1)
            return refuse.field(with(path, report->type()), *report, "AccessReportTrigger", kAOutOfRange,
                                "AccessReportTrigger is 0 or 1");
    }
    out = std::move(a);
    return true;
}

std::uint16_t pcWord(std::size_t epcBytes) { return static_cast<std::uint16_t>((epcBytes / 2) << 11); }

std::uint16_t gen2Crc(std::uint16_t pc, const std::vector<std::uint8_t> &epc) {
    // CRC-16 of Gen2 (polynomial 0x1021, preset 0xFFFF, complemented) over PC and EPC.
    std::uint16_t crc = 0xFFFF;
    const auto feed = [&crc](std::uint8_t byte) {
        crc ^= static_cast<std::uint16_t>(byte << 8);
        for (int i = 0; i < 8; ++i) crc = static_cast<std::uint16_t>(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
    };
    feed(static_cast<std::uint8_t>(pc >> 8));
    feed(static_cast<std::uint8_t>(pc));
    for (const std::uint8_t b : epc) feed(b);
    return static_cast<std::uint16_t>(~crc);
}

bool AccessSpec::matches(const std::vector<std::uint8_t> &epc) const {
    std::vector<std::uint8_t> memory;  // EPC memory as a tag holds it: CRC, PC, EPC
    const std::uint16_t pc = pcWord(epc.size());
    const std::uint16_t crc = gen2Crc(pc, epc);
    memory = {static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(pc >> 8),
              static_cast<std::uint8_t>(pc)};
    memory.insert(memory.end(), epc.begin(), epc.end());
    const auto bit = [](const std::vector<std::uint8_t> &bytes, std::size_t i) { return (bytes[i / 8] >> (7 - i % 8)) & 1; };
    for (const TargetTag &t : targets) {
        if (t.bits == 0) continue;  // matches every tag
        bool equal = t.pointer + t.bits <= memory.size() * 8;
        for (std::size_t i = 0; equal && i < t.bits; ++i)
            if (bit(t.mask, i) && bit(t.data, i) != bit(memory, t.pointer + i)) equal = false;
        if (equal != t.match) return false;
    }
    return true;
}

}  // namespace tessaro::llrp
