// What the MQTT output needs to know of its broker, and the checks made on
// it before anything is sent: the URL, topics, client id and TLS files.
#pragma once

#include <string>

namespace tessaro::mqtt {

struct BrokerConfig {
    std::string host = "127.0.0.1";
    int port = 1883;
    bool tls = false;
    std::string caFile, certFile, keyFile;
    std::string username, password;
    std::string clientId;  // each reader's connection adds "-" and its serial number
    int keepAliveSeconds = 30;
    int qos = 1;
    unsigned window = 100;        // messages unacknowledged at most
    unsigned backoffMinMs = 250;  // first pause after a failed connection
    unsigned backoffMaxMs = 30000;
};

// mqtt://HOST[:PORT] (1883) or mqtts://HOST[:PORT] (8883; also tcp:// and
// ssl://); HOST may be [IPv6]. False with `error` set for anything else.
bool parseBrokerUrl(const std::string &url, BrokerConfig &config, std::string &error);

// Replaces "{reader}" in a topic template.
std::string expandTopic(const std::string &pattern, const std::string &reader);

// A topic (template) that can be published to: not empty, UTF-8, no NUL and
// no wildcard. `option` names it in the message ("--topic").
bool checkTopic(const std::string &pattern, const std::string &option, std::string &error);
// A client id the broker can take: not empty, UTF-8, no NUL.
bool checkClientId(const std::string &clientId, std::string &error);
// The TLS files can be read and belong together: the CA file holds a
// certificate, the certificate and key parse, and the key is the
// certificate's. Says which file and why.
bool checkTlsFiles(const BrokerConfig &config, std::string &error);

bool isUtf8(const std::string &text);

}  // namespace tessaro::mqtt
