#pragma once
// The Review window: a stretch of one channel's day tracks replayed page by
// page from an entered date and time, and the cutting of event files out of
// the tracks for the ticked channels.
//
// The window shows ReviewModel and passes every user action to Review; the
// replay and the progress of an extraction are drawn by Review on the two
// canvases the window lends it.

#include "config/settings.h"
#include "datalog/extraction.h"
#include "datalog/replay.h"
#include "platform/canvas.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/event_pump.h"
#include "supervision/error_report.h"

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tw::datalog {

struct ReviewModel {
    static constexpr std::string_view title = "Review";

    std::string logpath;         // the folder whose "datalog" is read
    int channel = 1;             // rep_ch, shown in track_review
    std::string startviewdate;   // "YYYY/MM/DD"
    std::string startviewtime;   // "HH:MM:SS"
    std::string duration = "10"; // minutes to extract
    std::string beg_time;        // page start "HH:MM:SS", empty while no page is shown
    std::string end_time;        // page end
    std::string cursor;          // time under the pointer
    std::string viewfile;        // "Replay of: 0203.lg1"
    int rep_chart_adj = 50;      // review_chart_speed 1..100
    int rep_rows_adj = 6;        // review_rows 2..8
    int rep_scale_adj = 10;      // review_y_zoom 1..100
    bool rep_chart_green = false;  // step below 0.5: many samples per picture unit
    std::array<bool, 4> chk_extract{};
    // ok_view, rewind, nextpage, prevpage, extract and rep_close.
    bool buttons_enabled = true;
    // What the last view or extraction found: damage left out, gaps, files
    // written. One line each.
    std::string notice;

    std::function<void()> changed;
    void notify() const {
        if (changed) changed();
    }
};

struct ReviewContext {
    config::Settings& settings;
    const platform::Clock& clock;
    platform::Dialogs& dialogs;
    platform::EventPump& pump;
    supervision::ErrorReport& error_report;
    std::filesystem::path station_folder;  // program_folder
    // The live events folder, the counter file and the header's lock state
    // and board identification, as the extraction needs them.
    std::function<ExtractionContext()> extraction;
    // The saved drum picture of channel n for a date ("YYYY/MM/DD"): the
    // current one when it is of that day, else the day's archive; nullopt
    // when there is none. None: no drums.
    std::function<std::optional<std::filesystem::path>(int channel, const std::string& date)>
        drum_picture;
};

// Place name and step code of the view's errors in the error report.
inline constexpr std::string_view view_place = "OK_VIEW";
inline constexpr int view_step = 701;

// Entry field texts as they become when their field is left. Digits are
// split into three groups at any other characters (missing groups are 0).
// "HH:MM:SS" with hours 0..23, minutes and seconds 0..59.
std::string normalize_review_time(std::string_view text);
// "YYYY/MM/DD": a year below 100 is 1900 + year, years 1900..2099, months
// 1..12, days 1 to the month's last.
std::string normalize_review_date(std::string_view text);
// Whole minutes 1..480.
std::string normalize_duration(std::string_view text);

// Messages of the view.
namespace review_text {
std::string track_missing(int channel);  // "Track file missing. <.LG1> not present."
std::string index_missing(int channel);
}  // namespace review_text

class Review {
public:
    explicit Review(ReviewContext context);

    // The replay picture and the extraction's progress picture (Picture2);
    // either may be none.
    void set_pictures(platform::Canvas* replay, platform::Canvas* progress);

    // The window opens: display values brought into range, today's date
    // and 00:00:00, the folder, the extract boxes from extract_channel_mask.
    void open();

    void date_edited(std::string text);
    void date_left();
    void time_edited(std::string text);
    void time_left();
    void duration_edited(std::string text);
    void duration_left();
    void channel_chosen(int channel);
    void chart_speed_changed(int value);
    void rows_changed(int value);
    void zoom_changed(int value);
    void extract_box_clicked(int channel, bool ticked);
    void logpath_edited(std::string text);
    void logpath_double_clicked();

    void ok_view();
    void next_page();
    void prev_page();
    void rewind();
    void stop_draw() { stop_requested_ = true; }
    // The page on screen drawn again (the picture changed its size).
    void redraw();

    // The pointer over the replay picture, x and y from 0 to 1.
    void pointer_moved(double x, double y);
    void picture_clicked();
    void picture_double_clicked() { ok_view(); }

    // cmd_drum: the saved drum picture of the replayed channel for the date
    // in startviewdate; nullopt (and the notice says so) when there is none.
    std::optional<std::filesystem::path> drum_clicked();

    // cmd_events: the events the trigger, with the settings as they are
    // now, finds in the replayed channel's tracks of the day in
    // startviewdate (as --retrigger lists them), into the notice.
    void list_events();

    // Cuts the stretch of startviewdate, startviewtime and duration out of
    // the tracks of every ticked channel, in channel order.
    void extract();

    ReviewModel& model() { return model_; }
    const ReviewModel& model() const { return model_; }
    // The page on screen: its start and its layout.
    std::optional<double> page_start() const { return page_start_; }
    const ReplayLayout& layout() const { return layout_; }
    // The folder the tracks are read from.
    std::filesystem::path datalog_folder() const;
    // Files the last extraction wrote.
    const std::vector<std::filesystem::path>& extracted_files() const { return extracted_; }

private:
    void view_from(double seconds);
    void set_busy(bool busy);
    void normalize_fields();
    void set_start(double seconds);
    bool service();
    void show_message(const std::string& text);

    ReviewContext context_;
    ReviewModel model_;
    platform::Canvas* replay_ = nullptr;
    platform::Canvas* progress_ = nullptr;
    bool stop_requested_ = true;
    std::optional<double> page_start_;
    ReplayLayout layout_;
    std::optional<double> cursor_seconds_;
    // The date and time the user entered last (rewind goes back there).
    std::string entered_date_;
    std::string entered_time_;
    std::vector<std::filesystem::path> extracted_;
};

}  // namespace tw::datalog
