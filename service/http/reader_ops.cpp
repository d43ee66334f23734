#include "reader_ops.h"

#include <algorithm>

#include "Tessaro.h"
#include "TessaroErrors.h"
#include "TessaroReading.h"
#include "TessaroRecords.h"
#include "reader_settings.h"
#include "settings_words.h"
#include "tag_words.h"

namespace tessaro::http {

using nlohmann::json;
using Ordered = nlohmann::ordered_json;

namespace {

// Statuses with which an inventory ends well: done, scan time ran out, no tag.
constexpr int kDone = 0x01, kScanOverflow = 0x02, kNoTag = 0xFB;
constexpr int kMaxEpcBytes = 62;  // 31 words: the most a selection carries

// A request field, checked. Each returns false with `error` set.
struct Fields {
    const json &request;
    std::string error;

    bool has(const char *name) const { return request.contains(name); }

    bool integer(const char *name, int low, int high, int &value, bool required = false) {
        if (!has(name)) {
            if (required) error = std::string("'") + name + "' is missing";
            return !required;
        }
        const json &v = request[name];
        if (!v.is_number_integer() || v.get<long long>() < low || v.get<long long>() > high) {
            error = std::string("'") + name + "' must be a whole number from " +
                    std::to_string(low) + " to " + std::to_string(high);
            return false;
        }
        value = static_cast<int>(v.get<long long>());
        return true;
    }

    bool hexBytes(const char *name, std::size_t minBytes, std::size_t maxBytes, bool words,
                  std::vector<unsigned char> &bytes, bool required = false) {
        if (!has(name)) {
            if (required) error = std::string("'") + name + "' is missing";
            return !required;
        }
        const json &v = request[name];
        if (!v.is_string() || !toolkit::parseHex(v.get<std::string>(), bytes) ||
            bytes.size() < minBytes || bytes.size() > maxBytes || (words && bytes.size() % 2)) {
            error = std::string("'") + name + "' must be hex, " +
                    (minBytes == maxBytes ? std::to_string(minBytes) + " bytes"
                                          : std::to_string(minBytes) + " to " +
                                                std::to_string(maxBytes) + " bytes") +
                    (words ? " in whole words (4 digits each)" : "");
            return false;
        }
        return true;
    }

    bool password(const char *name, unsigned char out[4], bool required = false) {
        std::vector<unsigned char> bytes(4, 0);
        if (!hexBytes(name, 4, 4, false, bytes, required)) return false;
        std::copy(bytes.begin(), bytes.begin() + 4, out);
        return true;
    }

