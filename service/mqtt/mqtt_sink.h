// The MQTT output of the service: one broker connection (a Publisher) per
// reader, each sending its reader's events from the journal, plus the
// retained status, statistics and Home Assistant discovery of each reader.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "broker.h"
#include "publisher.h"
#include "run.h"

namespace tessaro::mqtt {

struct MqttOptions {
    BrokerConfig broker;
    std::string topic = "tessaro/{reader}/tags";
    std::string statusTopic = "tessaro/{reader}/status";
    std::string statsTopic = "tessaro/{reader}/stats";
    bool homeAssistant = false;
    std::string homeAssistantPrefix = "homeassistant";
    std::map<std::string, std::string> tagNames;  // EPC (hex, upper case) -> name
};

// Checks every value of `options` that can be checked before connecting.
// Returns kExitOk, or kExitUsage / kExitBroker with `error` naming the value.
int checkOptions(const MqttOptions &options, std::string &error);

// Reads a file of "EPC name" lines (# comments, blank lines allowed).
bool loadTagNames(const std::string &path, std::map<std::string, std::string> &names,
                  std::string &error);

// The retained Home Assistant discovery configs of one reader: its
// connectivity, its read rate, and the presence of each named tag.
std::vector<std::pair<std::string, std::string>> discoveryConfigs(
    const MqttOptions &options, const std::string &reader, const std::string &firmware);
std::string presenceTopic(const std::string &reader, const std::string &epc);

class MqttSink : public service::Sink {
public:
    explicit MqttSink(MqttOptions options);
    ~MqttSink() override;

    int start(service::Engine &engine) override;
    std::string fatalError() override;
    void stop(unsigned drainMs) override;
    void summarize(const std::string &reader, nlohmann::ordered_json &summary) override;

private:
    struct Rate;
    std::string statsJson(const std::string &reader);

    MqttOptions options_;
    service::Engine *engine_ = nullptr;
    int listener_ = 0;
    std::map<std::string, std::unique_ptr<Publisher>> publishers_;
    std::map<std::string, std::unique_ptr<Rate>> rates_;
};

}  // namespace tessaro::mqtt
