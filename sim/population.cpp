#include "population.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

namespace tessaro::sim {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool parseHex(const std::string &text, Bytes &out) {
    if (text.size() % 2 != 0) return false;
    out.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        out.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

bool parseInt(const std::string &text, long low, long high, long &value) {
    if (text.empty()) return false;
    char *end = nullptr;
    value = std::strtol(text.c_str(), &end, 0);
    return *end == '\0' && value >= low && value <= high;
}

std::vector<std::uint16_t> wordsOf(const Bytes &bytes) {
    std::vector<std::uint16_t> words;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        words.push_back(static_cast<std::uint16_t>((bytes[i] << 8) | bytes[i + 1]));
    return words;
}

// A TID that tells tags apart when the population gives none: an Impinj
// Monza R6 header and a serial number hashed from the EPC.
Bytes defaultTid(const Bytes &epc) {
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (std::uint8_t b : epc) hash = (hash ^ b) * 1099511628211ull;
    Bytes tid = {0xE2, 0x80, 0x11, 0x60, 0x20, 0x00};
    for (int i = 0; i < 6; ++i) tid.push_back(static_cast<std::uint8_t>(hash >> (8 * i)));
    return tid;
}

bool parseLockAction(const std::string &text, LockBits &lockBits) {
    static const char *const kNames[] = {"unlocked", "permaunlocked", "locked", "permalocked"};
    for (int action = 0; action < 4; ++action)
        if (text == kNames[action]) {
            lockBits = {(action & 2) != 0, (action & 1) != 0};
            return true;
        }
    return false;
}

// "18-25,40": marks the listed bytes locked.
bool parseByteList(const std::string &text, std::vector<std::uint8_t> &locked) {
    std::stringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        const std::size_t dash = item.find('-');
        long first = 0, last = 0;
        const long top = static_cast<long>(locked.size()) - 1;
        if (!parseInt(item.substr(0, dash), 0, top, first)) return false;
        last = first;
        if (dash != std::string::npos && !parseInt(item.substr(dash + 1), first, top, last)) return false;
        for (long i = first; i <= last; ++i) locked[static_cast<std::size_t>(i)] = 1;
    }
    return true;
}

using Fields = std::vector<std::pair<std::string, std::string>>;

// Looks a key up once; every key must be used, so that a typo is an error.
class KeyReader {
public:
    explicit KeyReader(const Fields &fields) : fields_(fields), used_(fields.size(), false) {}
    const std::string *get(const std::string &key) {
        for (std::size_t i = 0; i < fields_.size(); ++i)
            if (fields_[i].first == key) {
                used_[i] = true;
                return &fields_[i].second;
            }
        return nullptr;
    }
    const std::string *unused() const {
        for (std::size_t i = 0; i < fields_.size(); ++i)
            if (!used_[i]) return &fields_[i].first;
        return nullptr;
    }

private:
    const Fields &fields_;
    std::vector<bool> used_;
};

bool fail(std::string &error, const std::string &message) {
    error = message;
    return false;
}

bool parsePlacement(KeyReader &keys, FieldTag &tag, std::string &error) {
    long value = 0;
    if (const std::string *text = keys.get("antenna")) {
        if (!parseInt(*text, 0, 4, value)) return fail(error, "antenna: expected 0 to 4");
        tag.antenna = static_cast<int>(value);
    }
    if (const std::string *text = keys.get("rssi")) {
        if (!parseInt(*text, -127, 0, value)) return fail(error, "rssi: expected -127 to 0 (dBm)");
        tag.rssi = static_cast<int>(value);
    }
    if (const std::string *text = keys.get("arrive")) {
        if (!parseInt(*text, 0, 0x7FFFFFFF, value)) return fail(error, "arrive: expected 0 or more (ms)");
        tag.arriveMs = static_cast<std::uint64_t>(value);
    }
    if (const std::string *text = keys.get("leave")) {
        if (!parseInt(*text, 1, 0x7FFFFFFF, value) || static_cast<std::uint64_t>(value) <= tag.arriveMs)
            return fail(error, "leave: expected a time (ms) after arrive");
        tag.leaveMs = static_cast<std::uint64_t>(value);
    }
    return true;
}

bool parseFlag(KeyReader &keys, const char *key, bool &flag, std::string &error) {
    const std::string *text = keys.get(key);
    if (!text) return true;
    if (*text != "0" && *text != "1") return fail(error, std::string(key) + ": expected 0 or 1");
    flag = *text == "1";
    return true;
}

bool parsePassword(KeyReader &keys, const char *key, std::uint32_t &password, std::string &error) {
    const std::string *text = keys.get(key);
    if (!text) return true;
    Bytes bytes;
    if (!parseHex(*text, bytes) || bytes.size() != 4)
        return fail(error, std::string(key) + ": expected 8 hex digits");
    password = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
               (std::uint32_t{bytes[2]} << 8) | bytes[3];
    return true;
}

bool parseWordsKey(KeyReader &keys, const char *key, unsigned maxWords, Bytes &bytes, bool &given,
                   std::string &error) {
    const std::string *text = keys.get(key);
    given = text != nullptr;
    if (!text) return true;
    if (!parseHex(*text, bytes) || bytes.size() % 2 != 0 || bytes.empty() || bytes.size() > 2 * maxWords)
        return fail(error, std::string(key) + ": expected 1 to " + std::to_string(maxWords) +
                               " words of hex digits (4 per word)");
    return true;
}

bool parseGen2(KeyReader &keys, FieldTag &tag, std::string &error) {
    Gen2Tag &gen2 = tag.gen2;
    Bytes epc, tid, user;
    bool given = false;
    if (!parseWordsKey(keys, "epc", 31, epc, given, error)) return false;
    if (!given) return fail(error, "a gen2 tag needs epc=");
    const unsigned epcWords = static_cast<unsigned>(epc.size() / 2);
    long value = 0;
    unsigned capacity = epcWords > 6 ? epcWords : 6;
    if (const std::string *text = keys.get("epcwords")) {
        if (!parseInt(*text, epcWords, 31, value))
            return fail(error, "epcwords: expected the EPC's length in words up to 31");
        capacity = static_cast<unsigned>(value);
    }
    gen2.bank[kEpcBank].assign(2 + capacity, 0);
    gen2.setEpc(epc.data(), epcWords);

    if (!parseWordsKey(keys, "tid", 32, tid, given, error)) return false;
    gen2.bank[kTidBank] = wordsOf(given ? tid : defaultTid(epc));

    if (!parseWordsKey(keys, "user", 256, user, given, error)) return false;
    gen2.bank[kUserBank] = wordsOf(user);
    if (const std::string *text = keys.get("userwords")) {
        if (!parseInt(*text, static_cast<long>(user.size() / 2), 256, value))
            return fail(error, "userwords: expected 0 to 256, and room for user=");
        gen2.bank[kUserBank].resize(static_cast<std::size_t>(value), 0);
    }

    std::uint32_t kill = 0, access = 0;
    if (!parsePassword(keys, "kill", kill, error) || !parsePassword(keys, "access", access, error))
        return false;
    gen2.setPasswords(kill, access);

    static const char *const kLockKeys[] = {"lock-kill", "lock-access", "lock-epc", "lock-tid", "lock-user"};
    gen2.locks[TESSARO_SIM_LOCK_TID] = {true, true};  // TIDs leave the factory permalocked
    for (int i = 0; i < 5; ++i)
        if (const std::string *text = keys.get(kLockKeys[i]))
            if (!parseLockAction(*text, gen2.locks[i]))
                return fail(error, std::string(kLockKeys[i]) +
                                       ": expected unlocked, permaunlocked, locked or permalocked");

    if (const std::string *text = keys.get("blocklock")) {
        Bytes block;
        if (!parseHex(*text, block) || block.size() != 1) return fail(error, "blocklock: expected 2 hex digits");
        gen2.userBlockLocks = block[0];
    }
    if (const std::string *text = keys.get("qt")) {
        Bytes qt;
        if (!parseHex(*text, qt) || qt.size() != 1) return fail(error, "qt: expected 2 hex digits");
        gen2.qtSupported = true;
        gen2.qt = qt[0];
    }
    return parseFlag(keys, "eas", gen2.eas, error) && parseFlag(keys, "hidden", gen2.hidden, error) &&
           parseFlag(keys, "killed", gen2.killed, error);
}

bool parse6b(KeyReader &keys, FieldTag &tag, std::string &error) {
    Iso6bTag &iso6b = tag.iso6b;
    Bytes uid, data;
    const std::string *text = keys.get("uid");
    if (!text) return fail(error, "a 6b tag needs uid=");
    if (!parseHex(*text, uid) || uid.size() != kIso6bIdBytes) return fail(error, "uid: expected 16 hex digits");
    long size = kIso6bDefaultSize;
    if ((text = keys.get("size")) && !parseInt(*text, kIso6bFactoryBytes, 256, size))
        return fail(error, "size: expected 18 to 256 bytes");
    iso6b.memory.assign(static_cast<std::size_t>(size), 0);
    std::copy(uid.begin(), uid.end(), iso6b.memory.begin());
    if ((text = keys.get("data"))) {
        if (!parseHex(*text, data) || data.size() > iso6b.memory.size() - kIso6bFactoryBytes)
            return fail(error, "data: expected hex bytes that fit from address 18 on");
        std::copy(data.begin(), data.end(), iso6b.memory.begin() + kIso6bFactoryBytes);
    }
    iso6b.locked.assign(iso6b.memory.size(), 0);
    std::fill(iso6b.locked.begin(), iso6b.locked.begin() + kIso6bFactoryBytes, 1);
    if ((text = keys.get("lock")) && !parseByteList(*text, iso6b.locked))
        return fail(error, "lock: expected addresses and ranges such as 18-25,40");
    return true;
}

}  // namespace

