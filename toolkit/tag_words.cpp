#include "tag_words.h"

namespace tessaro::toolkit {

namespace {
const char *const kBanks[] = {"reserved", "epc", "tid", "user"};
}

const char *bankName(int bank) { return bank >= 0 && bank < 4 ? kBanks[bank] : "unknown bank"; }

int parseBank(const std::string &name) {
    for (int bank = 0; bank < 4; ++bank)
        if (name == kBanks[bank] || name == std::to_string(bank)) return bank;
    return -1;
}

}  // namespace tessaro::toolkit
