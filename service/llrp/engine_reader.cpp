#include "engine_reader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <cstdlib>

#include "Tessaro.h"
#include "TessaroErrors.h"

namespace tessaro::llrp {

namespace {

constexpr int kNoTag = 0xFB;
constexpr int kTagSilent = 0xFA;
// Words one read or write command carries: the frame of a tag command must
// fit one 64-byte report beside the tag's EPC (see the write command's
// arithmetic in the tool: 47 bytes less the EPC).
constexpr unsigned kReadWordsPerCommand = 32;
// A read to the end of a bank stops here: the most ReadData can carry.
constexpr unsigned kMaxReadWords = 0xFFFF;
constexpr int kMemoryOverrun = 0x03;  // the tag's error byte
// Bank sizes remembered as hints for the next read to the end (then forgotten).
constexpr std::size_t kMaxKnownBanks = 4096;
// How long a stop waits for the round in progress, and how often it looks.
constexpr unsigned kStopGraceMs = 1000;
constexpr unsigned kStopPollMs = 5;
constexpr unsigned kRoundPauseMs = 5;

std::vector<std::uint32_t> channels(int region, int low, int high) {
    char *list[101] = {};
    GetChannelList(region, list);
    std::vector<std::uint32_t> khz;
    for (int i = 0; i < 100 && list[i]; ++i)
        if (i >= low && i <= high) khz.push_back(static_cast<std::uint32_t>(std::strtod(list[i], nullptr) * 1000 + 0.5));
    // Region 5's texts are the library's constants; the others are ours to free.
    if (region != 5)
        for (int i = 0; i < 100 && list[i]; ++i) std::free(list[i]);
    return khz;
}

void bigEndian(std::uint32_t value, unsigned char out[4]) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

std::vector<std::uint8_t> bytesOf(const std::string &hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

TagCommandResult outcome(int rc, int errorCode) {
    TagCommandResult r;
    if (rc == 0) r.outcome = TagCommandResult::Done;
    else if (rc == TAG_ERROR) { r.outcome = TagCommandResult::TagError; r.tagError = errorCode; }
    else if (rc == kNoTag || rc == kTagSilent) r.outcome = TagCommandResult::NoTag;
    else r.outcome = TagCommandResult::ReaderError;
    return r;
}

}  // namespace

EngineReader::EngineReader(service::Engine &engine, const service::ReaderInfo &reader, unsigned char address)
    : engine_(engine), serial_(reader.serial), port_(reader.port), address_(address) {
    listener_ = engine_.subscribe([this](const events::TagEvent &e) { onEvent(e); });
}

EngineReader::~EngineReader() {
    stop();
    engine_.unsubscribe(listener_);
}

void EngineReader::setHandlers(TagHandler onTag, EventHandler onEvent) {
    std::lock_guard<std::mutex> lock(handlersMutex_);
    tagHandler_ = std::move(onTag);
    eventHandler_ = std::move(onEvent);
}

void EngineReader::onEvent(const events::TagEvent &e) {
    if (e.reader != serial_) return;
    std::lock_guard<std::mutex> lock(handlersMutex_);
    if (e.type == events::EventType::Tag && tagHandler_) {
        TagSighting s;
        s.epc = bytesOf(e.epc);
        s.antenna = e.antenna;
        s.rssi = e.rssi;
        s.uptimeUs = e.monotonicMs * 1000;
        s.utcUs = static_cast<std::uint64_t>(e.wallClockMs) * 1000;
        tagHandler_(s);
    } else if (e.type == events::EventType::Lost && eventHandler_) {
        eventHandler_(ReaderEvent::Lost, e.text);
    } else if (e.type == events::EventType::Back && eventHandler_) {
        eventHandler_(ReaderEvent::Back, e.text);
    }
}

ReaderFacts EngineReader::facts() {
    ReaderFacts f;
    unsigned char version[2] = {}, type = 0, protocols = 0, maxChannel = 0, minChannel = 0, power = 0,
                  scanTime = 0, antennas = 0, beep = 0, workMode = 0, commType = 0;
    unsigned char address = address_;
    if (GetReaderInformation(&address, version, &type, &protocols, &maxChannel, &minChannel, &power,
                             &scanTime, &antennas, &beep, &workMode, &commType, port_) == 0) {
        char text[32];
        std::snprintf(text, sizeof text, "%u.%u", version[0], version[1]);
        f.firmware = text;
        std::snprintf(text, sizeof text, "reader type 0x%02X", type);
        f.model = text;
        f.modelNumber = type;
        f.powerDbm = power;
        f.antennaMask = antennas & 0x0F;
        f.region = ((maxChannel >> 6) & 3) << 2 | ((minChannel >> 6) & 3);
        f.channelsKHz = channels(f.region, minChannel & 0x3F, maxChannel & 0x3F);
    }
    unsigned char serial[4];
    if (GetSeriaNo(&address, serial, port_) == 0) {
        char text[16];
        std::snprintf(text, sizeof text, "%02X%02X%02X%02X", serial[0], serial[1], serial[2], serial[3]);
        f.serial = text;
    }
    return f;
}

bool EngineReader::setPower(int dbm) { return SetRfPower(&address_, dbm, port_) == 0; }

bool EngineReader::start(const InventoryPlan &plan, std::string &error) {
    stop();
    if (plan.powerDbm >= 0 && SetRfPower(&address_, plan.powerDbm, port_) != 0) {
        error = "the reader refused the transmit power";
        return false;
    }
    int rc = SetAntennaMultiplexing(&address_, static_cast<int>(plan.antennaMask), port_);
    if (rc != 0) {
        error = std::string("the reader refused the antennas: ") + TessaroReturnCodeText(rc);
        return false;
    }
    TessaroReadingOptions options;
    TessaroReadingDefaults(&options);
    options.address = address_;
    options.session = plan.session;
    // The client's triggers decide when reading stops; the short pause between
    // rounds is the OpSpecs' turn: a tag command waiting for the library's lock
    // gets it there, instead of losing the race to the next round.
    options.pauseMs = kRoundPauseMs;
    if (plan.mask) {
        options.maskFlag = 1;
        options.maskMem = plan.maskBank;
        options.maskAddress[0] = static_cast<unsigned char>(plan.maskPointer >> 8);
        options.maskAddress[1] = static_cast<unsigned char>(plan.maskPointer);
        options.maskLength = static_cast<int>(plan.maskBits);
        std::copy(std::begin(plan.maskData), std::end(plan.maskData), options.maskData);
    }
    if (!engine_.startReading(serial_, &options)) {
        error = "the reading of reader " + serial_ + " did not start";
        return false;
    }
    reading_ = true;
    return true;
}

void EngineReader::stop() {
    if (!reading_) return;
    reading_ = false;
    // A round hands over its reads only when it is complete, and a stopped
    // reading drops them: so the stop waits (a little) for the round in
    // progress to end and its reads to be delivered, then stops.
    TessaroReadingStats stats = engine_.readingStats(serial_);
    const unsigned long long rounds = stats.rounds;
    const auto sleep = [] { std::this_thread::sleep_for(std::chrono::milliseconds(kStopPollMs)); };
    for (unsigned waited = 0; waited < kStopGraceMs && stats.rounds == rounds && stats.running; waited += kStopPollMs) {
        sleep();
        stats = engine_.readingStats(serial_);
    }
    for (unsigned long long reads = ~0ull; stats.rounds != rounds && stats.reads != reads && stats.running;) {
        reads = stats.reads;
        sleep();
        stats = engine_.readingStats(serial_);
    }
    engine_.stopReading(serial_);
}

int EngineReader::read(const TagCommand &c, unsigned word, unsigned count, std::vector<std::uint16_t> &words,
                       int &errorCode) {
    unsigned char password[4];
    bigEndian(c.password, password);
    const unsigned char noMask[32] = {}, noAddress[2] = {};
    for (unsigned done = 0; done < count;) {
        const unsigned chunk = std::min(kReadWordsPerCommand, count - done);
        const unsigned at = word + done;
        const unsigned char pointer[2] = {static_cast<unsigned char>(at >> 8), static_cast<unsigned char>(at)};
        unsigned char data[2 * kReadWordsPerCommand];
        const int rc = ExtReadData_G2(&address_, c.epc.data(), static_cast<int>(c.epc.size() / 2), c.bank, pointer,
                                      static_cast<int>(chunk), password, 1, noAddress, 0, noMask, data, &errorCode, port_);
        if (rc != 0) return rc;
        for (unsigned i = 0; i < chunk; ++i) words.push_back(static_cast<std::uint16_t>(data[2 * i] << 8 | data[2 * i + 1]));
        done += chunk;
    }
    return 0;
}

int EngineReader::readToEnd(const TagCommand &c, std::vector<std::uint16_t> &words, int &errorCode) {
    // The bank ends somewhere in [lo, hi]: every word below lo was read, a read
    // past hi ran over the end (the tag says memory overrun). Whole commands
    // while no end is in sight, then halves of what is left; where this tag's
    // bank ended last time, a read up to there and one word past it to check.
    // At most the words a C1G2ReadOpSpecResult carries and a 2-byte pointer reaches.
    unsigned lo = c.wordPointer;
    unsigned hi = std::min(lo + kMaxReadWords, 0x10000u);
    bool bounded = false;
    const std::pair<std::vector<std::uint8_t>, int> key{c.epc, c.bank};
    const auto known = bankEnds_.find(key);
    bool checkHint = known != bankEnds_.end() && known->second >= lo && known->second < hi;
    const unsigned hint = checkHint ? known->second : 0;
    int rc = 0;
    while (lo < hi) {
        unsigned count;  // at most one command's words: a read fails or succeeds whole
        if (checkHint && lo < hint) count = std::min(kReadWordsPerCommand, hint - lo);
        else if (checkHint) count = 1, checkHint = false;  // one word past the last end
        else if (!bounded) count = std::min(kReadWordsPerCommand, hi - lo);
        else count = (hi - lo + 1) / 2;
        rc = read(c, lo, count, words, errorCode);
        if (rc == 0) {
            lo += count;
        } else if (rc == TAG_ERROR && errorCode == kMemoryOverrun) {
            hi = lo + count - 1;
            bounded = true;
            checkHint = checkHint && hint <= hi;
        } else {
            return rc;
        }
    }
    if (bankEnds_.size() >= kMaxKnownBanks) bankEnds_.clear();
    bankEnds_[key] = lo;
    // Nothing from the pointer on: the tag's memory overrun stands.
    return lo == c.wordPointer ? rc : 0;
}

TagCommandResult EngineReader::command(const TagCommand &c) {
    unsigned char password[4];
    bigEndian(c.password, password);
    const int epcWords = static_cast<int>(c.epc.size() / 2);
    const unsigned char *epc = c.epc.data();
    const unsigned char noMask[32] = {}, noAddress[2] = {};
    int errorCode = -1, rc = 0;
    TagCommandResult result;
    switch (c.kind) {
    case TagCommand::Read:
        rc = c.wordCount == 0 ? readToEnd(c, result.words, errorCode) : read(c, c.wordPointer, c.wordCount, result.words, errorCode);
        break;
    case TagCommand::Write:
    case TagCommand::BlockWrite: {
        const unsigned step = static_cast<unsigned>(std::max(1, (47 - 2 * epcWords) / 2));
        unsigned written = 0;
        while (written < c.words.size() && rc == 0) {
            const unsigned words = std::min<unsigned>(step, static_cast<unsigned>(c.words.size()) - written);
            const unsigned word = c.wordPointer + written;
            const unsigned char pointer[2] = {static_cast<unsigned char>(word >> 8), static_cast<unsigned char>(word)};
            std::vector<unsigned char> data;
            for (unsigned i = 0; i < words; ++i) {
                data.push_back(static_cast<unsigned char>(c.words[written + i] >> 8));
                data.push_back(static_cast<unsigned char>(c.words[written + i]));
            }
            rc = ExtWriteData_G2(&address_, epc, static_cast<int>(words), epcWords, c.bank, pointer, data.data(),
                                 password, 1, noAddress, 0, noMask, &errorCode, port_);
            if (rc == 0) written += words;
        }
        result = outcome(rc, errorCode);
        result.wordsWritten = written;
        return result;
    }
    case TagCommand::BlockErase:
        rc = BlockErase_G2(&address_, epc, epcWords, c.bank, static_cast<int>(c.wordPointer),
                           static_cast<int>(c.wordCount), password, 1, noAddress, 0, noMask, &errorCode, port_);
        break;
    case TagCommand::Lock:
        rc = Lock_G2(&address_, epc, epcWords, c.lockTarget, c.lockAction, password, 1, noAddress, 0, noMask,
                     &errorCode, port_);
        break;
    case TagCommand::Kill:
        rc = KillTag_G2(&address_, epc, epcWords, password, 1, noAddress, 0, noMask, &errorCode, port_);
        break;
    }
    TagCommandResult r = outcome(rc, errorCode);
    if (rc == 0) r.words = std::move(result.words);  // a failed read returns no words
    return r;
}

}  // namespace tessaro::llrp
