#include "commission_station.h"

#include <cstring>
#include <fstream>

#include "Tessaro.h"
#include "TessaroErrors.h"
#include "TessaroRecords.h"
#include "terminal.h"

namespace tessaro::cli {

namespace {

// Reader statuses with which an inventory ends well.
constexpr int kRoundDone = 0x01, kRoundOverflow = 0x02, kRoundNoTag = 0xFB;
// TID words read with every inventory: the chip's model and serial number,
// which tell labels apart and select the one being written.
constexpr int kTidWords = 6;
// Words of one write: PC and EPC go in pieces that fit one command frame
// beside the TID mask.
constexpr int kWordsPerWrite = 8;
// Banks and lock targets of Gen2.
constexpr int kReservedBank = 0, kEpcBank = 1, kTidBank = 2;
constexpr int kLockAccessPassword = 1, kLockEpc = 2, kLockLocked = 2;
// Rounds without the label before it counts as gone: one missed read is no departure.
constexpr int kRoundsToLeave = 2;
constexpr unsigned kPollMs = 50;

std::string labelHex(const unsigned char *bytes, size_t length) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::string commandFailure(const char *what, int rc, int tagError) {
    std::string text = std::string(what) + ": " + TessaroReturnCodeText(rc);
    if (rc == TAG_ERROR) text += std::string(" ") + TessaroTagErrorText(tagError);
    return text;
}

// The serial `index` places after `first`: the number counted up, as wide as
// the first one was (a serial "0001" goes on "0002").
bool countUp(const std::string &first, int index, std::string &serial) {
    unsigned long long value = std::stoull(first) + static_cast<unsigned>(index);
    serial = std::to_string(value);
    if (serial.size() < first.size()) serial.insert(0, first.size() - serial.size(), '0');
    return serial.size() < TESSARO_EPC_COMPONENT_SIZE;
}

bool isSerialNumber(const std::string &text) {
    return !text.empty() && text.size() < 20 && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

bool IdentityList::load(const CommissionPlan &plan, std::string &error) {
    if (plan.csv.empty()) {
        if (TessaroEpcParse(plan.first.c_str(), plan.filter, 0, &first_) != TESSARO_OK) {
            error = std::string("the first identity: ") + first_.reason;
            return false;
        }
        firstSerial_ = first_.components[first_.componentCount - 1];
        if (!isSerialNumber(firstSerial_)) {
            error = "the first serial '" + firstSerial_ + "' is no number to count up from";
            return false;
        }
        count_ = plan.count;
        TessaroEpcIdentity last;
        std::string serial;
        return count_ == 0 || at(count_ - 1, last, serial, error);
    }
    std::ifstream in(plan.csv);
    if (!in) {
        error = "cannot read " + plan.csv;
        return false;
    }
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string text = line.substr(0, line.find(','));
        if (text.empty() || (lineNumber == 1 && text.rfind("urn:", 0) != 0 && text[0] != '(')) continue;
        TessaroEpcIdentity identity;
        if (TessaroEpcParse(text.c_str(), plan.filter, plan.companyPrefixLength, &identity) != TESSARO_OK) {
            error = plan.csv + " line " + std::to_string(lineNumber) + ": " + identity.reason;
            return false;
        }
        list_.push_back(identity);
    }
    count_ = static_cast<int>(list_.size());
    if (plan.count && plan.count != count_) {
        error = plan.csv + " holds " + std::to_string(count_) + " identities, the run had " +
                std::to_string(plan.count);
        return false;
    }
    return true;
}

bool IdentityList::at(int index, TessaroEpcIdentity &identity, std::string &serial,
                      std::string &error) const {
    if (!list_.empty()) {
        identity = list_.at(static_cast<size_t>(index));
        serial = identity.components[identity.componentCount - 1];
        return true;
    }
    identity = first_;
    if (!countUp(firstSerial_, index, serial)) {
        error = "serial " + serial + " is too long";
        return false;
    }
    std::strcpy(identity.components[identity.componentCount - 1], serial.c_str());
    unsigned char epc[TESSARO_EPC_MAX_BYTES];
    if (TessaroEpcEncode(&identity, epc, sizeof epc, nullptr) != TESSARO_OK) {
        error = "serial " + serial + " does not fit " + TessaroEpcSchemeName(identity.scheme);
        return false;
    }
    return true;
}

void Station::show(const std::string &activity) {
    status_.activity = activity;
    const unsigned elapsed = link_.nowMs() - startMs_;
    status_.perMinute = elapsed ? result_.ok * 60000.0 / elapsed : 0;  // this run's pace
    observer_.status(status_);
}

bool Station::idle(unsigned sinceMs) const {
    return options_.idleTimeoutMs && link_.nowMs() - sinceMs >= options_.idleTimeoutMs;
}

bool Station::inventory(std::vector<SeenTag> &tags, std::string &error) {
    static unsigned char list[EPC_LIST_MAX_BYTES];
    unsigned char antenna = 0, noMask[2] = {};
    int totalLength = 0, tagCount = 0;
    const int rc = Inventory_G2(&link_.address, 4, 0, 0, noMask, 0, noMask, 0, 0, kTidWords, 1, 0, 0, 0, 0,
                                list, &antenna, &totalLength, &tagCount, link_.port);
    tags.clear();
    if (rc != kRoundDone && rc != kRoundOverflow && rc != kRoundNoTag) {
        error = commandFailure("inventory", rc, -1);
        return false;
    }
    if (rc == kRoundNoTag) return true;
    int offset = 0;
    TessaroTagRecord record;
    while (TessaroNextTagRecord(list, totalLength, &offset, &record) == 1) {
        SeenTag tag{labelHex(record.epc, static_cast<size_t>(record.epcLength)),
                    labelHex(record.tid, static_cast<size_t>(record.tidLength)),
                    std::vector<unsigned char>(record.tid, record.tid + record.tidLength)};
        bool again = false;
        for (const SeenTag &seen : tags) again = again || (seen.tid == tag.tid && seen.epc == tag.epc);
        if (!again) tags.push_back(tag);
    }
    return true;
}

bool Station::waitForLabel(SeenTag &tag) {
    const unsigned since = link_.nowMs();
    std::string refusedTid;
    for (;;) {
        if (link_.stopRequested && link_.stopRequested()) {
            result_.stopped = "stopped";
            return false;
        }
        if (idle(since)) {
            result_.stopped = "no label came for " + std::to_string(options_.idleTimeoutMs / 1000) + " s";
            return false;
        }
        std::vector<SeenTag> tags;
        std::string error;
        if (!inventory(tags, error)) {
            show(error);
        } else if (tags.empty()) {
            show("waiting for a label");
        } else if (tags.size() > 1) {
            show(std::to_string(tags.size()) + " tags in the field: take all but one away");
        } else if (tags[0].tid.empty()) {
            show("the label's TID cannot be read: take it away");
        } else if (const JournalLabel *done = journal_.commissionedTid(tags[0].tid)) {
            if (refusedTid != tags[0].tid) {
                refusedTid = tags[0].tid;
                ++result_.refused;
                ++status_.refused;
                observer_.note("refused: the label with TID " + tags[0].tid +
                               " was commissioned already, as serial " + done->serial);
            }
            show("label commissioned already (serial " + done->serial + "): take it away");
        } else {
            tag = tags[0];
            return true;
        }
        link_.sleepMs(kPollMs);
    }
}

bool Station::waitForDeparture(const std::string &tid) {
    const unsigned since = link_.nowMs();
    int roundsWithout = 0;
    while (roundsWithout < kRoundsToLeave) {
        if (link_.stopRequested && link_.stopRequested()) {
            result_.stopped = "stopped";
            return false;
        }
        if (idle(since)) {
            result_.stopped = "the last label stayed in the field for " +
                              std::to_string(options_.idleTimeoutMs / 1000) + " s";
            return false;
        }
        show("done: take the label away");
        std::vector<SeenTag> tags;
        std::string error;
        if (!inventory(tags, error)) {
            roundsWithout = 0;
        } else {
            bool present = false;
            for (const SeenTag &tag : tags) present = present || tag.tid == tid;
            roundsWithout = present ? 0 : roundsWithout + 1;
        }
        link_.sleepMs(kPollMs);
    }
    return true;
}

std::string Station::commission(const SeenTag &tag, const unsigned char *epc, int epcBytes) {
    const unsigned char maskAddress[2] = {0, 0};
    const int maskBits = static_cast<int>(tag.tidBytes.size()) * 8;
    const unsigned char *mask = tag.tidBytes.data();
    const unsigned char blank[4] = {};
    const int epcWords = epcBytes / 2;
    int errorCode = -1;

    // PC (the EPC's length in words, bits 15 to 11) and the EPC, from word 1.
    std::vector<unsigned char> words{static_cast<unsigned char>(epcWords << 3), 0};
    words.insert(words.end(), epc, epc + epcBytes);
    const int total = epcWords + 1;
    for (int at = 0; at < total; at += kWordsPerWrite) {
        const int count = total - at < kWordsPerWrite ? total - at : kWordsPerWrite;
        const int rc = WriteData_G2(&link_.address, nullptr, count, 255, kEpcBank, 1 + at, words.data() + 2 * at,
                                    blank, kTidBank, maskAddress, maskBits, mask, &errorCode, link_.port);
        if (rc != 0) return commandFailure(at ? "writing the EPC (part written)" : "writing the EPC", rc, errorCode);
    }
    if (options_.setPassword) {
        const int rc = WriteData_G2(&link_.address, nullptr, 2, 255, kReservedBank, 2, options_.accessPassword,
                                    blank, kTidBank, maskAddress, maskBits, mask, &errorCode, link_.port);
        if (rc != 0) return commandFailure("writing the access password (EPC written)", rc, errorCode);
    }
    const unsigned char *password = options_.setPassword ? options_.accessPassword : blank;
    if (options_.lock) {
        for (int target : {kLockEpc, kLockAccessPassword}) {
            const int rc = Lock_G2(&link_.address, nullptr, 255, target, kLockLocked, password, kTidBank,
                                   maskAddress, maskBits, mask, &errorCode, link_.port);
            if (rc != 0) return commandFailure("locking (EPC written)", rc, errorCode);
        }
    }

    // Read back what the label holds now.
    std::vector<unsigned char> read(2 * static_cast<size_t>(total));
    int rc = ReadData_G2(&link_.address, nullptr, 255, kEpcBank, 1, total, password, kTidBank, maskAddress,
                         maskBits, mask, read.data(), &errorCode, link_.port);
    if (rc != 0) return commandFailure("reading the EPC back", rc, errorCode);
    if (std::memcmp(read.data() + 2, epc, static_cast<size_t>(epcBytes)) != 0 || (read[0] >> 3) != epcWords)
        return "reading back: the label holds " + labelHex(read.data(), read.size()) + ", not the PC and EPC written";
    if (options_.setPassword) {
        unsigned char stored[4];
        rc = ReadData_G2(&link_.address, nullptr, 255, kReservedBank, 2, 2, password, kTidBank, maskAddress,
                         maskBits, mask, stored, &errorCode, link_.port);
        if (rc != 0) return commandFailure("reading the access password back", rc, errorCode);
        if (std::memcmp(stored, options_.accessPassword, 4) != 0) return "reading back: another access password";
    }
    return "";
}

StationResult Station::run() {
    startMs_ = link_.nowMs();
    result_ = StationResult();
    status_ = StationStatus();
    std::string error;
    // Labels an earlier run was stopped on: retired, and said so.
    for (const auto &[index, label] : journal_.labels()) {
        if (label.result == "ok") ++status_.done;
        if (label.result == "failed" || label.result == "interrupted") ++status_.failed;
        if (!label.result.empty()) continue;
        JournalLabel closed = label;
        closed.result = "interrupted";
        closed.reason = "the run stopped while this label was being written; its serial is retired";
        if (!journal_.done(closed, error)) {
            result_.stopped = error;
            return result_;
        }
        ++result_.interrupted;
        ++status_.failed;
        observer_.label(closed);
    }

    const int count = identities_.count();
    for (int index = journal_.nextIndex(); index < count; ++index) {
        TessaroEpcIdentity identity;
        JournalLabel label;
        label.index = index;
        if (!identities_.at(index, identity, label.serial, error)) {
            result_.stopped = error;
            return result_;
        }
        unsigned char epc[TESSARO_EPC_MAX_BYTES];
        int epcBytes = 0;
        TessaroEpcEncode(&identity, epc, sizeof epc, &epcBytes);
        label.epc = labelHex(epc, static_cast<size_t>(epcBytes));
        status_.serial = label.serial;
        status_.toGo = count - index;

        SeenTag tag;
        if (!waitForLabel(tag)) return result_;
        label.tid = tag.tid;
        label.time = utcNow();
        if (!journal_.begin(label, error)) {
            result_.stopped = error;
            return result_;
        }
        show("writing");
        label.reason = commission(tag, epc, epcBytes);
        label.result = label.reason.empty() ? "ok" : "failed";
        label.time = utcNow();
        if (!journal_.done(label, error)) {
            result_.stopped = error;
            return result_;
        }
        if (label.reason.empty()) {
            ++result_.ok;
            ++status_.done;
        } else {
            ++result_.failed;
            ++status_.failed;
        }
        status_.toGo = count - index - 1;
        observer_.label(label);
        if (index + 1 < count && !waitForDeparture(tag.tid)) return result_;
    }
    result_.complete = true;
    show("all " + std::to_string(count) + " identities used");
    return result_;
}

}  // namespace tessaro::cli
