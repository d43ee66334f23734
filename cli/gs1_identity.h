// The GS1 identity of an EPC for people: a short form for tables
// ("sgtin:0614141.812345.6789"). The JSON of the whole decode is the tag
// events' (service/events/gs1_json.h).
#pragma once

#include <string>

#include "TessaroEpc.h"
#include "events/gs1_json.h"
#include "output.h"

namespace tessaro::cli {

// "sgtin:0614141.812345.6789": the pure identity URI without "urn:epc:id:".
std::string gs1Short(const TessaroEpcIdentity &identity);
// The short form of a hex EPC, "" when it is no GS1 EPC.
std::string gs1Short(const std::string &hex);

inline Json gs1Json(const TessaroEpcIdentity &identity) { return events::gs1Json<Json>(identity); }
inline Json gs1Json(const std::string &hex) { return events::gs1JsonOfEpc<Json>(hex); }

}  // namespace tessaro::cli
