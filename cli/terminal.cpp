#include "terminal.h"

#include <csignal>
#include <cstdio>
#include <ctime>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace tessaro::cli {

namespace {

volatile std::sig_atomic_t interruptFlag = 0;

extern "C" void onInterrupt(int) { interruptFlag = 1; }

}  // namespace

#ifdef _WIN32

bool stdoutIsTerminal() {
    if (!_isatty(_fileno(stdout))) return false;
    // The live view draws with VT sequences, which a console takes once asked
    // (Windows 10 and later); one that refuses gets a line per read instead.
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(out, &mode) &&
           SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

int terminalRows() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 24;
    return info.srWindow.Bottom - info.srWindow.Top + 1;
}

int terminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 80;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

bool flushToDisk(std::FILE *file) { return std::fflush(file) == 0 && _commit(_fileno(file)) == 0; }

static void utcParts(std::time_t now, std::tm &parts) { gmtime_s(&parts, &now); }

#else

bool stdoutIsTerminal() { return isatty(STDOUT_FILENO) != 0; }

int terminalRows() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0) return 24;
    return size.ws_row;
}

int terminalColumns() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
    return size.ws_col;
}

bool flushToDisk(std::FILE *file) { return std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

static void utcParts(std::time_t now, std::tm &parts) { gmtime_r(&now, &parts); }

#endif

void catchInterrupt() {
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
}

bool interrupted() { return interruptFlag != 0; }

std::string utcNow() {
    std::tm parts{};
    utcParts(std::time(nullptr), parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

}  // namespace tessaro::cli
