// tessaro erase: sets words of a Gen2 tag's memory to zero.
#include "Tessaro.h"
#include "cli.h"
#include "session.h"
#include "tag_command.h"
#include "tag_words.h"

namespace tessaro::cli {

namespace {

struct EraseArgs {
    TagChoice tag;
    MemoryRange range;
};

int runErase(Session &session, const EraseArgs &args) {
    const MaskBlock &m = args.tag.mask.block;
    int errorCode = -1;
    const int rc = BlockErase_G2(session.address(), args.tag.epc.data(), args.tag.epcWords,
                                 args.range.bank, args.range.word, args.range.count,
                                 args.tag.password, m.bank, m.address, m.bits, m.data,
                                 &errorCode, session.port());
    Fields fields;
    fields.add("bank", "Bank", bankName(args.range.bank), bankName(args.range.bank))
        .add("word", "Word", std::to_string(args.range.word), args.range.word)
        .add("erased", "Words erased", std::to_string(args.range.count), args.range.count);
    return tagResult(session, "erase", rc, errorCode, fields);
}

}  // namespace

void add_erase_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<EraseArgs>();
    CLI::App *command = app.add_subcommand("erase", "Erase (zero) words of a Gen2 tag's memory.");
    addTagChoiceOptions(*command, args->tag);
    addMemoryOptions(*command, args->range, true, "words to erase (1 to 120)");
    command->callback([&cli, args] {
        args->tag.check();
        args->range.check();
        if (args->range.word > 255)
            throw CLI::ValidationError("--word", "erase reaches words 0 to 255");
        cli.action = [args](Session &session) { return runErase(session, *args); };
    });
}

}  // namespace tessaro::cli
