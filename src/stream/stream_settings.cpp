#include "stream/stream_settings.h"

#include <cmath>

namespace tw::stream {

namespace {

int whole_number(const config::ExtraSections& extra, const char* key, int fallback, int least,
                 int most, std::vector<std::string>* problems) {
    if (!extra.find(stream_section, key)) return fallback;
    std::string problem;
    const double value = extra.number(stream_section, key, fallback, &problem);
    if (problem.empty() && (value != std::floor(value) || value < least || value > most))
        problem = std::string("[STREAM] ") + key + "=" + extra.text(stream_section, key) +
                  " is not a whole number from " + std::to_string(least) + " to " +
                  std::to_string(most);
    if (problem.empty()) return static_cast<int>(value);
    if (problems) problems->push_back(problem);
    return fallback;
}

}  // namespace

StreamSettings read_stream_settings(const config::ExtraSections& extra,
                                    std::vector<std::string>* problems) {
    StreamSettings s;
    s.network = extra.text(stream_section, "NETWORK", s.network);
    s.station = extra.text(stream_section, "STATION");
    s.location = extra.text(stream_section, "LOCATION");
    s.archive_root = extra.text(stream_section, "MSEED");
    s.seedlink_bind = extra.text(stream_section, "SEEDLINKBIND");
    if (extra.find(stream_section, "SEEDLINK")) {
        const int port = whole_number(extra, "SEEDLINK", -1, 0, 65535, problems);
        if (port >= 0) s.seedlink_port = port;
    }
    s.max_clients = whole_number(extra, "SEEDLINKCLIENTS", s.max_clients, 1, 10000, problems);
    s.max_per_address = whole_number(extra, "SEEDLINKPERADDRESS", s.max_per_address, 1, 10000, problems);
    return s;
}

void write_stream_settings(const StreamSettings& s, config::ExtraSections& extra) {
    const StreamSettings d;
    auto put = [&](const char* key, const std::string& value, bool is_default) {
        extra.set(stream_section, key, is_default ? std::string() : value);
    };
    put("NETWORK", s.network, s.network == d.network);
    put("STATION", s.station, s.station.empty());
    put("LOCATION", s.location, s.location.empty());
    put("MSEED", s.archive_root, s.archive_root.empty());
    put("SEEDLINK", s.seedlink_port ? std::to_string(*s.seedlink_port) : "", !s.seedlink_port);
    put("SEEDLINKBIND", s.seedlink_bind, s.seedlink_bind.empty());
    put("SEEDLINKCLIENTS", std::to_string(s.max_clients), s.max_clients == d.max_clients);
    put("SEEDLINKPERADDRESS", std::to_string(s.max_per_address), s.max_per_address == d.max_per_address);
}

}  // namespace tw::stream
