// A test with one fake reader attached and opened at port 1.
#pragma once

#include <gtest/gtest.h>

#include "fake_reader.h"

namespace tessaro::testing {

// GetReaderInformation with outputs nobody looks at.
inline int readerInformation(int portIndex, unsigned char address = 0x00) {
    unsigned char version[2], b[10];
    return GetReaderInformation(&address, version, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &b[6],
                                &b[7], &b[8], &b[9], portIndex);
}

class ReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        bus.install();
        ASSERT_EQ(OpenUSBPort(&port), 0);
        reader.forget();
    }

    // The reader reports a scan time of `units` x 100 ms, which the library
    // keeps for the inventory time bounds.
    void setScanTime(std::uint8_t units) {
        reader.clearInput();
        reader.answer(readerInformationAnswer(units));
        ASSERT_EQ(readerInformation(port), 0);
    }
    // Inventory frames that never end the stream, more than any time bound lets in.
    void queueEndlessInventory() {
        for (int i = 0; i < 400; ++i) reader.queue(inventoryFrame(0x03, 1, 0));
    }

    FakeBus bus;
    FakeDevice &reader = bus.addReader();
    int port = 0;
};

}  // namespace tessaro::testing
