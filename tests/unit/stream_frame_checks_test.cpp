// Streamed answers (the two inventories and the buffer read-out) are judged
// frame by frame: one damaged frame anywhere fails the whole answer with
// ERR_CRC before anything reaches the caller, and the collection gives up as
// soon as that frame is complete instead of waiting out its time bound.
#include <gtest/gtest.h>

#include <functional>

#include "epc_list_outputs.h"
#include "gen2/tag_frames.h"
#include "link/process_state.h"
#include "reader_fixture.h"

using namespace tessaro;
using namespace tessaro::testing;

namespace {

struct Outputs : EpcListOutputs {
    unsigned char antenna = kUntouched;
};

struct StreamCommand {
    const char *name;
    Bytes (*frame)(std::uint8_t status, std::uint8_t count, const Bytes &data);
    int (*call)(Outputs &o, int port);
    bool zeroesTagCount;  // the inventories set tagCount to 0 once they collected
};

Bytes fullInventoryFrame(std::uint8_t status, std::uint8_t count, const Bytes &data) {
    return inventoryFrame(status, 0x02, count, data, 0x01);
}
Bytes fastInventoryFrame(std::uint8_t status, std::uint8_t count, const Bytes &data) {
    return inventoryFrame(status, 0x02, count, data, 0x00);
}

const StreamCommand kCommands[] = {
    {"Inventory_G2", fullInventoryFrame,
     [](Outputs &o, int port) {
         unsigned char address = 0x00;
         return Inventory_G2(&address, 4, 0, 0, nullptr, 0, nullptr, 0, 0, 0, 0, 0, 0, 0, 0,
                             o.epcList, &o.antenna, &o.totalLength, &o.tagCount, port);
     },
     true},
    {"Fast_EPC_Inventory_G2", fastInventoryFrame,
     [](Outputs &o, int port) {
         unsigned char address = 0x00;
         return Fast_EPC_Inventory_G2(&address, 4, 0, 0, 0x0A, &o.antenna, o.epcList,
                                      &o.totalLength, &o.tagCount, port);
     },
     true},
    {"ReadBuffer_G2", readOutFrame,
     [](Outputs &o, int port) {
         unsigned char address = 0x00;
         return ReadBuffer_G2(&address, &o.totalLength, &o.tagCount, o.epcList, port);
     },
     false},
};

class StreamFrameChecks : public ReaderTest {
protected:
    // Three frames of tags: Status 3 (more follow) twice, then 1 (the end).
    static Bytes stream(const StreamCommand &c) {
        return joined({c.frame(0x03, 2, sequence(24, 0xA0)), c.frame(0x03, 1, sequence(12, 0xB0)),
                       c.frame(0x01, 1, sequence(12, 0xC0))});
    }
    void expectNothingWritten(const StreamCommand &c, const Outputs &o) {
        EXPECT_EQ(o.tagCount, c.zeroesTagCount ? 0 : kUntouchedCount);
        EXPECT_EQ(o.totalLength, kUntouchedCount);
        EXPECT_TRUE(o.listUntouched());
        EXPECT_EQ(o.antenna, kUntouched);
    }
};

TEST_F(StreamFrameChecks, OneInvertedByteInAnyFrameFailsTheAnswerAtOnce) {
    for (const StreamCommand &c : kCommands) {
        const Bytes intact = stream(c);
        const std::size_t frames[] = {0, intact[0] + 1u, intact[0] + 1u + intact[intact[0] + 1] + 1u};
        for (std::size_t frame = 0; frame < 3; ++frame) {
            const std::size_t size = intact[frames[frame]] + 1u;
            // Every byte but Len: Adr, reCmd, Status, the fields, the data, the CRC.
            for (std::size_t at = 1; at < size; ++at) {
                SCOPED_TRACE(std::string(c.name) + ", frame " + std::to_string(frame) + ", byte " +
                             std::to_string(at));
                Bytes damaged = intact;
                damaged[frames[frame] + at] ^= 0xFF;
                reader.clearInput();
                reader.answer(damaged, {20});
                Outputs o;
                int result = -1;
                const unsigned took = bus.elapsedMs([&] { result = c.call(o, port); });
                EXPECT_EQ(result, ERR_CRC);
                expectNothingWritten(c, o);
                EXPECT_LT(took, 1000u) << "gave up once the damaged frame was complete";
            }
        }
        // The intact stream, cut the same way, is taken whole.
        reader.clearInput();
        reader.answer(intact, {20});
        Outputs o;
        EXPECT_EQ(c.call(o, port), 1) << c.name;
        o.expectWalked(4, joined({sequence(24, 0xA0), sequence(12, 0xB0), sequence(12, 0xC0)}));
    }
}

TEST_F(StreamFrameChecks, AnIntactStreamIsTakenWholeHoweverItIsCut) {
    // Frame checks must never end a valid stream early, wherever a report
    // boundary falls inside a frame. (Reports start at 3 bytes: one whose
    // bytes are all zero is the reader's idle report, and these frames hold
    // two zero bytes in a row.)
    for (const StreamCommand &c : kCommands) {
        const Bytes intact = stream(c);
        for (std::size_t size = 3; size <= REPORT_MAX_FRAME_BYTES; ++size) {
            reader.clearInput();
            reader.answer(intact, std::vector<std::size_t>(intact.size(), size));
            Outputs o;
            ASSERT_EQ(c.call(o, port), 1) << c.name << ", reports of " << size;
            EXPECT_EQ(o.totalLength, 48);
        }
    }
}

TEST_F(StreamFrameChecks, ADuplicatedReportFailsTheAnswerAtOnce) {
    // What a lost acknowledgement produces: the reader sends one report again.
    for (const StreamCommand &c : kCommands) {
        SCOPED_TRACE(c.name);
        const Bytes intact = stream(c);
        const Bytes twice = joined({Bytes(intact.begin(), intact.begin() + 20),
                                    Bytes(intact.begin() + 10, intact.end())});
        reader.clearInput();
        reader.answer(twice, std::vector<std::size_t>(20, 10));
        Outputs o;
        int result = -1;
        const unsigned took = bus.elapsedMs([&] { result = c.call(o, port); });
        EXPECT_EQ(result, ERR_CRC);
        expectNothingWritten(c, o);
        EXPECT_LT(took, 1000u);
    }
}

TEST_F(StreamFrameChecks, TheWalkChecksEveryFrameItself) {
    // Whoever filled the response buffer, the walk hands on no damaged frame.
    const Bytes intact = joined({inventoryFrame(0x03, 1, 1, sequence(12, 0xA0)),
                                 inventoryFrame(0x01, 1, 1, sequence(12, 0xB0))});
    for (std::size_t at : {std::size_t{5}, intact.size() - 1}) {
        Bytes damaged = intact;
        damaged[at] ^= 0x01;
        ProcessState &state = processState();
        std::copy(damaged.begin(), damaged.end(), state.response);
        state.responseLength = static_cast<int>(damaged.size());
        Outputs o;
        EXPECT_EQ(gen2::walkTagFrames(gen2::kInventoryFrames, o.epcList, &o.antenna,
                                      &o.totalLength, &o.tagCount),
                  ERR_CRC)
            << at;
        EXPECT_EQ(o.totalLength, kUntouchedCount);
        EXPECT_TRUE(o.listUntouched());
        EXPECT_EQ(o.antenna, kUntouched);
    }
}

}  // namespace
