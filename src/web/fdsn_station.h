#pragma once
// fdsnws/station: the station's metadata as StationXML 1.2 or as the
// services' text format, at level network, station, channel or response,
// for the channels that match the selection.

#include "platform/http.h"
#include "web/inventory.h"
#include "web/query.h"

#include <cstdint>
#include <string>

namespace tw::web {

// The answer to /fdsnws/station/1/query?`query`; `now_us` stamps the
// document's creation time.
platform::HttpResponse station_query(const Query& query, const Inventory& inventory,
                                     std::int64_t now_us);

// The service descriptions (application.wadl).
std::string station_wadl();
std::string dataselect_wadl();

}  // namespace tw::web
