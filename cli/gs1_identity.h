// The GS1 identity of an EPC for people and scripts: a short form for tables
// ("sgtin:0614141.812345.6789") and the whole decode as a JSON object.
#pragma once

#include <optional>
#include <string>

#include "TessaroEpc.h"
#include "output.h"

namespace tessaro::cli {

// The identity of an EPC given in bytes or as hex; nothing when it is not a
// GS1 EPC (or not hex).
std::optional<TessaroEpcIdentity> gs1Identity(const unsigned char *epc, int length);
std::optional<TessaroEpcIdentity> gs1Identity(const std::string &hex);

// "sgtin:0614141.812345.6789": the pure identity URI without "urn:epc:id:".
std::string gs1Short(const TessaroEpcIdentity &identity);
// The short form of a hex EPC, "" when it is no GS1 EPC.
std::string gs1Short(const std::string &hex);

// {"scheme", "filter", "companyPrefixLength", "fields": {...}, "gs1Key",
//  "pureUri", "tagUri", "elementString", "digitalLink"}; the keys a scheme
// does not have are left out. docs/schemas/tag-event.json describes it.
Json gs1Json(const TessaroEpcIdentity &identity);
// The same for a hex EPC; null JSON when it is no GS1 EPC.
Json gs1Json(const std::string &hex);

}  // namespace tessaro::cli
