#include "app/panel_actions.h"

#include "config/number_text.h"
#include "config/settings_file.h"
#include "config/station_paths.h"
#include "config/tables.h"
#include "supervision/event_list.h"

#include <algorithm>
#include <cmath>

namespace tw::app {

namespace {

config::ChannelSettings& selected(Station& station) {
    return station.settings.channel(std::clamp(station.selected_channel, 1, 4));
}
const config::ChannelSettings& selected(const Station& station) {
    return station.settings.channel(std::clamp(station.selected_channel, 1, 4));
}

int list_index(int code, std::size_t list_size) {
    return code >= 0 && code < static_cast<int>(list_size) ? code : -1;
}

double limited_y_scale(double value) {
    if (!(value >= panel_limits::y_scale_min)) return panel_limits::y_scale_min;  // NaN too
    if (value > panel_limits::y_scale_max) return panel_limits::y_scale_max;
    return value;
}

// An entry field's text after the user left it: the normalised text, or the
// stored whole number when storing changed the value (rounding, limits).
std::string stored_text(const std::string& normalized, int stored) {
    return config::number_scan(normalized) == stored ? normalized : std::to_string(stored);
}

}  // namespace

void select_channel(Station& station, int channel) {
    station.selected_channel = std::clamp(channel, 1, 4);
    auto& ch = selected(station);
    ch.y_scale = limited_y_scale(ch.y_scale);
}

void channel_minus(Station& station) { select_channel(station, station.selected_channel - 1); }
void channel_plus(Station& station) { select_channel(station, station.selected_channel + 1); }

ChannelView channel_view(const Station& station) {
    const auto& ch = selected(station);
    ChannelView view;
    view.channel = std::clamp(station.selected_channel, 1, 4);
    view.sps_index = list_index(ch.sps_code, config::sps_names.size());
    view.axis_index = list_index(ch.axis_code, config::axis_list.size());
    view.dc_offset = std::to_string(ch.dc_offset);
    view.y_scale = static_cast<int>(limited_y_scale(ch.y_scale));
    view.yscale = yscale_label(view.y_scale);
    view.ch_enabled = ch.record_enabled != 0;
    view.alarm = ch.alarm_enabled != 0;
    view.logging = ch.logging_enabled != 0;
    view.all_trigger = ch.extend_trigger != 0;
    view.drum = ch.drum_enabled != 0;
    view.hide_drum = ch.drum_hidden != 0;
    view.fft_enabled = ch.fft_enabled != 0;
    view.invert_data = ch.invert != 0;
    view.auto_offset = ch.auto_offset != 0;
    view.alarm_soglia = std::to_string(ch.alarm_threshold);
    view.extension = ch.file_extension;
    return view;
}

GeneralView general_view(const Station& station) {
    const auto& g = station.settings.general;
    GeneralView view;
    view.elevation = g.elevation;
    view.location = g.location;
    view.coordinates = g.coordinates;
    view.chart_speed =
        std::clamp(g.chart_speed, panel_limits::chart_speed_min, panel_limits::chart_speed_max);
    view.zallch = g.y_scale_all_channels != 0;
    view.nocharting = g.no_charts != 0;
    return view;
}

PanelLock panel_lock(const Station& station) {
    const auto& g = station.settings.general;
    PanelLock lock;
    lock.settings_controls = g.settings_locked != 1;
    lock.logging = lock.settings_controls && station.panel.logging_enabled;
    lock.sps_select = lock.settings_controls && station.panel.sps_select_enabled &&
                      (g.ad_type == config::orda10 || g.ad_type == config::orda20);
    return lock;
}

std::string store_dc_offset(Station& station, std::string_view text) {
    const std::string normalized = config::normalize_numeric_text(
        text, "", -panel_limits::dc_offset_entry, panel_limits::dc_offset_entry);
    const double value = config::round_half_even(config::number_scan(normalized));
    const int stored = static_cast<int>(
        std::clamp(value, double(-panel_limits::dc_offset), double(panel_limits::dc_offset)));
    selected(station).dc_offset = stored;
    return stored_text(normalized, stored);
}

std::string store_alarm_threshold(Station& station, std::string_view text) {
    const std::string normalized =
        config::normalize_numeric_text(text, "", 0, panel_limits::alarm_threshold);
    const double value = config::round_half_even(config::number_scan(normalized));
    const int stored = static_cast<int>(std::clamp(value, 0.0, double(panel_limits::alarm_threshold)));
    selected(station).alarm_threshold = stored;
    return stored_text(normalized, stored);
}

std::string store_extension(Station& station, std::string_view text) {
    std::string extension;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == 0x7F || c == '/' || c == '\\') continue;
        if (extension.size() == panel_limits::extension_length) break;
        extension.push_back(c);
    }
    selected(station).file_extension = extension;
    return extension;
}

