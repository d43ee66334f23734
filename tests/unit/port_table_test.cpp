#include <gtest/gtest.h>

#include "fake_reader.h"

using namespace tessaro::testing;

namespace {

class PortTable : public ::testing::Test {
protected:
    // A command that reaches the reader on `portIndex`, answered as usual.
    int readerInformation(int portIndex, FakeDevice &device) {
        device.answer(answerFrame(0x00, 0x21, 0x00, Bytes(12, 0x11)));
        unsigned char address = 0, v[2], b[10];
        return GetReaderInformation(&address, v, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &b[6],
                                    &b[7], &b[8], &b[9], portIndex);
    }
    int readerInformationUnanswered(int portIndex) {
        unsigned char address = 0, v[2], b[10];
        return GetReaderInformation(&address, v, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &b[6],
                                    &b[7], &b[8], &b[9], portIndex);
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
    bus.install();
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(reader.dialogue(), std::vector<Bytes>{bytes({0x03, 0x0F})});
    const Report &sync = reader.sent.at(0);
    EXPECT_TRUE(std::all_of(sync.begin() + 2, sync.end(), [](auto b) { return b == 0; }));
}

TEST_F(PortTable, NonMatchingDevicesAreOpenedExaminedAndClosed) {
    FakeDevice &otherVendor = bus.addDevice(0x0471, READER_PRODUCT_ID);
    FakeDevice &otherProduct = bus.addDevice(READER_VENDOR_ID, 0xA113);
    FakeDevice &unreadable = bus.addReader();
    unreadable.hideAttributes = true;
    FakeDevice &reader = bus.addReader();
    bus.install();
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    EXPECT_EQ(port, 1);
    for (FakeDevice *d : {&otherVendor, &otherProduct, &unreadable}) {
        EXPECT_EQ(d->opens, 1);
        EXPECT_FALSE(d->isOpen());
    }
    EXPECT_TRUE(reader.isOpen());
    EXPECT_EQ(readerInformation(1, reader), 0);
}

TEST_F(PortTable, MissingPositionsAndRefusedOpensAreSkipped) {
    FakeDevice &stubborn = bus.addReader();
    stubborn.refuseOpen = true;
    bus.addReader();  // position 1: interfacePath fails for it
    FakeDevice &reader = bus.addReader();
    bus.missingPositions = {1};
    bus.install();
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    EXPECT_EQ(reader.controls(), Bytes{CTRL_SYNC});
}

TEST_F(PortTable, OpenTwiceFailsButTheFirstPortKeepsWorking) {
    FakeDevice &reader = bus.addReader();
    bus.install();
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    int second = 9;
    EXPECT_EQ(OpenUSBPort(&second), ERR_COMM);
    EXPECT_EQ(second, 9);
    EXPECT_EQ(reader.opens, 1);  // nothing opened while port 1 is in use
    EXPECT_EQ(readerInformation(port, reader), 0);
    // The fruitless enumeration cleared the in-use flags: the index cannot be
    // closed now, and the next open takes slot 1 again.
    EXPECT_EQ(CloseUSBPort(port), ERR_COMM);
    ASSERT_EQ(OpenUSBPort(&second), 0);
    EXPECT_EQ(second, 1);
    // The handle the slot held is closed before the new one is stored.
    EXPECT_EQ(reader.opens, 2);
    EXPECT_EQ(reader.closes, 1);
}

TEST_F(PortTable, CloseTwice) {
    bus.addReader();
    bus.install();
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    EXPECT_EQ(CloseUSBPort(port), 0);
    EXPECT_EQ(CloseUSBPort(port), ERR_COMM);
}

TEST_F(PortTable, ReopenAfterCloseHandsOutIndexOneAgain) {
    FakeDevice &reader = bus.addReader();
    bus.install();
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    ASSERT_EQ(CloseUSBPort(port), 0);
    EXPECT_FALSE(reader.isOpen());
    port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(readerInformation(port, reader), 0);
}

TEST_F(PortTable, ClosedPortVersusNeverOpenedPort) {
    FakeDevice &reader = bus.addReader();
    bus.install();
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    ASSERT_EQ(CloseUSBPort(port), 0);
    reader.forget();
    EXPECT_EQ(readerInformationUnanswered(port), ERR_PORT_CLOSED);
    EXPECT_EQ(readerInformationUnanswered(5), ERR_COMM);
    EXPECT_TRUE(reader.sent.empty());
}

TEST_F(PortTable, TwoReaders) {
    FakeDevice &first = bus.addReader();
    FakeDevice &second = bus.addReader();
    bus.install();
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(first.controls(), Bytes{CTRL_SYNC});
    EXPECT_TRUE(second.sent.empty());
    // Index 2 holds the second reader: commands reach it, but it was never
    // handed out, so it cannot be closed.
    EXPECT_EQ(readerInformation(2, second), 0);
    EXPECT_EQ(second.frames().size(), 1u);
    EXPECT_EQ(CloseUSBPort(2), ERR_COMM);
    EXPECT_TRUE(second.isOpen());
}

TEST_F(PortTable, KeptReadersAreNotLeakedByTheNextEnumeration) {
    FakeDevice &first = bus.addReader();
    FakeDevice &second = bus.addReader();
    bus.install();
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    ASSERT_EQ(CloseUSBPort(port), 0);
    ASSERT_EQ(OpenUSBPort(&port), 0);
    EXPECT_EQ(first.opens - first.closes, 1);
    EXPECT_EQ(second.opens - second.closes, 1);  // slot 2's old handle was closed first
}

TEST_F(PortTable, FailedSyncLeavesTheSlotInUse) {
    FakeDevice &reader = bus.addReader();
    bus.install();
    reader.failWrite = [](const Report &r) { return r[0] == REPORT_ID_CONTROL && r[1] == CTRL_SYNC; };
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
    bus.install();
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    reader.forget();
    for (int index : {-1, 20, 1000, -2147483647 - 1}) {
        EXPECT_EQ(CloseUSBPort(index), ERR_COMM);
        unsigned char control[2] = {0x03, 0x0A};
        EXPECT_EQ(SendDataToPort(control, 2, index), 0);
        EXPECT_EQ(readerInformationUnanswered(index), ERR_COMM);
    }
    EXPECT_TRUE(reader.sent.empty());
}

TEST_F(PortTable, NineteenReadersFillTheTableAndATwentiethIsLeftAlone) {
    std::vector<FakeDevice *> readers;
    for (int i = 0; i < 20; ++i) readers.push_back(&bus.addReader());
    bus.install();
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    for (int i = 0; i < 19; ++i) EXPECT_TRUE(readers[static_cast<size_t>(i)]->isOpen()) << i;
    EXPECT_EQ(readers[19]->opens, 0);
    EXPECT_EQ(readerInformation(19, *readers[18]), 0);
}

}  // namespace
