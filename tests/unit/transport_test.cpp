#include <gtest/gtest.h>

#include "link/process_state.h"
#include "reader_fixture.h"

using namespace tessaro::testing;

namespace {

using Transport = ReaderTest;

TEST_F(Transport, IncompleteTransportsAreRefusedAndChangeNothing) {
    const TessaroTransport good = bus.transport();
    std::vector<TessaroTransport> bad(7, good);
    bad[0].version = 2;
    bad[1].interfacePath = nullptr;
    bad[2].open = nullptr;
    bad[3].attributes = nullptr;
    bad[4].writeReport = nullptr;
    bad[5].readReport = nullptr;
    bad[6].close = nullptr;
    for (const TessaroTransport &t : bad) EXPECT_EQ(TessaroSetTransport(&t), ERR_PARAMETER);
    // Port 1 is still open on the fake reader.
    EXPECT_TRUE(reader.isOpen());
    EXPECT_EQ(CloseUSBPort(port), 0);
}

TEST_F(Transport, ClockMembersAreOptional) {
    TessaroTransport noClock = bus.transport();
    noClock.tickMs = nullptr;
    noClock.sleepMs = nullptr;
    EXPECT_EQ(TessaroSetTransport(&noClock), 0);
}

TEST_F(Transport, SwitchingClosesHandlesAndReturnsToTheLoadState) {
    // Leave something in the state: a scan time, a response, port 1 open.
    FakeBus other;
    FakeDevice &next = other.addReader();
    setScanTime(25);
    ASSERT_EQ(tessaro::processState().scanTimeUnits, 25);

    other.install();
    EXPECT_FALSE(reader.isOpen());  // closed through the transport that opened it
    const tessaro::ProcessState &state = tessaro::processState();
    EXPECT_EQ(state.scanTimeUnits, 0);
    EXPECT_EQ(state.responseLength, 0);
    EXPECT_EQ(state.inventoryInProgress, 0);
    EXPECT_TRUE(allAre(state.response, RESPONSE_BUFFER_SIZE, 0));
    EXPECT_TRUE(allAre(state.command, sizeof state.command, 0));
    for (const tessaro::PortSlot &slot : state.ports) {
        EXPECT_FALSE(slot.inUse);
        EXPECT_EQ(slot.handle, tessaro::Handle::Empty);
    }

    int again = 0;
    ASSERT_EQ(OpenUSBPort(&again), 0);
    EXPECT_EQ(again, 1);
    EXPECT_TRUE(next.isOpen());
    bus.install();
    EXPECT_FALSE(next.isOpen());
}

}  // namespace