std::string yscale_label(int value) { return std::to_string(value) + " X"; }

std::string store_y_scale(Station& station, int value) {
    const int v = std::clamp(value, panel_limits::y_scale_min, panel_limits::y_scale_max);
    if (station.settings.general.y_scale_all_channels != 0) {
        for (auto& ch : station.settings.channels) ch.y_scale = v;
    } else {
        selected(station).y_scale = v;
    }
    return yscale_label(v);
}

void rate_changed(Station& station, int list_index) {
    if (list_index < 0 || list_index >= static_cast<int>(config::sps_names.size())) return;
    auto& ch = selected(station);
    ch.sps_code = list_index;
    config::recompute_event_lengths(ch);
}

void axis_changed(Station& station, int list_index) {
    if (list_index < 0 || list_index >= static_cast<int>(config::axis_list.size())) return;
    selected(station).axis_code = list_index;
}

void store_channel_flag(Station& station, ChannelFlag flag, bool value) {
    auto& ch = selected(station);
    const int v = value ? 1 : 0;
    switch (flag) {
    case ChannelFlag::record_enabled: ch.record_enabled = v; break;
    case ChannelFlag::alarm_enabled: ch.alarm_enabled = v; break;
    case ChannelFlag::logging_enabled: ch.logging_enabled = v; break;
    case ChannelFlag::extend_trigger: ch.extend_trigger = v; break;
    case ChannelFlag::drum_enabled: ch.drum_enabled = v; break;
    case ChannelFlag::drum_hidden: ch.drum_hidden = v; break;
    case ChannelFlag::fft_enabled: ch.fft_enabled = v; break;
    case ChannelFlag::invert: ch.invert = v; break;
    case ChannelFlag::auto_offset: ch.auto_offset = v; break;
    }
}

void store_y_scale_all_channels(Station& station, bool value) {
    station.settings.general.y_scale_all_channels = value ? 1 : 0;
}

void store_no_charts(Station& station, bool value) {
    station.settings.general.no_charts = value ? 1 : 0;
    station.housekeeping.charts_chosen_by_user();
}

void store_chart_speed(Station& station, int value) {
    station.settings.general.chart_speed =
        std::clamp(value, panel_limits::chart_speed_min, panel_limits::chart_speed_max);
}

std::string store_station_text(Station& station, StationText field, std::string_view text) {
    std::string clean;
    for (const char c : text) {
        if (c != '\r' && c != '\n') clean.push_back(c);
    }
    auto& g = station.settings.general;
    switch (field) {
    case StationText::elevation: g.elevation = clean; break;
    case StationText::location: g.location = clean; break;
    case StationText::coordinates: g.coordinates = clean; break;
    }
    return clean;
}

void reset_bad_packet_count(Station& station) {
    station.panel.badrx.assign(1, '0');  // (not = "0": g++ 12 warns falsely)
    station.panel.notify();
}

void store_no_logo(Station& station, bool value) {
    station.settings.general.no_logo = value ? 1 : 0;
}

void chart_clicked(Station& station, int index) { select_channel(station, index + 1); }

void chart_double_clicked(Station& station, int index) {
    if (index >= 0 && index < 4) station.charts.set_zoom_channel(index + 1);
}

void zoom_chart_clicked(Station& station) { station.charts.set_zoom_channel(0); }

bool clear_event_list(Station& station) {
    station.event_flags.event_ended_flag = false;
    if (station.event_list.clear()) return true;
    station.io.dialogs.message_box("The event list was not cleared: " +
                                       station.event_list.last_error(),
                                   "Event list", platform::DialogIcon::warning);
    return false;
}

bool view_event(Station& station, std::string_view line) {
    const std::string name = supervision::event_file_name_of_line(line);
    if (name.empty()) return false;
    const auto& g = station.settings.general;
    if (g.event_browser.empty()) {
        station.io.dialogs.message_box("No event browser is set (HW Setup).", "File View",
                                       platform::DialogIcon::warning);
        return false;
    }
    std::string error;
    const auto file = config::events_folder_path(g, station.folder()) / name;
    if (station.io.launcher.start(g.event_browser, {file.string()}, &error)) {
        return true;
    }
    if (error.empty()) error = "cannot start " + g.event_browser;
    station.io.dialogs.message_box(error, "File View", platform::DialogIcon::critical);
    return false;
}

}  // namespace tw::app
