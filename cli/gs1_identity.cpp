#include "gs1_identity.h"

namespace tessaro::cli {

namespace {

constexpr char kPurePrefix[] = "urn:epc:id:";

}  // namespace

std::string gs1Short(const TessaroEpcIdentity &identity) {
    char uri[TESSARO_EPC_TEXT_SIZE];
    if (TessaroEpcPureUri(&identity, uri, sizeof uri) != TESSARO_OK) return "";
    return uri + sizeof kPurePrefix - 1;
}

std::string gs1Short(const std::string &hex) {
    TessaroEpcIdentity identity;
    return events::gs1Identity(hex, identity) ? gs1Short(identity) : "";
}

}  // namespace tessaro::cli
