// The LLRP 1.0.1 messages and parameters, and the four version messages of
// LLRP 1.1, as one table: written out from the public binary definition of
// the protocol (field order, widths and sub-parameter rules), parsed once.
//
//   message NAME TYPE: FIELDS | SLOTS
//   param   NAME TYPE: FIELDS | SLOTS
//   choice  NAME: ALTERNATIVES
//
// FIELDS: "kind Name" in wire order (u1 u2 u8 u16 u32 u64 s8 s16 u96 u1v u8v
// u16v u32v utf8v bytes) or "rN" for N reserved bits. SLOTS: "repeat Name",
// repeat being 1, 0-1, 0-N or 1-N, Name a parameter or a choice.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>

#include "schema.h"

namespace tessaro::llrp {

namespace {

const char *const kDefinitions = R"(
message CUSTOM_MESSAGE 1023: u32 VendorIdentifier, u8 MessageSubtype, bytes Data
message GET_READER_CAPABILITIES 1: u8 RequestedData | 0-N Custom
message GET_READER_CAPABILITIES_RESPONSE 11: | 1 LLRPStatus, 0-1 GeneralDeviceCapabilities, 0-1 LLRPCapabilities, 0-1 RegulatoryCapabilities, 0-1 AirProtocolLLRPCapabilities, 0-N Custom
message ADD_ROSPEC 20: | 1 ROSpec
message ADD_ROSPEC_RESPONSE 30: | 1 LLRPStatus
message DELETE_ROSPEC 21: u32 ROSpecID
message DELETE_ROSPEC_RESPONSE 31: | 1 LLRPStatus
message START_ROSPEC 22: u32 ROSpecID
message START_ROSPEC_RESPONSE 32: | 1 LLRPStatus
message STOP_ROSPEC 23: u32 ROSpecID
message STOP_ROSPEC_RESPONSE 33: | 1 LLRPStatus
message ENABLE_ROSPEC 24: u32 ROSpecID
message ENABLE_ROSPEC_RESPONSE 34: | 1 LLRPStatus
message DISABLE_ROSPEC 25: u32 ROSpecID
message DISABLE_ROSPEC_RESPONSE 35: | 1 LLRPStatus
message GET_ROSPECS 26:
message GET_ROSPECS_RESPONSE 36: | 1 LLRPStatus, 0-N ROSpec
message ADD_ACCESSSPEC 40: | 1 AccessSpec
message ADD_ACCESSSPEC_RESPONSE 50: | 1 LLRPStatus
message DELETE_ACCESSSPEC 41: u32 AccessSpecID
message DELETE_ACCESSSPEC_RESPONSE 51: | 1 LLRPStatus
message ENABLE_ACCESSSPEC 42: u32 AccessSpecID
message ENABLE_ACCESSSPEC_RESPONSE 52: | 1 LLRPStatus
message DISABLE_ACCESSSPEC 43: u32 AccessSpecID
message DISABLE_ACCESSSPEC_RESPONSE 53: | 1 LLRPStatus
message GET_ACCESSSPECS 44:
message GET_ACCESSSPECS_RESPONSE 54: | 1 LLRPStatus, 0-N AccessSpec
message GET_READER_CONFIG 2: u16 AntennaID, u8 RequestedData, u16 GPIPortNum, u16 GPOPortNum | 0-N Custom
message GET_READER_CONFIG_RESPONSE 12: | 1 LLRPStatus, 0-1 Identification, 0-N AntennaProperties, 0-N AntennaConfiguration, 0-1 ReaderEventNotificationSpec, 0-1 ROReportSpec, 0-1 AccessReportSpec, 0-1 LLRPConfigurationStateValue, 0-1 KeepaliveSpec, 0-N GPIPortCurrentState, 0-N GPOWriteData, 0-1 EventsAndReports, 0-N Custom
message SET_READER_CONFIG 3: u1 ResetToFactoryDefault, r7 | 0-1 ReaderEventNotificationSpec, 0-N AntennaProperties, 0-N AntennaConfiguration, 0-1 ROReportSpec, 0-1 AccessReportSpec, 0-1 KeepaliveSpec, 0-N GPOWriteData, 0-N GPIPortCurrentState, 0-1 EventsAndReports, 0-N Custom
message SET_READER_CONFIG_RESPONSE 13: | 1 LLRPStatus
message CLOSE_CONNECTION 14:
message CLOSE_CONNECTION_RESPONSE 4: | 1 LLRPStatus
message GET_REPORT 60:
message RO_ACCESS_REPORT 61: | 0-N TagReportData, 0-N RFSurveyReportData, 0-N Custom
message KEEPALIVE 62:
message KEEPALIVE_ACK 72:
message READER_EVENT_NOTIFICATION 63: | 1 ReaderEventNotificationData
message ENABLE_EVENTS_AND_REPORTS 64:
message ERROR_MESSAGE 100: | 1 LLRPStatus
message GET_SUPPORTED_VERSION 46:
message GET_SUPPORTED_VERSION_RESPONSE 56: u8 CurrentVersion, u8 SupportedVersion | 1 LLRPStatus
message SET_PROTOCOL_VERSION 47: u8 ProtocolVersion
message SET_PROTOCOL_VERSION_RESPONSE 57: | 1 LLRPStatus

param AntennaID 1: u16 AntennaID
param FirstSeenTimestampUTC 2: u64 Microseconds
param FirstSeenTimestampUptime 3: u64 Microseconds
param LastSeenTimestampUTC 4: u64 Microseconds
param LastSeenTimestampUptime 5: u64 Microseconds
param PeakRSSI 6: s8 PeakRSSI
param ChannelIndex 7: u16 ChannelIndex
param TagSeenCount 8: u16 TagCount
param ROSpecID 9: u32 ROSpecID
param InventoryParameterSpecID 10: u16 InventoryParameterSpecID
param C1G2_CRC 11: u16 CRC
param C1G2_PC 12: u16 PC_Bits
param EPC_96 13: u96 EPC
param SpecIndex 14: u16 SpecIndex
param ClientRequestOpSpecResult 15: u16 OpSpecID
param AccessSpecID 16: u32 AccessSpecID
param OpSpecID 17: u16 OpSpecID
param C1G2SingulationDetails 18: u16 NumCollisionSlots, u16 NumEmptySlots

param UTCTimestamp 128: u64 Microseconds
param Uptime 129: u64 Microseconds
param Custom 1023: u32 VendorIdentifier, u32 ParameterSubtype, bytes Data
param GeneralDeviceCapabilities 137: u16 MaxNumberOfAntennaSupported, u1 CanSetAntennaProperties, u1 HasUTCClockCapability, r14, u32 DeviceManufacturerName, u32 ModelName, utf8v ReaderFirmwareVersion | 1-N ReceiveSensitivityTableEntry, 0-N PerAntennaReceiveSensitivityRange, 1 GPIOCapabilities, 1-N PerAntennaAirProtocol
param ReceiveSensitivityTableEntry 139: u16 Index, s16 ReceiveSensitivityValue
param PerAntennaReceiveSensitivityRange 149: u16 AntennaID, u16 ReceiveSensitivityIndexMin, u16 ReceiveSensitivityIndexMax
param PerAntennaAirProtocol 140: u16 AntennaID, u8v ProtocolID
param GPIOCapabilities 141: u16 NumGPIs, u16 NumGPOs
param LLRPCapabilities 142: u1 CanDoRFSurvey, u1 CanReportBufferFillWarning, u1 SupportsClientRequestOpSpec, u1 CanDoTagInventoryStateAwareSingulation, u1 SupportsEventAndReportHolding, r3, u8 MaxNumPriorityLevelsSupported, u16 ClientRequestOpSpecTimeout, u32 MaxNumROSpecs, u32 MaxNumSpecsPerROSpec, u32 MaxNumInventoryParameterSpecsPerAISpec, u32 MaxNumAccessSpecs, u32 MaxNumOpSpecsPerAccessSpec
param RegulatoryCapabilities 143: u16 CountryCode, u16 CommunicationsStandard | 0-1 UHFBandCapabilities, 0-N Custom
param UHFBandCapabilities 144: | 1-N TransmitPowerLevelTableEntry, 1 FrequencyInformation, 1-N AirProtocolUHFRFModeTable
param TransmitPowerLevelTableEntry 145: u16 Index, s16 TransmitPowerValue
param FrequencyInformation 146: u1 Hopping, r7 | 0-N FrequencyHopTable, 0-1 FixedFrequencyTable
param FrequencyHopTable 147: u8 HopTableID, r8, u32v Frequency
param FixedFrequencyTable 148: u32v Frequency

param ROSpec 177: u32 ROSpecID, u8 Priority, u8 CurrentState | 1 ROBoundarySpec, 1-N SpecParameter, 0-1 ROReportSpec
choice SpecParameter: AISpec RFSurveySpec Custom
param ROBoundarySpec 178: | 1 ROSpecStartTrigger, 1 ROSpecStopTrigger
param ROSpecStartTrigger 179: u8 ROSpecStartTriggerType | 0-1 PeriodicTriggerValue, 0-1 GPITriggerValue
param PeriodicTriggerValue 180: u32 Offset, u32 Period | 0-1 UTCTimestamp
param GPITriggerValue 181: u16 GPIPortNum, u1 GPIEvent, r7, u32 Timeout
param ROSpecStopTrigger 182: u8 ROSpecStopTriggerType, u32 DurationTriggerValue | 0-1 GPITriggerValue
param AISpec 183: u16v AntennaIDs | 1 AISpecStopTrigger, 1-N InventoryParameterSpec, 0-N Custom
param AISpecStopTrigger 184: u8 AISpecStopTriggerType, u32 DurationTrigger | 0-1 GPITriggerValue, 0-1 TagObservationTrigger
param TagObservationTrigger 185: u8 TriggerType, r8, u16 NumberOfTags, u16 NumberOfAttempts, u16 T, u32 Timeout
param InventoryParameterSpec 186: u16 InventoryParameterSpecID, u8 ProtocolID | 0-N AntennaConfiguration, 0-N Custom
param RFSurveySpec 187: u16 AntennaID, u32 StartFrequency, u32 EndFrequency | 1 RFSurveySpecStopTrigger, 0-N Custom
param RFSurveySpecStopTrigger 188: u8 StopTriggerType, u32 DurationPeriod, u32 N

param AccessSpec 207: u32 AccessSpecID, u16 AntennaID, u8 ProtocolID, u1 CurrentState, r7, u32 ROSpecID | 1 AccessSpecStopTrigger, 1 AccessCommand, 0-1 AccessReportSpec, 0-N Custom
param AccessSpecStopTrigger 208: u8 AccessSpecStopTrigger, u16 OperationCountValue
param AccessCommand 209: | 1 AirProtocolTagSpec, 1-N AccessCommandOpSpec, 0-N Custom
choice AccessCommandOpSpec: C1G2Read C1G2Write C1G2Kill C1G2Lock C1G2BlockErase C1G2BlockWrite

param LLRPConfigurationStateValue 217: u32 LLRPConfigurationStateValue
param Identification 218: u8 IDType, u8v ReaderID
param GPOWriteData 219: u16 GPOPortNumber, u1 GPOData, r7
param KeepaliveSpec 220: u8 KeepaliveTriggerType, u32 PeriodicTriggerValue
param AntennaProperties 221: u1 AntennaConnected, r7, u16 AntennaID, s16 AntennaGain
param AntennaConfiguration 222: u16 AntennaID | 0-1 RFReceiver, 0-1 RFTransmitter, 0-N AirProtocolInventoryCommandSettings
param RFReceiver 223: u16 ReceiverSensitivity
param RFTransmitter 224: u16 HopTableID, u16 ChannelIndex, u16 TransmitPower
param GPIPortCurrentState 225: u16 GPIPortNum, u1 Config, r7, u8 State
param EventsAndReports 226: u1 HoldEventsAndReportsUponReconnect, r7

param ROReportSpec 237: u8 ROReportTrigger, u16 N | 1 TagReportContentSelector, 0-N Custom
param TagReportContentSelector 238: u1 EnableROSpecID, u1 EnableSpecIndex, u1 EnableInventoryParameterSpecID, u1 EnableAntennaID, u1 EnableChannelIndex, u1 EnablePeakRSSI, u1 EnableFirstSeenTimestamp, u1 EnableLastSeenTimestamp, u1 EnableTagSeenCount, u1 EnableAccessSpecID, r6 | 0-N AirProtocolEPCMemorySelector
param AccessReportSpec 239: u8 AccessReportTrigger
param TagReportData 240: | 1 EPCParameter, 0-1 ROSpecID, 0-1 SpecIndex, 0-1 InventoryParameterSpecID, 0-1 AntennaID, 0-1 PeakRSSI, 0-1 ChannelIndex, 0-1 FirstSeenTimestampUTC, 0-1 FirstSeenTimestampUptime, 0-1 LastSeenTimestampUTC, 0-1 LastSeenTimestampUptime, 0-1 TagSeenCount, 0-N AirProtocolTagData, 0-1 AccessSpecID, 0-N AccessCommandOpSpecResult, 0-N Custom
choice EPCParameter: EPCData EPC_96
param EPCData 241: u1v EPC
param RFSurveyReportData 242: | 0-1 ROSpecID, 0-1 SpecIndex, 1-N FrequencyRSSILevelEntry, 0-N Custom
param FrequencyRSSILevelEntry 243: u32 Frequency, u32 Bandwidth, s8 AverageRSSI, s8 PeakRSSI | 1 Timestamp
choice Timestamp: UTCTimestamp Uptime
param ReaderEventNotificationSpec 244: | 1-N EventNotificationState
param EventNotificationState 245: u16 EventType, u1 NotificationState, r7
param ReaderEventNotificationData 246: | 1 Timestamp, 0-1 HoppingEvent, 0-1 GPIEvent, 0-1 ROSpecEvent, 0-1 ReportBufferLevelWarningEvent, 0-1 ReportBufferOverflowErrorEvent, 0-1 ReaderExceptionEvent, 0-1 RFSurveyEvent, 0-1 AISpecEvent, 0-1 AntennaEvent, 0-1 ConnectionAttemptEvent, 0-1 ConnectionCloseEvent, 0-N Custom
param HoppingEvent 247: u16 HopTableID, u16 NextChannelIndex
param GPIEvent 248: u16 GPIPortNumber, u1 GPIEvent, r7
param ROSpecEvent 249: u8 EventType, u32 ROSpecID, u32 PreemptingROSpecID
param ReportBufferLevelWarningEvent 250: u8 ReportBufferPercentageFull
param ReportBufferOverflowErrorEvent 251:
param ReaderExceptionEvent 252: utf8v Message | 0-1 ROSpecID, 0-1 SpecIndex, 0-1 InventoryParameterSpecID, 0-1 AntennaID, 0-1 AccessSpecID, 0-1 OpSpecID, 0-N Custom
param RFSurveyEvent 253: u8 EventType, u32 ROSpecID, u16 SpecIndex
param AISpecEvent 254: u8 EventType, u32 ROSpecID, u16 SpecIndex | 0-1 AirProtocolSingulationDetails
param AntennaEvent 255: u8 EventType, u16 AntennaID
param ConnectionAttemptEvent 256: u16 Status
param ConnectionCloseEvent 257:

param LLRPStatus 287: u16 StatusCode, utf8v ErrorDescription | 0-1 FieldError, 0-1 ParameterError
param FieldError 288: u16 FieldNum, u16 ErrorCode
param ParameterError 289: u16 ParameterType, u16 ErrorCode | 0-1 FieldError, 0-1 ParameterError

param C1G2LLRPCapabilities 327: u1 CanSupportBlockErase, u1 CanSupportBlockWrite, r6, u16 MaxNumSelectFiltersPerQuery
param C1G2UHFRFModeTable 328: | 1-N C1G2UHFRFModeTableEntry
param C1G2UHFRFModeTableEntry 329: u32 ModeIdentifier, u1 DRValue, u1 EPCHAGTCConformance, r6, u8 MValue, u8 ForwardLinkModulation, u8 SpectralMaskIndicator, u32 BDRValue, u32 PIEValue, u32 MinTariValue, u32 MaxTariValue, u32 StepTariValue
param C1G2InventoryCommand 330: u1 TagInventoryStateAware, r7 | 0-N C1G2Filter, 0-1 C1G2RFControl, 0-1 C1G2SingulationControl, 0-N Custom
param C1G2Filter 331: u2 T, r6 | 1 C1G2TagInventoryMask, 0-1 C1G2TagInventoryStateAwareFilterAction, 0-1 C1G2TagInventoryStateUnawareFilterAction
param C1G2TagInventoryMask 332: u2 MB, r6, u16 Pointer, u1v TagMask
param C1G2TagInventoryStateAwareFilterAction 333: u8 Target, u8 Action
param C1G2TagInventoryStateUnawareFilterAction 334: u8 Action
param C1G2RFControl 335: u16 ModeIndex, u16 Tari
param C1G2SingulationControl 336: u2 Session, r6, u16 TagPopulation, u32 TagTransitTime | 0-1 C1G2TagInventoryStateAwareSingulationAction
param C1G2TagInventoryStateAwareSingulationAction 337: u1 I, u1 S, r6
param C1G2TagSpec 338: | 1-N C1G2TargetTag
param C1G2TargetTag 339: u2 MB, u1 Match, r5, u16 Pointer, u1v TagMask, u1v TagData
param C1G2Read 341: u16 OpSpecID, u32 AccessPassword, u2 MB, r6, u16 WordPointer, u16 WordCount
param C1G2Write 342: u16 OpSpecID, u32 AccessPassword, u2 MB, r6, u16 WordPointer, u16v WriteData
param C1G2Kill 343: u16 OpSpecID, u32 KillPassword
param C1G2Lock 344: u16 OpSpecID, u32 AccessPassword | 1-N C1G2LockPayload
param C1G2LockPayload 345: u8 Privilege, u8 DataField
param C1G2BlockErase 346: u16 OpSpecID, u32 AccessPassword, u2 MB, r6, u16 WordPointer, u16 WordCount
param C1G2BlockWrite 347: u16 OpSpecID, u32 AccessPassword, u2 MB, r6, u16 WordPointer, u16v WriteData
param C1G2EPCMemorySelector 348: u1 EnableCRC, u1 EnablePCBits, r6
param C1G2ReadOpSpecResult 349: u8 Result, u16 OpSpecID, u16v ReadData
param C1G2WriteOpSpecResult 350: u8 Result, u16 OpSpecID, u16 NumWordsWritten
param C1G2KillOpSpecResult 351: u8 Result, u16 OpSpecID
param C1G2LockOpSpecResult 352: u8 Result, u16 OpSpecID
param C1G2BlockEraseOpSpecResult 353: u8 Result, u16 OpSpecID
param C1G2BlockWriteOpSpecResult 354: u8 Result, u16 OpSpecID, u16 NumWordsWritten
choice AccessCommandOpSpecResult: C1G2ReadOpSpecResult C1G2WriteOpSpecResult C1G2KillOpSpecResult C1G2LockOpSpecResult C1G2BlockEraseOpSpecResult C1G2BlockWriteOpSpecResult

choice AirProtocolLLRPCapabilities: C1G2LLRPCapabilities
choice AirProtocolUHFRFModeTable: C1G2UHFRFModeTable
choice AirProtocolInventoryCommandSettings: C1G2InventoryCommand
choice AirProtocolTagSpec: C1G2TagSpec
choice AirProtocolEPCMemorySelector: C1G2EPCMemorySelector
choice AirProtocolTagData: C1G2_PC C1G2_CRC
choice AirProtocolSingulationDetails: C1G2SingulationDetails
)";

struct Kind {
    const char *word;
    FieldKind kind;
    unsigned bits;  // width in bits; 0 for the variable kinds
};

constexpr Kind kKinds[] = {
    {"u1", FieldKind::U1, 1},       {"u2", FieldKind::U2, 2},       {"u8", FieldKind::U8, 8},
    {"u16", FieldKind::U16, 16},    {"u32", FieldKind::U32, 32},    {"u64", FieldKind::U64, 64},
    {"s8", FieldKind::S8, 8},       {"s16", FieldKind::S16, 16},    {"u96", FieldKind::U96, 96},
    {"u1v", FieldKind::U1V, 0},     {"u8v", FieldKind::U8V, 0},     {"u16v", FieldKind::U16V, 0},
    {"u32v", FieldKind::U32V, 0},   {"utf8v", FieldKind::UTF8V, 0}, {"bytes", FieldKind::BytesToEnd, 0},
};

// The table is part of the program: a mistake in it is a defect found by the
// first test that runs, never a state to carry on in.
[[noreturn]] void broken(const std::string &line, const std::string &why) {
    std::fprintf(stderr, "llrp definitions: %s: %s\n", why.c_str(), line.c_str());
    std::abort();
}

std::vector<std::string> split(const std::string &text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) {
        const auto first = part.find_first_not_of(' ');
        const auto last = part.find_last_not_of(' ');
        if (first != std::string::npos) parts.push_back(part.substr(first, last - first + 1));
    }
    return parts;
}

