#pragma once
// The settings of the web services in terrawv.ini, after [END GENERAL]:
//   [WEB]     PORT=8080          the HTTP server's port (none: no server)
//             BIND=127.0.0.1     listen on this address only (none: all)
//   [SENSOR]  PERIOD1=1          natural period of channel 1's sensor, s
//             DAMPING1=0.707     its damping, a fraction of critical
// The command line (--http, --http-bind) overrides [WEB].

#include "config/extra_sections.h"
#include "web/inventory.h"

#include <optional>
#include <string>
#include <vector>

namespace tw::web {

struct WebSettings {
    std::optional<int> port;
    std::string bind;
    bool operator==(const WebSettings&) const = default;
};

// Values that cannot be read keep their default and add a message to
// `problems`.
WebSettings read_web_settings(const config::ExtraSections& extra, std::vector<std::string>* problems);
SensorSettings read_sensor_settings(const config::ExtraSections& extra,
                                    std::vector<std::string>* problems);
// Sets the keys that differ from their default and removes the others.
void write_web_settings(config::ExtraSections& extra, const WebSettings& settings);
void write_sensor_settings(config::ExtraSections& extra, const SensorSettings& settings);

}  // namespace tw::web
