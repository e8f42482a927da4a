#include "acquisition/time_setting.h"

#include "config/number_text.h"
#include "config/tables.h"

#include <algorithm>
#include <charconv>

namespace tw::acquisition {

namespace {

constexpr std::uint8_t set_time_zone_command = 0x82;
constexpr std::uint8_t set_clock_command = 0x83;

struct FieldRule {
    int min;
    int max;
    std::string_view message;
    std::string_view title;
};

FieldRule rule_of(SettimeField field) {
    switch (field) {
        case SettimeField::day:
            return {1, 31, "Insert a valid DAY (01..31)", "Check DAY Value"};
        case SettimeField::month:
            return {1, 12, "Insert a valid Month (1..12)", "Check Month Value"};
        case SettimeField::year:
            return {1990, 2090, "Insert a valid Year (1990..2090)", "Check Year Value"};
        case SettimeField::hours:
            return {0, 23, "Insert a valid hour (00..23)", "Check Hour Value"};
        case SettimeField::minutes:
            return {0, 59, "Insert a valid minute (00..59)", "Check minute Value"};
        case SettimeField::seconds:
            return {0, 59, "Insert a valid second (00..59)", "Check second Value"};
        case SettimeField::gmt:
            break;
    }
    return {-23, 23, "Insert a valid GMT correction (-23..+23)", "Check GMT Value"};
}

// A whole number with an optional sign and blanks around it; nullopt for
// anything else (an empty field, letters, a fraction).
std::optional<int> whole_number(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// A field's value for the commands: the whole number, else the number scan
// rounded (SET TIME does not check the fields again).
int field_value(const std::string& text) {
    if (const auto v = whole_number(text)) return *v;
    const double v = config::round_half_even(config::number_scan(text));
    return v > 1e6 ? 1000000 : v < -1e6 ? -1000000 : static_cast<int>(v);
}

// The numbers of a text in order, whatever separates them.
std::vector<int> numbers_in(std::string_view text) {
    std::vector<int> numbers;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] < '0' || text[pos] > '9') {
            ++pos;
            continue;
        }
        std::size_t end = pos;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9' && end - pos < 6) ++end;
        int value = 0;
        std::from_chars(text.data() + pos, text.data() + end, value);
        numbers.push_back(value);
        pos = end;
    }
    return numbers;
}

std::string two_digit_text(int value) {
    return config::normalize_numeric_text(std::to_string(value), "00", 0, 99);
}

}  // namespace

std::uint32_t spectrogram_colour(int value) {
    const int v = std::clamp(value, 0, 1279);
    const std::uint32_t m = static_cast<std::uint32_t>(v % 256);
    std::uint32_t r = 0, g = 0, b = 0;
    if (v < 256) {
        b = m;
    } else if (v < 512) {
        g = std::min<std::uint32_t>(255, m + 128);
        b = 255;
    } else if (v < 768) {
        g = 255;
        b = 255 - m;
    } else if (v < 1024) {
        r = m;
        g = 255;
    } else {
        r = 255;
        g = 255 - m;
    }
    return r << 16 | g << 8 | b;
}

TimeSetting::TimeSetting(TimeSettingContext context) : context_(std::move(context)) {}

std::string& TimeSetting::field_text(SettimeField field) {
    switch (field) {
        case SettimeField::year: return model_.v_year;
        case SettimeField::month: return model_.v_month;
        case SettimeField::day: return model_.v_day;
        case SettimeField::hours: return model_.v_hours;
        case SettimeField::minutes: return model_.v_minutes;
        case SettimeField::seconds: return model_.v_seconds;
        case SettimeField::gmt: break;
    }
    return model_.v_gmt;
}

