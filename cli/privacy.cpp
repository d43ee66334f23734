// tessaro privacy set | reset | check: hides Gen2 tags from inventories and
// reveals them again.
#include "Tessaro.h"
#include "cli.h"
#include "session.h"
#include "tag_command.h"

namespace tessaro::cli {

namespace {

struct PrivacyArgs {
    TagChoice tag;
    std::string passwordText = "00000000";
    std::vector<unsigned char> password;
};

int runSet(Session &session, const PrivacyArgs &args) {
    const MaskBlock &m = args.tag.mask.block;
    int errorCode = -1;
    const int rc = args.tag.epcWords == 0
                       ? SetPrivacyWithoutEPC_G2(session.address(), args.tag.password,
                                                 &errorCode, session.port())
                       : SetPrivacyByEPC_G2(session.address(), args.tag.epc.data(),
                                            args.tag.epcWords, args.tag.password, m.bank,
                                            m.address, m.bits, m.data, &errorCode,
                                            session.port());
    Fields fields;
    fields.add("private", "Private", "yes", true);
    return tagResult(session, "privacy set", rc, errorCode, fields);
}

// The reader answers "no tag" when no tag is hidden: nothing to reveal is
// an answer, not a failure.
int runReset(Session &session, const PrivacyArgs &args) {
    int errorCode = -1;
    int rc = ResetPrivacy_G2(session.address(), args.password.data(), &errorCode,
                             session.port());
    const bool revealed = rc == 0;
    if (rc == kNoTag) rc = 0;
    Fields fields;
    fields.add("revealed", "Revealed",
               revealed ? "the hidden tags that took the password" : "none: no tag was hidden",
               revealed);
    return tagResult(session, "privacy reset", rc, errorCode, fields);
}

int runCheck(Session &session) {
    unsigned char state = 0;
    int errorCode = -1;
    const int rc = CheckPrivacy_G2(session.address(), &state, &errorCode, session.port());
    Fields fields;
    fields.add("hiddenTag", "Hidden tag in the field", state ? "yes" : "no", state != 0);
    return tagResult(session, "privacy check", rc, errorCode, fields);
}

}  // namespace

void add_privacy_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<PrivacyArgs>();
    CLI::App *command = app.add_subcommand("privacy", "Hide Gen2 tags from inventories, reveal "
                                                      "them, or ask whether one is hidden.");
    command->require_subcommand(1);
    CLI::App *set = command->add_subcommand(
        "set", "Hide a tag (needs its access password); --any: the strongest tag");
    addTagChoiceOptions(*set, args->tag);
    set->callback([&cli, args] {
        args->tag.check();
        cli.action = [args](Session &session) { return runSet(session, *args); };
    });
    CLI::App *reset =
        command->add_subcommand("reset", "Reveal every hidden tag that takes the password");
    reset->add_option("-p,--password", args->passwordText, "access password, 8 hex digits")
        ->capture_default_str();
    reset->callback([&cli, args] {
        args->password = parseHexArg("--password", args->passwordText, 4);
        cli.action = [args](Session &session) { return runReset(session, *args); };
    });
    CLI::App *check = command->add_subcommand("check", "Is a tag in the field hidden?");
    check->callback([&cli] { cli.action = runCheck; });
}

}  // namespace tessaro::cli
