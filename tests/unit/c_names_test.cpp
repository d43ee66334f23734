// The exported record decoder of TessaroCNames.h against the header-only one of
// TessaroRecords.h: the same result, offset and record for every kind of list.
#include <gtest/gtest.h>

#include <vector>

#include "TessaroCNames.h"

namespace {

struct ListCase {
    const char *name;
    std::vector<unsigned char> list;
    int offset;
};

// GoogleTest prints a parameter it cannot print as raw bytes, padding included,
// which valgrind rightly reports as uninitialised: name the case instead.
void PrintTo(const ListCase &c, std::ostream *out) { *out << c.name; }

class DecoderAgreement : public ::testing::TestWithParam<ListCase> {};

TEST_P(DecoderAgreement, ExportedDecoderMatchesTheHeader) {
    const ListCase &c = GetParam();
    const unsigned char *list = c.list.empty() ? nullptr : c.list.data();
    const int length = static_cast<int>(c.list.size());
    int inlineOffset = c.offset, exportedOffset = c.offset;
    TessaroTagRecord inlineRecord{}, exportedRecord{};
    for (;;) {
        const int expected = TessaroNextTagRecord(list, length, &inlineOffset, &inlineRecord);
        ASSERT_EQ(TessaroDecodeTagRecord(list, length, &exportedOffset, &exportedRecord), expected);
        ASSERT_EQ(exportedOffset, inlineOffset);
        if (expected != 1) break;
        EXPECT_EQ(exportedRecord.epc, inlineRecord.epc);
        EXPECT_EQ(exportedRecord.epcLength, inlineRecord.epcLength);
        EXPECT_EQ(exportedRecord.tid, inlineRecord.tid);
        EXPECT_EQ(exportedRecord.tidLength, inlineRecord.tidLength);
        EXPECT_EQ(exportedRecord.rssi, inlineRecord.rssi);
        EXPECT_EQ(exportedRecord.antenna, inlineRecord.antenna);
    }
    EXPECT_EQ(TessaroDecodeTagRecordCount(list, length), TessaroCountTagRecords(list, length));
}

INSTANTIATE_TEST_SUITE_P(
    Lists, DecoderAgreement,
    ::testing::Values(
        ListCase{"TwoRecords", {5, 2, 0x30, 0x34, 0xC6, 1, 7, 2, 0xAB, 0xCD, 0xE2, 0x80, 0xD0, 4}, 0},
        ListCase{"Empty", {}, 0},
        ListCase{"CutShort", {5, 2, 0x30, 0x34, 0xC6}, 0},
        ListCase{"EpcLongerThanRecord", {4, 9, 0x30, 0x34, 0xC6}, 0},
        ListCase{"OffsetPastTheEnd", {5, 2, 0x30, 0x34, 0xC6, 1}, 9}),
    [](const ::testing::TestParamInfo<ListCase> &test) { return test.param.name; });

}  // namespace
