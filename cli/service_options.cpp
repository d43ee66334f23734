#include "service_options.h"

#include <cstdlib>

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
