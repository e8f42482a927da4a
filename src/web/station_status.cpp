#include "web/station_status.h"

#include "web/json.h"

namespace tw::web {

namespace {

void field(std::string& out, std::string_view name, const std::string& value) {
    out += json_string(name);
    out += ':';
    out += value;
    out += ',';
}

std::string text(std::string_view value) { return json_string(value); }
std::string flag(bool value) { return value ? "true" : "false"; }

}  // namespace

std::string status_json(const StatusSnapshot& s) {
    std::string out = "{";
    field(out, "version", text(s.version));
    field(out, "station_name", text(s.station_name));
    field(out, "coordinates", text(s.coordinates));
    field(out, "elevation", text(s.elevation));
    field(out, "network", text(s.network));
    field(out, "station", text(s.station));
    field(out, "location", text(s.location));
    field(out, "board", text(s.board));
    field(out, "firmware", text(s.firmware));
    field(out, "acquiring", flag(s.acquiring));
    field(out, "board_time", text(s.board_time));
    field(out, "time_source", text(s.time_source));
    field(out, "receiver_locked", flag(s.receiver_locked));
    field(out, "last_sync", text(s.last_sync));
    field(out, "free_bytes", s.free_bytes ? std::to_string(*s.free_bytes) : "null");
    field(out, "buffer_fill", std::to_string(s.buffer_fill));
    field(out, "buffer_size", std::to_string(s.buffer_size));
    field(out, "events_recorded", std::to_string(s.events_recorded));
    field(out, "last_event_time", text(s.last_event_time));
    field(out, "last_event_file", text(s.last_event_file));
    field(out, "uptime_seconds", json_number(s.uptime_seconds));
    field(out, "seedlink_port", s.seedlink_port ? std::to_string(*s.seedlink_port) : "null");
    out += "\"channels\":[";
    for (std::size_t i = 0; i < s.channels.size(); ++i) {
        const auto& c = s.channels[i];
        if (i > 0) out += ',';
        out += "{";
        field(out, "channel", std::to_string(i + 1));
        field(out, "acquiring", flag(c.acquiring));
        field(out, "nominal_rate", json_number(c.nominal_rate));
        field(out, "measured_rate", c.measured_rate ? json_number(*c.measured_rate) : "null");
        field(out, "code", text(c.code));
        field(out, "recording", flag(c.recording));
        field(out, "event_start", text(c.event_start));
        field(out, "drum", flag(c.drum));
        out += json_string("spectrum") + ":" + flag(c.spectrum) + "}";
    }
    out += "]}";
    return out;
}

void RateMeter::add(std::int64_t now_ms, const std::array<std::uint64_t, 4>& totals) {
    if (!looks_.empty()) {
        const auto& last = looks_.back();
        bool restarted = now_ms < last.ms;
        for (std::size_t i = 0; i < totals.size(); ++i) restarted |= totals[i] < last.totals[i];
        if (restarted) looks_.clear();
    }
    looks_.push_back({now_ms, totals});
    // Keep the oldest look that still spans the window.
    while (looks_.size() > 2 && now_ms - looks_[1].ms >= window_ms) looks_.pop_front();
}

std::optional<double> RateMeter::rate(int channel) const {
    if (looks_.size() < 2 || channel < 1 || channel > 4) return std::nullopt;
    const auto& first = looks_.front();
    const auto& last = looks_.back();
    const auto span_ms = last.ms - first.ms;
    if (span_ms < 1000) return std::nullopt;
    const auto i = static_cast<std::size_t>(channel - 1);
    return static_cast<double>(last.totals[i] - first.totals[i]) * 1000.0 /
           static_cast<double>(span_ms);
}

}  // namespace tw::web
