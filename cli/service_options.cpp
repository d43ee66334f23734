#include "service_options.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace tessaro::cli {

std::string defaultJournal() {
    if (const char *state = std::getenv("STATE_DIRECTORY"); state && *state)
        return std::string(state) + "/journal";
    if (const char *xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg)
        return std::string(xdg) + "/tessaro/journal";
    if (const char *home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/state/tessaro/journal";
    return "tessaro-journal";
}

void ReadingArgs::apply(service::EngineOptions &options) {
    if (buffer && fast) throw CLI::ValidationError("--buffer and --fast exclude each other");
    mask.check();
    options.readers = readers;
    TessaroReadingOptions &r = options.reading;
    TessaroReadingDefaults(&r);
    r.mode = buffer ? TESSARO_READING_BUFFERED : fast ? TESSARO_READING_FAST : TESSARO_READING_INVENTORY;
    r.qValue = q;
    r.session = session;
    r.maskFlag = mask.block.flag;
    r.maskMem = mask.block.bank;
    r.maskLength = mask.block.bits;
    std::copy(std::begin(mask.block.address), std::end(mask.block.address), r.maskAddress);
    std::copy(std::begin(mask.block.data), std::end(mask.block.data), r.maskData);
    r.pauseMs = pauseMs;
    r.dedupWindowMs = dedupMs;
    r.presence = presence ? 1 : 0;
    r.departAfterMs = departMs;
    r.retryIntervalMs = retryMs;
}

void addReadingOptions(CLI::App &command, ReadingArgs &args, bool everything) {
    command.add_option("--reader", args.readers, "read only this reader (serial number, 8 hex "
                                                 "digits); may be repeated");
    command.add_option("--seconds", args.seconds, "stop after this many seconds (default: at Ctrl-C)")
        ->check(CLI::PositiveNumber);
    command.add_option("--rounds", args.rounds, "stop once every reader ran this many rounds")
        ->check(CLI::Range(1ULL, 1000000000ULL));
    command.add_option("--q", args.q, "Q of the inventory")->check(CLI::Range(0, 15))->capture_default_str();
    command.add_option("--session", args.session, "session of the inventory")
        ->check(CLI::Range(0, 3))
        ->capture_default_str();
    if (everything) {
        addMaskOptions(command, args.mask);
        command.add_flag("--buffer", args.buffer, "inventory into the reader's buffer, then read it out");
        command.add_flag("--fast", args.fast, "the fast EPC inventory");
    }
    command.add_option("--pause", args.pauseMs, "milliseconds between rounds")
        ->check(CLI::Range(0, 3600000))
        ->capture_default_str();
    if (everything) {
        command.add_option("--dedup", args.dedupMs,
                           "publish an EPC at most once in this many milliseconds (0: every read)")
            ->check(CLI::Range(0, 3600000))
            ->capture_default_str();
        command.add_flag("--presence", args.presence, "publish arrived and departed events too");
    }
    command.add_option("--depart", args.departMs, "milliseconds unseen before a tag departs")
        ->check(CLI::Range(1, 3600000))
        ->capture_default_str();
    command.add_option("--retry", args.retryMs, "milliseconds between looks for a lost reader")
        ->check(CLI::Range(10, 3600000))
        ->capture_default_str();
}

void JournalArgs::apply(journal::JournalOptions &options) const {
    options.folder = folder.empty() ? defaultJournal() : folder;
    options.maxBytes = megabytes << 20;
    journal::parseFsync(fsync, options.fsync);
}

void addJournalOptions(CLI::App &command, JournalArgs &args) {
    command.add_option("--journal,--spool", args.folder,
                       "folder of the event journal (default ~/.local/state/tessaro/journal; "
                       "$STATE_DIRECTORY/journal under systemd); one process per folder")
        ->type_name("DIR");
    command.add_option("--journal-mb,--spool-mb", args.megabytes,
                       "most megabytes the journal takes; when full, the oldest history goes, "
                       "then the oldest undelivered events (counted in a dropped event)")
        ->check(CLI::Range(1ULL, 1000000ULL))
        ->capture_default_str();
    command.add_option("--fsync", args.fsync,
                       "when the journal reaches the disk: always (every commit), interval (within "
                       "1 s) or never (the system's choice); a crash of the process loses nothing "
                       "in any of them")
        ->check(CLI::IsMember({"always", "interval", "never"}))
        ->capture_default_str();
}

void HttpArgs::apply(http::HttpOptions &options, bool quiet) const {
    std::string error;
    if (!http::parseListenAddress(address, options.host, options.port, error))
        throw CLI::ValidationError(error);
    options.token = token;
    if (options.token.empty())
        if (const char *fromEnvironment = std::getenv("TESSARO_HTTP_TOKEN")) options.token = fromEnvironment;
    options.certFile = certFile;
    options.keyFile = keyFile;
    options.allowedHosts = allowedHosts;
    options.quiet = quiet;
    if (!http::checkHttpOptions(options, error)) throw CLI::ValidationError(error);
}

void addHttpOptions(CLI::App &command, HttpArgs &args, const std::string &prefix) {
    command.add_option("--" + prefix + "token", args.token,
                       "the web console's token (at least 16 letters and digits; default: a new "
                       "one each start, or the environment's TESSARO_HTTP_TOKEN)");
    command.add_option("--" + prefix + "cert", args.certFile, "the web console's HTTPS certificate (PEM)")
        ->check(CLI::ExistingFile);
    command.add_option("--" + prefix + "key", args.keyFile, "its key (PEM)")->check(CLI::ExistingFile);
    command.add_option("--" + prefix + "allow-host", args.allowedHosts,
                       "a name the browser may reach the console by (the Host header), besides "
                       "IP addresses, localhost and this machine's name; may be repeated")
        ->type_name("NAME");
}

}  // namespace tessaro::cli
