// The few things the tool asks of the console: is stdout a terminal, how big
// is it, and did the user press Ctrl-C. terminal.cpp holds every platform
// difference of the CLI.
#pragma once

#include <cstdio>
#include <string>

namespace tessaro::cli {

// Whether stdout is a terminal that draws the live view's escape sequences.
bool stdoutIsTerminal();
// Rows and columns of the terminal; 24 and 80 when they cannot be learnt.
int terminalRows();
int terminalColumns();
// From now on Ctrl-C (SIGINT) and SIGTERM only set the flag interrupted()
// returns: the run ends after the round that runs, with its summary.
void catchInterrupt();
bool interrupted();

// Flushes a file to the disk itself (fsync), so a record survives a crash.
bool flushToDisk(std::FILE *file);
// The wall-clock time in UTC, "2026-05-04T10:11:12Z", for records people read.
std::string utcNow();

}  // namespace tessaro::cli
