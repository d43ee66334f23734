// tessaro lock: locks or unlocks a password or memory bank of a Gen2 tag.
#include "Tessaro.h"
#include "cli.h"
#include "session.h"
#include "tag_command.h"

namespace tessaro::cli {

namespace {

const std::vector<std::string> kTargets = {"kill-password", "access-password", "epc", "tid", "user"};
const std::vector<std::string> kActions = {"unlock", "permaunlock", "lock", "permalock"};

int indexOf(const std::vector<std::string> &names, const std::string &name) {
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<int>(i);
    return -1;
}

struct LockArgs {
    TagChoice tag;
    std::string target, action;
};

int runLock(Session &session, const LockArgs &args) {
    const MaskBlock &m = args.tag.mask.block;
    int errorCode = -1;
    const int rc = Lock_G2(session.address(), args.tag.epc.data(), args.tag.epcWords,
                           indexOf(kTargets, args.target), indexOf(kActions, args.action),
                           args.tag.password, m.bank, m.address, m.bits, m.data, &errorCode,
                           session.port());
    Fields fields;
    fields.add("target", "Locked", args.target, args.target)
        .add("action", "Action", args.action, args.action);
    return tagResult(session, "lock", rc, errorCode, fields);
}

}  // namespace

void add_lock_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<LockArgs>();
    CLI::App *command = app.add_subcommand(
        "lock", "Lock or unlock a password or memory bank of a Gen2 tag (needs the access "
                "password). Permanent actions cannot be undone.");
    command->add_option("target", args->target, "kill-password, access-password, epc, tid or user")
        ->required()
        ->check(CLI::IsMember(kTargets));
    command->add_option("action", args->action, "unlock, permaunlock, lock or permalock")
        ->required()
        ->check(CLI::IsMember(kActions));
    addTagChoiceOptions(*command, args->tag);
    command->callback([&cli, args] {
        args->tag.check();
        cli.action = [args](Session &session) { return runLock(session, *args); };
    });
}

}  // namespace tessaro::cli
