// Reader settings in words and back: region bytes as band and channel range
// in MHz, antenna masks as numbers, work modes by name.
#pragma once

#include <string>
#include <vector>

#include "fields.h"

namespace tessaro::toolkit {

// A region code (1 to 5) and what the library knows of its plan.
struct RegionPlan {
    int code;
    const char *name;             // "us", "eu", ...
    const char *description;      // "US (FCC)"
    std::vector<std::string> channels;  // "902.75 MHz", ... from GetChannelList
};

// The five plans, channel texts taken from the library.
const std::vector<RegionPlan> &regionPlans();
// The plan for a code or name ("2", "us"); nullptr when there is none.
const RegionPlan *findRegion(const std::string &codeOrName);

// The region and channel range that the two region bytes of the reader's
// information encode, in words and as JSON.
void describeRegion(int maxChannelByte, int minChannelByte, std::string &text, Json &value);

// Antenna numbers of a mask (bit k = antenna k + 1): "1, 2, 4".
std::string antennaList(int mask);
Json antennaArray(int mask);
// "1,2,4" or "all" to a mask; -1 when the text names no antenna 1 to 4.
int parseAntennas(const std::string &text);

// Work modes by name, and back (-1 for an unknown name).
std::string workModeName(int mode);
int parseWorkMode(const std::string &name);

}  // namespace tessaro::toolkit
