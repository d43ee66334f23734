// The population format: one tag per line, a kind word and key=value fields.
//
//     # a comment; blank lines are skipped
//     gen2 epc=3034257BF7194E4000001A85 tid=E2801160200012345678ABCD antenna=1 rssi=-48
//     gen2 epc=30340242201D8840000003E8 user=00000000 access=1234ABCD lock-user=locked
//     6b uid=E00401003456789A antenna=3 rssi=-61
//
// docs/simulator.md lists every key.
#pragma once

#include <string>
#include <vector>

#include "field.h"

namespace tessaro::sim {

// Parses one line. Returns true with `tag` filled, or with `empty` set for a
// blank or comment line; false with `error` saying what is wrong.
bool parseTagLine(const std::string &line, FieldTag &tag, bool &empty, std::string &error);

// Parses a whole population; false with `error` ("line N: ...") at the first
// bad line.
bool parsePopulation(const std::string &text, std::vector<FieldTag> &tags, std::string &error);

}  // namespace tessaro::sim
