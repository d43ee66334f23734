#include "settings_words.h"

#include <cstdlib>
#include <sstream>

#include "Tessaro.h"

namespace tessaro::toolkit {

namespace {

std::vector<std::string> channelTexts(int region) {
    char *list[101] = {};
    GetChannelList(region, list);
    std::vector<std::string> texts;
    for (int i = 0; i < 100 && list[i]; ++i) texts.push_back(list[i]);
    // The texts of regions 1 to 4 are the caller's to free; region 5's are
    // the library's constants.
    if (region != 5)
        for (int i = 0; i < 100 && list[i]; ++i) std::free(list[i]);
    return texts;
}

// "902.75 MHz" -> "902.75"
std::string mhz(const std::string &text) { return text.substr(0, text.find(' ')); }

const char *const kWorkModes[] = {"answer", "active", "trigger"};

}  // namespace

const std::vector<RegionPlan> &regionPlans() {
    static const std::vector<RegionPlan> plans = {
        {1, "china", "China", channelTexts(1)},
        {2, "us", "US (FCC)", channelTexts(2)},
        {3, "korea", "Korea", channelTexts(3)},
        {4, "eu", "EU (ETSI)", channelTexts(4)},
        {5, "japan", "Japan", channelTexts(5)},
    };
    return plans;
}

const RegionPlan *findRegion(const std::string &codeOrName) {
    for (const RegionPlan &plan : regionPlans())
        if (codeOrName == plan.name || codeOrName == std::to_string(plan.code)) return &plan;
    return nullptr;
}

void describeRegion(int maxChannelByte, int minChannelByte, std::string &text, Json &value) {
    const int code = ((maxChannelByte >> 6) & 3) << 2 | ((minChannelByte >> 6) & 3);
    const int low = minChannelByte & 0x3F, high = maxChannelByte & 0x3F;
    value = Json{{"code", code}, {"lowestChannel", low}, {"highestChannel", high}};
    const RegionPlan *plan = findRegion(std::to_string(code));
    if (!plan) {
        text = "code " + std::to_string(code) + " (no channel plan), channels " +
               std::to_string(low) + " to " + std::to_string(high);
        return;
    }
    value["name"] = plan->name;
    const int count = static_cast<int>(plan->channels.size());
    text = std::to_string(code) + " " + plan->description + ", ";
    if (low <= high && high < count) {
        const std::string from = mhz(plan->channels[static_cast<size_t>(low)]);
        const std::string to = mhz(plan->channels[static_cast<size_t>(high)]);
        text += from + " to " + to + " MHz (channels " + std::to_string(low) + " to " +
                std::to_string(high) + " of " + std::to_string(count) + ")";
        value["lowestMHz"] = std::stod(from);
        value["highestMHz"] = std::stod(to);
    } else {
        text += "channels " + std::to_string(low) + " to " + std::to_string(high) +
                " (outside its " + std::to_string(count) + " channels)";
    }
}

std::string antennaList(int mask) {
    std::string text;
    for (int k = 0; k < 8; ++k)
        if (mask & (1 << k)) text += (text.empty() ? "" : ", ") + std::to_string(k + 1);
    return text.empty() ? "none" : text;
}

Json antennaArray(int mask) {
    Json array = Json::array();
    for (int k = 0; k < 8; ++k)
        if (mask & (1 << k)) array.push_back(k + 1);
    return array;
}

int parseAntennas(const std::string &text) {
    if (text == "all") return 0x0F;
    int mask = 0;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        if (item.size() != 1 || item[0] < '1' || item[0] > '4') return -1;
        mask |= 1 << (item[0] - '1');
    }
    return mask ? mask : -1;
}

std::string workModeName(int mode) {
    if (mode >= 0 && mode < 3) return kWorkModes[mode];
    return "mode " + std::to_string(mode);
}

int parseWorkMode(const std::string &name) {
    for (int mode = 0; mode < 3; ++mode)
        if (name == kWorkModes[mode]) return mode;
    return -1;
}

}  // namespace tessaro::toolkit
