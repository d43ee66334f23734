// Options the long-running commands (gateway, serve) share: which readers and
// how long, the rounds each reading runs, the journal's folder, size and
// fsync, and the web console's address, token and TLS.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "engine.h"
#include "gen2_options.h"
#include "http_sink.h"

namespace tessaro::cli {

struct ReadingArgs {
    std::vector<std::string> readers;
    double seconds = 0;
    unsigned long long rounds = 0;
    int q = 4;
    int session = 0;
    MaskArg mask;
    bool buffer = false, fast = false;
    unsigned pauseMs = 100;
    unsigned dedupMs = 0;
    bool presence = false;
    unsigned departMs = 3000;
    unsigned retryMs = 1000;

    // Into the engine's options; throws CLI::ValidationError.
    void apply(service::EngineOptions &options);
};

// --reader, --seconds, --rounds, --q, --session, --pause, --depart, --retry;
// with `everything` also --mask, --buffer, --fast, --dedup and --presence.
void addReadingOptions(CLI::App &command, ReadingArgs &args, bool everything);

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
