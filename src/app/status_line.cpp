#include "app/status_line.h"

#include <cstdio>

namespace tw::app {

StatusLine::StatusLine(const Station& station, std::int64_t now_ms)
    : station_(station), samples_(station.samples_taken), since_ms_(now_ms) {}

std::string StatusLine::next(std::int64_t now_ms) {
    const double seconds = static_cast<double>(now_ms - since_ms_) / 1000.0;
    std::string line = "status: ";
    for (int k = 1; k <= 4; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        if (k > 1) line += ", ";
        line += "CH" + std::to_string(k) + " ";
        if (station_.settings.channel(k).sps_code == 0) {
            line += "off";
            continue;
        }
        const auto samples = station_.samples_taken[i] - samples_[i];
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.1f sps", seconds > 0 ? samples / seconds : 0.0);
        line += rate;
    }
    const auto events = station_.recorder.events_started();
    line += "; " + std::to_string(events) + (events == 1 ? " event" : " events");
    const auto free = station_.io.disk.free_bytes(station_.folder());
    line += free ? "; " + std::to_string(*free / 1000) + " Kb free" : "; free space unknown";
    if (const auto* feed = station_.stream.datalink()) line += "; " + stream::describe_feed(feed->status());
    samples_ = station_.samples_taken;
    since_ms_ = now_ms;
    return line;
}

}  // namespace tw::app
