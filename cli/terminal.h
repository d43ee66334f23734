// The few things the tool asks of the console: is stdout a terminal, how big
// is it, and did the user press Ctrl-C. terminal.cpp holds every platform
// difference of the CLI.
#pragma once

namespace tessaro::cli {

bool stdoutIsTerminal();
// Rows of the terminal; 24 when they cannot be learnt.
int terminalRows();
// From now on Ctrl-C (SIGINT) only sets the flag interrupted() returns.
void catchInterrupt();
bool interrupted();

}  // namespace tessaro::cli
