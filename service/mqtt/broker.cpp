#include "broker.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <memory>

namespace tessaro::mqtt {

bool parseBrokerUrl(const std::string &url, BrokerConfig &config, std::string &error) {
    error = "bad broker URL '" + url + "': expected mqtt://HOST[:PORT] or mqtts://HOST[:PORT]";
    const std::size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos) return false;
    const std::string scheme = url.substr(0, schemeEnd);
    bool tls;
    if (scheme == "mqtt" || scheme == "tcp")
        tls = false;
    else if (scheme == "mqtts" || scheme == "ssl")
        tls = true;
    else
        return false;
    std::string rest = url.substr(schemeEnd + 3);
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    if (rest.empty() || rest.find_first_of("/@?# ") != std::string::npos) return false;

    std::string host, port;
    if (rest[0] == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close == 1) return false;
        host = rest.substr(1, close - 1);
        const std::string after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':') return false;
            port = after.substr(1);
            if (port.empty()) return false;
        }
    } else {
        const std::size_t colon = rest.find(':');
        host = rest.substr(0, colon);
        if (colon != std::string::npos) {
            port = rest.substr(colon + 1);
            if (port.empty()) return false;
        }
    }
    if (host.empty()) return false;
    int number = tls ? 8883 : 1883;
    if (!port.empty()) {
        if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
            return false;
        number = std::stoi(port);
        if (number < 1 || number > 65535) return false;
    }
    config.host = host;
    config.port = number;
    config.tls = tls;
    error.clear();
    return true;
}

std::string expandTopic(const std::string &pattern, const std::string &reader) {
    std::string topic = pattern;
    const std::string key = "{reader}";
    for (std::size_t at = topic.find(key); at != std::string::npos;
         at = topic.find(key, at + reader.size()))
        topic.replace(at, key.size(), reader);
    return topic;
}

bool isUtf8(const std::string &text) {
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        std::size_t extra;
        unsigned code, min;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) extra = 1, min = 0x80, code = c & 0x1F;
        else if ((c & 0xF0) == 0xE0) extra = 2, min = 0x800, code = c & 0x0F;
        else if ((c & 0xF8) == 0xF0) extra = 3, min = 0x10000, code = c & 0x07;
        else return false;
        if (n - i <= extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            code = (code << 6) | (s[i + k] & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

bool checkTopic(const std::string &pattern, const std::string &option, std::string &error) {
    const std::string topic = expandTopic(pattern, "19082024");
    const std::string named = option + " '" + pattern + "'";
    if (topic.empty()) error = named + ": a topic cannot be empty";
    else if (!isUtf8(topic)) error = named + ": a topic must be UTF-8 text";
    else if (topic.find('\0') != std::string::npos) error = named + ": a topic cannot hold a NUL character";
    else if (topic.find_first_of("+#") != std::string::npos)
        error = named + ": a topic to publish to cannot hold the wildcards + or #";
    else if (topic.size() > 65000) error = named + ": the topic is too long";
    else return true;
    return false;
}

bool checkClientId(const std::string &clientId, std::string &error) {
    if (clientId.empty()) error = "--client-id '': a client id cannot be empty";
    else if (!isUtf8(clientId) || clientId.find('\0') != std::string::npos)
        error = "--client-id: the client id must be UTF-8 text";
    else if (clientId.size() > 65000) error = "--client-id: the client id is too long";
    else return true;
    return false;
}

namespace {

// The first error OpenSSL queued, in words.
std::string sslError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return "unreadable";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

// Keys with a passphrase would ask for it on the terminal: refuse instead.
int noPassphrase(char *, int, int, void *) { return -1; }

}  // namespace

bool checkTlsFiles(const BrokerConfig &config, std::string &error) {
    if (!config.tls) return true;
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> context(SSL_CTX_new(TLS_client_method()),
                                                              SSL_CTX_free);
    if (!context) {
        error = "cannot set up TLS: " + sslError();
        return false;
    }
    SSL_CTX_set_default_passwd_cb(context.get(), noPassphrase);
    ERR_clear_error();
    if (!config.caFile.empty() &&
        SSL_CTX_load_verify_locations(context.get(), config.caFile.c_str(), nullptr) != 1) {
        error = "--cafile '" + config.caFile + "' holds no usable CA certificate: " + sslError();
        return false;
    }
    if (!config.certFile.empty() &&
        SSL_CTX_use_certificate_chain_file(context.get(), config.certFile.c_str()) != 1) {
        error = "--cert '" + config.certFile + "' is not a usable certificate: " + sslError();
        return false;
    }
    if (!config.keyFile.empty() &&
        SSL_CTX_use_PrivateKey_file(context.get(), config.keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        const std::string why = sslError();
        error = "--key '" + config.keyFile + "' " +
                (why.find("values mismatch") != std::string::npos || why.find("key values") != std::string::npos
                     ? "does not match the certificate '" + config.certFile + "'"
                     : "is not a usable private key: " + why);
        return false;
    }
    if (!config.certFile.empty() && !config.keyFile.empty() &&
        SSL_CTX_check_private_key(context.get()) != 1) {
        error = "--key '" + config.keyFile + "' does not match the certificate '" + config.certFile + "'";
        ERR_clear_error();
        return false;
    }
    return true;
}

}  // namespace tessaro::mqtt
