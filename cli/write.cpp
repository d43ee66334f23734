// tessaro write: words into a Gen2 tag's memory, in as many commands as the
// data needs (one command carries what fits in one report).
#include <algorithm>

#include "Tessaro.h"
#include "cli.h"
#include "session.h"
#include "tag_command.h"
#include "tag_words.h"

namespace tessaro::cli {

namespace {

struct WriteArgs {
    TagChoice tag;
    MemoryRange range;
    std::string dataText;
    std::vector<unsigned char> data;
};

// Words one write command can carry besides the tag's selection: the frame
// (14 bytes, the EPC, the mask block, the data) must stay within one report.
int wordsPerCommand(const TagChoice &tag) {
    const MaskBlock &m = tag.mask.block;
    const int selection = tag.epcWords == 255 ? 4 + (m.bits + 7) / 8 : 2 * tag.epcWords;
    return std::max(0, (47 - selection) / 2);
}

int runWrite(Session &session, const WriteArgs &args) {
    const MaskBlock &m = args.tag.mask.block;
    const int total = static_cast<int>(args.data.size() / 2);
    const int step = wordsPerCommand(args.tag);
    int errorCode = -1, rc = 0, written = 0;
    while (written < total && rc == 0) {
        const int words = std::min(step, total - written);
        const int word = args.range.word + written;
        const unsigned char pointer[2] = {static_cast<unsigned char>(word >> 8),
                                          static_cast<unsigned char>(word)};
        rc = ExtWriteData_G2(session.address(), args.tag.epc.data(), words, args.tag.epcWords,
                             args.range.bank, pointer, args.data.data() + 2 * written,
                             args.tag.password, m.bank, m.address, m.bits, m.data, &errorCode,
                             session.port());
        if (rc == 0) written += words;
    }
    if (rc != 0 && written > 0)
        session.out().error(std::to_string(written) + " of " + std::to_string(total) +
                            " words were written before the error");
    Fields fields;
    fields.add("bank", "Bank", bankName(args.range.bank), bankName(args.range.bank))
        .add("word", "Word", std::to_string(args.range.word), args.range.word)
        .add("written", "Words written", std::to_string(written), written);
    return tagResult(session, "write", rc, errorCode, fields);
}

}  // namespace

void add_write_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<WriteArgs>();
    CLI::App *command = app.add_subcommand("write", "Write words into a Gen2 tag's memory.");
    addTagChoiceOptions(*command, args->tag);
    addMemoryOptions(*command, args->range, false);
    command->add_option("data", args->dataText, "the words to write, hex (4 digits a word)")
        ->required();
    command->callback([&cli, args] {
        args->tag.check();
        args->range.check();
        args->data = parseHexArg("data", args->dataText);
        if (args->data.empty() || args->data.size() % 2 || args->data.size() > 240)
            throw CLI::ValidationError("data", "write 1 to 120 whole words (4 hex digits each)");
        if (wordsPerCommand(args->tag) == 0)
            throw CLI::ValidationError("--epc", "the EPC is too long to name the tag in a write; "
                                                "choose it with --mask");
        cli.action = [args](Session &session) { return runWrite(session, *args); };
    });
}

}  // namespace tessaro::cli