void TimeSetting::activate() {
    context_.window_open = true;
    const auto& general = context_.settings.general;
    model_.close_requested = false;
    model_.focus.reset();

    model_.option_sync1 = general.sync_source_dcf != 0;
    model_.pc_rtc = general.pc_rtc == 1;
    model_.pc_sync = general.pc_sync == 1;
    model_.sync_every =
        std::clamp(general.sync_every, 0, static_cast<int>(sync_every_items.size()) - 1);
    model_.v_gmt = std::to_string(general.gmt_correction + (model_.option_sync1 ? 1 : 0));
    // The line-oriented boards have no receiver: the PC clock is never set
    // from them, nor they from the PC.
    const bool line_board = general.ad_type == 2 || general.ad_type == 3;
    if (line_board) {
        model_.pc_rtc = true;
        model_.pc_sync = false;
    }
    apply_settings_lock(general.settings_locked == 1);
    if (context_.apply_settings_lock) context_.apply_settings_lock();
    model_.sync_every_enabled = model_.pc_sync;

    fill_date_time_fields();

    const auto& flags = context_.board_clock.sync().sync_minutes;
    std::copy_n(flags.begin(), SettimeModel::chart_minutes, model_.dcf_chart.begin());
    model_.notify();
}

void TimeSetting::unload() {
    context_.window_open = false;
    model_.focus.reset();
    model_.notify();
}

void TimeSetting::apply_settings_lock(bool locked) {
    const int ad_type = context_.settings.general.ad_type;
    const bool line_board = ad_type == 2 || ad_type == 3;
    model_.pc_rtc_enabled = !locked && !line_board;
    model_.pc_sync_enabled = !locked && !line_board;
    model_.option_sync_enabled = !locked;
    model_.sync_every_enabled = !locked && model_.pc_sync;
    model_.notify();
}

std::optional<platform::DateTime> read_pc_date(const std::string& text, const std::string& format) {
    const auto blank = text.find(' ');
    const auto date = numbers_in(std::string_view(text).substr(0, blank));
    const auto year_at = format.find("YYYY");
    const auto month_at = format.find("MM");
    const auto day_at = format.find("DD");
    if (date.size() < 3 || year_at == std::string::npos || month_at == std::string::npos ||
        day_at == std::string::npos)
        return std::nullopt;
    // Order of the three parts in the format.
    auto rank = [&](std::size_t at) {
        return static_cast<std::size_t>((at > year_at) + (at > month_at) + (at > day_at));
    };
    platform::DateTime when;
    when.year = date[rank(year_at)];
    when.month = date[rank(month_at)];
    when.day = date[rank(day_at)];
    if (when.year < 1000 || when.month < 1 || when.month > 12 || when.day < 1 || when.day > 31)
        return std::nullopt;
    return when;
}

void TimeSetting::fill_date_time_fields() {
    const std::string& text = context_.pc_clock.date_time;
    if (text.empty()) return;
    model_.realtime = text;

    // The date as the PC's text shows it, read in the PC's order; the time
    // of day from the clock itself, as a locale's 12-hour text ("07:12:34
    // PM") would give the wrong hour.
    platform::DateTime when = context_.clock.now();
    if (const auto date = read_pc_date(text, context_.system_date_format)) {
        when.year = date->year;
        when.month = date->month;
        when.day = date->day;
    }

    using config::normalize_numeric_text;
    model_.v_hours = normalize_numeric_text(std::to_string(when.hour), "00", 0, 23);
    model_.v_minutes = normalize_numeric_text(std::to_string(when.minute), "00", 0, 59);
    model_.v_seconds = normalize_numeric_text(std::to_string(when.second), "00", 0, 59);
    model_.v_day = normalize_numeric_text(std::to_string(when.day), "00", 1, 31);
    model_.v_month = normalize_numeric_text(std::to_string(when.month), "00", 1, 12);
    model_.v_year = normalize_numeric_text(std::to_string(when.year), "0000", 1990, 2090);
}

void TimeSetting::set_field(SettimeField field, std::string text) {
    field_text(field) = std::move(text);
}

