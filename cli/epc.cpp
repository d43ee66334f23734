// tessaro epc: GS1 EPC identities without a reader. `decode` shows what an
// EPC says; `encode` turns a URI or element string into the EPC to write.
#include <vector>

#include "cli.h"
#include "gen2_options.h"
#include "gs1_identity.h"
#include "session.h"

namespace tessaro::cli {

namespace {

struct EpcArgs {
    std::vector<std::string> epcs;
    bool pc = false;
    std::string text;
    int filter = -1;
    int companyPrefixLength = 0;
};

void printIdentity(const Output &out, const std::string &epcHex, const TessaroEpcIdentity &id) {
    const Json gs1 = gs1Json(id);
    Fields fields;
    fields.add("epc", "EPC", epcHex, epcHex);
    fields.add("gs1", "Scheme",
               std::string(TessaroEpcSchemeName(id.scheme)) +
                   (id.filter >= 0 ? ", filter " + std::to_string(id.filter) : ""),
               gs1);
    if (!out.json()) {
        static const std::pair<const char *, const char *> kForms[] = {
            {"pureUri", "Pure identity URI"}, {"tagUri", "Tag URI"},
            {"elementString", "Element string"}, {"digitalLink", "Digital Link"}};
        for (const auto &[key, label] : kForms)
            if (gs1.contains(key)) fields.add(key, label, gs1[key].get<std::string>(), nullptr);
        for (const auto &[name, value] : gs1["fields"].items())
            fields.add(name, "  " + name, value.get<std::string>(), nullptr);
    }
    out.print(fields);
}

int runDecode(Session &session, const EpcArgs &args) {
    const Output &out = session.out();
    int rc = kExitOk;
    bool first = true;
    for (const std::string &text : args.epcs) {
        std::vector<unsigned char> bytes;
        parseHex(text, bytes);
        const std::string epcHex = hex(bytes.data(), static_cast<int>(bytes.size()));
        TessaroEpcIdentity id;
        const int decoded = args.pc ? TessaroEpcDecodeBank(bytes.data(), static_cast<int>(bytes.size()), &id)
                                    : TessaroEpcDecode(bytes.data(), static_cast<int>(bytes.size()), &id);
        if (!first) out.text("");
        first = false;
        if (decoded == TESSARO_OK) {
            printIdentity(out, args.pc ? epcHex.substr(4) : epcHex, id);
            continue;
        }
        rc = kExitReaderError;
        out.record(Json{{"epc", epcHex}, {"error", "not a GS1 EPC"}, {"reason", id.reason}});
        out.text("EPC     " + epcHex);
        out.text("Not a GS1 EPC: " + std::string(id.reason));
    }
    return rc;
}

int runEncode(Session &session, const EpcArgs &args) {
    TessaroEpcIdentity id;
    if (TessaroEpcParse(args.text.c_str(), args.filter, args.companyPrefixLength, &id) != TESSARO_OK) {
        session.out().error("cannot encode '" + args.text + "': " + id.reason);
        return kExitUsage;
    }
    unsigned char epc[TESSARO_EPC_MAX_BYTES];
    int length = 0;
    TessaroEpcEncode(&id, epc, sizeof epc, &length);
    printIdentity(session.out(), hex(epc, length), id);
    return kExitOk;
}

}  // namespace

void add_epc_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<EpcArgs>();
    CLI::App *command = app.add_subcommand(
        "epc", "GS1 EPC identities without a reader: decode an EPC, or encode a URI or element string.");
    command->require_subcommand(1);

    CLI::App *decode = command->add_subcommand(
        "decode", "What EPCs say: scheme, filter, fields, URIs, GS1 element string, Digital Link.");
    decode->add_option("epc", args->epcs, "EPCs, hex (e.g. 3074257BF7194E4000001A85)")->required();
    decode->add_flag("--pc", args->pc, "each EPC starts with its PC word (the EPC bank from word 1)");
    decode->callback([&cli, args] {
        for (const std::string &text : args->epcs) parseHexArg("epc", text);
        cli.needsReader = false;
        cli.action = [args](Session &session) { return runDecode(session, *args); };
    });

    CLI::App *encode = command->add_subcommand(
        "encode", "The EPC of an identity: a pure identity URI (urn:epc:id:...), a tag URI "
                  "(urn:epc:tag:...) or a GS1 element string ((01)...(21)...).");
    encode->add_option("identity", args->text, "the URI or element string")->required();
    encode->add_option("--filter", args->filter,
                       "filter value (0 to 7; default: the tag URI's, else 0)")
        ->check(CLI::Range(0, 63));
    encode->add_option("--company-prefix-length", args->companyPrefixLength,
                       "digits of the GS1 company prefix (6 to 12); needed for an element string")
        ->check(CLI::Range(6, 12));
    encode->callback([&cli, args] {
        cli.needsReader = false;
        cli.action = [args](Session &session) { return runEncode(session, *args); };
    });
}

}  // namespace tessaro::cli
