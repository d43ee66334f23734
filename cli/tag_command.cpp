#include "tag_command.h"

#include "session.h"
#include "tag_words.h"

namespace tessaro::cli {

void MemoryRange::check() {
    bank = parseBank(bankText);
    if (bank < 0)
        throw CLI::ValidationError("--bank", "'" + bankText + "' is not reserved, epc, tid or user");
    pointer[0] = static_cast<unsigned char>(word >> 8);
    pointer[1] = static_cast<unsigned char>(word);
}

void addMemoryOptions(CLI::App &command, MemoryRange &range, bool withCount,
                      const std::string &countHelp) {
    command.add_option("-b,--bank", range.bankText, "memory bank: reserved, epc, tid or user")
        ->capture_default_str();
    command.add_option("-w,--word", range.word, "first word (16 bits) of the bank")
        ->check(CLI::Range(0, 0xFFFF))
        ->capture_default_str();
    if (withCount)
        command.add_option("-n,--count", range.count, countHelp)
            ->check(CLI::Range(1, 120))
            ->capture_default_str();
}

int tagResult(Session &session, const std::string &what, int rc, int errorCode,
              const Fields &fields) {
    if (rc != 0) return session.fail(what, rc, errorCode);
    session.out().print(fields);
    return kExitOk;
}

}  // namespace tessaro::cli
