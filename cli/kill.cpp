// tessaro kill: silences a Gen2 tag for ever.
#include "Tessaro.h"
#include "cli.h"
#include "session.h"
#include "tag_command.h"

namespace tessaro::cli {

namespace {

struct KillArgs {
    TagChoice tag;
    std::string killPasswordText;
    std::vector<unsigned char> killPassword;
};

int runKill(Session &session, const KillArgs &args) {
    const MaskBlock &m = args.tag.mask.block;
    int errorCode = -1;
    const int rc = KillTag_G2(session.address(), args.tag.epc.data(), args.tag.epcWords,
                              args.killPassword.data(), m.bank, m.address, m.bits, m.data,
                              &errorCode, session.port());
    Fields fields;
    fields.add("killed", "Killed", "yes", true);
    return tagResult(session, "kill", rc, errorCode, fields);
}

}  // namespace

void add_kill_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<KillArgs>();
    CLI::App *command = app.add_subcommand(
        "kill", "Kill a Gen2 tag: it never answers again. Needs its (non-zero) kill password.");
    addTagChoiceOptions(*command, args->tag, false);
    command->add_option("-k,--kill-password", args->killPasswordText, "kill password, 8 hex digits")
        ->required();
    command->callback([&cli, args] {
        args->tag.check();
        args->killPassword = parseHexArg("--kill-password", args->killPasswordText, 4);
        cli.action = [args](Session &session) { return runKill(session, *args); };
    });
}

}  // namespace tessaro::cli
