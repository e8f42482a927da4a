#pragma once
// The DataLink feed's setting in terrawv.ini, after [END GENERAL]:
//   [DATALINK]  SERVER=ring.example.org:16000   the ring server (none: no feed)
// The command line (--datalink HOST:PORT) overrides it.

#include "config/extra_sections.h"

#include <string>
#include <vector>

namespace tw::stream {

struct DataLinkSettings {
    std::string host;  // empty: no feed
    int port = 0;
    bool operator==(const DataLinkSettings&) const = default;
};

// "host:port" or "[v6 address]:port": a host without blanks and a port 1 to 65535.
bool parse_host_port(const std::string& text, std::string& host, int& port);

// A value that cannot be read leaves the feed off and adds a message to `problems`.
DataLinkSettings read_datalink_settings(const config::ExtraSections& extra,
                                        std::vector<std::string>* problems);
// Sets SERVER when there is a feed and removes it when not.
void write_datalink_settings(config::ExtraSections& extra, const DataLinkSettings& settings);

}  // namespace tw::stream
