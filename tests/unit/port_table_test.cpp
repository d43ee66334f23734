#include <gtest/gtest.h>

#include "reader_fixture.h"

using namespace tessaro::testing;

namespace {

class PortTable : public ::testing::Test {
protected:
    // A command that reaches `device` on `portIndex`, answered as usual.
    static int answered(int portIndex, FakeDevice &device) {
        device.answer(readerInformationAnswer());
        return readerInformation(portIndex);
    }
    // Installs the bus and opens the first reader: its port index.
    int installAndOpen() {
        bus.install();
        int port = 0;
        EXPECT_EQ(OpenUSBPort(&port), 0);
        return port;
    }

    FakeBus bus;
};

TEST_F(PortTable, NoReaderAttached) {
    FakeDevice &mouse = bus.addDevice(0x046D, 0xC077);
    bus.install();
    int port = 7;
    EXPECT_EQ(OpenUSBPort(&port), ERR_COMM);
    EXPECT_EQ(port, 7);
    EXPECT_EQ(mouse.opens, 1);  // examined ...
    EXPECT_FALSE(mouse.isOpen());  // ... and closed at once
    EXPECT_TRUE(mouse.sent.empty());
}

TEST_F(PortTable, OneReaderGetsIndexOneAndOneSyncReport) {
    FakeDevice &reader = bus.addReader();
    int port = installAndOpen();
    EXPECT_EQ(port, 1);
    EXPECT_EQ(reader.dialogue(), std::vector<Bytes>{bytes({0x03, 0x0F})});
    EXPECT_TRUE(allAre(reader.sent.at(0).data() + 2, REPORT_SIZE - 2, 0));
}

TEST_F(PortTable, NonMatchingDevicesAreOpenedExaminedAndClosed) {
    FakeDevice &otherVendor = bus.addDevice(0x0471, READER_PRODUCT_ID);
    FakeDevice &otherProduct = bus.addDevice(READER_VENDOR_ID, 0xA113);
    FakeDevice &unreadable = bus.addReader();
    unreadable.hideAttributes = true;
    FakeDevice &reader = bus.addReader();
    int port = installAndOpen();
    EXPECT_EQ(port, 1);
    for (FakeDevice *d : {&otherVendor, &otherProduct, &unreadable}) {
        EXPECT_EQ(d->opens, 1);
        EXPECT_FALSE(d->isOpen());
    }
    EXPECT_TRUE(reader.isOpen());
    EXPECT_EQ(answered(1, reader), 0);
}

TEST_F(PortTable, MissingPositionsAndRefusedOpensAreSkipped) {
    FakeDevice &stubborn = bus.addReader();
    stubborn.refuseOpen = true;
    bus.addReader();  // position 1: interfacePath fails for it
    FakeDevice &reader = bus.addReader();
    bus.missingPositions = {1};
    EXPECT_EQ(installAndOpen(), 1);
    EXPECT_EQ(reader.controls(), Bytes{CTRL_SYNC});
}

TEST_F(PortTable, OpenTwiceFailsButTheFirstPortKeepsWorking) {
    FakeDevice &reader = bus.addReader();
    int port = installAndOpen();
    int second = 9;
    EXPECT_EQ(OpenUSBPort(&second), ERR_COMM);
    EXPECT_EQ(second, 9);
    EXPECT_EQ(reader.opens, 1);  // nothing opened while port 1 is in use
    EXPECT_EQ(answered(port, reader), 0);
    // The fruitless enumeration cleared the in-use flags: the index cannot be
    // closed now, and the next open takes slot 1 again.
    EXPECT_EQ(CloseUSBPort(port), ERR_COMM);
    ASSERT_EQ(OpenUSBPort(&second), 0);
    EXPECT_EQ(second, 1);
    // The handle the slot held is closed before the new one is stored.
    EXPECT_EQ(reader.opens, 2);
    EXPECT_EQ(reader.closes, 1);
}

TEST_F(PortTable, CloseTwiceThenReopenAtIndexOne) {
    FakeDevice &reader = bus.addReader();
    int port = installAndOpen();
    EXPECT_EQ(CloseUSBPort(port), 0);
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(CloseUSBPort(port), ERR_COMM);
    port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(answered(port, reader), 0);
}

TEST_F(PortTable, TwoReaders) {
    FakeDevice &first = bus.addReader();
    FakeDevice &second = bus.addReader();
    int port = installAndOpen();
    EXPECT_EQ(port, 1);
    EXPECT_EQ(first.controls(), Bytes{CTRL_SYNC});
    EXPECT_TRUE(second.sent.empty());
    // Index 2 holds the second reader: commands reach it, but it was never
    // handed out, so it cannot be closed.
    EXPECT_EQ(answered(2, second), 0);
    EXPECT_EQ(second.frames().size(), 1u);
    EXPECT_EQ(CloseUSBPort(2), ERR_COMM);
    EXPECT_TRUE(second.isOpen());
    // The next enumeration closes the handle slot 2 kept before storing a new one.
    ASSERT_EQ(CloseUSBPort(port), 0);
    ASSERT_EQ(OpenUSBPort(&port), 0);
    EXPECT_EQ(first.opens - first.closes, 1);
    EXPECT_EQ(second.opens - second.closes, 1);
}

TEST_F(PortTable, FailedSyncLeavesTheSlotInUse) {
    FakeDevice &reader = bus.addReader();
    bus.install();
    reader.failWrite = isSyncReport;
    int port = 3;
    EXPECT_EQ(OpenUSBPort(&port), ERR_COMM);
    EXPECT_EQ(port, 3);
    reader.failWrite = nullptr;
    EXPECT_EQ(OpenUSBPort(&port), ERR_COMM);  // slot 1 still in use: fruitless, flags cleared
    EXPECT_EQ(OpenUSBPort(&port), 0);
    EXPECT_EQ(port, 1);
}

TEST_F(PortTable, IndexesOutsideTheTableTouchNothing) {
    FakeDevice &reader = bus.addReader();
    EXPECT_EQ(installAndOpen(), 1);
    reader.forget();
    for (int index : {-1, 20, -2147483647 - 1}) {
        EXPECT_EQ(CloseUSBPort(index), ERR_COMM);
        unsigned char control[2] = {0x03, 0x0A};
        EXPECT_EQ(SendDataToPort(control, 2, index), 0);
        EXPECT_EQ(readerInformation(index), ERR_COMM);
    }
    EXPECT_TRUE(reader.sent.empty());
}

TEST_F(PortTable, NineteenReadersFillTheTableAndATwentiethIsLeftAlone) {
    std::vector<FakeDevice *> readers;
    for (int i = 0; i < 20; ++i) readers.push_back(&bus.addReader());
    EXPECT_EQ(installAndOpen(), 1);
    for (int i = 0; i < 19; ++i) EXPECT_TRUE(readers[static_cast<size_t>(i)]->isOpen()) << i;
    EXPECT_EQ(readers[19]->opens, 0);
    EXPECT_EQ(answered(19, *readers[18]), 0);
}

}  // namespace
