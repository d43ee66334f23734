// tessaro block-lock: permalocks blocks of a Gen2 tag's User memory.
#include "Tessaro.h"
#include "cli.h"
#include "session.h"
#include "tag_command.h"

namespace tessaro::cli {

namespace {

struct BlockLockArgs {
    TagChoice tag;
    std::vector<int> blocks;
    int mask = 0;
};

int runBlockLock(Session &session, const BlockLockArgs &args) {
    const MaskBlock &m = args.tag.mask.block;
    int errorCode = -1;
    const int rc = BlockLock_G2(session.address(), args.tag.epc.data(), args.tag.epcWords,
                                args.tag.password, args.mask, m.bank, m.address, m.bits, m.data,
                                &errorCode, session.port());
    Json blocks = Json::array();
    std::string text;
    for (int block : args.blocks) {
        blocks.push_back(block);
        text += (text.empty() ? "" : ", ") + std::to_string(block) + " (words " +
                std::to_string(4 * block) + " to " + std::to_string(4 * block + 3) + ")";
    }
    Fields fields;
    fields.add("permalockedBlocks", "Permalocked blocks", text, blocks);
    return tagResult(session, "block-lock", rc, errorCode, fields);
}

}  // namespace

void add_block_lock_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<BlockLockArgs>();
    CLI::App *command = app.add_subcommand(
        "block-lock", "Permalock blocks of a Gen2 tag's User memory against writes, for ever "
                      "(block k is words 4k to 4k + 3).");
    command->add_option("--blocks", args->blocks, "blocks to permalock, 0 to 7: --blocks 0,2")
        ->required()
        ->delimiter(',')
        ->check(CLI::Range(0, 7));
    addTagChoiceOptions(*command, args->tag);
    command->callback([&cli, args] {
        args->tag.check();
        args->mask = 0;
        for (int block : args->blocks) args->mask |= 1 << block;
        cli.action = [args](Session &session) { return runBlockLock(session, *args); };
    });
}

}  // namespace tessaro::cli
