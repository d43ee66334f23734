// Gen2 memory banks and lock actions by name.
#pragma once

#include <string>

namespace tessaro::toolkit {

// "reserved", "epc", "tid", "user"; "bank N" above 3.
const char *bankName(int bank);
// The bank a name stands for (also 0 to 3 as digits); -1 for none.
int parseBank(const std::string &name);

}  // namespace tessaro::toolkit
