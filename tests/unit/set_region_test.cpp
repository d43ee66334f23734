#include <gtest/gtest.h>

#include "reader_fixture.h"

using namespace tessaro::testing;

namespace {

using SetRegionCommand = ReaderTest;

TEST_F(SetRegionCommand, SendsBothBytesAndWritesTheAddressBackWhateverTheStatus) {
    for (std::uint8_t status : {0x00, 0x05}) {
        reader.forget();
        reader.answer(answerFrame(0x09, 0x22, status));
        unsigned char address = 0x00;
        EXPECT_EQ(SetRegion(&address, 0x31, 0x80, port), status);
        EXPECT_EQ(reader.frames().at(0), bytes({0x06, 0x00, 0x22, 0x31, 0x80, 0xE1, 0x96}));
        EXPECT_EQ(address, 0x09);
    }
}

TEST_F(SetRegionCommand, WrongEchoWritesNothing) {
    reader.answer(answerFrame(0x09, 0x23, 0x00));
    unsigned char address = 0x00;
    EXPECT_EQ(SetRegion(&address, 0x131, 0x80, port), ERR_RESPONSE_CMD);
    EXPECT_EQ(reader.frames().at(0).at(3), 0x31);  // only the low byte travels
    EXPECT_EQ(address, 0x00);
}

}  // namespace
