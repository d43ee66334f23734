// tessaro eas set | clear | alarm: the electronic article surveillance bit of
// Gen2 tags.
#include "Tessaro.h"
#include "cli.h"
#include "session.h"
#include "tag_command.h"

namespace tessaro::cli {

namespace {

constexpr int kNoAlarm = 0xFB;

int runConfigure(Session &session, const TagChoice &tag, bool on) {
    const MaskBlock &m = tag.mask.block;
    int errorCode = -1;
    const int rc = EASConfigure_G2(session.address(), tag.epc.data(), tag.epcWords, tag.password,
                                   on ? 1 : 0, m.bank, m.address, m.bits, m.data, &errorCode,
                                   session.port());
    Fields fields;
    fields.add("eas", "EAS", on ? "set" : "cleared", on);
    return tagResult(session, on ? "eas set" : "eas clear", rc, errorCode, fields);
}

// The reader answers "no tag" when no tag raises the alarm: that is an
// answer, not a failure.
int runAlarm(Session &session) {
    int errorCode = -1;
    int rc = EASAlarm_G2(session.address(), &errorCode, session.port());
    const bool alarm = rc == 0;
    if (rc == kNoAlarm) rc = 0;
    Fields fields;
    fields.add("alarm", "EAS alarm", alarm ? "yes: a tag with its EAS bit set is in the field" : "no",
               alarm);
    return tagResult(session, "eas alarm", rc, errorCode, fields);
}

}  // namespace

void add_eas_command(CLI::App &app, Cli &cli) {
    auto tag = std::make_shared<TagChoice>();
    CLI::App *command = app.add_subcommand(
        "eas", "Set or clear a Gen2 tag's EAS bit, or ask whether a tag raises the alarm.");
    command->require_subcommand(1);
    for (const bool on : {true, false}) {
        CLI::App *sub = command->add_subcommand(on ? "set" : "clear",
                                                on ? "Set the tag's EAS bit (needs its access password)"
                                                   : "Clear the tag's EAS bit (needs its access password)");
        addTagChoiceOptions(*sub, *tag);
        sub->callback([&cli, tag, on] {
            tag->check();
            cli.action = [tag, on](Session &session) { return runConfigure(session, *tag, on); };
        });
    }
    command->add_subcommand("alarm", "Does a tag with its EAS bit set stand in the field?")
        ->callback([&cli] { cli.action = runAlarm; });
}

}  // namespace tessaro::cli
