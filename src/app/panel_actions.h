#pragma once
// What the main window's controls do, as plain functions on the station.
//
// The window calls these and shows what they return; it keeps no settings of
// its own. "The selected channel" is station.selected_channel, the number the
// label ch_selected shows.

#include "app/station.h"

#include <string>
#include <string_view>

namespace tw::app {

// Limits of the main-window entry fields and scroll bars.
namespace panel_limits {
inline constexpr int dc_offset_entry = 32760;  // what the field accepts
inline constexpr int dc_offset = 32000;        // what is stored
inline constexpr int alarm_threshold = 32000;
inline constexpr int y_scale_min = 1;
inline constexpr int y_scale_max = 1000;
inline constexpr int chart_speed_min = 1;
inline constexpr int chart_speed_max = 100;
inline constexpr std::size_t extension_length = 3;
}  // namespace panel_limits

// Everything the per-channel controls show for the selected channel.
struct ChannelView {
    int channel = 1;            // ch_selected
    int sps_index = -1;         // sps_select list index; -1 when the code is not in the list
    int axis_index = -1;        // axis_select list index; -1 likewise
    std::string dc_offset;      // field text
    int y_scale = 1;            // scroll bar value, 1..1000
    std::string yscale;         // label next to it: "10 X"
    bool ch_enabled = false;    // record_enabled
    bool alarm = false;         // alarm_enabled
    bool logging = false;       // logging_enabled
    bool all_trigger = false;   // extend_trigger
    bool drum = false;          // drum_enabled
    bool hide_drum = false;     // drum_hidden
    bool fft_enabled = false;
    bool invert_data = false;   // invert
    bool auto_offset = false;
    std::string alarm_soglia;   // field text of alarm_threshold
    std::string extension;      // file_extension
};

// What the main window shows of the general settings.
struct GeneralView {
    std::string elevation;
    std::string location;
    std::string coordinates;
    int chart_speed = panel_limits::chart_speed_min;  // chartspeed1, within its range
    bool zallch = false;      // y_scale_all_channels
    bool nocharting = false;  // no_charts
};

// Which main-window controls the settings lock and the running acquisition
// leave enabled (evaluated whenever the main window becomes active).
struct PanelLock {
    // all_trigger, axis_select, ch_review, ch_enabled, dc_offset, drum,
    // elevation, extension, location, man_record(0..3), coordinates,
    // invert_data.
    bool settings_controls = true;
    bool logging = true;     // also off while acquisition runs
    bool sps_select = true;  // also off while acquisition runs and for the text boards
};

// --- Channel selector -------------------------------------------------------

// Selects a channel (limited to 1..4, no wrap-around) and limits its y_scale
// to 1..1000, as showing a channel always does.
void select_channel(Station& station, int channel);
void channel_minus(Station& station);  // ch_minus
void channel_plus(Station& station);   // ch_plus
ChannelView channel_view(const Station& station);
GeneralView general_view(const Station& station);
PanelLock panel_lock(const Station& station);

// --- Store rules of the per-channel controls --------------------------------
// Each acts on the selected channel only (y_scale with zallch excepted) and,
// where a field is involved, returns the text the field shows afterwards.

// dc_offset: normalised within -32760..32760, then stored within
// -32000..32000 ("40000" stores 32000 and shows "32000").
std::string store_dc_offset(Station& station, std::string_view text);
// alarm_soglia: normalised within 0..32000; a negative result stores 0.
std::string store_alarm_threshold(Station& station, std::string_view text);
// extension: at most 3 characters; characters that cannot stand in a file
// name (path separators, control characters, blanks) are dropped.
std::string store_extension(Station& station, std::string_view text);
// y_scale scroll bar (1..1000); with y_scale_all_channels all four channels
// take the value. Returns the yscale label text.
std::string store_y_scale(Station& station, int value);
std::string yscale_label(int value);
// sps_select: sps_code and the event lengths derived from it.
void rate_changed(Station& station, int list_index);
// axis_select.
void axis_changed(Station& station, int list_index);

enum class ChannelFlag {
    record_enabled,   // ch_enabled
    alarm_enabled,    // alarm
    logging_enabled,  // logging
    extend_trigger,   // all_trigger
    drum_enabled,     // drum
    drum_hidden,      // hide_drum
    fft_enabled,      // fft_enabled
    invert,           // invert_data
    auto_offset,      // auto_offset
};
void store_channel_flag(Station& station, ChannelFlag flag, bool value);

// --- General controls ------------------------------------------------------

void store_y_scale_all_channels(Station& station, bool value);  // zallch
void store_no_charts(Station& station, bool value);             // nocharting
void store_chart_speed(Station& station, int value);            // chartspeed1
enum class StationText { elevation, location, coordinates };
// The station fields; line breaks would break the settings file and are
// dropped. Returns the stored text.
std::string store_station_text(Station& station, StationText field, std::string_view text);
// A click on badrx.
void reset_bad_packet_count(Station& station);
// nologo of the logo window ("Don't show on startup").
void store_no_logo(Station& station, bool value);

// --- Charts ----------------------------------------------------------------

// Click on chp(index): selects channel index + 1.
void chart_clicked(Station& station, int index);
// Double click on chp(index): the zoom chart chzoom shows channel index + 1
// instead of the four channel charts.
void chart_double_clicked(Station& station, int index);
// Click on chzoom: back to the four charts.
void zoom_chart_clicked(Station& station);

// --- Event list window -----------------------------------------------------

// delete: the list file is recreated holding "Event list." and the event
// indicator stops blinking. False (after a message box) when the file could
// not be written.
bool clear_event_list(Station& station);
// eventview / double click on a line: starts event_browser with one
// argument, events_folder + "/" + the event file name of the line, as an
// argument vector (no shell ever reads the line). A line that names no file
// starts nothing. A start that fails shows a message box naming the program
// and the reason. True when the browser was started.
bool view_event(Station& station, std::string_view line);

}  // namespace tw::app
