// What the Gen2 tag commands share beyond choosing the tag: a memory range
// (bank, word, count) and how a result is reported.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "gen2_options.h"
#include "output.h"

namespace tessaro::cli {

class Session;

// --bank NAME --word N [--count N]
struct MemoryRange {
    std::string bankText = "epc";
    int word = 0;
    int count = 1;
    int bank = 1;                       // parsed
    unsigned char pointer[2] = {0, 0};  // the word address, high byte first

    void check();
};

void addMemoryOptions(CLI::App &command, MemoryRange &range, bool withCount,
                      const std::string &countHelp = "");

// Reports a tag command's result: on success `fields` (text or JSON) and exit
// 0; otherwise the return code's text (and the tag's error) and exit 1.
int tagResult(Session &session, const std::string &what, int rc, int errorCode,
              const Fields &fields);

}  // namespace tessaro::cli
