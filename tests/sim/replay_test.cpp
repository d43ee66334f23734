// The replay transport of libTessaroSim: answers from a transcript, counts
// where the host strays from it, and refuses transcripts it cannot read.
#include <gtest/gtest.h>

#include <string>

#include "Tessaro.h"
#include "TessaroSim.h"

namespace {

// A report line: the bytes given, zeros to 64.
std::string line(char direction, unsigned ms, const std::string &hexBytes) {
    return std::string(1, direction) + " " + std::to_string(ms) + " " + hexBytes +
           std::string(128 - hexBytes.size(), '0') + "\n";
}

// Opening the reader, then one GetReaderInformation at address 0 answered
// with version 02 05 and the bytes 11 to 99.
const std::string kTranscript =
    "# tessaro transcript 1\n" + line('>', 0, "030F") + line('>', 0, "02050400" "21D96A") +
    line('>', 0, "030A") + line('<', 0, "001211002100020511223344550A66778899D37D") +
    line('>', 50, "0301");

class Replay : public ::testing::Test {
protected:
    void open(const std::string &text) {
        char error[128] = "x";
        replay = TessaroSimReplayOpenText(text.c_str(), error, sizeof error);
        ASSERT_NE(replay, nullptr) << error;
        TessaroTransport transport;
        ASSERT_EQ(TessaroSimReplayGetTransport(replay, &transport), 0);
        ASSERT_EQ(TessaroSetTransport(&transport), 0);
        ASSERT_EQ(OpenUSBPort(&port), 0);
    }
    void TearDown() override {
        TessaroSetTransport(nullptr);
        TessaroSimReplayDestroy(replay);
    }
    int information(unsigned char address, unsigned char *version, unsigned char *b) {
        return GetReaderInformation(&address, version, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5],
                                    &b[6], &b[7], &b[8], &b[9], port);
    }
    std::string firstDifference() {
        char text[512];
        TessaroSimReplayDifferences(replay, text, sizeof text);
        return text;
    }

    TessaroSimReplay *replay = nullptr;
    int port = 0;
};

TEST_F(Replay, AnswersFromTheTranscriptWhenTheHostSendsTheSame) {
    open(kTranscript);
    unsigned char version[2], b[10];
    ASSERT_EQ(information(0x00, version, b), 0);
    EXPECT_EQ(version[0], 0x02);
    EXPECT_EQ(b[5], 0x0A);  // the scan time
    EXPECT_EQ(TessaroSimReplayDifferences(replay, nullptr, 0), 0);
    EXPECT_EQ(TessaroSimReplayRemaining(replay), 0);
}

TEST_F(Replay, CountsAnotherReportAndAReportPastTheEnd) {
    open(kTranscript);
    unsigned char version[2], b[10];
    information(0x01, version, b);  // another address than recorded
    EXPECT_EQ(TessaroSimReplayDifferences(replay, nullptr, 0), 1);
    EXPECT_NE(firstDifference().find("line 3: the host wrote"), std::string::npos);
    EXPECT_EQ(information(0x00, version, b), ERR_COMM);  // nothing left to answer
    EXPECT_GT(TessaroSimReplayDifferences(replay, nullptr, 0), 1);
}

TEST(ReplayText, RefusesLinesItCannotReadWithTheirNumber) {
    const std::string report(128, '0');
    const char *bad[] = {"> 0 0A0B", "< zero " /* time */, "? 0 ", "< 0 none extra",
                         "< 0 failed", "> 99999999999 ", "> 0 XY"};
    for (const char *start : bad) {
        std::string text = "# header\n" + std::string(start);
        if (text.back() == ' ') text += report;
        char error[128] = "";
        TessaroSimReplay *replay = TessaroSimReplayOpenText(text.c_str(), error, sizeof error);
        EXPECT_EQ(replay, nullptr) << start;
        EXPECT_EQ(std::string(error).rfind("line 2:", 0), 0u) << start << ": " << error;
        TessaroSimReplayDestroy(replay);
    }
    EXPECT_EQ(TessaroSimReplayOpen("/nonexistent/transcript", nullptr, 0), nullptr);
}

}  // namespace
