// The few things the tool asks of the console: is stdout a terminal, how big
// is it, and did the user press Ctrl-C. terminal.cpp holds every platform
// difference of the CLI.
#pragma once

#include <cstdio>
#include <string>

namespace tessaro::cli {

bool stdoutIsTerminal();
// Rows of the terminal; 24 when they cannot be learnt.
int terminalRows();
// From now on Ctrl-C (SIGINT) only sets the flag interrupted() returns.
void catchInterrupt();
bool interrupted();

// Flushes a file to the disk itself (fsync), so a record survives a crash.
bool flushToDisk(std::FILE *file);
// The wall-clock time in UTC, "2026-05-04T10:11:12Z", for records people read.
std::string utcNow();

}  // namespace tessaro::cli
