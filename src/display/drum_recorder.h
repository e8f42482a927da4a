#pragma once
// The drum recorder (helicorder): one picture per channel whose drum is on,
// in which each row holds `hours_per_row` hours of the board's day and the
// trace runs from left to right along the row's baseline.
//
// Picture coordinates: x in seconds from 0 (left) to the row length
// H x 3600 (right), y from +100000 (top) to -100000 (bottom); row r (0 at the
// top) holds the hours r x H to (r + 1) x H - 1, its baseline in its middle.
// A sample is drawn at the second of the last time packet, baseline plus
// conditioned value x drum_scale: all samples of one second share x, so each
// second is one vertical stroke over the second's extent, joined to the
// previous second. Light blue, light red while the channel records an event.
//
// Files in the drums folder: "drum_N" + extension, the picture of the day;
// "drum_YYMMDD_N" + extension, the picture of a finished day; "drum_N.dat",
// the day of the current picture and its hours per row. Pictures are saved
// every `bmp_update` period, at STOP and at set-up; at midnight the day's
// picture is archived and a fresh drum begins. After a restart the day's
// picture continues when its hours per row are unchanged.

#include "config/settings.h"
#include "display/picture_files.h"
#include "platform/canvas.h"
#include "platform/dialogs.h"
#include "platform/image_files.h"
#include "supervision/event_list.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tw::display {

// Pixels of a drum picture: 20 per minute of a row (one per 3 seconds), 100
// per row; 3600 x 800 at 3 hours per row.
inline constexpr int drum_pixels_per_hour = 1200;
inline constexpr int drum_pixels_per_row = 100;
inline constexpr double drum_top = 100000;
inline constexpr double drum_bottom = -100000;

struct DrumGeometry {
    int hours_per_row = 3;      // H, 2..8
    int rows = 8;               // rows of the day
    double row_length = 10800;  // x units (seconds) of a row
    double row_height = 25000;  // y units of a row
    int pixel_width = 3 * drum_pixels_per_hour;
    int pixel_height = 8 * drum_pixels_per_row;
    // y of the baseline of row r (0 at the top).
    double baseline(int row) const { return drum_top - row_height / 2 - row * row_height; }
};
// Hours per row outside 2..8 are taken as 3. Hours that do not divide the
// day (5, 7) get one more row for the day's last hours.
DrumGeometry drum_geometry(int hours_per_row);

// A drum state file: the board date of the picture and its hours per row.
struct DrumState {
    std::string date;  // "YYYY/MM/DD"
    int hours_per_row = 0;
};
std::string format_drum_state(const DrumState& state);
// nullopt for a text that is not a date line and a number line.
std::optional<DrumState> parse_drum_state(std::string_view text);

// What a drum window shows; the recorder writes it.
struct DrumView {
    std::string title;   // "Drum CH n"
    bool shown = false;  // follows drum_hidden while the drum is drawn
};

struct DrumContext {
    const config::Settings& settings;
    // Makes, saves and loads the pictures; none: no drum is drawn.
    platform::ImageFiles* images = nullptr;
    platform::Dialogs& dialogs;
    supervision::EventList& event_list;
    // The board clock, read at every sample.
    const std::string& board_date;  // "YYYY/MM/DD"
    const double& seconds_of_day;   // of the last time packet
    const bool& time_base_ready;
    // Channels 1..4 at 0..3: recording an event.
    const std::array<bool, 4>& event_active;
    std::filesystem::path folder;  // the drums folder
};

class DrumRecorder {
public:
    // prev_y of a trace that has no previous point yet.
    static constexpr double no_previous_point = 9999999;

    explicit DrumRecorder(DrumContext context);
    DrumRecorder(const DrumRecorder&) = delete;
    DrumRecorder& operator=(const DrumRecorder&) = delete;

    // Every sample of channel n (1..4) after conditioning, held back by the
    // slow-rate averaging or not; nothing unless the channel's drum is on
    // and the time base is ready.
    void drum_sample(int channel, std::int32_t conditioned_sample);
    // START and every restart of the board: each trace starts afresh at its
    // next sample (no line across the gap).
    void start_run();
    // STOP: every drum drawn in this run is saved with its state file; the
    // next run sets it up again.
    void stop_run();

    // A double click on the drum window: asks "Clear Drum image ?"; on Yes
    // the channel's next sample starts a fresh picture of the day.
    void clear_clicked(int channel);

    // The picture of channel n; none before its first set-up.
    const platform::Canvas* picture(int channel) const;
    const DrumView& view(int channel) const { return drum(channel).view; }
    bool ready(int channel) const { return drum(channel).ready; }
    // The day the picture of channel n shows ("YYYY/MM/DD").
    const std::string& picture_date(int channel) const { return drum(channel).date; }

    std::filesystem::path current_image(int channel) const;
    std::filesystem::path archive_image(int channel, std::string_view date) const;
    std::filesystem::path state_file(int channel) const;

    // The picture or the view of channel n changed.
    std::function<void(int channel)> changed;

private:
    struct Drum {
        std::unique_ptr<platform::Canvas> picture;
        DrumGeometry geometry;
        std::string date;  // the day of the picture
        bool ready = false;
        bool clear_request = false;
        double prev_x = 0;
        double prev_y = no_previous_point;
        double last_baseline = no_previous_point;
        int last_save_minute = -1;
        // The stroke of the second being drawn: every sample of a second
        // lies at the same x, so the second's lines are one vertical extent.
        bool stroke_open = false;
        bool stroke_drawn = true;
        double stroke_x = 0, stroke_low = 0, stroke_high = 0;
        platform::Color stroke_color = platform::colors::light_blue;
        bool failure_reported = false;
        DrumView view;
    };
    Drum& drum(int channel) { return drums_.at(static_cast<std::size_t>(channel - 1)); }
    const Drum& drum(int channel) const { return drums_.at(static_cast<std::size_t>(channel - 1)); }

    // The drum of the day: the saved picture continued when it is of this
    // day with these hours per row (unless `fresh`), else a fresh one.
    void set_up(int channel, bool fresh);
    void draw_fresh(int channel);
    void draw_trace(int channel, std::int32_t conditioned_sample);
    void finish_stroke(Drum& d);
    bool save(int channel, const std::filesystem::path& file);
    void write_state(int channel);
    void report_failure(int channel, const std::string& what);
    void archive_stale_image(int channel, const DrumState& state, const std::filesystem::path& image);
    void notify(int channel) {
        if (changed) changed(channel);
    }

    DrumContext context_;
    std::array<Drum, 4> drums_;
};

}  // namespace tw::display
