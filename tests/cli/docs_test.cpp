// The documentation quotes the tool's counts of the sample shelf as the tool
// prints them: all its tags in the simulator's note, its Gen2 tags in an
// inventory's table (python3 -m tessaro's "N Gen2 tags").
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "run_tessaro.h"

using tessaro::testing::readFile;
using tessaro::testing::sim;

namespace {

// Every number the pattern's group catches in a document.
std::vector<int> quoted(const std::string &text, const std::string &pattern) {
    std::vector<int> numbers;
    const std::regex expression(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), expression);
         it != std::sregex_iterator(); ++it)
        numbers.push_back(std::stoi((*it)[1]));
    return numbers;
}

TEST(CliDocs, QuoteTheSampleShelfsCountsAsTheToolPrintsThem) {
    const auto info = sim("info");
    const std::vector<int> all = quoted(info.err, R"(Simulated reader with (\d+) tags)");
    ASSERT_EQ(all.size(), 1u) << info.err;
    const auto inventory = sim("-q inventory");
    ASSERT_EQ(inventory.exitCode, 0);
    const int gen2 = static_cast<int>(std::count(inventory.out.begin(), inventory.out.end(), '\n')) - 1;

    const std::filesystem::path source(TESSARO_SOURCE_DIR);
    std::vector<std::filesystem::path> documents{source / "README.md"};
    for (const auto &entry : std::filesystem::directory_iterator(source / "docs"))
        if (entry.path().extension() == ".md") documents.push_back(entry.path());
    int checked = 0;
    const auto expect = [&](const std::string &text, const std::string &pattern, int count) {
        for (int n : quoted(text, pattern)) {
            EXPECT_EQ(n, count) << pattern;
            ++checked;
        }
    };
    for (const auto &document : documents) {
        SCOPED_TRACE(document.filename().string());
        const std::string text = readFile(document.string());
        expect(text, R"(Simulated reader with (\d+) tags from the sample shelf)", all[0]);
        expect(text, R"(shelf\.tags`: (\d+) tags)", all[0]);
        expect(text, R"(\n(\d+) Gen2 tags\n)", gen2);
    }
    EXPECT_GE(checked, 10);
    // The README introduces the shelf with its total, the number the tool's
    // first line shows, not with a part of it alone.
    EXPECT_EQ(quoted(readFile((source / "README.md").string()), R"(shelf\.tags`: (\d+) tags)"),
              all);
}

}  // namespace