struct Table {
    std::vector<std::unique_ptr<Definition>> owned;
    std::vector<const Definition *> all;
    std::map<std::string, const Definition *, std::less<>> byName;
    std::map<std::string, std::vector<const Definition *>, std::less<>> choices;
    const Definition *messages[1024] = {};
    const Definition *parameters[1024] = {};

    Table();
    void addFields(Definition &d, const std::string &line, const std::string &text);
    Slot slot(const std::string &line, const std::string &text) const;
};

void Table::addFields(Definition &d, const std::string &line, const std::string &text) {
    unsigned bitOffset = 0;  // within the current byte run of bit fields
    bool fixed = true;
    for (const std::string &word : split(text, ',')) {
        FieldDef field{};
        if (word[0] == 'r' && word.find(' ') == std::string::npos) {
            field.kind = FieldKind::Reserved;
            field.bits = static_cast<unsigned>(std::atoi(word.c_str() + 1));
            if (field.bits == 0) broken(line, "reserved run of no bits");
        } else {
            const auto space = word.find(' ');
            if (space == std::string::npos) broken(line, "field without a name: " + word);
            const std::string kindWord = word.substr(0, space);
            field.name = word.substr(space + 1);
            const Kind *kind = nullptr;
            for (const Kind &k : kKinds)
                if (kindWord == k.word) kind = &k;
            if (!kind) broken(line, "unknown field kind " + kindWord);
            field.kind = kind->kind;
            field.bits = kind->bits;
            if (field.bits == 0) fixed = false;
        }
        // Bit fields fill whole bytes before any byte-aligned field.
        const bool bitField = field.kind == FieldKind::U1 || field.kind == FieldKind::U2 ||
                              field.kind == FieldKind::Reserved;
        if (!bitField && bitOffset % 8 != 0) broken(line, "field " + field.name + " is not byte aligned");
        bitOffset = bitField ? bitOffset + field.bits : 0;
        if (fixed) d.tvSize += field.bits;
        d.fields.push_back(field);
    }
    if (bitOffset % 8 != 0) broken(line, "bit fields do not fill their last byte");
    if (d.tv()) {
        if (!fixed) broken(line, "a TV parameter needs fixed-size fields");
        d.tvSize /= 8;
    } else {
        d.tvSize = 0;
    }
}

