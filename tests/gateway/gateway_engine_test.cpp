// The gateway's engine: its outbox (memory queue, spool folder), broker settings and run loop.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <algorithm>

#include "Tessaro.h"
#include "TessaroSim.h"
#include "gateway_run.h"
#include "outbox.h"
#include "publisher.h"

namespace tessaro::gateway {
namespace {

namespace fs = std::filesystem;

class OutboxTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("tessaro-outbox-" + std::string(::testing::UnitTest::GetInstance()
                                                       ->current_test_info()
                                                       ->name()));
        fs::remove_all(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    OutboxLimits limits(std::size_t memory, std::uint64_t spoolBytes) {
        OutboxLimits l;
        l.memoryMessages = memory;
        l.spoolFolder = folder.string();
        l.spoolBytes = spoolBytes;
        return l;
    }
    static std::vector<std::string> drain(Outbox &outbox) {
        std::vector<std::string> out;
        std::string message;
        while (outbox.take(message)) out.push_back(message);
        return out;
    }
    static std::vector<std::string> numbers(int from, int to) {
        std::vector<std::string> out;
        for (int i = from; i <= to; ++i) out.push_back("m" + std::to_string(i));
        return out;
    }

    fs::path folder;
};

// Messages leave in the order they came, whether they waited in memory or on
// disk, and whatever was taken and given back goes first.
TEST_F(OutboxTest, OrderHoldsThroughMemorySpoolAndGiveBack) {
    for (const std::size_t memory : {1u, 3u, 100u}) {
        SCOPED_TRACE(memory);
        fs::remove_all(folder);
        Outbox outbox;
        std::string error;
        ASSERT_TRUE(outbox.open(limits(memory, 1 << 20), error)) << error;
        std::vector<std::string> taken;
        std::string message;
        int next = 1;
        for (int step = 0; step < 10; ++step) {
            for (int i = 0; i < 7; ++i) ASSERT_TRUE(outbox.push("m" + std::to_string(next++)));
            // take three, deliver one, give two back (a dropped connection)
            std::vector<std::string> inFlight;
            for (int i = 0; i < 3 && outbox.take(message); ++i) inFlight.push_back(message);
            taken.push_back(inFlight.front());
            outbox.giveBack({inFlight.begin() + 1, inFlight.end()});
        }
        for (const std::string &rest : drain(outbox)) taken.push_back(rest);
        EXPECT_EQ(taken, numbers(1, 70));
        EXPECT_TRUE(outbox.empty());
        EXPECT_EQ(outbox.counts().onDisk, 0u);
        EXPECT_EQ(outbox.counts().spooledMessages > 0, memory < 100);
    }
}

TEST_F(OutboxTest, FullQueueAndSpoolDropAndCount) {
    Outbox outbox;
    std::string error;
    ASSERT_TRUE(outbox.open(limits(2, 10), error));  // room for two 4-byte lines on disk
    int accepted = 0;
    for (int i = 1; i <= 9; ++i) accepted += outbox.push("m" + std::to_string(i) + "xx");
    const OutboxCounts counts = outbox.counts();
    EXPECT_EQ(counts.accepted, static_cast<std::uint64_t>(accepted));
    EXPECT_EQ(counts.accepted + counts.dropped, 9u);
    EXPECT_EQ(accepted, 4);  // two spilled to disk, two in memory
    EXPECT_EQ(drain(outbox), (std::vector<std::string>{"m1xx", "m2xx", "m3xx", "m4xx"}));
}

TEST_F(OutboxTest, WithoutSpoolTheQueueBoundDrops) {
    Outbox outbox;
    std::string error;
    OutboxLimits memoryOnly;
    memoryOnly.memoryMessages = 3;
    ASSERT_TRUE(outbox.open(memoryOnly, error));
    for (int i = 1; i <= 5; ++i) outbox.push("m" + std::to_string(i));
    EXPECT_EQ(outbox.counts().dropped, 2u);
    EXPECT_EQ(drain(outbox), numbers(1, 3));
}

// What waits at exit is written to the spool; the next run sends it first,
// in the order it came.
TEST_F(OutboxTest, PersistedMessagesComeOutInOrderInTheNextRun) {
    {
        Outbox outbox;
        std::string error;
        ASSERT_TRUE(outbox.open(limits(4, 1 << 20), error));
        for (int i = 1; i <= 10; ++i) outbox.push("m" + std::to_string(i));  // 1-8 on disk
        std::string message;
        std::vector<std::string> inFlight;
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(outbox.take(message));
            inFlight.push_back(message);
        }
        outbox.giveBack({inFlight[1], inFlight[2]});  // m1 delivered
        for (int i = 11; i <= 12; ++i) outbox.push("m" + std::to_string(i));
        outbox.persist();
        EXPECT_EQ(outbox.counts().dropped, 0u);
    }
    Outbox next;
    std::string error;
    ASSERT_TRUE(next.open(limits(4, 1 << 20), error));
    next.push("m13");
    EXPECT_EQ(drain(next), numbers(2, 13));
}

TEST(BrokerUrl, ParsesWhatItShouldAndRefusesTheRest) {
    struct Row {
        const char *url;
        bool ok;
        const char *host;
        int port;
        bool tls;
    };
    const Row rows[] = {
        {"mqtt://127.0.0.1", true, "127.0.0.1", 1883, false},
        {"mqtt://broker.local:1884/", true, "broker.local", 1884, false},
        {"tcp://h:65535", true, "h", 65535, false},
        {"mqtts://h", true, "h", 8883, true},
        {"ssl://[::1]:8884", true, "::1", 8884, true},
        {"http://h", false, "", 0, false},
        {"mqtt://", false, "", 0, false},
        {"mqtt://h:", false, "", 0, false},
        {"mqtt://h:0", false, "", 0, false},
        {"mqtt://h:65536", false, "", 0, false},
        {"mqtt://h:12x", false, "", 0, false},
        {"mqtt://user@h", false, "", 0, false},
        {"mqtt://h/topic", false, "", 0, false},
        {"mqtt://[::1", false, "", 0, false},
        {"127.0.0.1:1883", false, "", 0, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.url);
        BrokerConfig config;
        std::string error;
        ASSERT_EQ(parseBrokerUrl(row.url, config, error), row.ok);
        if (!row.ok) {
            EXPECT_NE(error.find(row.url), std::string::npos);
            continue;
        }
        EXPECT_EQ(config.host, row.host);
        EXPECT_EQ(config.port, row.port);
        EXPECT_EQ(config.tls, row.tls);
    }
}

TEST(BrokerUrl, TopicTemplateNamesTheReader) {
    EXPECT_EQ(expandTopic("tessaro/{reader}/tags", "19082024"), "tessaro/19082024/tags");
    EXPECT_EQ(expandTopic("{reader}/{reader}", "{reader}"), "{reader}/{reader}");
    EXPECT_EQ(expandTopic("site/all", "1"), "site/all");
}

// The engine against two simulated readers with one serial number and no
// broker: every reader gets a name of its own, --reader chooses among them,
// and what was not delivered waits in each reader's spool folder.
TEST(GatewayRun, EveryReaderHasAFolderOfItsOwnAndReaderChoosesAmongThem) {
    const fs::path spool = fs::temp_directory_path() / "tessaro-gateway-run";
    struct Row {
        std::vector<std::string> readers;
        int exit;
        std::vector<std::string> folders;
    };
    const Row rows[] = {
        {{}, kGatewayOk, {"19082024", "19082024-port2"}},
        {{"19082024-port2"}, kGatewayOk, {"19082024-port2"}},
        {{"0BADC0DE"}, kGatewayReaderError, {}},
    };
    for (const Row &row : rows) {
        fs::remove_all(spool);
        TessaroSim *sim = TessaroSimCreate(TESSARO_SIM_VIRTUAL_CLOCK);
        for (int reader = 0; reader < 2; ++reader) {
            TessaroSimAddReader(sim);
            TessaroSimAddTag(sim, reader, "gen2 epc=300833B2DDD9014000000001 antenna=1", nullptr, 0);
        }
        ASSERT_EQ(TessaroSimInstall(sim), 0);
        int port = 0;
        ASSERT_EQ(OpenUSBPort(&port), 0);

        GatewayConfig config;
        std::string error;
        ASSERT_TRUE(parseBrokerUrl("mqtt://127.0.0.1:1", config.broker, error));  // nobody there
        config.broker.clientId = "run-test";
        config.readers = row.readers;
        config.outbox.spoolFolder = spool.string();
        config.rounds = 3;
        config.drainMs = 0;
        config.quiet = true;
        TessaroReadingDefaults(&config.reading);
        EXPECT_EQ(runGateway(config, true), row.exit);

        std::vector<std::string> folders;
        if (fs::exists(spool))
            for (const auto &entry : fs::directory_iterator(spool))
                folders.push_back(entry.path().filename().string());
        std::sort(folders.begin(), folders.end());
        EXPECT_EQ(folders, row.folders);
        for (const std::string &folder : folders) EXPECT_FALSE(fs::is_empty(spool / folder));
        TessaroSimDestroy(sim);
    }
    fs::remove_all(spool);
}

}  // namespace
}  // namespace tessaro::gateway
