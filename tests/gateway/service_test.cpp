// The service without a broker: the checks made on the MQTT settings before
// anything is sent, Home Assistant's discovery configs, and the engine with
// its journal against simulated readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Tessaro.h"
#include "TessaroSim.h"
#include "engine.h"
#include "mqtt_sink.h"
#include "run.h"

namespace tessaro::mqtt {
namespace {

namespace fs = std::filesystem;

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

// Every value that would make the broker drop us or the events vanish is
// refused with a message that names it.
TEST(StartChecks, TopicsAndClientIds) {
    struct Row {
        std::string topic, statusTopic, clientId;
        const char *message;  // nullptr: accepted
    };
    const Row rows[] = {
        {"tessaro/{reader}/tags", "s/{reader}", "gw", nullptr},
        {"a/#", "s", "gw", "--topic 'a/#': a topic to publish to cannot hold the wildcards + or #"},
        {"a/+/b", "s", "gw", "--topic 'a/+/b'"},
        {"", "s", "gw", "--topic '': a topic cannot be empty"},
        {"t", "s/#", "gw", "--status-topic 's/#'"},
        {"t\xC3", "s", "gw", "a topic must be UTF-8 text"},
        {std::string("t\0x", 3), "s", "gw", "cannot hold a NUL"},
        {"t", "s", "", "--client-id '': a client id cannot be empty"},
        {"t", "s", "gw\xFF", "--client-id: the client id must be UTF-8 text"},
        {"t", "t", "gw", "must differ"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.topic + " " + row.statusTopic + " " + row.clientId);
        MqttOptions options;
        options.topic = row.topic;
        options.statusTopic = row.statusTopic;
        options.broker.clientId = row.clientId;
        std::string error;
        const int code = checkOptions(options, error);
        if (!row.message) {
            EXPECT_EQ(code, service::kExitOk) << error;
            continue;
        }
        EXPECT_EQ(code, service::kExitUsage);
        EXPECT_NE(error.find(row.message), std::string::npos) << error;
    }
}

TEST(StartChecks, Utf8) {
    EXPECT_TRUE(isUtf8("plain"));
    EXPECT_TRUE(isUtf8("Lager Nord \xC3\xA4 \xE2\x82\xAC \xF0\x9F\x93\xA6"));
    for (const char *bad : {"\x80", "\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"})
        EXPECT_FALSE(isUtf8(bad)) << bad;
}

TEST(StartChecks, TlsFilesThatCannotBeReadAreNamed) {
    const fs::path folder = fs::temp_directory_path() / "tessaro-tls-check";
    fs::create_directories(folder);
    std::ofstream(folder / "garbage.pem") << "-----BEGIN CERTIFICATE-----\nnot base64 at all\n-----END CERTIFICATE-----\n";
    BrokerConfig config;
    config.tls = true;
    std::string error;
    EXPECT_TRUE(checkTlsFiles(config, error)) << error;  // the system's CAs
    config.caFile = (folder / "garbage.pem").string();
    EXPECT_FALSE(checkTlsFiles(config, error));
    EXPECT_NE(error.find("--cafile '" + config.caFile + "' holds no usable CA certificate"), std::string::npos) << error;
    config.caFile.clear();
    config.certFile = config.keyFile = (folder / "garbage.pem").string();
    EXPECT_FALSE(checkTlsFiles(config, error));
    EXPECT_NE(error.find("--cert '"), std::string::npos) << error;
    fs::remove_all(folder);
}

TEST(TagNames, FileOfEpcAndName) {
    const fs::path file = fs::temp_directory_path() / "tessaro-tag-names";
    std::ofstream(file) << "# forklifts\n3034257bf7194e40000003e9  Forklift 7\n\nE2801105 Pallet jack\r\n";
    std::map<std::string, std::string> names;
    std::string error;
    ASSERT_TRUE(loadTagNames(file.string(), names, error)) << error;
    EXPECT_EQ(names, (std::map<std::string, std::string>{{"3034257BF7194E40000003E9", "Forklift 7"},
                                                        {"E2801105", "Pallet jack"}}));
    std::ofstream(file) << "3034 ok\nXYZ not hex\n";
    EXPECT_FALSE(loadTagNames(file.string(), names, error));
    EXPECT_NE(error.find(":2: expected an EPC in hex and a name"), std::string::npos) << error;
    fs::remove(file);
}

// What Home Assistant needs of each config: a unique id, where the state is,
// and the device and origin that group and explain the entities.
TEST(HomeAssistant, DiscoveryConfigsCarryWhatHomeAssistantRequires) {
    MqttOptions options;
    options.homeAssistant = true;
    options.tagNames = {{"3034257BF7194E40000003E9", "Forklift 7"}};
    const auto configs = discoveryConfigs(options, "19082024", "2.1");
    ASSERT_EQ(configs.size(), 3u);
    std::vector<std::string> topics;
    for (const auto &[topic, payload] : configs) {
        topics.push_back(topic);
        const auto config = nlohmann::json::parse(payload);
        for (const char *key : {"name", "unique_id", "state_topic", "device", "origin"})
            EXPECT_TRUE(config.contains(key)) << topic << " lacks " << key;
        EXPECT_EQ(config["device"]["identifiers"][0], "tessaro_19082024");
        EXPECT_EQ(config["device"]["sw_version"], "2.1");
        EXPECT_EQ(config["origin"]["name"], "Tessaro");
    }
    EXPECT_EQ(topics, (std::vector<std::string>{
                          "homeassistant/binary_sensor/tessaro_19082024/connectivity/config",
                          "homeassistant/sensor/tessaro_19082024/read_rate/config",
                          "homeassistant/binary_sensor/tessaro_19082024/tag_3034257BF7194E40000003E9/config"}));
    const auto tag = nlohmann::json::parse(configs[2].second);
    EXPECT_EQ(tag["name"], "Forklift 7");
    EXPECT_EQ(tag["device_class"], "presence");
    EXPECT_EQ(tag["state_topic"], presenceTopic("19082024", "3034257BF7194E40000003E9"));
    EXPECT_EQ(nlohmann::json::parse(configs[0].second)["state_topic"], "tessaro/19082024/status");
}

// Two simulated readers with one serial number and no broker: each gets a
// name of its own, --reader chooses among them, every event is journaled
// under its reader, and what the broker never took waits for the next run.
TEST(ServiceRun, ReadersAreNamedChosenAndJournaled) {
    const fs::path journalFolder = fs::temp_directory_path() / "tessaro-service-run";
    struct Row {
        std::vector<std::string> readers;
        int exit;
        std::vector<std::string> journaled;
    };
    const Row rows[] = {
        {{}, service::kExitOk, {"19082024", "19082024-port2"}},
        {{"19082024-port2"}, service::kExitOk, {"19082024-port2"}},
        {{"0BADC0DE"}, service::kExitReaderError, {}},
    };
    for (const Row &row : rows) {
        fs::remove_all(journalFolder);
        TessaroSim *sim = TessaroSimCreate(TESSARO_SIM_VIRTUAL_CLOCK);
        for (int reader = 0; reader < 2; ++reader) {
            TessaroSimAddReader(sim);
            TessaroSimAddTag(sim, reader, "gen2 epc=300833B2DDD9014000000001 antenna=1", nullptr, 0);
        }
        ASSERT_EQ(TessaroSimInstall(sim), 0);
        int port = 0;
        ASSERT_EQ(OpenUSBPort(&port), 0);

        service::EngineOptions engineOptions;
        engineOptions.journal.folder = journalFolder.string();
        engineOptions.journal.fsync = journal::Fsync::Never;
        engineOptions.readers = row.readers;
        engineOptions.quiet = true;
        TessaroReadingDefaults(&engineOptions.reading);
        service::Engine engine;
        int exit = engine.open(engineOptions);
        if (exit == service::kExitOk) {
            MqttOptions mqttOptions;
            std::string error;
            ASSERT_TRUE(parseBrokerUrl("mqtt://127.0.0.1:1", mqttOptions.broker, error));  // nobody there
            mqttOptions.broker.clientId = "run-test";
            MqttSink sink(mqttOptions);
            service::RunLimits limits;
            limits.rounds = 3;
            limits.drainMs = 0;
            exit = service::runService(engine, {&sink}, limits, true);
        }
        EXPECT_EQ(exit, row.exit);

        if (!row.journaled.empty()) {
            journal::Journal after;
            journal::JournalOptions reopen;
            reopen.folder = journalFolder.string();
            std::string error;
            ASSERT_TRUE(after.open(reopen, error)) << error;
            after.addCursor(kSinkName);
            EXPECT_EQ(after.readersWithBacklog(kSinkName), row.journaled);
            for (const std::string &reader : row.journaled) {
                const auto waiting = after.fetch(reader, 0, 100);
                ASSERT_GE(waiting.size(), 3u);  // a read in each of three rounds
                EXPECT_EQ(waiting.front().seq, 1u);
                EXPECT_EQ(nlohmann::json::parse(waiting.front().body)["epc"], "300833B2DDD9014000000001");
            }
        }
        CloseUSBPort(port);
        TessaroSimDestroy(sim);
    }
    fs::remove_all(journalFolder);
}

}  // namespace
}  // namespace tessaro::mqtt
