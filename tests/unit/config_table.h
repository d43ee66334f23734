// Configuration commands as a table: each row states one command as the
// reader's command table does (code, request data, acceptance rule, which
// answer bytes land where), and CommandTable::check() holds the command to
// its row under every kind of answer.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "protocol/exchange.h"
#include "reader_fixture.h"

namespace tessaro::testing {

using protocol::Rule;

// Room for every command's outputs, one after the other; what a command does
// not own keeps kUntouched, so a byte written past an output shows.
constexpr std::size_t kOutputRoom = 160;
using OutputBytes = std::array<unsigned char, kOutputRoom>;

struct Row {
    std::uint8_t code;
    Bytes requestData;         // the frame's data bytes, in order
    Rule rule;
    std::vector<int> outputs;  // outputs[i]: the answer data byte that lands in output byte i
    const char *name;          // the call as written, for failure messages
    // Calls the command with the address pointer `a`, the outputs in `o` and port `p`.
    std::function<int(unsigned char *a, unsigned char *o, int p)> call;
};

// The last two fields of a row: the call, written over a, o and p, as text
// and as a function.
#define CALL(expression)                                                  \
    #expression, [](unsigned char *a, [[maybe_unused]] unsigned char *o, int p) { \
        return (expression);                                                   \
    }

// Output byte i receives answer data byte i, for i < count.
inline std::vector<int> firstDataBytes(int count) {
    std::vector<int> out;
    for (int i = 0; i < count; ++i) out.push_back(i);
    return out;
}

class CommandTable : public ReaderTest {
protected:
    static constexpr std::uint8_t kSentAddress = 0x5A;
    static constexpr std::uint8_t kAnswerAddress = 0x3C;

    // Answer data byte k, recognisable and never kUntouched.
    static std::uint8_t dataByte(int k) { return static_cast<std::uint8_t>(0x10 + k); }

    // Enough data for the row's outputs: data bytes 0 to the highest one read.
    static Bytes answerData(const Row &row) {
        const int count =
            row.outputs.empty() ? 0 : *std::max_element(row.outputs.begin(), row.outputs.end()) + 1;
        return sequence(static_cast<std::size_t>(count), dataByte(0));
    }

    // What each rule does with an answer. Columns: status 0; status 5; the
    // echo of another code with status 7; no answer at all.
    struct Outcome {
        int result;
        bool addressWritten;
        bool outputsFilled;
    };
    static Outcome expected(Rule rule, int scenario) {
        if (scenario == 3) return {ERR_COMM, false, false};  // whatever the rule
        struct RuleOutcomes {
            Rule rule;
            Outcome outcomes[3];
        };
        static const RuleOutcomes table[] = {
            {Rule::AlwaysWriteBack,
             {{0, true, true}, {5, true, false}, {ERR_RESPONSE_CMD, false, false}}},
            {Rule::StatusGated,
             {{0, true, true}, {5, false, false}, {ERR_RESPONSE_CMD, false, false}}},
            {Rule::NoWriteBack,
             {{0, false, true}, {5, false, false}, {ERR_RESPONSE_CMD, false, false}}},
            {Rule::CrcOnly, {{0, false, true}, {5, false, true}, {7, false, true}}},
        };
        for (const RuleOutcomes &entry : table)
            if (entry.rule == rule) return entry.outcomes[scenario];
        ADD_FAILURE() << "no outcomes for this rule";
        return {};
    }

    struct Run {
        int result;
        unsigned char address;
        OutputBytes out;
    };
    Run run(const Row &row, int portIndex) {
        Run r{0, kSentAddress, {}};
        r.out.fill(kUntouched);
        r.result = row.call(&r.address, r.out.data(), portIndex);
        return r;
    }

    // Filled, output byte i holds the data byte the row names; every other
    // byte keeps kUntouched.
    static void expectOutputs(const Row &row, const OutputBytes &out, bool filled) {
        for (std::size_t i = 0; i < kOutputRoom; ++i) {
            const bool owned = filled && i < row.outputs.size();
            ASSERT_EQ(out[i], owned ? dataByte(row.outputs[i]) : kUntouched) << "output byte " << i;
        }
    }

    // One frame went out: Len, the caller's address, the code, the row's data
    // and the CRC; Len + 1 bytes in all.
    void expectRequest(const Row &row) {
        Bytes frame = {static_cast<std::uint8_t>(4 + row.requestData.size()), kSentAddress,
                       row.code};
        frame.insert(frame.end(), row.requestData.begin(), row.requestData.end());
        EXPECT_EQ(reader.frames(), std::vector<Bytes>{withCrc(frame)});
    }

    void check(const Row &row) {
        SCOPED_TRACE(row.name);
        const Bytes data = answerData(row);
        const Bytes answers[4] = {
            answerFrame(kAnswerAddress, row.code, 0x00, data),
            answerFrame(kAnswerAddress, row.code, 0x05, data),
            answerFrame(kAnswerAddress, static_cast<std::uint8_t>(row.code + 1), 0x07, data),
            {},
        };
        const char *const scenarios[4] = {"status 0", "status 5", "echo of another code",
                                          "no answer"};
        for (int scenario = 0; scenario < 4; ++scenario) {
            SCOPED_TRACE(scenarios[scenario]);
            reader.forget();
            if (!answers[scenario].empty()) reader.answer(answers[scenario]);
            const Run r = run(row, port);
            expectRequest(row);
            const Outcome want = expected(row.rule, scenario);
            EXPECT_EQ(r.result, want.result);
            EXPECT_EQ(r.address, want.addressWritten ? kAnswerAddress : kSentAddress);
            expectOutputs(row, r.out, want.outputsFilled);
        }
    }
};

}  // namespace tessaro::testing
