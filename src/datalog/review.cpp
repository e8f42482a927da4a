#include "datalog/review.h"

#include "config/number_text.h"
#include "datalog/retrigger.h"
#include "config/station_paths.h"
#include "config/tables.h"
#include "config/time_stamp.h"
#include "datalog/track_format.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace tw::datalog {

namespace {

// Up to three groups of digits, each limited to 9 digits; missing ones 0.
std::array<long, 3> digit_groups(std::string_view text) {
    std::array<long, 3> groups{};
    std::size_t group = 0;
    bool in_digits = false;
    int digits = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            if (!in_digits) {
                if (group == 3) break;
                in_digits = true;
                digits = 0;
                ++group;
            }
            if (++digits <= 9) groups[group - 1] = groups[group - 1] * 10 + (c - '0');
        } else {
            in_digits = false;
        }
    }
    return groups;
}

int days_in_month(long year, long month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

std::string two_digits(long value) {
    std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

std::string time_of(double seconds) {
    return config::stamp_text(static_cast<std::int64_t>(std::floor(seconds + 1e-6))).substr(11);
}

// Full scale of the samples in a row's height at Y zoom 10.
double full_scale(int ad_type) { return ad_type == config::orda20 ? 262144.0 : 65536.0; }

}  // namespace

std::string normalize_review_time(std::string_view text) {
    const auto g = digit_groups(text);
    return config::time_text(static_cast<int>(std::min(g[0], 23L)),
                             static_cast<int>(std::min(g[1], 59L)),
                             static_cast<int>(std::min(g[2], 59L)));
}

std::string normalize_review_date(std::string_view text) {
    auto [year, month, day] = digit_groups(text);
    if (year < 100) year += 1900;
    year = std::clamp(year, 1900L, 2099L);
    month = std::clamp(month, 1L, 12L);
    day = std::clamp(day, 1L, static_cast<long>(days_in_month(year, month)));
    return std::to_string(year) + "/" + two_digits(month) + "/" + two_digits(day);
}

std::string normalize_duration(std::string_view text) {
    const double value = std::floor(config::number_scan(text));
    const double minutes = std::isfinite(value) ? std::clamp(value, 1.0, double(max_extraction_minutes)) : 1.0;
    return std::to_string(static_cast<int>(minutes));
}

namespace review_text {
std::string track_missing(int channel) {
    return "Track file missing. <.LG" + std::to_string(channel) + "> not present.";
}
std::string index_missing(int channel) {
    return "Track file missing. <.LL" + std::to_string(channel) + "> not present.";
}
}  // namespace review_text

Review::Review(ReviewContext context) : context_(std::move(context)) {}

void Review::set_pictures(platform::Canvas* replay, platform::Canvas* progress) {
    replay_ = replay;
    progress_ = progress;
}

void Review::list_events() {
    set_busy(true);
    RetriggerRequest request;
    request.datalog_folder = datalog_folder();
    request.start = model_.startviewdate + " 00:00:00";
    request.minutes = 24 * 60;
    request.channels = {model_.channel};
    const RetriggerResult result = retrigger(context_.settings, request);
    std::string text;
    auto add = [&](const std::string& line) { text += (text.empty() ? "" : "\n") + line; };
    if (!result.refusal.empty()) {
        add(result.refusal);
    } else {
        add("Events of channel " + std::to_string(model_.channel) + " on " + model_.startviewdate +
            " with the trigger settings as they are now: " + retrigger_summary(result) + ".");
        for (const auto& e : result.events) add(retrigger_event_line(e));
    }
    for (const auto& line : result.notices) add(line);
    model_.notice = text;
    set_busy(false);
}

std::filesystem::path Review::datalog_folder() const {
    return config::review_folder_path(context_.settings.general, context_.station_folder) / "datalog";
}

void Review::open() {
    auto& g = context_.settings.general;
    g.review_y_zoom = std::clamp(g.review_y_zoom, 1.0, 100.0);
    g.review_rows = std::clamp(g.review_rows, 2, 8);
    g.review_chart_speed = std::clamp(g.review_chart_speed, 1.0, 100.0);
    model_.rep_chart_adj = static_cast<int>(std::lround(g.review_chart_speed));
    model_.rep_rows_adj = g.review_rows;
    model_.rep_scale_adj = static_cast<int>(std::lround(g.review_y_zoom));
    model_.rep_chart_green = g.review_chart_speed / 50 < 0.5;
    model_.logpath = g.review_path;
    model_.beg_time.clear();
    model_.end_time.clear();
    model_.cursor.clear();
    page_start_.reset();
    stop_requested_ = true;
    model_.startviewdate = config::date_text(context_.clock.now());
    model_.startviewtime = "00:00:00";
    entered_date_ = model_.startviewdate;
    entered_time_ = model_.startviewtime;
    for (int k = 0; k < 4; ++k) model_.chk_extract[static_cast<std::size_t>(k)] = (g.extract_channel_mask >> k) & 1;
    model_.buttons_enabled = true;
    model_.notify();
}

void Review::date_edited(std::string text) { model_.startviewdate = std::move(text); }
void Review::time_edited(std::string text) { model_.startviewtime = std::move(text); }
void Review::duration_edited(std::string text) { model_.duration = std::move(text); }

void Review::date_left() {
    model_.startviewdate = normalize_review_date(model_.startviewdate);
    entered_date_ = model_.startviewdate;
    model_.notify();
}

void Review::time_left() {
    model_.startviewtime = normalize_review_time(model_.startviewtime);
    entered_time_ = model_.startviewtime;
    model_.notify();
}

void Review::duration_left() {
    model_.duration = normalize_duration(model_.duration);
    model_.notify();
}

void Review::channel_chosen(int channel) {
    model_.channel = std::clamp(channel, 1, 4);
    model_.notify();
}

void Review::chart_speed_changed(int value) {
    context_.settings.general.review_chart_speed = std::clamp(value, 1, 100);
    model_.rep_chart_adj = std::clamp(value, 1, 100);
    model_.rep_chart_green = model_.rep_chart_adj / 50.0 < 0.5;
    model_.notify();
}

void Review::rows_changed(int value) {
    context_.settings.general.review_rows = std::clamp(value, 2, 8);
    model_.rep_rows_adj = context_.settings.general.review_rows;
    model_.notify();
}

void Review::zoom_changed(int value) {
    context_.settings.general.review_y_zoom = std::clamp(value, 1, 100);
    model_.rep_scale_adj = std::clamp(value, 1, 100);
    model_.notify();
}

void Review::extract_box_clicked(int channel, bool ticked) {
    if (channel < 1 || channel > 4) return;
    model_.chk_extract[static_cast<std::size_t>(channel - 1)] = ticked;
    int mask = 0;
    for (int k = 0; k < 4; ++k)
        if (model_.chk_extract[static_cast<std::size_t>(k)]) mask |= 1 << k;
    context_.settings.general.extract_channel_mask = mask;
    model_.notify();
}

void Review::logpath_edited(std::string text) {
    context_.settings.general.review_path = text;
    model_.logpath = std::move(text);
}

void Review::logpath_double_clicked() {
    if (!context_.dialogs.ask_yes_no("Set Standard TERRAWAVE path?", std::string(ReviewModel::title),
                                     false))
        return;
    context_.settings.general.review_path = context_.station_folder.string();
    model_.logpath = context_.settings.general.review_path;
    model_.notify();
}

void Review::set_busy(bool busy) {
    model_.buttons_enabled = !busy;
    model_.notify();
}

void Review::normalize_fields() {
    model_.startviewdate = normalize_review_date(model_.startviewdate);
    model_.startviewtime = normalize_review_time(model_.startviewtime);
    model_.duration = normalize_duration(model_.duration);
}

void Review::set_start(double seconds) {
    const std::string stamp = config::stamp_text(static_cast<std::int64_t>(std::floor(seconds + 1e-6)));
    model_.startviewdate = stamp.substr(0, 10);
    model_.startviewtime = stamp.substr(11);
}

bool Review::service() {
    context_.pump.process_events(0);
    return stop_requested_;
}

void Review::show_message(const std::string& text) {
    context_.dialogs.message_box(text, std::string(ReviewModel::title), platform::DialogIcon::warning);
}

void Review::ok_view() {
    normalize_fields();
    const auto request = config::stamp_seconds(model_.startviewdate + " " + model_.startviewtime);
    view_from(static_cast<double>(request.value_or(0)));
}

void Review::redraw() {
    if (page_start_ && model_.buttons_enabled) view_from(*page_start_);
}

void Review::view_from(double r) {
    set_busy(true);
    stop_requested_ = false;
    if (replay_) replay_->clear(platform::colors::white);
    model_.notice.clear();
    const auto& g = context_.settings.general;
    const int n = model_.channel;
    const int width = track_sample_width(g.ad_type);

    TrackDays days(datalog_folder(), n, width);
    const std::int64_t day_number = day_number_of(r);
    const DayTrack& day = days.day(day_number);
    model_.viewfile = "Replay of: " + day.track_path.filename().string();
    std::string refusal;
    switch (day.status) {
    case DayStatus::ok: break;
    case DayStatus::track_missing: refusal = review_text::track_missing(n); break;
    case DayStatus::index_missing: refusal = review_text::index_missing(n); break;
    case DayStatus::year_mismatch: refusal = extraction_text::year_mismatch(); break;
    case DayStatus::unreadable: refusal = day.reason; break;
    }
    if (!refusal.empty()) {
        show_message(refusal);
        set_busy(false);
        return;
    }
    std::vector<std::string> notices = day.problems;
    auto finish = [&] {
        std::string text;
        for (const auto& line : notices) text += (text.empty() ? "" : "\n") + line;
        model_.notice = text;
        set_busy(false);
    };
    if (day.runs.empty()) {
        notices.push_back("Nothing recorded in " + day.track_path.filename().string() + ".");
        finish();
        return;
    }
    // Before the day's first segment: the next view starts there.
    const RecordedRun& first = day.runs.front();
    if (r + 0.5 / first.sps < static_cast<double>(first.start_seconds())) {
        model_.startviewtime = time_of(static_cast<double>(first.start_seconds()));
        model_.beg_time.clear();
        model_.end_time.clear();
        page_start_.reset();
        notices.push_back("Recording of this day begins at " + model_.startviewtime + ".");
        finish();
        return;
    }
    // The page's rate: of the run at the time asked for, else of the next
    // one that day, else of the day's last.
    double sps = day.runs.back().sps;
    const RunPosition at = locate_time(day.runs, r, width);
    if (at.run) {
        sps = at.run->sps;
    } else {
        for (const RecordedRun& run : day.runs) {
            if (static_cast<double>(run.start_seconds()) > r) {
                sps = run.sps;
                break;
            }
        }
    }
    layout_ = replay_layout(g.review_chart_speed, g.review_rows, sps);
    ReplayStyle style;
    style.y_zoom = g.review_y_zoom;
    style.row_units = full_scale(g.ad_type) / layout_.rows;
    PageDrawing drawing;
    if (replay_) {
        drawing = draw_replay_page(*replay_, days, r, layout_, style, [this] { return service(); });
    }
    for (const auto& error : drawing.errors) {
        notices.push_back(error);
        context_.error_report.report(events::error_number_of_errno(EIO), view_step, std::string(view_place),
                                     error);
    }
    // Damage of the next day's files, when the page reached into them.
    if (day_number_of(r + layout_.page_seconds - 1) != day_number) {
        for (const auto& problem : days.day(day_number + 1).problems) notices.push_back(problem);
    }
    page_start_ = r;
    model_.beg_time = time_of(r);
    model_.end_time = time_of(r + layout_.page_seconds);
    if (drawing.stopped) notices.push_back("Drawing stopped.");
    finish();
}

void Review::next_page() {
    if (!page_start_) return;
    set_start(*page_start_ + layout_.page_seconds);
    ok_view();
}

void Review::prev_page() {
    // Back by the length of the page on screen from the start in the fields,
    // no further than that day's 00:00:00.
    if (!page_start_) return;
    normalize_fields();
    const auto from = config::stamp_seconds(model_.startviewdate + " " + model_.startviewtime);
    const double base = static_cast<double>(from.value_or(0));
    const double midnight = static_cast<double>(day_number_of(base)) * 86400;
    set_start(std::max(midnight, base - layout_.page_seconds));
    ok_view();
}

void Review::rewind() {
    model_.startviewdate = entered_date_;
    model_.startviewtime = entered_time_;
    ok_view();
}

void Review::pointer_moved(double x, double y) {
    if (!page_start_ || model_.beg_time.empty()) {
        model_.cursor.clear();
        cursor_seconds_.reset();
    } else {
        cursor_seconds_ = replay_time_at(layout_, *page_start_, x, y);
        model_.cursor = time_of(*cursor_seconds_);
    }
    model_.notify();
}

void Review::picture_clicked() {
    if (model_.cursor.empty() || !cursor_seconds_) return;
    set_start(*cursor_seconds_);
    model_.notify();
}

std::optional<std::filesystem::path> Review::drum_clicked() {
    model_.startviewdate = normalize_review_date(model_.startviewdate);
    std::optional<std::filesystem::path> picture;
    if (context_.drum_picture) picture = context_.drum_picture(model_.channel, model_.startviewdate);
    model_.notice = picture ? std::string()
                            : "No drum picture of channel " + std::to_string(model_.channel) +
                                  " for " + model_.startviewdate + ".";
    model_.notify();
    return picture;
}

void Review::extract() {
    set_busy(true);
    normalize_fields();
    extracted_.clear();
    std::vector<std::string> notices;
    const std::string start = model_.startviewdate + " " + model_.startviewtime;
    const int minutes = std::stoi(model_.duration);
    bool any = false;
    for (int k = 1; k <= 4; ++k) {
        if (!model_.chk_extract[static_cast<std::size_t>(k - 1)]) continue;
        any = true;
        ExtractionContext extraction = context_.extraction();
        extraction.error_report = &context_.error_report;
        if (progress_) {
            progress_->set_scale(0, 0, 1, 1);
            progress_->clear(platform::colors::white);
        }
        extraction.progress = [this](std::uint64_t done, std::uint64_t total) {
            if (progress_ && total > 0) {
                progress_->set_scale(0, 0, static_cast<double>(total), 1);
                progress_->fill_box(0, 0, static_cast<double>(done), 1, platform::colors::yellow);
            }
            model_.notify();
            context_.pump.process_events(0);
        };
        const ExtractionResult result = extract_channel(extraction, k, start, minutes);
        for (const auto& line : result.notices) notices.push_back(line);
        if (result.written) {
            extracted_.push_back(result.file);
            notices.push_back("Track " + std::to_string(k) + ": " + result.file.string() + ", " +
                              std::to_string(result.samples) + " samples.");
        } else {
            show_message(result.refusal);
        }
        if (progress_) progress_->clear(platform::colors::white);
    }
    if (!any) show_message("Tick the channels to extract first.");
    std::string text;
    for (const auto& line : notices) text += (text.empty() ? "" : "\n") + line;
    model_.notice = text;
    set_busy(false);
}

}  // namespace tw::datalog
