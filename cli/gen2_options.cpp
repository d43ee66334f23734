#include "gen2_options.h"

#include <cstring>

#include "output.h"
#include "tag_words.h"

namespace tessaro::cli {

int parseNumber(const std::string &option, const std::string &text, int low, int high) {
    size_t used = 0;
    long value = 0;
    try {
        value = std::stol(text, &used, 0);
    } catch (const std::exception &) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value < low || value > high)
        throw CLI::ValidationError(option, "'" + text + "' is not a number from " +
                                               std::to_string(low) + " to " +
                                               std::to_string(high));
    return static_cast<int>(value);
}

std::vector<unsigned char> parseHexArg(const std::string &option, const std::string &text,
                                       size_t bytes) {
    std::vector<unsigned char> data;
    if (!parseHex(text, data) || (bytes && data.size() != bytes))
        throw CLI::ValidationError(
            option, "'" + text + "' is not " +
                        (bytes ? std::to_string(bytes * 2) + " hex digits" : "hex bytes"));
    return data;
}

void MaskArg::check() {
    if (text.empty()) {
        if (bits) throw CLI::ValidationError("--mask-bits", "it goes with --mask");
        return;
    }
    const size_t first = text.find(':'), second = text.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos)
        throw CLI::ValidationError("--mask", "write it as BANK:BITADDRESS:HEX, e.g. epc:32:3034");
    const int bank = parseBank(text.substr(0, first));
    if (bank < 1)
        throw CLI::ValidationError("--mask", "the bank is epc, tid or user");
    const int bitAddress =
        parseNumber("--mask", text.substr(first + 1, second - first - 1), 0, 0xFFFF);
    const std::vector<unsigned char> data = parseHexArg("--mask", text.substr(second + 1));
    if (data.empty() || data.size() > 32)
        throw CLI::ValidationError("--mask", "the mask holds 1 to 32 bytes");
    const int length = bits ? bits : static_cast<int>(data.size()) * 8;
    if (length > static_cast<int>(data.size()) * 8)
        throw CLI::ValidationError("--mask-bits", "more bits than the mask's bytes hold");
    block.bank = bank;
    block.address[0] = static_cast<unsigned char>(bitAddress >> 8);
    block.address[1] = static_cast<unsigned char>(bitAddress);
    block.bits = length;
    std::memcpy(block.data, data.data(), data.size());
    block.flag = 1;
}

void addMaskOptions(CLI::App &command, MaskArg &mask) {
    command.add_option("--mask", mask.text,
                       "only tags whose memory matches: BANK:BITADDRESS:HEX, e.g. epc:32:3034 "
                       "(the EPC starts at bit 32 of the epc bank)");
    command.add_option("--mask-bits", mask.bits, "with --mask: compare only this many bits")
        ->check(CLI::Range(1, 255));
}

void TagChoice::check() {
    const int chosen = (!epcText.empty()) + (!mask.text.empty()) + any;
    if (chosen != 1)
        throw CLI::ValidationError("--epc/--mask/--any",
                                   "choose the tag with exactly one of --epc HEX, --mask "
                                   "BANK:BITADDRESS:HEX or --any (the strongest tag)");
    password[0] = password[1] = password[2] = password[3] = 0;
    const std::vector<unsigned char> bytes = parseHexArg("--password", passwordText, 4);
    std::memcpy(password, bytes.data(), 4);
    if (!epcText.empty()) {
        epc = parseHexArg("--epc", epcText);
        if (epc.empty() || epc.size() % 2 || epc.size() > 62)
            throw CLI::ValidationError("--epc", "an EPC is 1 to 31 words (4 hex digits each)");
        epcWords = static_cast<int>(epc.size() / 2);
    } else if (!mask.text.empty()) {
        mask.check();
        epcWords = 255;
    } else {
        epcWords = 0;
    }
}

void addTagChoiceOptions(CLI::App &command, TagChoice &choice, bool withPassword) {
    command.add_option("--epc", choice.epcText, "the tag with this EPC (hex)");
    addMaskOptions(command, choice.mask);
    command.add_flag("--any", choice.any, "whichever tag answers first (the strongest)");
    if (withPassword)
        command.add_option("-p,--password", choice.passwordText,
                           "access password, 8 hex digits")
            ->capture_default_str();
}

}  // namespace tessaro::cli
