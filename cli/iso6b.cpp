// tessaro 6b inventory | read | write | lock | check-lock: ISO 18000-6B tags,
// each named by its eight-byte identifier (UID).
#include <algorithm>

#include "Tessaro.h"
#include "cli.h"
#include "gen2_options.h"
#include "session.h"
#include "tag_command.h"
#include "tag_events.h"

namespace tessaro::cli {

namespace {

constexpr int kUidBytes = 8;
constexpr int kMaxWrite = 48;  // bytes one write command carries

struct Iso6bArgs {
    std::string uidText;
    std::vector<unsigned char> uid;
    int start = 0;
    int length = 8;
    std::string dataText;
    std::vector<unsigned char> data;
    // inventory
    bool single = false;
    std::string condition = "all";
    int compareAt = 0;
    std::string compareText = "0000000000000000";
    int compareMask = 0xFF;
};

int conditionCode(const std::string &name) {
    static const char *const names[] = {"eq", "ne", "gt", "lt"};
    for (int i = 0; i < 4; ++i)
        if (name == names[i]) return i;
    return 0;  // "all": equal over no byte
}

int runInventory(Session &session, const Iso6bArgs &args) {
    unsigned char leading = 0, data[248] = {};
    int count = 0, rc;
    std::vector<TagEvent> tags;
    if (args.single) {
        rc = InventorySingle_6B(session.address(), &leading, data, session.port());
        if (rc == 0 || rc == kNoTag) count = rc == 0 ? 1 : 0;
        if (count) {
            TagEvent event;
            event.epc = hex(data, kUidBytes);
            event.rssi = static_cast<signed char>(data[8]);
            event.antenna = data[9];
            tags.push_back(event);
        }
    } else {
        std::vector<unsigned char> compare = parseHexArg("--value", args.compareText, 8);
        const bool all = args.condition == "all";
        rc = InventoryMultiple_6B(session.address(), conditionCode(args.condition),
                                  args.compareAt, all ? 0 : args.compareMask, compare.data(),
                                  &leading, data, &count, session.port());
        // The answer carries count identifiers, but never more than its data holds.
        count = std::min(count, 248 / kUidBytes);
        for (int i = 0; rc == 0 && i < count; ++i) {
            TagEvent event;
            event.epc = hex(data + kUidBytes * i, kUidBytes);
            tags.push_back(event);
        }
    }
    if (rc != 0 && rc != kNoTag) return session.fail("6b inventory", rc);
    if (session.out().json()) {
        for (const TagEvent &tag : tags) {
            Json object{{"type", "6b"}, {"uid", tag.epc}};
            if (args.single) object["antenna"] = tag.antenna, object["rssi"] = tag.rssi;
            session.out().record(object);
        }
        session.out().record(Json{{"type", "summary"}, {"tags", tags.size()}});
        return kExitOk;
    }
    session.out().text(args.single ? "#  UID               Antenna  RSSI" : "#  UID");
    int row = 0;
    for (const TagEvent &tag : tags)
        session.out().text(std::to_string(++row) + "  " + tag.epc +
                           (args.single ? "  " + std::to_string(tag.antenna) + "        " +
                                              std::to_string(tag.rssi) + " dBm"
                                        : ""));
    if (tags.empty()) session.out().text("(no tags)");
    return kExitOk;
}

int runRead(Session &session, Iso6bArgs &args) {
    unsigned char data[256] = {};
    int errorCode = -1;
    const int rc = ReadData_6B(session.address(), args.uid.data(), args.start, args.length, data,
                               &errorCode, session.port());
    Fields fields;
    fields.add("uid", "UID", args.uidText, hex(args.uid.data(), kUidBytes))
        .add("start", "Start", std::to_string(args.start), args.start)
        .add("data", "Data", hex(data, args.length), hex(data, args.length));
    return tagResult(session, "6b read", rc, errorCode, fields);
}

int runWrite(Session &session, Iso6bArgs &args) {
    int errorCode = -1, rc = 0, written = 0;
    const int total = static_cast<int>(args.data.size());
    while (written < total && rc == 0) {
        const int chunk = std::min(kMaxWrite, total - written);
        unsigned char done = 0;
        rc = WriteData_6B(session.address(), args.uid.data(), args.start + written,
                          args.data.data() + written, chunk, &done, &errorCode, session.port());
        if (rc == 0) written += chunk;
    }
    Fields fields;
    fields.add("uid", "UID", args.uidText, hex(args.uid.data(), kUidBytes))
        .add("start", "Start", std::to_string(args.start), args.start)
        .add("written", "Bytes written", std::to_string(written), written);
    return tagResult(session, "6b write", rc, errorCode, fields);
}

int runLock(Session &session, Iso6bArgs &args, bool check) {
    int errorCode = -1;
    unsigned char locked = 0;
    const int rc = check ? CheckLock_6B(session.address(), args.uid.data(), args.start, &locked,
                                        &errorCode, session.port())
                         : Lock_6B(session.address(), args.uid.data(), args.start, &errorCode,
                                   session.port());
    Fields fields;
    fields.add("uid", "UID", args.uidText, hex(args.uid.data(), kUidBytes))
        .add("byte", "Byte", std::to_string(args.start), args.start)
        .add("locked", "Locked", check ? (locked ? "yes" : "no") : "yes", check ? locked != 0 : true);
    return tagResult(session, check ? "6b check-lock" : "6b lock", rc, errorCode, fields);
}

CLI::App *uidCommand(CLI::App &parent, const char *name, const char *help, Iso6bArgs &args,
                     const char *startHelp) {
    CLI::App *command = parent.add_subcommand(name, help);
    command->add_option("uid", args.uidText, "the tag's identifier, 16 hex digits")->required();
    command->add_option("-s,--start", args.start, startHelp)->check(CLI::Range(0, 255))->capture_default_str();
    return command;
}

}  // namespace

void add_iso6b_command(CLI::App &app, Cli &cli) {
    auto args = std::make_shared<Iso6bArgs>();
    CLI::App *command = app.add_subcommand("6b", "ISO 18000-6B tags: inventory, read, write, lock, check-lock.");
    command->require_subcommand(1);

    CLI::App *inventory = command->add_subcommand("inventory", "The 6B tags in the field (all, or those whose bytes compare as asked)");
    inventory->add_flag("--single", args->single, "only the strongest tag, with its antenna and RSSI");
    inventory->add_option("--condition", args->condition,
                          "all, or compare the tag's 8 bytes from --at with --value: eq, ne, gt, lt")
        ->check(CLI::IsMember({"all", "eq", "ne", "gt", "lt"}))
        ->capture_default_str();
    inventory->add_option("--at", args->compareAt, "first tag byte compared")->check(CLI::Range(0, 255));
    inventory->add_option("--value", args->compareText, "the 8 bytes compared with, 16 hex digits");
    inventory->add_option("--byte-mask", args->compareMask,
                          "which of the 8 bytes take part (bit 7: the first); 0xFF all")
        ->check(CLI::Range(0, 255));
    inventory->callback([&cli, args] {
        parseHexArg("--value", args->compareText, 8);
        cli.action = [args](Session &session) { return runInventory(session, *args); };
    });

    CLI::App *read = uidCommand(*command, "read", "Read bytes of a 6B tag's memory", *args, "first byte");
    read->add_option("-n,--length", args->length, "bytes to read (1 to 240)")->check(CLI::Range(1, 240))->capture_default_str();
    CLI::App *write = uidCommand(*command, "write", "Write bytes into a 6B tag's memory", *args, "first byte");
    write->add_option("data", args->dataText, "the bytes, hex")->required();
    CLI::App *lock = uidCommand(*command, "lock", "Lock a byte of a 6B tag, for ever", *args, "the byte to lock");
    CLI::App *checkLock = uidCommand(*command, "check-lock", "Is a byte of a 6B tag locked?", *args, "the byte to ask about");

    const auto parseUid = [args] { args->uid = parseHexArg("uid", args->uidText, kUidBytes); };
    read->callback([&cli, args, parseUid] {
        parseUid();
        if (args->start + args->length > 256)
            throw CLI::ValidationError("--length", "the read runs past byte 255");
        cli.action = [args](Session &session) { return runRead(session, *args); };
    });
    write->callback([&cli, args, parseUid] {
        parseUid();
        args->data = parseHexArg("data", args->dataText);
        if (args->data.empty() || args->start + args->data.size() > 256)
            throw CLI::ValidationError("data", "1 byte or more, not past byte 255");
        cli.action = [args](Session &session) { return runWrite(session, *args); };
    });
    lock->callback([&cli, args, parseUid] {
        parseUid();
        cli.action = [args](Session &session) { return runLock(session, *args, false); };
    });
    checkLock->callback([&cli, args, parseUid] {
        parseUid();
        cli.action = [args](Session &session) { return runLock(session, *args, true); };
    });
}

}  // namespace tessaro::cli
