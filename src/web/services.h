#pragma once
// The station's web services on one route table: FDSN station and
// dataselect. Other services (the station page) add their routes to the
// same Router.

#include "config/settings.h"
#include "platform/clock.h"
#include "web/inventory.h"
#include "stream/channel_codes.h"
#include "stream/stream.h"
#include "supervision/event_list.h"
#include "web/router.h"

#include <string>

namespace tw::web {

struct WebContext {
    const config::Settings& settings;
    supervision::EventList& event_list;
    stream::StreamCodes codes;  // network, station and location of the data
    std::string archive_root;   // the day archive (--mseed); empty: none
    const platform::Clock& clock;
    // The running acquisition's channel codes; nullptr: from the settings.
    const stream::Stream* stream = nullptr;
};

// Version texts of the services.
inline constexpr const char* station_service_version = "1.1.0";
inline constexpr const char* dataselect_service_version = "1.1.0";

// Adds /fdsnws/station/1/... and /fdsnws/dataselect/1/... to `router`.
// `context` must outlive the router.
void add_fdsn_routes(Router& router, const WebContext& context);

}  // namespace tw::web
