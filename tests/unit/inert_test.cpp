#include <gtest/gtest.h>

#include "fake_reader.h"

using namespace tessaro::testing;

namespace {

TEST(Inert, SdkVersionWithoutAReader) {
    unsigned char version[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(GetSDKVersion(version), 0);
    EXPECT_EQ(Bytes(version, version + 4),
              bytes({TESSARO_VERSION_MAJOR, TESSARO_VERSION_MINOR, TESSARO_VERSION_PATCH, 0xEE}));
}

TEST(Inert, StubsSendNothingAndReturnZero) {
    FakeBus bus;
    FakeDevice &reader = bus.addReader();
    bus.install();
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    reader.forget();

    unsigned char data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    int length = 8;
    EXPECT_EQ(SetBaudRate(5, port), 0);
    EXPECT_EQ(ChangeATMode(1, data, port), 0);
    EXPECT_EQ(TransparentCMD(data, 8, data, &length, port), 0);
    EXPECT_EQ(ATGetDataFromPort(data, &length, port), 0);
    EXPECT_TRUE(reader.sent.empty());
    EXPECT_EQ(length, 8);
    EXPECT_EQ(data[0], 1);
}

TEST(Inert, ClassAssignmentsReturnTheObject) {
    CTessaro a;
    CTessaro b;
    EXPECT_EQ(&(a = b), &a);
    EXPECT_EQ(&(a = static_cast<CTessaro &&>(b)), &a);
}

}  // namespace