    bool choice(const char *name, const std::vector<std::string> &names, int &index,
                bool required = true) {
        if (!has(name)) {
            if (required) error = std::string("'") + name + "' is missing";
            return !required;
        }
        const json &v = request[name];
        const auto at = v.is_string() ? std::find(names.begin(), names.end(), v.get<std::string>())
                                      : names.end();
        if (at == names.end()) {
            std::string list;
            for (const std::string &n : names) list += (list.empty() ? "" : ", ") + n;
            error = std::string("'") + name + "' must be one of " + list;
            return false;
        }
        index = static_cast<int>(at - names.begin());
        return true;
    }
};

const std::vector<std::string> kBanks = {"reserved", "epc", "tid", "user"};
const std::vector<std::string> kLockTargets = {"kill-password", "access-password", "epc", "tid", "user"};
const std::vector<std::string> kLockActions = {"unlock", "permaunlock", "lock", "permalock"};

// No mask: the tag is chosen by its EPC.
const unsigned char kNoMaskAddress[2] = {0, 0};
unsigned char noMaskData[32] = {};

bool isCommFailure(int code) { return code == ERR_COMM || code == ERR_PORT_CLOSED; }

}  // namespace

Answer badRequest(const std::string &message, int status) {
    return {status, Ordered{{"error", message}}};
}

Answer libraryError(const std::string &what, int code, int tagError) {
    const int status = isCommFailure(code)                                     ? 503
                       : code == ERR_PARAMETER || code == ERR_FRAME_TOO_LONG ? 400
                                                                               : 409;
    Answer answer{status, Ordered{{"error", what + " failed: " + TessaroReturnCodeText(code)},
                                  {"code", code},
                                  {"text", TessaroReturnCodeText(code)}}};
    if (code == TAG_ERROR) {
        answer.body["tagError"] = tagError;
        answer.body["tagErrorText"] = TessaroTagErrorText(tagError);
    }
    return answer;
}

std::string unknownFields(const json &request, std::initializer_list<const char *> allowed) {
    if (!request.is_object()) return "the body must be a JSON object";
    for (const auto &item : request.items()) {
        const std::string &key = item.key();  // a name, not a binding: lambdas capture it in C++17
        if (std::none_of(allowed.begin(), allowed.end(), [&](const char *a) { return key == a; }))
            return "unknown field '" + key + "'";
    }
    return {};
}

Answer readerInfo(int port) {
    unsigned char address = 0xFF;
    toolkit::Fields fields;
    const int rc = toolkit::describeReader(&address, port, fields);
    if (rc != 0) return libraryError("reading the reader's information", rc);
    Ordered list = Ordered::array();
    for (const auto &field : fields.entries())
        list.push_back({{"key", field.key}, {"label", field.label}, {"text", field.text},
                        {"value", field.value}});
    return {200, Ordered{{"fields", list}, {"text", fields.lines()}}};
}

Answer readerSettings(int port) {
    unsigned char address = 0xFF;
    toolkit::ReaderInformation info;
    const int rc = info.read(&address, port);
    if (rc != 0) return libraryError("reading the reader's settings", rc);
    toolkit::Fields fields;
    toolkit::addMainSettings(fields, info);
    Ordered settings = Ordered::object();
    for (const auto &field : fields.entries())
        if (field.key != "workMode" && field.key != "commType") settings[field.key] = field.value;
    Ordered regions = Ordered::array();
    for (const toolkit::RegionPlan &plan : toolkit::regionPlans()) {
        Ordered channels = Ordered::array();
        for (const std::string &channel : plan.channels)
            channels.push_back(std::stod(channel.substr(0, channel.find(' '))));
        regions.push_back({{"code", plan.code}, {"name", plan.name},
                           {"description", plan.description}, {"channelsMHz", channels}});
    }
    return {200, Ordered{{"settings", settings}, {"regions", regions}}};
}

Answer changeSettings(int port, const json &request) {
    if (const std::string bad =
            unknownFields(request, {"power", "region", "antennas", "scanTime", "beep"});
        !bad.empty())
        return badRequest(bad);
    Fields f{request, {}};
    int power = -1, scanTime = -1;
    if (!f.integer("power", 0, 30, power) || !f.integer("scanTime", 300, 25500, scanTime))
        return badRequest(f.error);
    if (scanTime >= 0 && scanTime % 100) return badRequest("'scanTime' goes in steps of 100 ms");

    int regionCode = 0, lowest = 0, highest = 0;
    if (f.has("region")) {
        const json &region = request["region"];
        if (const std::string bad = unknownFields(region, {"name", "code", "lowestChannel", "highestChannel"});
            !bad.empty())
            return badRequest("region: " + bad);
        const toolkit::RegionPlan *plan = nullptr;
        if (region.contains("name") && region["name"].is_string())
            plan = toolkit::findRegion(region["name"].get<std::string>());
        else if (region.contains("code") && region["code"].is_number_integer())
            plan = toolkit::findRegion(std::to_string(region["code"].get<long long>()));
        if (!plan) return badRequest("'region' needs a known 'name' (us, eu, china, korea, japan) or 'code' (1 to 5)");
        const int count = static_cast<int>(plan->channels.size());
        Fields r{region, {}};
        lowest = 0, highest = count - 1;
        if (!r.integer("lowestChannel", 0, count - 1, lowest) ||
            !r.integer("highestChannel", 0, count - 1, highest))
            return badRequest("region: " + r.error);
        if (lowest > highest) return badRequest("region: the lowest channel comes first");
        regionCode = plan->code;
    }
    int antennaMask = 0;
    if (f.has("antennas")) {
        const json &list = request["antennas"];
        if (!list.is_array() || list.empty() || list.size() > 4)
            return badRequest("'antennas' must be a list of antenna numbers 1 to 4");
        for (const json &number : list) {
            if (!number.is_number_integer() || number.get<long long>() < 1 || number.get<long long>() > 4)
                return badRequest("'antennas' must be a list of antenna numbers 1 to 4");
            antennaMask |= 1 << (number.get<int>() - 1);
        }
    }
    if (f.has("beep") && !request["beep"].is_boolean()) return badRequest("'beep' must be true or false");

    // Everything checked: now send, in the order `tessaro config set` would.
    unsigned char address = 0xFF;
    Ordered changed = Ordered::array();
    const auto send = [&](const char *name, int rc) {
        if (rc == 0) changed.push_back(name);
        return rc;
    };
    int rc = 0;
    if (regionCode && (rc = send("region", SetRegionAndChannel(&address, regionCode, lowest, highest, port))))
        return libraryError("setting the region", rc);
    if (power >= 0 && (rc = send("power", SetRfPower(&address, power, port))))
        return libraryError("setting the power", rc);
    if (scanTime >= 0 && (rc = send("scanTime", SetInventoryScanTime(&address, scanTime / 100, port))))
        return libraryError("setting the scan time", rc);
    if (antennaMask && (rc = send("antennas", SetAntennaMultiplexing(&address, antennaMask, port))))
        return libraryError("setting the antennas", rc);
    if (f.has("beep") &&
        (rc = send("beep", SetBeepNotification(&address, request["beep"].get<bool>() ? 1 : 0, port))))
        return libraryError("setting the beep", rc);
    // The settings as they are now (the library learns the new scan time here).
    Answer now = readerSettings(port);
    if (now.status == 200) now.body["changed"] = changed;
    return now;
}

Answer inventory(int port, const json &request) {
    if (const std::string bad = unknownFields(request, {"q", "session", "tid"}); !bad.empty())
        return badRequest(bad);
    Fields f{request, {}};
    int q = 4, session = 0;
    if (!f.integer("q", 0, 15, q) || !f.integer("session", 0, 3, session)) return badRequest(f.error);
    if (f.has("tid") && !request["tid"].is_boolean()) return badRequest("'tid' must be true or false");
    const bool tid = f.has("tid") && request["tid"].get<bool>();
    // The continuous reading's round, once, with these choices.
    TessaroReadingOptions o;
    TessaroReadingDefaults(&o);
    unsigned char address = o.address, antenna = 0;
    static thread_local unsigned char list[EPC_LIST_MAX_BYTES];
    int totalLength = 0, tagCount = 0;
    const int rc = Inventory_G2(&address, q, session, o.maskMem, o.maskAddress, 0, o.maskData,
                                0, 0, tid ? 6 : 0, tid ? 1 : 0, o.target, o.antenna, o.scanTime,
                                o.targetFlag, list, &antenna, &totalLength, &tagCount, port);
    if (rc != kDone && rc != kScanOverflow && rc != kNoTag) return libraryError("inventory", rc);
    Ordered tags = Ordered::array();
    int offset = 0;
    TessaroTagRecord record;
    while (rc != kNoTag && TessaroNextTagRecord(list, totalLength, &offset, &record) == 1) {
        Ordered tag{{"epc", toolkit::hex(record.epc, record.epcLength)},
                    {"antenna", record.antenna},
                    {"rssi", record.rssi}};
        if (record.tidLength > 0) tag["tid"] = toolkit::hex(record.tid, record.tidLength);
        tags.push_back(tag);
    }
    return {200, Ordered{{"code", rc}, {"text", TessaroReturnCodeText(rc)}, {"tags", tags}}};
}

Answer tagOperation(int port, const std::string &epcText, const std::string &operation,
                    const json &request) {
    std::vector<unsigned char> epc;
    if (!toolkit::parseHex(epcText, epc) || epc.empty() || epc.size() % 2 ||
        static_cast<int>(epc.size()) > kMaxEpcBytes)
        return badRequest("the tag's EPC in the path must be hex, 1 to 31 words", 404);
    const int epcWords = static_cast<int>(epc.size() / 2);
    unsigned char address = 0xFF;
    unsigned char password[4] = {};
    int errorCode = -1;
    Fields f{request, {}};

    if (operation == "read") {
        if (const std::string bad = unknownFields(request, {"bank", "word", "count", "password"}); !bad.empty())
            return badRequest(bad);
        int bank = 0, word = 0, count = 1;
        if (!f.choice("bank", kBanks, bank) || !f.integer("word", 0, 0xFFFF, word) ||
            !f.integer("count", 1, 120, count) || !f.password("password", password))
            return badRequest(f.error);
        unsigned char data[240] = {};
        const unsigned char pointer[2] = {static_cast<unsigned char>(word >> 8),
                                          static_cast<unsigned char>(word)};
        const int rc = ExtReadData_G2(&address, epc.data(), epcWords, bank, pointer, count, password,
                                      0, kNoMaskAddress, 0, noMaskData, data, &errorCode, port);
        if (rc != 0) return libraryError("read", rc, errorCode);
        return {200, Ordered{{"epc", toolkit::hex(epc.data(), epcWords * 2)},
                             {"bank", kBanks[static_cast<std::size_t>(bank)]},
                             {"word", word},
                             {"count", count},
                             {"data", toolkit::hex(data, 2 * count)}}};
    }
    if (operation == "write" || operation == "write-epc") {
        int bank = 1, word = 0;
        std::vector<unsigned char> data;
        if (operation == "write") {
            if (const std::string bad = unknownFields(request, {"bank", "word", "data", "password"}); !bad.empty())
                return badRequest(bad);
            if (!f.choice("bank", kBanks, bank) || !f.integer("word", 0, 0xFFFF, word) ||
                !f.hexBytes("data", 2, 240, true, data, true) || !f.password("password", password))
                return badRequest(f.error);
        } else {
            if (const std::string bad = unknownFields(request, {"newEpc", "password"}); !bad.empty())
                return badRequest(bad);
            std::vector<unsigned char> newEpc;
            if (!f.hexBytes("newEpc", 2, kMaxEpcBytes, true, newEpc, true) || !f.password("password", password))
                return badRequest(f.error);
            // The EPC starts at word 2 of the EPC bank; a new length changes
            // the length bits of the PC word (word 1) too, the rest of it kept.
            data = newEpc;
            word = 2;
            if (newEpc.size() != epc.size()) {
                unsigned char pc[2] = {};
                const unsigned char pcPointer[2] = {0, 1};
                const int rc = ExtReadData_G2(&address, epc.data(), epcWords, 1, pcPointer, 1, password, 0,
                                              kNoMaskAddress, 0, noMaskData, pc, &errorCode, port);
                if (rc != 0) return libraryError("reading the PC word", rc, errorCode);
                const int newWords = static_cast<int>(newEpc.size() / 2);
                pc[0] = static_cast<unsigned char>((pc[0] & 0x07) | newWords << 3);
                data.insert(data.begin(), pc, pc + 2);
                word = 1;
            }
        }
        // As many words a command as its frame holds beside the selection.
        const int step = std::max(1, (47 - 2 * epcWords) / 2);
        const int total = static_cast<int>(data.size() / 2);
        int written = 0, rc = 0;
        while (written < total && rc == 0) {
            const int words = std::min(step, total - written);
            const int at = word + written;
            const unsigned char pointer[2] = {static_cast<unsigned char>(at >> 8),
                                              static_cast<unsigned char>(at)};
            rc = ExtWriteData_G2(&address, epc.data(), words, epcWords, bank, pointer,
                                 data.data() + 2 * written, password, 0, kNoMaskAddress, 0,
                                 noMaskData, &errorCode, port);
            if (rc == 0) written += words;
        }
        if (rc != 0) {
            Answer error = libraryError(operation, rc, errorCode);
            error.body["wordsWritten"] = written;
            return error;
        }
        Ordered done{{"epc", toolkit::hex(epc.data(), epcWords * 2)}, {"wordsWritten", written}};
        if (operation == "write-epc") done["newEpc"] = request["newEpc"].get<std::string>();
        return {200, done};
    }
    if (operation == "lock") {
        if (const std::string bad = unknownFields(request, {"target", "action", "password"}); !bad.empty())
            return badRequest(bad);
        int target = 0, action = 0;
        if (!f.choice("target", kLockTargets, target) || !f.choice("action", kLockActions, action) ||
            !f.password("password", password))
            return badRequest(f.error);
        const int rc = Lock_G2(&address, epc.data(), epcWords, target, action, password, 0,
                               kNoMaskAddress, 0, noMaskData, &errorCode, port);
        if (rc != 0) return libraryError("lock", rc, errorCode);
        return {200, Ordered{{"epc", toolkit::hex(epc.data(), epcWords * 2)},
                             {"target", kLockTargets[static_cast<std::size_t>(target)]},
                             {"action", kLockActions[static_cast<std::size_t>(action)]}}};
    }
    if (operation == "kill") {
        if (const std::string bad = unknownFields(request, {"killPassword"}); !bad.empty())
            return badRequest(bad);
        if (!f.password("killPassword", password, true)) return badRequest(f.error);
        const int rc = KillTag_G2(&address, epc.data(), epcWords, password, 0, kNoMaskAddress, 0,
                                  noMaskData, &errorCode, port);
        if (rc != 0) return libraryError("kill", rc, errorCode);
        return {200, Ordered{{"epc", toolkit::hex(epc.data(), epcWords * 2)}, {"killed", true}}};
    }
    return badRequest("no tag operation '" + operation + "'; there are read, write, write-epc, lock and kill", 404);
}

}  // namespace tessaro::http
