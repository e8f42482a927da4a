#include "display/drum_recorder.h"

#include "config/settings_file.h"
#include "config/tables.h"
#include "config/time_stamp.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <system_error>

namespace tw::display {

namespace fs = std::filesystem;

namespace {

constexpr int label_pixel_size = 14;

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

std::string two_digits(int value) {
    return {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

}  // namespace

DrumGeometry drum_geometry(int hours_per_row) {
    DrumGeometry g;
    g.hours_per_row = hours_per_row >= 2 && hours_per_row <= 8 ? hours_per_row : 3;
    g.rows = (24 + g.hours_per_row - 1) / g.hours_per_row;
    g.row_length = g.hours_per_row * 3600.0;
    g.row_height = (drum_top - drum_bottom) / g.rows;
    g.pixel_width = g.hours_per_row * drum_pixels_per_hour;
    g.pixel_height = g.rows * drum_pixels_per_row;
    return g;
}

std::string format_drum_state(const DrumState& state) {
    return state.date + "\r\n " + std::to_string(state.hours_per_row) + "\r\n";
}

std::optional<DrumState> parse_drum_state(std::string_view text) {
    const auto end_of_date = text.find('\n');
    if (end_of_date == std::string_view::npos) return std::nullopt;
    DrumState state;
    state.date = std::string(trimmed(text.substr(0, end_of_date)));
    if (state.date.size() != 10 || !config::stamp_seconds(state.date)) return std::nullopt;
    std::string_view rest = text.substr(end_of_date + 1);
    const std::string_view hours = trimmed(rest.substr(0, rest.find('\n')));
    const auto [end, status] = std::from_chars(hours.data(), hours.data() + hours.size(),
                                               state.hours_per_row);
    if (hours.empty() || status != std::errc() || end != hours.data() + hours.size())
        return std::nullopt;
    return state;
}

DrumRecorder::DrumRecorder(DrumContext context) : context_(std::move(context)) {
    for (int n = 1; n <= 4; ++n) drum(n).view.title = "Drum CH " + std::to_string(n);
}

const platform::Canvas* DrumRecorder::picture(int channel) const { return drum(channel).picture.get(); }

fs::path DrumRecorder::current_image(int channel) const {
    const PictureFormat format = picture_format(context_.settings.general.drum_format);
    return context_.folder / ("drum_" + std::to_string(channel) + std::string(format.save_extension));
}

fs::path DrumRecorder::archive_image(int channel, std::string_view date) const {
    const PictureFormat format = picture_format(context_.settings.general.drum_format);
    return context_.folder / ("drum_" + short_date(date) + "_" + std::to_string(channel) +
                              std::string(format.save_extension));
}

fs::path DrumRecorder::state_file(int channel) const {
    return context_.folder / ("drum_" + std::to_string(channel) + ".dat");
}

void DrumRecorder::start_run() {
    for (Drum& d : drums_) {
        finish_stroke(d);
        d.stroke_open = false;
        d.prev_y = no_previous_point;
    }
}

void DrumRecorder::stop_run() {
    for (int n = 1; n <= 4; ++n) {
        Drum& d = drum(n);
        const config::ChannelSettings& cs = context_.settings.channel(n);
        if (d.ready && cs.drum_enabled > 0 && cs.sps_code != 0) {
            finish_stroke(d);
            save(n, current_image(n));
            write_state(n);
        }
        d.ready = false;
        d.stroke_open = false;
    }
}

void DrumRecorder::clear_clicked(int channel) {
    if (channel < 1 || channel > 4) return;
    if (context_.dialogs.ask_yes_no("Clear Drum image ?", drum(channel).view.title, false))
        drum(channel).clear_request = true;
}

void DrumRecorder::drum_sample(int channel, std::int32_t conditioned_sample) {
    if (channel < 1 || channel > 4 || !context_.images) return;
    const config::ChannelSettings& cs = context_.settings.channel(channel);
    if (cs.drum_enabled <= 0 || !context_.time_base_ready) return;
    Drum& d = drum(channel);

    // The window follows drum_hidden.
    const bool shown = cs.drum_hidden == 0;
    if (d.view.shown != shown) {
        d.view.shown = shown;
        notify(channel);
    }

    // A clear asked for at the window: a fresh picture of the day.
    if (d.clear_request) {
        d.clear_request = false;
        d.ready = false;
        set_up(channel, true);
    }

    // Saves: the day's picture is archived when the board's day has moved on
    // (at midnight); otherwise it is saved every period.
    const int minute = static_cast<int>(std::floor(context_.seconds_of_day / 60));
    const auto& periods = config::bmp_update_minutes;
    const int period = periods[static_cast<std::size_t>(
        std::clamp(context_.settings.general.bmp_update, 0, static_cast<int>(periods.size()) - 1))];
    if (d.ready && d.date != context_.board_date) {
        d.last_save_minute = minute;
        finish_stroke(d);
        save(channel, archive_image(channel, d.date));
        d.ready = false;
    } else if (minute % period == 0 && minute != d.last_save_minute) {
        d.last_save_minute = minute;
        // A drum not yet set up this run has nothing to save: saving it
        // would put an empty picture over the day's.
        if (d.ready) {
            finish_stroke(d);
            save(channel, current_image(channel));
        }
    }

    if (!d.ready) set_up(channel, false);
    draw_trace(channel, conditioned_sample);
}

void DrumRecorder::set_up(int channel, bool fresh) {
    Drum& d = drum(channel);
    const config::Settings& settings = context_.settings;
    d.geometry = drum_geometry(settings.general.hours_per_row);
    if (!d.picture) d.picture = context_.images->create(d.geometry.pixel_width, d.geometry.pixel_height);
    std::error_code ec;
    fs::create_directories(context_.folder, ec);

    const std::string n = std::to_string(channel);
    const PictureFormat format = picture_format(settings.general.drum_format);
    std::optional<DrumState> state;
    if (fs::exists(state_file(channel), ec)) {
        std::ifstream in(state_file(channel), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        state = parse_drum_state(text.str());
        if (!state)
            context_.event_list.append("Drum " + n + ": " + state_file(channel).filename().string() +
                                       " is damaged, a fresh drum begins.");
    }
    const auto current = find_any_case(context_.folder, "drum_" + n + std::string(format.save_extension));

    bool continued = false;
    if (!fresh && state && current) {
        if (state->date == context_.board_date &&
            state->hours_per_row == d.geometry.hours_per_row) {
            std::string error;
            continued = context_.images->load(*d.picture, *current, &error);
            if (!continued)
                context_.event_list.append("Drum " + n + ": " + error + ", a fresh drum begins.");
        } else if (state->date != context_.board_date) {
            archive_stale_image(channel, *state, *current);
        }
    }
    d.date = context_.board_date;
    if (!continued) draw_fresh(channel);
    d.picture->set_scale(0, drum_top, d.geometry.row_length, drum_bottom);
    d.prev_y = no_previous_point;
    d.stroke_open = false;
    d.ready = true;
    save(channel, current_image(channel));
    write_state(channel);
    notify(channel);
}

void DrumRecorder::archive_stale_image(int channel, const DrumState& state,
                                       const fs::path& image) {
    // The picture of a day that ended while the program was not running
    // (or whose midnight save failed) becomes that day's archive, unless
    // there is one already.
    const fs::path archive = archive_image(channel, state.date);
    if (find_any_case(context_.folder, archive.filename().string())) return;
    std::error_code ec;
    fs::rename(image, archive, ec);
    if (ec) report_failure(channel, "cannot rename " + image.string() + ": " + ec.message());
}

void DrumRecorder::draw_fresh(int channel) {
    Drum& d = drum(channel);
    const DrumGeometry& g = d.geometry;
    platform::Canvas& p = *d.picture;
    p.resize(g.pixel_width, g.pixel_height);
    p.set_scale(0, drum_top, g.row_length, drum_bottom);
    p.clear(platform::colors::white);
    for (int slot = 0; slot < g.hours_per_row; ++slot) {
        const double hour_x = slot * 3600.0;
        p.line(hour_x, drum_top, hour_x, drum_bottom, platform::colors::black);
        for (const double quarter : {0.25, 0.5, 0.75}) {
            const double x = (slot + quarter) * 3600.0;
            p.line(x, drum_top, x, drum_bottom, platform::colors::blue, platform::LineStyle::dotted);
        }
    }
    // Labels a little right of their hour line and below the row's top.
    const double right = g.row_length / g.pixel_width * 4;
    const double down = g.row_height / drum_pixels_per_row * 2;
    for (int hour = 1; hour <= 23; ++hour) {
        const int row = hour / g.hours_per_row;
        p.text((hour % g.hours_per_row) * 3600.0 + right, drum_top - row * g.row_height - down,
               two_digits(hour), platform::colors::black, platform::TextAlign::left_top,
               label_pixel_size);
    }
    const int axis = context_.settings.channel(channel).axis_code;
    const std::string_view letter =
        axis >= 0 && axis < static_cast<int>(config::axis_names.size())
            ? config::axis_names[static_cast<std::size_t>(axis)]
            : std::string_view(" ");
    p.text(right, drum_top - down, context_.board_date + " " + std::string(letter),
           platform::colors::black, platform::TextAlign::left_top, label_pixel_size);
}

void DrumRecorder::draw_trace(int channel, std::int32_t conditioned_sample) {
    Drum& d = drum(channel);
    const DrumGeometry& g = d.geometry;
    const int second_of_day = std::clamp(static_cast<int>(context_.seconds_of_day), 0, 86399);
    const int hour = second_of_day / 3600;
    const int minute = second_of_day % 3600 / 60;
    const int second = second_of_day % 60;
    const double baseline = g.baseline(hour / g.hours_per_row);
    const double x = (hour % g.hours_per_row) * 3600.0 + minute * 60 + second;
    double y = baseline + conditioned_sample * context_.settings.channel(channel).drum_scale;
    if (!std::isfinite(y)) y = baseline;

    if (d.prev_y == no_previous_point) {
        d.prev_y = baseline;
        d.prev_x = x;
    }
    if (d.prev_x > x + 3600) {  // the trace went on to the next row
        d.prev_x = 0;
        d.prev_y = baseline;
    }
    if (baseline != d.last_baseline) {
        d.prev_y = baseline;
        d.last_baseline = baseline;
    }
    const platform::Color color = context_.event_active[static_cast<std::size_t>(channel - 1)]
                                      ? platform::colors::light_red
                                      : platform::colors::light_blue;

    if (d.stroke_open && x == d.stroke_x && d.prev_x == x && color == d.stroke_color &&
        d.prev_y >= d.stroke_low && d.prev_y <= d.stroke_high) {
        // Another sample of the same second: the line from the previous one
        // runs inside the second's stroke, which only grows.
        if (y < d.stroke_low) d.stroke_low = y, d.stroke_drawn = false;
        if (y > d.stroke_high) d.stroke_high = y, d.stroke_drawn = false;
    } else {
        finish_stroke(d);
        d.picture->line(d.prev_x, d.prev_y, x, y, color);
        d.stroke_open = true;
        d.stroke_drawn = true;
        d.stroke_x = x;
        d.stroke_low = d.stroke_high = y;
        d.stroke_color = color;
        notify(channel);
    }
    d.prev_x = x;
    d.prev_y = y;
}

void DrumRecorder::finish_stroke(Drum& d) {
    if (!d.stroke_open || d.stroke_drawn || !d.picture) return;
    d.picture->line(d.stroke_x, d.stroke_low, d.stroke_x, d.stroke_high, d.stroke_color);
    d.stroke_drawn = true;
}

bool DrumRecorder::save(int channel, const fs::path& file) {
    Drum& d = drum(channel);
    const PictureFormat format = picture_format(context_.settings.general.drum_format);
    std::error_code ec;
    fs::create_directories(context_.folder, ec);
    std::string error;
    if (context_.images->save(*d.picture, file, format.format, format.quality, &error)) {
        d.failure_reported = false;
        return true;
    }
    report_failure(channel, error.empty() ? "cannot write " + file.string() : error);
    return false;
}

void DrumRecorder::write_state(int channel) {
    Drum& d = drum(channel);
    std::string error;
    if (!config::replace_file(state_file(channel),
                              format_drum_state({d.date, d.geometry.hours_per_row}), &error))
        report_failure(channel, error);
}

void DrumRecorder::report_failure(int channel, const std::string& what) {
    Drum& d = drum(channel);
    if (d.failure_reported) return;
    d.failure_reported = true;
    context_.event_list.append("Drum " + std::to_string(channel) + " not saved: " + what);
}

}  // namespace tw::display
