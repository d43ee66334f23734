// C1G2Read with WordCount 0 reads to the end of the bank: on the sample
// shelf, TID banks of 6 words, user banks of 32 words or none at all.
#include <map>

#include "session_fixture.h"

namespace tessaro::llrp::testing {
namespace {

class LlrpReadBank : public LlrpFixture {
protected:
    void SetUp() override { open(); }

    // An enabled AccessSpec that reads, on the tag with `epc`, each (bank, word
    // pointer) given to the end of the bank (OpSpecIDs 1, 2 ...).
    void readToTheEnd(std::uint32_t id, const std::string &epc, const std::vector<std::pair<int, int>> &reads) {
        Element command = accessCommand(epc);
        std::uint64_t op = 0;
        for (const auto &[bank, pointer] : reads)
            command.add(Element::make("C1G2Read").set("OpSpecID", ++op).set("MB", static_cast<std::uint64_t>(bank))
                            .set("WordPointer", static_cast<std::uint64_t>(pointer)).set("WordCount", 0));
        addAndEnableAccess(id, std::move(command));
    }
};

std::string wordsHex(const Element &result) {
    std::vector<std::uint8_t> bytes;
    for (const std::uint32_t word : result.value("ReadData").items) {
        bytes.push_back(static_cast<std::uint8_t>(word >> 8));
        bytes.push_back(static_cast<std::uint8_t>(word));
    }
    return hex(bytes);
}

TEST_F(LlrpReadBank, WordCountZeroReadsToTheEndOfTheBank) {
    // The first tag of the shelf has 32 user words, the fourth none.
    const ShelfTag withUser = shelfTags()[0], withoutUser = shelfTags()[3];
    ASSERT_EQ(withUser.userWords, 32u);
    ASSERT_EQ(withoutUser.userWords, 0u);
    readToTheEnd(21, withUser.epc, {{2, 0}, {3, 30}, {3, 0}});
    readToTheEnd(22, withoutUser.epc, {{3, 0}, {2, 0}});
    addAndEnable(rospec(21, 1, 0, aiSpec({1}), 1, 1));

    // EPC -> the results of its OpSpecs, as "result:words".
    std::map<std::string, std::map<std::uint64_t, std::string>> reads;
    std::vector<Message> seen;
    collect(8000, [&](const std::set<std::string> &) {
        for (const Message &m : seen)
            for (const Element *data : m.body.all("TagReportData"))
                for (const Element *r : data->all("C1G2ReadOpSpecResult"))
                    reads[hex(data->child("EPC_96")->value("EPC").bytes)][r->number("OpSpecID")] =
                        std::to_string(r->number("Result")) + ":" + wordsHex(*r);
        seen.clear();
        return reads.size() == 2;
    }, &seen);
    ASSERT_EQ(reads.size(), 2u);
    const std::map<std::uint64_t, std::string> expected = {
        {1, "0:" + withUser.tid}, {2, "0:" + withUser.user.substr(30 * 4)}, {3, "0:" + withUser.user}};
    EXPECT_EQ(reads[withUser.epc], expected) << "TID, the last two user words, all 32";
    // No user memory: the tag's error without words, and the AccessSpec's run ends there.
    EXPECT_EQ(reads[withoutUser.epc], (std::map<std::uint64_t, std::string>{{1, "1:"}}));
}

}  // namespace
}  // namespace tessaro::llrp::testing