bool TimeSetting::check_field(SettimeField field) {
    const FieldRule rule = rule_of(field);
    const auto value = whole_number(field_text(field));
    if (value && *value >= rule.min && *value <= rule.max) {
        if (model_.focus == field) model_.focus.reset();
        return true;
    }
    context_.dialogs.message_box(std::string(rule.message), std::string(rule.title),
                                 platform::DialogIcon::warning);
    model_.focus = field;
    model_.notify();
    return false;
}

void TimeSetting::option_sync_clicked(bool dcf77) { model_.option_sync1 = dcf77; }
void TimeSetting::pc_rtc_clicked(bool ticked) { model_.pc_rtc = ticked; }

void TimeSetting::pc_sync_clicked(bool ticked) {
    model_.pc_sync = ticked;
    model_.sync_every_enabled = ticked;
    model_.notify();
}

void TimeSetting::sync_every_selected(int index) {
    model_.sync_every = std::clamp(index, 0, static_cast<int>(sync_every_items.size()) - 1);
}

void TimeSetting::store_source_settings() {
    auto& settings = context_.settings;
    const bool dcf = model_.option_sync1;
    settings.general.sync_source_dcf = dcf ? 1 : 0;
    // The DCF77 receiver gives Central European time: the field shows the
    // correction one hour more than the setting.
    settings.general.gmt_correction = field_value(model_.v_gmt) - (dcf ? 1 : 0);
    settings.sync_source_text = dcf ? "DCF" : "GPS";
}

void TimeSetting::ok_clicked() {
    store_source_settings();
    auto& general = context_.settings.general;
    general.pc_rtc = model_.pc_rtc ? 1 : 0;
    general.pc_sync = model_.pc_sync ? 1 : 0;
    general.sync_every = model_.sync_every;
    model_.close_requested = true;
    unload();
}

void TimeSetting::cancel_clicked() {
    model_.close_requested = true;
    unload();
}

bool TimeSetting::send(std::string_view bytes) {
    return context_.send_command && context_.send_command(bytes);
}

void TimeSetting::set_time_clicked() {
    if (on_time_set) on_time_set();

    if (!context_.board_port_usable || !context_.board_port_usable()) {
        context_.dialogs.message_box(std::string(not_found_message), std::string(SettimeModel::title),
                                     platform::DialogIcon::warning);
        return;
    }

    // The PC date, written in the PC's order.
    const int year = field_value(model_.v_year);
    const int month = field_value(model_.v_month);
    const int day = field_value(model_.v_day);
    const std::string y = config::normalize_numeric_text(std::to_string(year), "0000", 0, 9999);
    const std::string m = two_digit_text(month);
    const std::string d = two_digit_text(day);
    const std::string& format = context_.system_date_format;
    std::string date_text;
    if (format == "YYYY/DD/MM") {
        date_text = y + "/" + d + "/" + m;
    } else if (format == "DD/MM/YYYY") {
        date_text = d + "/" + m + "/" + y;
    } else if (format == "MM/DD/YYYY") {
        date_text = m + "/" + d + "/" + y;
    } else {
        date_text = y + "/" + m + "/" + d;
    }
    std::string error;
    if (!context_.clock.set_date(year, month, day, &error)) {
        context_.event_list.append("PC date not set: " + error);
    }
    context_.start_date_text = date_text;
    context_.board_clock.set_board_date(y + "/" + m + "/" + d);

    const int hours = field_value(model_.v_hours);
    const int minutes = field_value(model_.v_minutes);
    const int seconds = field_value(model_.v_seconds);
    const std::string time_text =
        two_digit_text(hours) + ":" + two_digit_text(minutes) + ":" + two_digit_text(seconds);

    auto& general = context_.settings.general;
    general.pc_rtc = model_.pc_rtc ? 1 : 0;
    general.pc_sync = model_.pc_sync ? 1 : 0;
    if (general.pc_rtc != 1) {
        if (!context_.clock.set_time_of_day(hours, minutes, seconds, &error)) {
            context_.event_list.append("PC clock not set: " + error);
        }
        context_.start_time_text = time_text;
    }
    store_source_settings();

    const char time_command[6] = {static_cast<char>(set_clock_command),
                                  static_cast<char>(seconds & 0xFF),
                                  static_cast<char>(minutes & 0xFF),
                                  static_cast<char>(hours & 0xFF),
                                  0,
                                  0};
    send(std::string_view(time_command, sizeof time_command));

    // Two's complement: -5 is FB.
    const int gmt = general.gmt_correction;
    const auto g = static_cast<char>((gmt < 0 ? 256 - (-gmt % 256) : gmt) & 0xFF);
    const char zone_command[6] = {static_cast<char>(set_time_zone_command), g, g, g, g, g};
    send(std::string_view(zone_command, sizeof zone_command));

    context_.event_list.append("Time manually set at " + time_text);
}

