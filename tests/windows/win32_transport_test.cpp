// The Windows transport's own logic, against a fake of the Win32 services.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "fake_win32.h"
#include "link/transport.h"
#include "reader_fixture.h"

using namespace tessaro::testing;
using tessaro::link::normaliseWin32InputReport;

namespace {

class Win32Transport : public ::testing::Test {
protected:
    void TearDown() override {
        TessaroSetTransport(nullptr);  // closes what the port table holds, through the fake
        EXPECT_EQ(system.misuse, std::vector<std::string>{});
    }

    void install() { ASSERT_EQ(TessaroSetTransport(&transport), 0); }
    int interfacePath(int index, std::string &path, std::size_t size = 512) {
        std::vector<char> buffer(size, '\x7f');
        const int result = transport.interfacePath(transport.context, index, buffer.data(), size);
        path = result == 0 ? buffer.data() : "";
        return result;
    }
    int read(void *device, unsigned char *report) {
        return transport.readReport(transport.context, device, report, tessaro::link::kReadWaitMs);
    }
    int write(void *device) {
        const unsigned char poll[REPORT_SIZE] = {REPORT_ID_CONTROL, CTRL_POLL};
        return transport.writeReport(transport.context, device, poll, tessaro::link::kWriteWaitMs);
    }

    FakeBus bus;
    FakeWin32 system{bus};
    TessaroTransport transport = system.transport();
};

// One reader, opened straight through the transport.
class Win32Device : public Win32Transport {
protected:
    void SetUp() override {
        std::string path;
        ASSERT_EQ(interfacePath(0, path), 0);
        device = transport.open(transport.context, path.c_str());
        ASSERT_NE(device, nullptr);
    }
    void TearDown() override {
        if (device) close();
        Win32Transport::TearDown();
    }
    void close() {
        transport.close(transport.context, device);
        device = nullptr;
    }

