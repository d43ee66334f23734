#include "gs1_identity.h"

#include <vector>

namespace tessaro::cli {

namespace {

constexpr char kPurePrefix[] = "urn:epc:id:";

using Form = int (*)(const TessaroEpcIdentity *, char *, size_t);

void addForm(Json &object, const char *key, Form form, const TessaroEpcIdentity &identity) {
    char text[TESSARO_EPC_TEXT_SIZE];
    if (form(&identity, text, sizeof text) == TESSARO_OK) object[key] = text;
}

}  // namespace

std::optional<TessaroEpcIdentity> gs1Identity(const unsigned char *epc, int length) {
    TessaroEpcIdentity identity;
    if (TessaroEpcDecode(epc, length, &identity) != TESSARO_OK) return std::nullopt;
    return identity;
}

std::optional<TessaroEpcIdentity> gs1Identity(const std::string &hex) {
    std::vector<unsigned char> bytes;
    if (hex.empty() || !parseHex(hex, bytes)) return std::nullopt;
    return gs1Identity(bytes.data(), static_cast<int>(bytes.size()));
}

std::string gs1Short(const TessaroEpcIdentity &identity) {
    char uri[TESSARO_EPC_TEXT_SIZE];
    if (TessaroEpcPureUri(&identity, uri, sizeof uri) != TESSARO_OK) return "";
    return uri + sizeof kPurePrefix - 1;
}

std::string gs1Short(const std::string &hex) {
    const auto identity = gs1Identity(hex);
    return identity ? gs1Short(*identity) : "";
}

Json gs1Json(const TessaroEpcIdentity &identity) {
    Json object{{"scheme", TessaroEpcSchemeName(identity.scheme)}};
    if (identity.filter >= 0) object["filter"] = identity.filter;
    if (identity.companyPrefixLength) object["companyPrefixLength"] = identity.companyPrefixLength;
    Json fields = Json::object();
    for (int i = 0; i < identity.componentCount; ++i)
        fields[TessaroEpcComponentName(identity.scheme, i)] = identity.components[i];
    object["fields"] = fields;
    addForm(object, "gs1Key", TessaroEpcGs1Key, identity);
    addForm(object, "pureUri", TessaroEpcPureUri, identity);
    addForm(object, "tagUri", TessaroEpcTagUri, identity);
    addForm(object, "elementString", TessaroEpcElementString, identity);
    addForm(object, "digitalLink", TessaroEpcDigitalLink, identity);
    return object;
}

Json gs1Json(const std::string &hex) {
    const auto identity = gs1Identity(hex);
    return identity ? gs1Json(*identity) : Json();
}

}  // namespace tessaro::cli
