#include "mqtt_sink.h"

#include <mosquitto.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>

#include "Tessaro.h"

namespace tessaro::mqtt {

using nlohmann::json;

namespace {

std::string upper(std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool isHex(const std::string &text) {
    if (text.empty() || text.size() % 2) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

std::string firmwareOf(int port) {
    unsigned char address = 0xFF, version[2], b[10];
    if (GetReaderInformation(&address, version, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &b[6],
                             &b[7], &b[8], &b[9], port) != 0)
        return {};
    return std::to_string(version[0]) + "." + std::to_string(version[1]);
}

}  // namespace

int checkOptions(const MqttOptions &options, std::string &error) {
    if (!checkTopic(options.topic, "--topic", error) ||
        !checkTopic(options.statusTopic, "--status-topic", error) ||
        !checkTopic(options.statsTopic, "--stats-topic", error) ||
        (options.homeAssistant && !checkTopic(options.homeAssistantPrefix + "/x", "--homeassistant", error)) ||
        !checkClientId(options.broker.clientId, error))
        return service::kExitUsage;
    if (options.topic == options.statusTopic || options.topic == options.statsTopic ||
        options.statusTopic == options.statsTopic) {
        error = "--topic, --status-topic and --stats-topic must differ";
        return service::kExitUsage;
    }
    if (!checkTlsFiles(options.broker, error)) return service::kExitBroker;
    return service::kExitOk;
}

bool loadTagNames(const std::string &path, std::map<std::string, std::string> &names,
                  std::string &error) {
    std::ifstream file(path);
    if (!file) {
        error = "cannot read the tag names '" + path + "'";
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream fields(line);
        std::string epc, name;
        if (!(fields >> epc) || epc[0] == '#') continue;
        std::getline(fields >> std::ws, name);
        if (!isHex(epc) || epc.size() > 124 || name.empty() || !isUtf8(name)) {
            error = path + ":" + std::to_string(number) + ": expected an EPC in hex and a name";
            return false;
        }
        names[upper(epc)] = name;
    }
    return true;
}

std::string presenceTopic(const std::string &reader, const std::string &epc) {
    return "tessaro/" + reader + "/presence/" + epc;
}

std::vector<std::pair<std::string, std::string>> discoveryConfigs(
    const MqttOptions &options, const std::string &reader, const std::string &firmware) {
    const std::string node = "tessaro_" + reader;
    const std::string status = expandTopic(options.statusTopic, reader);
    json device{{"identifiers", json::array({node})},
                {"name", "RFID reader " + reader},
                {"manufacturer", "Tessaro"},
                {"model", "UHF RFID reader 0470:A112"},
                {"serial_number", reader}};
    if (!firmware.empty()) device["sw_version"] = firmware;
    const json origin{{"name", "Tessaro"}, {"sw_version", TESSARO_SERVICE_VERSION}};
    const std::string online = "{{ 'online' if value_json.state == 'online' else 'offline' }}";
    std::vector<std::pair<std::string, std::string>> configs;
    const auto add = [&](const std::string &component, const std::string &object, json config) {
        config["device"] = device;
        config["origin"] = origin;
        configs.emplace_back(options.homeAssistantPrefix + "/" + component + "/" + node + "/" +
                                 object + "/config",
                             config.dump(-1, ' ', false, json::error_handler_t::replace));
    };
    add("binary_sensor", "connectivity",
        {{"name", "Connectivity"},
         {"unique_id", node + "_connectivity"},
         {"device_class", "connectivity"},
         {"entity_category", "diagnostic"},
         {"state_topic", status},
         {"value_template", "{{ 'ON' if value_json.state == 'online' else 'OFF' }}"}});
    add("sensor", "read_rate",
        {{"name", "Read rate"},
         {"unique_id", node + "_read_rate"},
         {"icon", "mdi:rfid"},
         {"state_topic", expandTopic(options.statsTopic, reader)},
         {"value_template", "{{ value_json.readsPerSecond }}"},
         {"unit_of_measurement", "reads/s"},
         {"state_class", "measurement"},
         {"availability_topic", status},
         {"availability_template", online}});
    for (const auto &[epc, name] : options.tagNames)
        add("binary_sensor", "tag_" + epc,
            {{"name", name},
             {"unique_id", node + "_tag_" + epc},
             {"device_class", "presence"},
             {"state_topic", presenceTopic(reader, epc)},
             {"availability_topic", status},
             {"availability_template", online}});
    return configs;
}

// Reads per second of a reader between two statistics messages.
struct MqttSink::Rate {
    std::mutex mutex;
    unsigned long long reads = 0;
    std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now();
};

MqttSink::MqttSink(MqttOptions options) : options_(std::move(options)) {}

MqttSink::~MqttSink() {
    for (auto &[reader, publisher] : publishers_) publisher->stop(0);
    if (engine_ && listener_) engine_->unsubscribe(listener_);
}

std::string MqttSink::statsJson(const std::string &reader) {
    const TessaroReadingStats stats = engine_->readingStats(reader);
    Rate &rate = *rates_.at(reader);
    const std::lock_guard<std::mutex> guard(rate.mutex);
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - rate.at).count();
    const double perSecond =
        seconds > 0 && stats.reads >= rate.reads ? (stats.reads - rate.reads) / seconds : 0.0;
    rate.reads = stats.reads;
    rate.at = now;
    return json{{"schema", "tessaro.reader-stats/1"},
                {"reader", reader},
                {"readsPerSecond", static_cast<double>(static_cast<long long>(perSecond * 10 + 0.5)) / 10},
                {"reads", stats.reads},
                {"rounds", stats.rounds},
                {"state", engine_->state(reader)},
                {"time", events::isoTime(events::wallClockNowMs())}}
        .dump();
}

int MqttSink::start(service::Engine &engine) {
    engine_ = &engine;
    mosquitto_lib_init();
    journal::Journal &journal = engine.journal();
    journal.addCursor(kSinkName);
    // This run's readers, and any other whose events still wait in the
    // journal from an earlier run.
    std::vector<std::string> readers;
    for (const service::ReaderInfo &reader : engine.readers()) readers.push_back(reader.serial);
    for (const std::string &waiting : journal.readersWithBacklog(kSinkName))
        if (std::find(readers.begin(), readers.end(), waiting) == readers.end()) readers.push_back(waiting);
    for (const std::string &reader : readers) {
        const service::ReaderInfo *info = engine.reader(reader);
        Discovery discovery;
        discovery.enabled = options_.homeAssistant && info;
        discovery.prefix = options_.homeAssistantPrefix;
        if (discovery.enabled) discovery.configs = discoveryConfigs(options_, reader, firmwareOf(info->port));
        rates_[reader] = std::make_unique<Rate>();
        Topics topics{expandTopic(options_.topic, reader), expandTopic(options_.statusTopic, reader),
                      info ? expandTopic(options_.statsTopic, reader) : std::string()};
        auto publisher = std::make_unique<Publisher>(
            options_.broker, reader, topics, journal, std::move(discovery),
            [this, reader] { return statsJson(reader); });
        if (!info) publisher->setReaderState("offline");
        if (info && options_.homeAssistant)
            for (const auto &[epc, name] : options_.tagNames) publisher->setRetained(presenceTopic(reader, epc), "OFF");
        publishers_[reader] = std::move(publisher);
    }
    listener_ = engine.subscribe([this](const events::TagEvent &event) {
        const auto found = publishers_.find(event.reader);
        if (found == publishers_.end()) return;
        Publisher &publisher = *found->second;
        switch (event.type) {
        case events::EventType::Lost: publisher.setReaderState("lost"); break;
        case events::EventType::Back: publisher.setReaderState("online"); break;
        case events::EventType::Arrived:
        case events::EventType::Departed:
            if (options_.homeAssistant && options_.tagNames.count(event.epc))
                publisher.setRetained(presenceTopic(event.reader, event.epc),
                                      event.type == events::EventType::Arrived ? "ON" : "OFF");
            break;
        default: break;
        }
    });
    if (!engine.options().quiet)
        std::fprintf(stderr, "%s: %zu reader(s) to %s:%d\n", engine.options().name.c_str(),
                     engine.readers().size(), options_.broker.host.c_str(), options_.broker.port);
    for (auto &[reader, publisher] : publishers_) publisher->start();
    return service::kExitOk;
}

std::string MqttSink::fatalError() {
    for (auto &[reader, publisher] : publishers_) {
        std::string fatal = publisher->fatalError();
        if (!fatal.empty()) return fatal;
    }
    return {};
}

void MqttSink::stop(unsigned drainMs) {
    std::vector<std::thread> stopping;
    for (auto &[reader, publisher] : publishers_)
        stopping.emplace_back([&publisher = *publisher, drainMs] { publisher.stop(drainMs); });
    for (std::thread &thread : stopping) thread.join();
    if (engine_ && listener_) engine_->unsubscribe(listener_);
    listener_ = 0;
    mosquitto_lib_cleanup();
}

void MqttSink::summarize(const std::string &reader, nlohmann::ordered_json &summary) {
    const auto found = publishers_.find(reader);
    if (found == publishers_.end()) return;
    summary["delivered"] = found->second->delivered();
    summary["waiting"] = engine_->journal().backlog(kSinkName, reader);
    summary["reconnects"] = found->second->reconnects();
    summary["dropped"] = engine_->journal().dropped(reader);
}

}  // namespace tessaro::mqtt
