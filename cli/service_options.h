// Options the long-running commands (gateway, serve) share: the journal's
// folder, size and fsync, and the web console's address, token and TLS.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "engine.h"
#include "http_sink.h"

namespace tessaro::cli {

struct JournalArgs {
    std::string folder;
    unsigned long long megabytes = 100;
    std::string fsync = "always";

    // Into the engine's journal options (the default folder when none given).
    void apply(journal::JournalOptions &options) const;
};

// --journal DIR, --journal-mb N, --fsync WHEN
void addJournalOptions(CLI::App &command, JournalArgs &args);

// Where the journal lives when --journal does not say: the service's state
// folder under systemd, else the user's state folder.
std::string defaultJournal();

struct HttpArgs {
    std::string address;  // [HOST:]PORT
    std::string token, certFile, keyFile;
    std::vector<std::string> allowedHosts;

    // Into the console's options; throws CLI::ValidationError.
    void apply(http::HttpOptions &options, bool quiet) const;
};

// --token, --cert, --key, --allow-host, each after `prefix` ("" for serve,
// "http-" beside the gateway's own TLS options).
void addHttpOptions(CLI::App &command, HttpArgs &args, const std::string &prefix);

}  // namespace tessaro::cli