void TimeSetting::board_second() {
    if (!context_.window_open) return;
    const SyncState& sync = context_.board_clock.sync();
    const BoardTime& time = context_.board_clock.time();
    const bool dcf = context_.settings.sync_source_text == "DCF";
    model_.lastsync = (dcf ? "DCF77 Sync: " : "GPS   Sync: ") + sync.sync_time;
    if (sync.lock_state == "NL") {
        model_.timestatus = "Status: Not Locked";
        model_.hour_type = "...";
    } else {
        model_.timestatus = "Status: Locked";
        if (!dcf) {
            model_.hour_type = "GPS tx UTC time";
        } else if (time.board_status & board_status_bit::dcf_daylight_time) {
            model_.hour_type = "DCF tx daylight time";
        } else {
            model_.hour_type = "DCF tx solar time";
        }
    }
    if (time.board_status & board_status_bit::synchronised) {
        model_.sync_indicator_colour = 10;
        const auto minute = static_cast<std::size_t>(time.seconds_of_day / 60);
        if (minute < model_.dcf_chart.size()) model_.dcf_chart[minute] = 1;
    } else {
        model_.sync_indicator_colour = 8;
    }
    model_.ad_clock = time.board_date_time;
    model_.realtime = context_.pc_clock.date_time + context_.pc_clock.millis;
    model_.notify();
}

void TimeSetting::refresh_idle() {
    if (!context_.window_open) return;
    model_.realtime = context_.pc_clock.date_time + context_.pc_clock.millis;
    model_.lastsync = "DCF77 Sync: " + context_.board_clock.sync().sync_time;
    model_.notify();
}

void TimeSetting::dcf_chart_clicked() {
    model_.dcf_chart.fill(0);
    context_.board_clock.clear_sync_minutes();
    model_.notify();
}

void TimeSetting::acquisition_stopped() {
    model_.dcf_chart.fill(0);
    model_.notify();
}

void TimeSetting::paint_colour_scale() {
    model_.colour_scale.resize(SettimeModel::colour_scale_width);
    for (std::size_t v = 0; v < model_.colour_scale.size(); ++v) {
        model_.colour_scale[v] = spectrogram_colour(static_cast<int>(std::min<std::size_t>(v, 1279)));
    }
    model_.notify();
}

void connect_clock_windows(BoardClock& board_clock, ClockTrimming& trimming,
                           TimeSetting& time_setting) {
    board_clock.on_sync = [&trimming](const std::string& sync_time) {
        if (trimming.is_open()) trimming.measure_on_sync(sync_time);
    };
    board_clock.on_second = [&time_setting] { time_setting.board_second(); };
    board_clock.on_run_started = [&trimming] {
        if (trimming.is_open()) trimming.restart_measurement();
    };
    board_clock.on_run_stopped = [&time_setting] { time_setting.acquisition_stopped(); };
    time_setting.on_time_set = [&trimming] {
        if (trimming.is_open()) trimming.restart_measurement();
    };
}

}  // namespace tw::acquisition
