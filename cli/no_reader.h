// What the tool tells a user whose reader was not found: the platform's own
// advice, from the one file of cli/platform/ that the build picks.
#pragma once

namespace tessaro::cli {

// The lines that follow "no reader found: ..." (each indented, no final
// newline): how to see the reader on this platform, what may keep it from
// the tool, and that --sim works without one.
const char *noReaderAdvice();

}  // namespace tessaro::cli
