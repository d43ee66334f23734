// tessaro qt get | set: the QT parameter of Monza 4QT tags.
#include "Tessaro.h"
#include "cli.h"
#include "session.h"
#include "tag_command.h"

namespace tessaro::cli {

namespace {

struct QtArgs {
    TagChoice tag;
    std::string valueText;
    int value = 0;
};

int runGet(Session &session, const QtArgs &args) {
    const MaskBlock &m = args.tag.mask.block;
    unsigned char qt = 0;
    int errorCode = -1;
    const int rc = GetMonza4QTWorkParamter_G2(session.address(), args.tag.epc.data(),
                                              args.tag.epcWords, args.tag.password, m.bank,
                                              m.address, m.bits, m.data, &qt, &errorCode,
                                              session.port());
    Fields fields;
    fields.add("qt", "QT parameter", "0x" + hex(&qt, 1), qt);
    return tagResult(session, "qt get", rc, errorCode, fields);
}

int runSet(Session &session, const QtArgs &args) {
    const MaskBlock &m = args.tag.mask.block;
    int errorCode = -1;
    const int rc = SetMonza4QTWorkParamter_G2(session.address(), args.tag.epc.data(),
                                              args.tag.epcWords, args.value, args.tag.password,
                                              m.bank, m.address, m.bits, m.data, &errorCode,
                                              session.port());
    const unsigned char byte = static_cast<unsigned char>(args.value);
    Fields fields;
    fields.add("qt", "QT parameter", "0x" + hex(&byte, 1), args.value);
    return tagResult(session, "qt set", rc, errorCode, fields);
}

}  // namespace

void add_qt_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<QtArgs>();
    CLI::App *command =
        app.add_subcommand("qt", "Read or set the QT parameter of a Monza 4QT tag.");
    command->require_subcommand(1);
    CLI::App *get = command->add_subcommand("get", "Read the tag's QT parameter");
    addTagChoiceOptions(*get, args->tag);
    get->callback([&cli, args] {
        args->tag.check();
        cli.action = [args](Session &session) { return runGet(session, *args); };
    });
    CLI::App *set = command->add_subcommand("set", "Set the tag's QT parameter");
    set->add_option("value", args->valueText, "the QT byte, 0 to 255 (0x.. for hex)")->required();
    addTagChoiceOptions(*set, args->tag);
    set->callback([&cli, args] {
        args->tag.check();
        args->value = parseNumber("value", args->valueText, 0, 255);
        cli.action = [args](Session &session) { return runSet(session, *args); };
    });
}

}  // namespace tessaro::cli
