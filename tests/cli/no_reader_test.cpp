// The tool without a reader, through the build's platform transport: it says
// what it looked for and gives the advice of the platform it runs on.
#include <gtest/gtest.h>

#include <string>

#include "run_tessaro.h"

using tessaro::testing::runTessaro;

namespace {

bool says(const std::string &text, const char *what) {
    return text.find(what) != std::string::npos;
}

TEST(CliNoReader, SaysWhatWasLookedForAndThisPlatformsAdvice) {
    const auto run = runTessaro("info");
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(says(run.err, "0470:A112")) << run.err;
    EXPECT_TRUE(says(run.err, "--sim")) << run.err;
#ifdef _WIN32
    EXPECT_TRUE(says(run.err, "Device Manager")) << run.err;
    EXPECT_TRUE(says(run.err, "HID\\VID_0470&PID_A112")) << run.err;
    EXPECT_TRUE(says(run.err, "Another program may hold the reader open")) << run.err;
    EXPECT_FALSE(says(run.err, "udev")) << run.err;
#else
    EXPECT_TRUE(says(run.err, "udev")) << run.err;
    EXPECT_FALSE(says(run.err, "Device Manager")) << run.err;
#endif
}

}  // namespace