bool parseTagLine(const std::string &line, FieldTag &tag, bool &empty, std::string &error) {
    std::stringstream words(line.substr(0, line.find('#')));
    std::string kind;
    empty = !(words >> kind);
    if (empty) return true;

    Fields fields;
    std::string word;
    while (words >> word) {
        const std::size_t equals = word.find('=');
        if (equals == std::string::npos || equals == 0) return fail(error, "expected key=value, got '" + word + "'");
        fields.emplace_back(word.substr(0, equals), word.substr(equals + 1));
    }
    KeyReader keys(fields);
    tag = FieldTag{};
    if (kind == "gen2") {
        tag.kind = TESSARO_SIM_GEN2;
        if (!parseGen2(keys, tag, error)) return false;
    } else if (kind == "6b") {
        tag.kind = TESSARO_SIM_6B;
        if (!parse6b(keys, tag, error)) return false;
    } else {
        return fail(error, "unknown tag kind '" + kind + "' (gen2 or 6b)");
    }
    if (!parsePlacement(keys, tag, error)) return false;
    if (const std::string *key = keys.unused()) return fail(error, "unknown or repeated key '" + *key + "'");
    return true;
}

bool parsePopulation(const std::string &text, std::vector<FieldTag> &tags, std::string &error) {
    std::stringstream lines(text);
    std::string line;
    std::vector<FieldTag> parsed;
    for (int number = 1; std::getline(lines, line); ++number) {
        FieldTag tag;
        bool empty = false;
        std::string why;
        if (!parseTagLine(line, tag, empty, why)) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
        if (!empty) parsed.push_back(std::move(tag));
    }
    tags.insert(tags.end(), parsed.begin(), parsed.end());
    return true;
}

}  // namespace tessaro::sim
