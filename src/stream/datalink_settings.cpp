#include "stream/datalink_settings.h"

#include <algorithm>
#include <charconv>

namespace tw::stream {

bool parse_host_port(const std::string& text, std::string& host, int& port) {
    std::string port_text;
    if (text.starts_with("[")) {
        const auto close = text.find("]:");
        if (close == std::string::npos) return false;
        host = text.substr(1, close - 1);
        port_text = text.substr(close + 2);
    } else {
        const auto colon = text.rfind(':');
        if (colon == std::string::npos || text.find(':') != colon) return false;
        host = text.substr(0, colon);
        port_text = text.substr(colon + 1);
    }
    const auto [end, ec] = std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
    const bool bad_host = host.empty() || std::any_of(host.begin(), host.end(), [](char c) {
        return c <= ' ' || c >= 127;
    });
    return !bad_host && ec == std::errc() && end == port_text.data() + port_text.size() && port >= 1 &&
           port <= 65535;
}

DataLinkSettings read_datalink_settings(const config::ExtraSections& extra,
                                        std::vector<std::string>* problems) {
    DataLinkSettings settings;
    const std::string server = extra.text("DATALINK", "SERVER");
    if (server.empty()) return settings;
    if (!parse_host_port(server, settings.host, settings.port)) {
        settings = {};
        if (problems)
            problems->push_back("[DATALINK] SERVER=" + server + " is not HOST:PORT (a port 1 to 65535)");
    }
    return settings;
}

void write_datalink_settings(config::ExtraSections& extra, const DataLinkSettings& settings) {
    const bool v6 = settings.host.find(':') != std::string::npos;
    extra.set("DATALINK", "SERVER",
              settings.host.empty() ? std::string()
                                    : (v6 ? "[" + settings.host + "]" : settings.host) + ":" +
                                          std::to_string(settings.port));
}

}  // namespace tw::stream
