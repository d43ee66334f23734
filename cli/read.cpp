// tessaro read: words of a Gen2 tag's memory.
#include "Tessaro.h"
#include "cli.h"
#include "session.h"
#include "tag_command.h"
#include "tag_words.h"

namespace tessaro::cli {

namespace {

struct ReadArgs {
    TagChoice tag;
    MemoryRange range;
};

int runRead(Session &session, const ReadArgs &args) {
    const MaskBlock &m = args.tag.mask.block;
    unsigned char data[240] = {};
    int errorCode = -1;
    const int rc = ExtReadData_G2(session.address(), args.tag.epc.data(), args.tag.epcWords,
                                  args.range.bank, args.range.pointer, args.range.count,
                                  args.tag.password, m.bank, m.address, m.bits, m.data, data,
                                  &errorCode, session.port());
    const std::string words = hex(data, 2 * args.range.count);
    Fields fields;
    fields.add("bank", "Bank", bankName(args.range.bank), bankName(args.range.bank))
        .add("word", "Word", std::to_string(args.range.word), args.range.word)
        .add("count", "Words", std::to_string(args.range.count), args.range.count)
        .add("data", "Data", words, words);
    return tagResult(session, "read", rc, errorCode, fields);
}

}  // namespace

void add_read_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<ReadArgs>();
    CLI::App *command = app.add_subcommand("read", "Read words of a Gen2 tag's memory.");
    addTagChoiceOptions(*command, args->tag);
    addMemoryOptions(*command, args->range, true, "words to read (1 to 120)");
    command->callback([&cli, args] {
        args->tag.check();
        args->range.check();
        cli.action = [args](Session &session) { return runRead(session, *args); };
    });
}

}  // namespace tessaro::cli
