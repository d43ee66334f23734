// tessaro config get | set NAME VALUE: every reader setting by name, in the
// units a person uses (dBm, ms, MHz, antenna numbers, names).
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <set>
#include <sstream>

#include "Tessaro.h"
#include "cli.h"
#include "gen2_options.h"
#include "reader_settings.h"
#include "session.h"
#include "settings_words.h"
#include "usage.h"

namespace tessaro::cli {

namespace {

// A prepared set command: the value is parsed and checked before the reader
// is opened, and this sends it.
using Send = std::function<int(unsigned char *address, int port)>;

struct Setting {
    const char *name;
    const char *value;  // how to write the value
    std::function<Send(const std::string &value)> prepare;
};

int number(const std::string &value, int low, int high) {
    return parseNumber("VALUE", value, low, high);
}

bool onOff(const std::string &value) {
    if (value == "on" || value == "1") return true;
    if (value == "off" || value == "0") return false;
    throw CLI::ValidationError("VALUE", "'" + value + "' is not on or off");
}

// "a,b,c" -> numbers, each 0 to 255, exactly `count` of them.
std::vector<int> byteList(const std::string &value, size_t count) {
    std::vector<int> bytes;
    std::stringstream stream(value);
    std::string item;
    while (std::getline(stream, item, ',')) bytes.push_back(number(item, 0, 255));
    if (bytes.size() != count)
        throw CLI::ValidationError("VALUE", "give " + std::to_string(count) +
                                                " numbers 0 to 255, separated by commas");
    return bytes;
}

// "us", "us:0-49" (channel indexes) or "us:902.75-915.25" (MHz).
Send prepareRegion(const std::string &value) {
    const size_t colon = value.find(':');
    const RegionPlan *plan = findRegion(value.substr(0, colon));
    if (!plan) throw CLI::ValidationError("VALUE", "unknown region; tessaro region list names them");
    const int count = static_cast<int>(plan->channels.size());
    int low = 0, high = count - 1;
    if (colon != std::string::npos) {
        const std::string range = value.substr(colon + 1);
        const size_t dash = range.find('-');
        if (dash == std::string::npos)
            throw CLI::ValidationError("VALUE", "write the range as LOW-HIGH, e.g. us:0-24");
        const std::string from = range.substr(0, dash), to = range.substr(dash + 1);
        if (range.find('.') != std::string::npos) {
            // MHz: the channels whose frequencies match the two ends.
            low = high = -1;
            for (int i = 0; i < count; ++i) {
                const std::string mhz = plan->channels[static_cast<size_t>(i)];
                if (std::stod(mhz) == std::stod(from)) low = i;
                if (std::stod(mhz) == std::stod(to)) high = i;
            }
            if (low < 0 || high < 0)
                throw CLI::ValidationError("VALUE", "both ends must be channel frequencies of the "
                                                    "region; tessaro region list " +
                                                        std::string(plan->name) + " shows them");
        } else {
            low = number(from, 0, count - 1);
            high = number(to, 0, count - 1);
        }
        if (low > high) throw CLI::ValidationError("VALUE", "the lowest channel comes first");
    }
    const int code = plan->code;
    return [code, low, high](unsigned char *address, int port) {
        return SetRegionAndChannel(address, code, low, high, port);
    };
}

// "now" or "2024-05-01T12:30:00" (also with a blank for the T).
Send prepareClock(const std::string &value) {
    int year, month, day, hour, minute, second;
    if (value == "now") {
        const std::time_t now = std::time(nullptr);
        const std::tm *local = std::localtime(&now);
        year = local->tm_year + 1900, month = local->tm_mon + 1, day = local->tm_mday;
        hour = local->tm_hour, minute = local->tm_min, second = local->tm_sec;
    } else if (std::sscanf(value.c_str(), "%4d-%2d-%2d%*1[T ]%2d:%2d:%2d", &year, &month, &day,
                           &hour, &minute, &second) != 6 ||
               year < 2000 || year > 2099 || month < 1 || month > 12 || day < 1 || day > 31 ||
               hour > 23 || minute > 59 || second > 59 || hour < 0 || minute < 0 || second < 0) {
        throw CLI::ValidationError("VALUE", "write the time as now or YYYY-MM-DDTHH:MM:SS (2000 to 2099)");
    }
    const unsigned char clock[6] = {
        static_cast<unsigned char>(year - 2000), static_cast<unsigned char>(month),
        static_cast<unsigned char>(day),         static_cast<unsigned char>(hour),
        static_cast<unsigned char>(minute),      static_cast<unsigned char>(second)};
    return [clock](unsigned char *address, int port) { return SetReal_timeClock(address, clock, port); };
}

Send prepareMask(const std::string &value) {
    MaskArg mask;
    if (value != "none") {
        mask.text = value;
        mask.check();
    }
    const MaskBlock block = mask.block;
    return [block](unsigned char *address, int port) {
        return SetMask(address, block.bank, block.address, block.bits, block.data, port);
    };
}

// A setting whose value is one byte in the given range, sent by `send`.
template <typename Function>
Setting byteSetting(const char *name, const char *value, int low, int high, Function send) {
    return {name, value, [low, high, send](const std::string &text) -> Send {
                const int setting = number(text, low, high);
                return [send, setting](unsigned char *address, int port) { return send(address, setting, port); };
            }};
}

const std::vector<Setting> &settings() {
    static const std::vector<Setting> table = {
        {"region", "us | eu | china | korea | japan | 1-5, optionally :LOW-HIGH channels or MHz",
         prepareRegion},
        byteSetting("power", "0 to 30 (dBm)", 0, 30, SetRfPower),
        {"scan-time", "300 to 25500 (ms, in steps of 100)",
         [](const std::string &value) -> Send {
             const int ms = number(value, 300, 25500);
             if (ms % 100) throw CLI::ValidationError("VALUE", "the scan time goes in steps of 100 ms");
             return [ms](unsigned char *address, int port) {
                 return SetInventoryScanTime(address, ms / 100, port);
             };
         }},
        {"antennas", "1,2,3,4 or all",
         [](const std::string &value) -> Send {
             const int mask = parseAntennas(value);
             if (mask < 0) throw CLI::ValidationError("VALUE", "antenna numbers 1 to 4, e.g. 1,3, or all");
             return [mask](unsigned char *address, int port) {
                 return SetAntennaMultiplexing(address, mask, port);
             };
         }},
        {"beep", "on | off",
         [](const std::string &value) -> Send {
             const int on = onOff(value);
             return [on](unsigned char *address, int port) { return SetBeepNotification(address, on, port); };
         }},
        {"work-mode", "answer | active | trigger",
         [](const std::string &value) -> Send {
             const int mode = parseWorkMode(value);
             if (mode < 0) throw CLI::ValidationError("VALUE", "the work modes are answer, active and trigger");
             return [mode](unsigned char *address, int port) { return SetWorkMode(address, mode, port); };
         }},
        {"buzzer", "three numbers 0 to 255: ON,OFF,TIMES (the reader's units)",
         [](const std::string &value) -> Send {
             const std::vector<int> b = byteList(value, 3);
             return [b](unsigned char *address, int port) {
                 return BuzzerAndLEDControl(address, b[0], b[1], b[2], port);
             };
         }},
        {"clock", "now | YYYY-MM-DDTHH:MM:SS", prepareClock},
        byteSetting("relay", "0 to 255", 0, 255, SetRelay),
        byteSetting("gpio", "0 to 255 (the output lines)", 0, 255, SetGPIO),
        byteSetting("address", "0 to 254 (the reader's new address)", 0, 254, SetAddress),
        {"mask", "none | BANK:BITADDRESS:HEX (the inventory mask of the active mode)", prepareMask},
        byteSetting("eas-sensitivity", "0 to 255", 0, 255, SetEASSensitivity),
        byteSetting("inventory-interval", "0 to 255", 0, 255, SetInventoryInterval),
        byteSetting("trigger-time", "0 to 255", 0, 255, SetTriggerTime),
        byteSetting("tag-type", "0 to 255", 0, 255, SelectTagType),
        byteSetting("rev-delay", "0 to 255", 0, 255, SetRevDelay),
        byteSetting("comm-type", "0 to 255", 0, 255, SetCommType),
        byteSetting("pulse-output", "0 to 255", 0, 255, SetNotificationPulseOutput),
        {"save-length", "16 | 62 (bytes of each ID the tag buffer keeps)",
         [](const std::string &value) -> Send {
             if (value != "16" && value != "62") throw CLI::ValidationError("VALUE", "16 or 62");
             const int code = value == "62";
             return [code](unsigned char *address, int port) { return SetSaveLen(address, code, port); };
         }},
        {"serial-number", "8 hex digits",
         [](const std::string &value) -> Send {
             const std::vector<unsigned char> serial = parseHexArg("VALUE", value, 4);
             return [serial](unsigned char *address, int port) { return SetSeriaNo(address, serial.data(), port); };
         }},
        {"tid-parameter", "two numbers 0 to 255: FIRST,SECOND",
         [](const std::string &value) -> Send {
             const std::vector<int> b = byteList(value, 2);
             return [b](unsigned char *address, int port) { return SetTIDParameter(address, b[0], b[1], port); };
         }},
        {"auto-response", "two numbers 0 to 255: FIRST,SECOND",
         [](const std::string &value) -> Send {
             const std::vector<int> b = byteList(value, 2);
             return [b](unsigned char *address, int port) {
                 return SetResponsePamametersofAuto_runningMode(address, b[0], b[1], port);
             };
         }},
        {"work-time", "two numbers 0 to 255: FIRST,SECOND",
         [](const std::string &value) -> Send {
             const std::vector<int> b = byteList(value, 2);
             return [b](unsigned char *address, int port) { return SetWorkTime(address, b[0], b[1], port); };
         }},
        {"custom-function", "0 to 255",
         [](const std::string &value) -> Send {
             const unsigned char function = static_cast<unsigned char>(number(value, 0, 255));
             return [function](unsigned char *address, int port) {
                 unsigned char inForce = function;
                 return SetTagCustomFunction(address, &inForce, port);
             };
         }},
        {"hid-beep", "on | off (keyboard mode)",
         [](const std::string &value) -> Send {
             const int on = onOff(value);
             return [on](unsigned char *address, int port) { return SetHidBeepEn(address, on, port); };
         }},
        {"hid-work", "six numbers: 1-4,0-255,0-15,0-1,0-1,0-255 (keyboard mode)",
         [](const std::string &value) -> Send {
             const std::vector<int> b = byteList(value, 6);
             if (b[0] < 1 || b[0] > 4 || b[2] > 15 || b[3] > 1 || b[4] > 1)
                 throw CLI::ValidationError("VALUE", "out of range: 1-4,0-255,0-15,0-1,0-1,0-255");
             return [b](unsigned char *address, int port) {
                 return SetHidWorkPara(address, b[0], b[1], b[2], b[3], b[4], b[5], port);
             };
         }},
    };
    return table;
}

// The settings `config set` takes that the reader has no command to read back.
const std::set<std::string> kWriteOnly = {"buzzer", "relay", "pulse-output", "serial-number",
                                          "custom-function"};

// "scan-time" -> "scanTime": the key of the setting's field (reader_settings.h).
std::string fieldKey(const std::string &name) {
    std::string key;
    for (size_t i = 0; i < name.size(); ++i)
        key += name[i] == '-' && i + 1 < name.size() ? static_cast<char>(std::toupper(name[++i])) : name[i];
    return key;
}

// Every setting, or only `name`'s.
int runGet(Session &session, const std::string &name) {
    ReaderInformation info;
    const int rc = info.read(session.address(), session.port());
    if (rc != 0) return session.fail("reading the reader's information", rc);
    Fields fields;
    fields.add("address", "Address", "0x" + hex(session.address(), 1), *session.address());
    addMainSettings(fields, info);
    addOtherSettings(session.address(), session.port(), fields, true);
    if (!name.empty()) {
        Fields one;
        for (const Fields::Field &field : fields.entries())
            if (field.key == fieldKey(name)) one.add(field.key, field.label, field.text, field.value);
        fields = one;
    }
    session.out().print(fields);
    return kExitOk;
}

int runSet(Session &session, const std::string &name, const std::string &value, const Send &send) {
    const int rc = send(session.address(), session.port());
    if (rc != 0) return session.fail("config set " + name, rc);
    session.out().text(name + " set to " + value);
    session.out().record(Json{{"setting", name}, {"value", value}});
    return kExitOk;
}

std::string settingsHelp() {
    std::string text = "Settings:\n";
    for (const Setting &setting : settings()) {
        std::string name = setting.name;
        text += "  " + name + std::string(name.size() < 20 ? 20 - name.size() : 1, ' ') +
                setting.value + "\n";
    }
    return text;
}

}  // namespace

void add_config_command(CLI::App &app, Cli &cli) {
    CLI::App *command = app.add_subcommand("config", "Read every reader setting, or set one by name.");
    command->require_subcommand(1);
    auto getName = std::make_shared<std::string>();
    std::vector<std::string> readable;
    for (const Setting &setting : settings())
        if (!kWriteOnly.count(setting.name)) readable.push_back(setting.name);
    CLI::App *get = command->add_subcommand("get", "Every setting in words, or the one named");
    get->add_option("name", *getName, "one setting, named as config set names it");
    std::string list;
    for (const std::string &name : readable) list += (list.empty() ? "" : ", ") + name;
    get->footer("Settings: " + list + ".");
    get->callback([&cli, getName, readable] {
        if (!getName->empty()) {
            if (kWriteOnly.count(*getName))
                throw CLI::ValidationError("NAME", "'" + *getName +
                                                       "' can be set, but the reader has no "
                                                       "command to read it back");
            if (std::find(readable.begin(), readable.end(), *getName) == readable.end()) {
                const std::string nearest = nearestName(*getName, readable);
                throw CLI::ValidationError(
                    "NAME", "'" + *getName + "' is no setting" +
                                (nearest.empty() ? "" : "; did you mean '" + nearest + "'?"));
            }
        }
        cli.action = [getName](Session &session) { return runGet(session, *getName); };
    });

    auto name = std::make_shared<std::string>();
    auto value = std::make_shared<std::string>();
    CLI::App *set = command->add_subcommand("set", "Set one setting: tessaro config set NAME VALUE");
    set->add_option("name", *name, "the setting")->required();
    set->add_option("value", *value, "its new value")->required();
    set->footer(settingsHelp());
    set->callback([&cli, name, value] {
        for (const Setting &setting : settings())
            if (*name == setting.name) {
                Send send = setting.prepare(*value);
                cli.action = [name, value, send](Session &session) {
                    return runSet(session, *name, *value, send);
                };
                return;
            }
        std::vector<std::string> names;
        for (const Setting &setting : settings()) names.push_back(setting.name);
        const std::string nearest = nearestName(*name, names);
        throw CLI::ValidationError(
            "NAME", "'" + *name + "' is no setting" +
                        (nearest.empty() ? "" : "; did you mean '" + nearest + "'?"));
    });
}

}  // namespace tessaro::cli
