// Built only when the platform transport is turned off: the library then
// finds no reader of its own, and the transport seam still serves.
#include <gtest/gtest.h>

#include "fake_reader.h"
#include "link/transport.h"

using namespace tessaro::testing;

namespace {

TEST(NullTransport, KnowsNoInterfaceAndMovesNoReport) {
    const TessaroTransport &none = tessaro::link::platformTransport();
    char path[64] = "untouched";
    unsigned char report[REPORT_SIZE] = {};
    unsigned short vendorId = 0;
    unsigned short productId = 0;
    EXPECT_NE(none.interfacePath(none.context, 0, path, sizeof path), 0);
    EXPECT_STREQ(path, "untouched");
    EXPECT_EQ(none.open(none.context, "/dev/hidraw0"), nullptr);
    EXPECT_NE(none.attributes(none.context, nullptr, &vendorId, &productId), 0);
    EXPECT_EQ(none.writeReport(none.context, nullptr, report, 50), -1);
    EXPECT_EQ(none.readReport(none.context, nullptr, report, 100), -1);
}

TEST(NullTransport, OpenFindsNothingUntilATransportIsInstalled) {
    int port = -1;
    ASSERT_EQ(TessaroSetTransport(nullptr), 0);
    EXPECT_EQ(OpenUSBPort(&port), ERR_COMM);
    {
        FakeBus bus;
        bus.addReader();
        bus.install();
        ASSERT_EQ(OpenUSBPort(&port), 0);
        EXPECT_EQ(CloseUSBPort(port), 0);
    }  // the bus restores the platform transport
    EXPECT_EQ(OpenUSBPort(&port), ERR_COMM);
}

}  // namespace
