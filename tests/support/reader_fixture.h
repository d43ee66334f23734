// A test with one fake reader attached and opened at port 1.
#pragma once

#include <gtest/gtest.h>

#include "fake_reader.h"

namespace tessaro::testing {

class ReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        bus.install();
        ASSERT_EQ(OpenUSBPort(&port), 0);
        reader.forget();
    }

    FakeBus bus;
    FakeDevice &reader = bus.addReader();
    int port = 0;
};

}  // namespace tessaro::testing
