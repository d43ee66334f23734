// inventory --watch as a person sees it: in a pseudo-terminal the live view
// draws in the alternate screen and leaves one final table and its summary on
// the normal screen, after the rounds asked for, on Ctrl-C and on SIGTERM.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

const std::string kEnterAlternate = "\x1b[?1049h", kLeaveAlternate = "\x1b[?1049l";

struct Watch {
    pid_t pid = -1;
    int fd = -1;
    std::string out;

    // Starts the tool on the simulated reader (virtual clock), its stdout a
    // terminal of 24 x 100 or a pipe.
    Watch(const std::vector<std::string> &arguments, bool terminal) {
        std::vector<std::string> words{TESSARO_CLI, "--sim", "--virtual-clock", "-q"};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char *> argv;
        for (std::string &word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        if (terminal) {
            winsize size{};
            size.ws_row = 24;
            size.ws_col = 100;
            pid = forkpty(&fd, nullptr, nullptr, &size);
        } else {
            int ends[2];
            if (pipe(ends) != 0) return;
            pid = fork();
            if (pid == 0) dup2(ends[1], STDOUT_FILENO);
            close(ends[1]);
            fd = ends[0];
        }
        if (pid == 0) {
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Watch() {
        if (fd >= 0) close(fd);
    }

    // Reads until `text` appears (true) or the output ends or 10 s pass.
    bool readUntil(const std::string &text) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (out.find(text) == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd ready{fd, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) continue;
            char buffer[65536];
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got <= 0) return false;  // the end (EIO once a terminal's program exits)
            out.append(buffer, static_cast<size_t>(got));
        }
        return out.find(text) != std::string::npos;
    }
    int exitCode() {
        readUntil("\x01never");  // drain what is left
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

size_t count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// What the normal screen holds once the run is over: what came before the
// alternate screen and what came after it.
std::string normalScreen(const std::string &out) {
    const size_t enter = out.find(kEnterAlternate), leave = out.rfind(kLeaveAlternate);
    if (enter == std::string::npos || leave == std::string::npos) return out;
    return out.substr(0, enter) + out.substr(leave + kLeaveAlternate.size());
}

TEST(CliWatch, DrawsInTheAlternateScreenAndLeavesOneTable) {
    Watch watch({"inventory", "--watch", "--rounds", "3", "--antennas", "4"}, true);
    ASSERT_EQ(watch.exitCode(), 0) << watch.out;
    const std::string &out = watch.out;
    ASSERT_EQ(count(out, kEnterAlternate), 1u) << out;
    ASSERT_EQ(count(out, kLeaveAlternate), 1u) << out;
    EXPECT_EQ(count(out, "\x1b[2J"), 0u) << "a cleared screen lands in the scrollback";
    // Each round a frame from the top left, inside the alternate screen.
    const std::string frames =
        out.substr(out.find(kEnterAlternate), out.find(kLeaveAlternate) - out.find(kEnterAlternate));
    EXPECT_EQ(count(frames, "\x1b[H"), 3u);
    EXPECT_EQ(count(frames, "3 rounds"), 1u);
    const std::string screen = normalScreen(out);
    EXPECT_EQ(count(screen, "#   EPC"), 1u) << screen;
    EXPECT_EQ(count(screen, "3036452149251180000003E9"), 1u) << screen;
    EXPECT_EQ(count(screen, "Stopped: 4 unique tags, 12 reads"), 1u) << screen;
    EXPECT_EQ(count(screen, "\x1b["), 0u) << "the normal screen gets text only";
}

TEST(CliWatch, EndsWithTheSummaryOnSigintAndSigterm) {
    for (int signal : {SIGINT, SIGTERM})
        for (bool terminal : {true, false}) {
            SCOPED_TRACE(std::string(strsignal(signal)) + (terminal ? ", terminal" : ", pipe"));
            Watch watch({"inventory", "--watch", "--antennas", "4"}, terminal);
            ASSERT_TRUE(watch.readUntil("3036452149251540000003EA")) << watch.out;
            kill(watch.pid, signal);
            EXPECT_EQ(watch.exitCode(), 0);
            const std::string screen = normalScreen(watch.out);
            EXPECT_NE(screen.find("4 unique tags"), std::string::npos) << screen.substr(0, 300);
            EXPECT_EQ(count(watch.out, kEnterAlternate), terminal ? 1u : 0u);
            EXPECT_EQ(count(watch.out, kLeaveAlternate), terminal ? 1u : 0u);
        }
}

}  // namespace

#endif  // _WIN32
