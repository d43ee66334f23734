// The GS1 identity of an EPC as JSON: the optional `gs1` object of tag events
// (docs/schemas/tag-event.json) and of the tool's inventories. Header only,
// for either JSON type of nlohmann-json (the tool keeps its keys in order),
// over the codec of TessaroEpc.h.
#pragma once

#include <cctype>
#include <string>

#include "TessaroEpc.h"

namespace tessaro::events {

// {"scheme", "filter", "companyPrefixLength", "fields": {...}, "gs1Key",
//  "pureUri", "tagUri", "elementString", "digitalLink"}; what the scheme does
// not have is left out.
template <class Json>
Json gs1Json(const TessaroEpcIdentity &identity) {
    using Form = decltype(&TessaroEpcGs1Key);
    Json object{{"scheme", TessaroEpcSchemeName(identity.scheme)}};
    if (identity.filter >= 0) object["filter"] = identity.filter;
    if (identity.companyPrefixLength) object["companyPrefixLength"] = identity.companyPrefixLength;
    Json fields = Json::object();
    for (int i = 0; i < identity.componentCount; ++i)
        fields[TessaroEpcComponentName(identity.scheme, i)] = identity.components[i];
    object["fields"] = fields;
    const std::pair<const char *, Form> forms[] = {
        {"gs1Key", TessaroEpcGs1Key},         {"pureUri", TessaroEpcPureUri},
        {"tagUri", TessaroEpcTagUri},         {"elementString", TessaroEpcElementString},
        {"digitalLink", TessaroEpcDigitalLink}};
    for (const auto &[key, form] : forms) {
        char text[TESSARO_EPC_TEXT_SIZE];
        if (form(&identity, text, sizeof text) == TESSARO_OK) object[key] = text;
    }
    return object;
}

// Hex text to an identity; false when it is no hex or no GS1 EPC.
inline bool gs1Identity(const std::string &hex, TessaroEpcIdentity &identity) {
    unsigned char epc[TESSARO_EPC_MAX_BYTES];
    if (hex.empty() || hex.size() % 2 || hex.size() > 2 * sizeof epc) return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(hex[i])) || !std::isxdigit(static_cast<unsigned char>(hex[i + 1])))
            return false;
        epc[i / 2] = static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return TessaroEpcDecode(epc, static_cast<int>(hex.size() / 2), &identity) == TESSARO_OK;
}

// The `gs1` object of a hex EPC; null when it is no GS1 EPC.
template <class Json>
Json gs1JsonOfEpc(const std::string &hex) {
    TessaroEpcIdentity identity;
    return gs1Identity(hex, identity) ? gs1Json<Json>(identity) : Json();
}

}  // namespace tessaro::events
