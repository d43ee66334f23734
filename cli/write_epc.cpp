// tessaro write-epc: gives the one tag in the field a new EPC.
#include "Tessaro.h"
#include "cli.h"
#include "session.h"
#include "tag_command.h"

namespace tessaro::cli {

namespace {

// A write-EPC frame holds at most 25 EPC words.
constexpr int kMaxEpcWords = 25;

struct WriteEpcArgs {
    std::string epcText, passwordText = "00000000";
    std::vector<unsigned char> epc, password;
};

int runWriteEpc(Session &session, const WriteEpcArgs &args) {
    int errorCode = -1;
    const int words = static_cast<int>(args.epc.size() / 2);
    const int rc = WriteEPC_G2(session.address(), args.password.data(), args.epc.data(), words,
                               &errorCode, session.port());
    Fields fields;
    fields.add("epc", "New EPC", args.epcText, hex(args.epc.data(), 2 * words));
    return tagResult(session, "write-epc", rc, errorCode, fields);
}

}  // namespace

void add_write_epc_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<WriteEpcArgs>();
    CLI::App *command = app.add_subcommand(
        "write-epc", "Write a new EPC into the tag in the field (the strongest, if several).");
    command->add_option("epc", args->epcText, "the new EPC, hex (4 digits a word)")->required();
    command->add_option("-p,--password", args->passwordText, "access password, 8 hex digits")
        ->capture_default_str();
    command->callback([&cli, args] {
        args->epc = parseHexArg("epc", args->epcText);
        if (args->epc.empty() || args->epc.size() % 2 || args->epc.size() > 2 * kMaxEpcWords)
            throw CLI::ValidationError("epc", "an EPC of 1 to 25 words (4 hex digits each)");
        args->password = parseHexArg("--password", args->passwordText, 4);
        cli.action = [args](Session &session) { return runWriteEpc(session, *args); };
    });
}

}  // namespace tessaro::cli
