#pragma once
// The time setting window: the PC date and time and the board clock set by
// hand, the time source (DCF77 or GPS receiver on the board) with its time
// zone correction, how the PC and board clocks follow each other, and a
// chart of the minutes of the day in which a synchronisation arrived.

#include "acquisition/board_clock.h"
#include "acquisition/clock_trimming.h"
#include "config/settings.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "supervision/event_list.h"
#include "supervision/pc_clock_texts.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::acquisition {

// The date of a PC date text (as the PC clock texts hold it) written in
// `format` ("YYYY/MM/DD", "YYYY/DD/MM", "DD/MM/YYYY" or "MM/DD/YYYY"):
// nullopt when the text does not follow it (fewer than three numbers, a year
// of fewer than four digits, a month or day out of range). Only the date
// fields are set.
std::optional<platform::DateTime> read_pc_date(const std::string& text, const std::string& format);

// The entry fields checked when they are left.
enum class SettimeField { year, month, day, hours, minutes, seconds, gmt };

// What the time setting window shows; the window renders it when notified.
struct SettimeModel {
    static constexpr std::string_view title = "TIME SET";
    // Minutes 0..1440 of the DCF chart, 1441 units across.
    static constexpr std::size_t chart_minutes = 1441;
    // Colour scale of the spectrogram: x = 0..1280.
    static constexpr std::size_t colour_scale_width = 1281;

    std::string v_year, v_month, v_day, v_hours, v_minutes, v_seconds, v_gmt;
    bool option_sync1 = true;  // DCF77; false: GPS (option_sync2)
    bool pc_rtc = false;
    bool pc_sync = false;
    int sync_every = 0;        // index into sync_every_items
    // Controls the settings lock and the board family may disable.
    bool pc_rtc_enabled = true;
    bool pc_sync_enabled = true;
    bool sync_every_enabled = true;
    bool option_sync_enabled = true;

    std::string ad_clock;    // board date and time
    std::string realtime;    // PC date and time (with milliseconds while running)
    std::string timestatus;  // "Status: Locked" / "Status: Not Locked"
    std::string lastsync;    // "DCF77 Sync: " + sync_time
    std::string hour_type;   // "DCF tx daylight time", ...
    int sync_indicator_colour = 8;  // palette: 10 synchronised this second, 8 not

    // Marked minutes of dcfchart (filled boxes from (m, 0) to (m + 1, 1) in
    // palette colour 10).
    std::array<std::uint8_t, chart_minutes> dcf_chart{};
    // RGB (0xRRGGBB) of each vertical line of Picture1; empty until
    // Command1 is pressed.
    std::vector<std::uint32_t> colour_scale;

    // The field a failed check put the focus back into.
    std::optional<SettimeField> focus;
    bool close_requested = false;  // OK or cancel: the window closes

    std::function<void()> changed;
    void notify() const {
        if (changed) changed();
    }
};

// The periods offered by sync_every, by the setting's value.
inline constexpr std::array<std::string_view, 7> sync_every_items = {
    " hour", " 2 hours", " 3 hours", " 4 hours", " 6 hours", "12 hours", " day"};

// The spectrogram colour (0xRRGGBB) of a power value 0..1279 (values
// outside are limited): black through blue, cyan, green and yellow to red.
std::uint32_t spectrogram_colour(int value);

struct TimeSettingContext {
    config::Settings& settings;
    platform::Clock& clock;
    platform::Dialogs& dialogs;
    supervision::EventList& event_list;
    BoardClock& board_clock;
    const supervision::PcClockTexts& pc_clock;  // pc_date_time_text, pc_millis_text
    bool& window_open;                          // settime_open
    // "YYYY/MM/DD", "YYYY/DD/MM", "DD/MM/YYYY" or "MM/DD/YYYY".
    const std::string& system_date_format;
    std::string& start_date_text;
    std::string& start_time_text;
    // True when the board port can be used: open already, or opened now
    // and a board answered (open_board_port gave a reply).
    std::function<bool()> board_port_usable;
    // Writes a command to the board; false when the port refused it.
    std::function<bool(std::string_view bytes)> send_command;
    // The settings lock of the other open windows (this one applies its own).
    std::function<void()> apply_settings_lock;
};

class TimeSetting {
public:
    static constexpr std::string_view not_found_message = "A/D card not found.";

    explicit TimeSetting(TimeSettingContext context);

    // The window becomes active / is unloaded.
    void activate();
    void unload();
    bool is_open() const { return context_.window_open; }

    // The settings lock on this window's setting controls.
    void apply_settings_lock(bool locked);

    // An entry field's text as typed, and its check when the field is left
    // or Enter is pressed: false (with the message box) when out of range;
    // the text stays and the focus goes back to the field.
    void set_field(SettimeField field, std::string text);
    bool check_field(SettimeField field);

    void option_sync_clicked(bool dcf77);
    void pc_rtc_clicked(bool ticked);
    void pc_sync_clicked(bool ticked);
    void sync_every_selected(int index);

    void ok_clicked();         // ok_time: store the settings and close
    void cancel_clicked();     // notimeset: close without storing
    void set_time_clicked();   // oktimeset "SET TIME"

    // At every board time packet (the board clock's on_second).
    void board_second();
    // The housekeeping tick while no acquisition runs.
    void refresh_idle();
    // A click on the DCF chart: picture and minute flags cleared.
    void dcf_chart_clicked();
    // Acquisition stopped: the picture is cleared.
    void acquisition_stopped();
    // Command1: paints the colour scale into Picture1.
    void paint_colour_scale();

    // Called by SET TIME before anything else (the open trimming window
    // restarts its measurement).
    std::function<void()> on_time_set;

    SettimeModel& model() { return model_; }
    const SettimeModel& model() const { return model_; }

private:
    std::string& field_text(SettimeField field);
    void fill_date_time_fields();
    void store_source_settings();
    bool send(std::string_view bytes);

    TimeSettingContext context_;
    SettimeModel model_;
};

// Connects the board clock to the two windows: synchronisations measure in
// the open trimming window, each second updates the open time setting
// window, START and restarts begin a new trimming measurement, STOP clears
// the DCF chart, and SET TIME restarts the trimming measurement.
void connect_clock_windows(BoardClock& board_clock, ClockTrimming& trimming,
                           TimeSetting& time_setting);

}  // namespace tw::acquisition
