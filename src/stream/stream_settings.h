#pragma once
// The stream's settings in terrawv.ini, section [STREAM] after
// [END GENERAL], so that a station run as a service keeps them in one
// place. The command line overrides each of them.
//
//   NETWORK=XX            network code
//   STATION=              station code (needed for the archive and server)
//   LOCATION=             location code
//   MSEED=                root folder of the miniSEED day archive
//   SEEDLINK=             TCP port of the SeedLink server (none: no server)
//   SEEDLINKBIND=         the one address it listens on (empty: every one)
//   SEEDLINKCLIENTS=500   clients served at once
//   SEEDLINKPERADDRESS=20 clients served at once from one address

#include "config/extra_sections.h"
#include "stream/seedlink_server.h"

#include <optional>
#include <string>
#include <vector>

namespace tw::stream {

struct StreamSettings {
    std::string network = "XX";
    std::string station;
    std::string location;
    std::string archive_root;
    std::optional<int> seedlink_port;
    std::string seedlink_bind;
    int max_clients = static_cast<int>(ServerLimits{}.max_clients);
    int max_per_address = static_cast<int>(ServerLimits{}.max_per_address);

    bool operator==(const StreamSettings&) const = default;
};

inline constexpr const char* stream_section = "STREAM";

// The settings of [STREAM], defaults for what is missing; a value that does
// not fit keeps its default and adds a line to `problems`.
StreamSettings read_stream_settings(const config::ExtraSections& extra,
                                    std::vector<std::string>* problems = nullptr);
// Sets the keys that differ from their defaults and removes the others.
void write_stream_settings(const StreamSettings& settings, config::ExtraSections& extra);

}  // namespace tw::stream
