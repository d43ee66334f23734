// The report pause: its range, and how long a report cycle takes with it.
#include <gtest/gtest.h>

#include "TessaroTiming.h"
#include "reader_fixture.h"

using namespace tessaro::testing;

namespace {

class ReportPause : public ReaderTest {
protected:
    void TearDown() override { TessaroSetReportPause(TESSARO_REPORT_PAUSE_DEFAULT_MS); }

    unsigned char address = 0x00;
    unsigned char revDelay = 0;
};

TEST_F(ReportPause, RangeIsZeroToTheDefault) {
    EXPECT_EQ(TessaroGetReportPause(), 50u);
    EXPECT_EQ(TessaroSetReportPause(0), 0);
    EXPECT_EQ(TessaroGetReportPause(), 0u);
    EXPECT_EQ(TessaroSetReportPause(51), ERR_PARAMETER);
    EXPECT_EQ(TessaroSetReportPause(~0u), ERR_PARAMETER);
    EXPECT_EQ(TessaroGetReportPause(), 0u) << "a refused value changes nothing";
    bus.install();
    EXPECT_EQ(TessaroGetReportPause(), 0u) << "a new transport keeps the pause";
    EXPECT_EQ(TessaroSetReportPause(50), 0);
    EXPECT_EQ(TessaroGetReportPause(), 50u);
}

TEST_F(ReportPause, EveryReportThatComesInCostsThePause) {
    // A two-report answer: two cycles.
    const Bytes answer = answerFrame(0x00, 0x31, 0x00, bytes({0x07}));
    for (unsigned pause : {50u, 20u, 5u, 1u, 0u}) {
        SCOPED_TRACE(pause);
        ASSERT_EQ(TessaroSetReportPause(pause), 0);
        reader.answer(answer, {4});
        int result = -1;
        EXPECT_EQ(bus.elapsedMs([&] { result = GetRevDelay(&address, &revDelay, port); }), 2 * pause);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(revDelay, 0x07);
        revDelay = 0;
    }
}

TEST_F(ReportPause, AReadThatFailsStillCostsTheDefaultPause) {
    // A reader that stops answering is not polled in a tight loop.
    ASSERT_EQ(TessaroSetReportPause(0), 0);
    reader.timeoutReads = 1;
    int result = -1;
    EXPECT_EQ(bus.elapsedMs([&] { result = GetRevDelay(&address, &revDelay, port); }),
              100u + TESSARO_REPORT_PAUSE_DEFAULT_MS);
    EXPECT_EQ(result, ERR_COMM);
}

}  // namespace