    FakeDevice &reader = bus.addReader();
    void *device = nullptr;
};

TEST_F(Win32Transport, ListsEveryHidInterfaceAtItsPlaceInTheSystemsOrder) {
    bus.addDevice(0x046D, 0xC077);
    bus.addReader();
    bus.addReader();
    bus.missingPositions = {1};  // its detail cannot be read
    std::vector<std::string> paths(4);
    for (int i = 0; i < 4; ++i) interfacePath(i, paths[static_cast<std::size_t>(i)]);
    EXPECT_EQ(paths, (std::vector<std::string>{
                         "\\\\?\\hid#fake&dev_0#\u00e9t\u00e9#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                         "",
                         "\\\\?\\hid#fake&dev_2#\u00e9t\u00e9#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                         ""}));
    EXPECT_EQ(system.deviceSetsOpen, 0);
}

TEST_F(Win32Transport, ListsNoMoreInterfacesThanDiscoveryAsksFor) {
    for (int i = 0; i <= 100; ++i) bus.addDevice(0x046D, 0xC077);
    std::string path;
    EXPECT_EQ(interfacePath(0, path), 0);
    EXPECT_EQ(interfacePath(99, path), 0);
    EXPECT_NE(interfacePath(100, path), 0);
}

TEST_F(Win32Transport, NothingIsListedThatCannotBeHandedOverWhole) {
    bus.addReader();
    std::string path;
    EXPECT_NE(interfacePath(0, path, 20), 0);  // the path is longer
    system.refuseDeviceSet = true;
    EXPECT_NE(interfacePath(0, path), 0);
    EXPECT_EQ(system.deviceSetsOpen, 0);
}

TEST_F(Win32Transport, OpenUSBPortKeepsTheReaderAndClosesEveryOtherDevice) {
    FakeDevice &mouse = bus.addDevice(0x046D, 0xC077);
    FakeDevice &locked = bus.addReader();
    locked.refuseOpen = true;
    FakeDevice &mute = bus.addReader();
    mute.hideAttributes = true;
    FakeDevice &reader = bus.addReader();
    install();

    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(locked.opens, 0);
    for (const FakeDevice *other : {&mouse, &mute}) {
        EXPECT_EQ(other->opens, 1);
        EXPECT_FALSE(other->isOpen());
    }
    EXPECT_EQ(reader.dialogue(), std::vector<Bytes>{bytes({0x03, 0x0F})});
    EXPECT_EQ(system.openFiles, 1);
    EXPECT_EQ(system.openEvents, 1);

    EXPECT_EQ(CloseUSBPort(port), 0);
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(system.openFiles, 0);
    EXPECT_EQ(system.openEvents, 0);
}

TEST_F(Win32Transport, AnAnswerComesThroughHoweverWindowsDeliversIt) {
    FakeDevice &reader = bus.addReader();
    install();
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    const struct {
        bool numberedReports;
        bool synchronous;
    } deliveries[] = {{true, false}, {false, false}, {true, true}, {false, true}};
    for (const auto &delivery : deliveries) {
        SCOPED_TRACE(::testing::Message() << "numbered " << delivery.numberedReports
                                          << ", synchronous " << delivery.synchronous);
        system.numberedReports = delivery.numberedReports;
        system.synchronous = delivery.synchronous;
        reader.answer(readerInformationAnswer(7), {5});  // over two input reports
        EXPECT_EQ(readerInformation(port), 0);
    }
}

TEST(Win32InputReport, TheReportIdWindowsPutsFirstIsNormalised) {
    unsigned char raw[REPORT_SIZE + 1];
    std::iota(raw, raw + sizeof raw, 1);
    const struct {
        int got;
        unsigned char firstByte;
        int expected;
        int firstKept;  // index in raw of the report's byte 0
    } cases[] = {
        {64, 0x02, 64, 0},  // numbered: already the link's layout
        {64, 0x00, 64, 0},  // a zero id and 63 bytes: as well
        {65, 0x00, 64, 1},  // a zero id and 64 bytes: the id goes
        {65, 0x05, 64, 0},  // numbered and longer: its first 64 bytes
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.got);
        raw[0] = c.firstByte;
        unsigned char report[REPORT_SIZE] = {};
        EXPECT_EQ(normaliseWin32InputReport(raw, c.got, report), c.expected);
        EXPECT_TRUE(std::equal(report, report + REPORT_SIZE, raw + c.firstKept));
    }
    for (int got : {-1, 0, 10}) {  // failures and short reads: the count as it is
        unsigned char report[REPORT_SIZE] = {};
        EXPECT_EQ(normaliseWin32InputReport(raw, got, report), got);
    }
}

TEST_F(Win32Device, ASilentReaderCostsTheReadWaitAndLeavesNothingPending) {
    reader.silent = true;
    unsigned char report[REPORT_SIZE];
    EXPECT_EQ(bus.elapsedMs([&] { EXPECT_EQ(read(device, report), 0); }),
              tessaro::link::kReadWaitMs);
    EXPECT_EQ(system.waits.front(), tessaro::link::kReadWaitMs);
    EXPECT_EQ(system.cancels, 1);

    system.stallWrites = true;
    EXPECT_EQ(bus.elapsedMs([&] { EXPECT_EQ(write(device), 0); }), tessaro::link::kWriteWaitMs);
    EXPECT_EQ(system.cancels, 2);
    EXPECT_TRUE(reader.sent.empty());
    close();  // the fake objects to anything still pending
    EXPECT_EQ(system.openFiles, 0);
    EXPECT_EQ(system.openEvents, 0);
}

TEST_F(Win32Device, AReportThatEndsAsItIsCancelledIsKept) {
    system.cancel = FakeWin32::Cancel::CompletesFirst;
    reader.timeoutReads = 1;
    reader.queue(bytes({0x11, 0x22}));
    unsigned char report[REPORT_SIZE] = {};
    EXPECT_EQ(read(device, report), REPORT_SIZE);
    EXPECT_EQ(system.cancels, 1);
    EXPECT_EQ(Bytes(report, report + 4), bytes({0x00, 0x02, 0x11, 0x22}));
}

TEST_F(Win32Device, ADeviceWhoseCancelNeverEndsIsRetired) {
    system.cancel = FakeWin32::Cancel::IsIgnored;
    reader.silent = true;
    unsigned char report[REPORT_SIZE];
    EXPECT_EQ(read(device, report), -1);
    const int readCalls = system.readCalls;
    reader.silent = false;
    EXPECT_EQ(read(device, report), -1);
    EXPECT_EQ(write(device), -1);
    EXPECT_EQ(system.readCalls, readCalls);  // nothing new started on the held control block
    EXPECT_TRUE(reader.sent.empty());
    close();
    EXPECT_EQ(system.openFiles, 0);
    EXPECT_EQ(system.openEvents, 1);  // left to the transfer the system still holds
}

TEST_F(Win32Device, AnUnpluggedReaderFailsAtOnce) {
    reader.unplugged = true;
    unsigned char report[REPORT_SIZE];
    EXPECT_EQ(bus.elapsedMs([&] {
        EXPECT_EQ(write(device), -1);
        EXPECT_EQ(read(device, report), -1);
    }), 0u);
}

TEST_F(Win32Transport, ASilentReaderEndsTheExchangeWithinItsBound) {
    FakeDevice &reader = bus.addReader();
    install();
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    reader.silent = true;
    const unsigned elapsed = bus.elapsedMs([&] { EXPECT_EQ(readerInformation(port), ERR_COMM); });
    // one cycle: the read's wait and the pause after it
    EXPECT_EQ(elapsed, tessaro::link::kReadWaitMs + tessaro::link::kReportPauseMs);
}

TEST_F(Win32Transport, AnInterfaceWithoutAnEventForItsTransfersIsClosedAgain) {
    FakeDevice &reader = bus.addReader();
    system.refuseEvents = true;
    std::string path;
    ASSERT_EQ(interfacePath(0, path), 0);
    EXPECT_EQ(transport.open(transport.context, path.c_str()), nullptr);
    EXPECT_EQ(system.openFiles, 0);  // the file opened for it is closed
    EXPECT_EQ(system.openEvents, 0);
    EXPECT_FALSE(reader.isOpen());
    install();
    int port = 0;
    EXPECT_NE(OpenUSBPort(&port), 0);
    system.refuseEvents = false;
    EXPECT_EQ(OpenUSBPort(&port), 0);
}

TEST_F(Win32Transport, APathWithoutAUtf8FormIsSkippedAndNeverOpened) {
    FakeDevice &first = bus.addReader();
    FakeDevice &second = bus.addReader();
    system.unconvertiblePaths = {0};
    std::string path;
    EXPECT_NE(interfacePath(0, path), 0);
    EXPECT_EQ(interfacePath(1, path), 0) << "the next member keeps its place";
    // Nor does a path that is not UTF-8 reach the system.
    EXPECT_EQ(transport.open(transport.context, "\\\\?\\hid#\xff\xfe"), nullptr);
    EXPECT_EQ(system.createFileCalls, 0);
    install();
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    EXPECT_EQ(first.opens, 0);
    EXPECT_EQ(second.opens, 1);
}

}  // namespace