Slot Table::slot(const std::string &line, const std::string &text) const {
    const auto space = text.find(' ');
    if (space == std::string::npos) broken(line, "slot without a repeat: " + text);
    const std::string repeat = text.substr(0, space);
    Slot s;
    s.name = text.substr(space + 1);
    if (repeat == "1") { s.min = 1; s.max = 1; }
    else if (repeat == "0-1") { s.min = 0; s.max = 1; }
    else if (repeat == "0-N") { s.min = 0; s.max = kUnbounded; }
    else if (repeat == "1-N") { s.min = 1; s.max = kUnbounded; }
    else broken(line, "unknown repeat " + repeat);
    if (const auto choice = choices.find(s.name); choice != choices.end()) {
        s.accepts = choice->second;
    } else if (const auto d = byName.find(s.name); d != byName.end() && !d->second->message) {
        s.accepts.push_back(d->second);
    } else {
        broken(line, "no parameter or choice named " + s.name);
    }
    return s;
}

Table::Table() {
    std::vector<std::pair<Definition *, std::string>> slotTexts;  // resolved once all are known
    std::vector<std::pair<std::string, std::string>> choiceTexts;
    std::istringstream lines(kDefinitions);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos) broken(line, "no colon");
        const std::vector<std::string> head = split(line.substr(0, colon), ' ');
        const std::string body = line.substr(colon + 1);
        if (head.size() == 2 && head[0] == "choice") {
            choiceTexts.emplace_back(head[1], body);
            continue;
        }
        if (head.size() != 3 || (head[0] != "message" && head[0] != "param")) broken(line, "bad head");
        auto d = std::make_unique<Definition>();
        d->name = head[1];
        d->message = head[0] == "message";
        const int type = std::atoi(head[2].c_str());
        if (type < 1 || type > 1023) broken(line, "type out of range");
        d->type = static_cast<std::uint16_t>(type);
        const auto bar = body.find('|');
        addFields(*d, line, body.substr(0, bar));
        if (bar != std::string::npos) slotTexts.emplace_back(d.get(), body.substr(bar + 1));
        const Definition *(&index)[1024] = d->message ? messages : parameters;
        if (index[d->type] || byName.count(d->name)) broken(line, "defined twice");
        index[d->type] = d.get();
        byName[d->name] = d.get();
        all.push_back(d.get());
        owned.push_back(std::move(d));
    }
    for (const auto &[name, text] : choiceTexts) {
        std::vector<const Definition *> alternatives;
        for (const std::string &alternative : split(text, ' ')) {
            const auto d = byName.find(alternative);
            if (d == byName.end() || d->second->message) broken(text, "unknown alternative " + alternative);
            alternatives.push_back(d->second);
        }
        choices[name] = alternatives;
    }
    for (auto &[d, text] : slotTexts)
        for (const std::string &slotText : split(text, ',')) d->slots.push_back(slot(text, slotText));
}

const Table &table() {
    static const Table instance;
    return instance;
}

}  // namespace

bool Slot::takes(const Definition *d) const {
    for (const Definition *alternative : accepts)
        if (alternative == d) return true;
    return false;
}

int Definition::fieldIndex(std::string_view field) const {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == field) return static_cast<int>(i);
    return -1;
}

int Definition::slotFor(const Definition *d) const {
    for (std::size_t i = 0; i < slots.size(); ++i)
        if (slots[i].takes(d)) return static_cast<int>(i);
    return -1;
}

const Definition *messageByType(std::uint16_t type) {
    return type < 1024 ? table().messages[type] : nullptr;
}

const Definition *parameterByType(std::uint16_t type) {
    return type < 1024 ? table().parameters[type] : nullptr;
}

const Definition *definitionByName(std::string_view name) {
    const auto found = table().byName.find(name);
    return found == table().byName.end() ? nullptr : found->second;
}

const std::vector<const Definition *> &allDefinitions() { return table().all; }

}  // namespace tessaro::llrp
