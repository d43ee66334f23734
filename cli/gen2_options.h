// Options the Gen2 commands share: the mask block (inventory, tag selection)
// and the choice of a tag by EPC or by mask, with its access password.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace tessaro::cli {

// The mask block as the library takes it.
struct MaskBlock {
    int bank = 1;
    unsigned char address[2] = {0, 0};  // bit address, high byte first
    int bits = 0;
    unsigned char data[32] = {};
    int flag = 0;                       // 1: the block is sent
};

// --mask BANK:BITADDRESS:HEX [--mask-bits N]
struct MaskArg {
    std::string text;
    int bits = 0;  // 0: all the bits of HEX
    MaskBlock block;

    // Parses text into block; throws CLI::ValidationError.
    void check();
};

void addMaskOptions(CLI::App &command, MaskArg &mask);

// Which tag a tag command acts on, and the password it gives.
struct TagChoice {
    std::string epcText;
    bool any = false;
    MaskArg mask;
    std::string passwordText = "00000000";

    std::vector<unsigned char> epc;  // parsed
    int epcWords = 0;                // 0 to 31, or 255 for the mask
    unsigned char password[4] = {};

    // Parses the options; throws CLI::ValidationError.
    void check();
};

// --epc HEX | --mask ... | --any, and --password HEX8.
void addTagChoiceOptions(CLI::App &command, TagChoice &choice, bool withPassword = true);

// A number written in decimal or as 0x hex; throws CLI::ValidationError
// naming `option` when it is not one in [low, high].
int parseNumber(const std::string &option, const std::string &text, int low, int high);

// Hex text of exactly `bytes` bytes (or any even length when bytes is 0);
// throws CLI::ValidationError naming `option`.
std::vector<unsigned char> parseHexArg(const std::string &option, const std::string &text,
                                       size_t bytes = 0);

}  // namespace tessaro::cli
