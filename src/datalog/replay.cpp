#include "datalog/replay.h"

#include "config/time_stamp.h"

#include <algorithm>
#include <cmath>

namespace tw::datalog {

namespace {

using platform::Color;

const Color trace_color = Color::palette(1);         // blue
const Color row_line_color = Color::palette(7);      // light grey
const Color label_color = Color::palette(8);         // grey
const Color gap_color = Color::rgb(0xD9, 0xD9, 0xD9);  // nothing recorded

// Samples read from a track at a time.
constexpr std::size_t read_chunk = 256 * 1024;

// Gathers the samples of each pixel column and draws the column when the
// next one begins.
class ColumnTrace {
public:
    ColumnTrace(platform::Canvas& canvas, const ReplayLayout& layout, const ReplayStyle& style,
                double start)
        : canvas_(canvas), layout_(layout), style_(style), start_(start),
          columns_(std::max(1, canvas.pixel_width())),
          column_seconds_(layout.row_seconds / columns_) {}

    // Samples v[0..n) one after the other at `sps` from `time`: each pixel
    // column takes the block of samples that fall into it at once.
    void add(double time, double sps, const std::int32_t* v, std::size_t n) {
        std::size_t i = 0;
        while (i < n) {
            const double d = time + static_cast<double>(i) / sps - start_;
            const int row = static_cast<int>(std::floor(d / layout_.row_seconds));
            const double within = d - row * layout_.row_seconds;
            const int column =
                std::clamp(static_cast<int>(std::floor(within / column_seconds_)), 0, columns_ - 1);
            // The first sample at or after the column's end.
            const double column_end = row * layout_.row_seconds + (column + 1) * column_seconds_;
            const double next = std::ceil((column_end + start_ - time) * sps - 1e-9);
            std::size_t stop = n;
            if (next < static_cast<double>(n))
                stop = static_cast<std::size_t>(std::max(next, static_cast<double>(i + 1)));
            if (!open_ || row != row_ || column != column_) {
                close_column();
                if (row != row_) joined_ = false;
                open_ = true;
                row_ = row;
                column_ = column;
                first_ = low_ = high_ = v[i];
            }
            const auto [low, high] = std::minmax_element(v + i, v + stop);
            low_ = std::min(low_, *low);
            high_ = std::max(high_, *high);
            last_ = v[stop - 1];
            i = stop;
        }
    }
    // A break in the samples: the next one is not joined to this one.
    void gap() {
        close_column();
        joined_ = false;
    }
    void finish() { close_column(); }

private:
    double y_of(std::int32_t value) const {
        return (row_ + 0.5) * style_.row_units - value * style_.y_zoom / 10.0;
    }
    double x_of(int column) const { return (column + 0.5) * column_seconds_; }

    void close_column() {
        if (!open_) return;
        open_ = false;
        const double x = x_of(column_);
        if (joined_) {
            canvas_.line(x_of(last_column_), y_of(last_value_), x, y_of(first_), trace_color);
        }
        if (high_ != low_ || !joined_) canvas_.line(x, y_of(low_), x, y_of(high_), trace_color);
        joined_ = true;
        last_column_ = column_;
        last_value_ = last_;
    }

    platform::Canvas& canvas_;
    const ReplayLayout& layout_;
    const ReplayStyle& style_;
    double start_;
    int columns_;
    double column_seconds_;

    bool open_ = false;
    int row_ = -1;
    int column_ = 0;
    std::int32_t first_ = 0, low_ = 0, high_ = 0, last_ = 0;
    bool joined_ = false;
    int last_column_ = 0;
    std::int32_t last_value_ = 0;
};

// The start time of each row at its top left corner, on white so that the
// trace does not hide it.
void draw_row_labels(platform::Canvas& canvas, double start, const ReplayLayout& layout,
                     const ReplayStyle& style) {
    const double x_per_pixel = layout.row_seconds / std::max(1, canvas.pixel_width());
    const double y_per_pixel = layout.rows * style.row_units / std::max(1, canvas.pixel_height());
    for (int row = 0; row < layout.rows; ++row) {
        const std::string stamp =
            config::stamp_text(static_cast<std::int64_t>(std::llround(start + row * layout.row_seconds)));
        const double top = row * style.row_units + y_per_pixel;
        canvas.fill_box(0, top, 54 * x_per_pixel, top + 13 * y_per_pixel, platform::colors::white);
        canvas.text(x_per_pixel, top, stamp.substr(11), label_color, platform::TextAlign::left_top, 11);
    }
}

}  // namespace

ReplayLayout replay_layout(double chart_speed, int rows, double sps) {
    ReplayLayout layout;
    layout.rows = std::max(1, rows);
    layout.step = chart_speed / 50;
    layout.sps = sps;
    const double units_per_second = layout.step * sps;
    layout.row_seconds = units_per_second > 0
                             ? std::max(1.0, std::round(replay_units / units_per_second))
                             : 1.0;
    layout.row_seconds = std::min(layout.row_seconds, 86400.0);
    layout.page_seconds = layout.rows * layout.row_seconds;
    return layout;
}

double replay_time_at(const ReplayLayout& layout, double start, double x, double y) {
    const int row = std::clamp(static_cast<int>(std::floor(y * layout.rows)), 0, layout.rows - 1);
    return start + row * layout.row_seconds + std::clamp(x, 0.0, 1.0) * layout.row_seconds;
}

PageDrawing draw_replay_page(platform::Canvas& canvas, TrackDays& days, double start,
                             const ReplayLayout& layout, const ReplayStyle& style,
                             const std::function<bool()>& service) {
    PageDrawing drawing;
    const double end = start + layout.page_seconds;
    const double height = layout.rows * style.row_units;
    canvas.set_scale(0, 0, layout.row_seconds, height);
    canvas.clear(platform::colors::white);

    const std::vector<StretchPiece> pieces = plan_stretch(days, start, end);
    // Pale bands where nothing was recorded, row by row.
    for (const StretchPiece& piece : pieces) {
        if (piece.recorded) continue;
        double from = std::max(piece.time, start) - start;
        const double to = std::min(piece.end, end) - start;
        while (from < to) {
            const int row = static_cast<int>(std::floor(from / layout.row_seconds));
            const double row_end = (row + 1) * layout.row_seconds;
            const double stop = std::min(to, row_end);
            const double left = from - row * layout.row_seconds;
            canvas.fill_box(left, row * style.row_units, stop - row * layout.row_seconds,
                            (row + 1) * style.row_units, gap_color);
            if ((stop - from) / layout.row_seconds * canvas.pixel_width() > 120)
                canvas.text(left + (stop - from) / 2, (row + 0.5) * style.row_units, "nothing recorded",
                            label_color, platform::TextAlign::center_bottom, 11);
            from = stop;
        }
    }
    for (int row = 0; row < layout.rows; ++row) {
        const double centre = (row + 0.5) * style.row_units;
        canvas.line(0, centre, layout.row_seconds, centre, row_line_color);
        if (row > 0) canvas.line(0, row * style.row_units, layout.row_seconds, row * style.row_units, label_color);
    }

    ColumnTrace trace(canvas, layout, style, start);
    std::vector<std::int32_t> samples;
    std::uint64_t since_service = 0;
    for (const StretchPiece& piece : pieces) {
        if (!piece.recorded) {
            trace.gap();
            continue;
        }
        const double first = std::max(0.0, std::ceil((start - piece.time) * piece.sps - 1e-9));
        const double last = std::ceil((end - piece.time) * piece.sps - 1e-9);
        auto index = static_cast<std::uint64_t>(first);
        const auto stop = std::min(piece.samples, static_cast<std::uint64_t>(std::max(0.0, last)));
        if (index < stop) drawing.recorded_seconds += (stop - index) / piece.sps;
        const auto width = static_cast<std::uint64_t>(days.width());
        while (index < stop) {
            const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(stop - index, read_chunk));
            std::string error;
            if (!read_track_samples(piece.day->track_path, piece.offset + index * width, count,
                                    days.width(), samples, &error)) {
                drawing.errors.push_back(error);
                break;
            }
            trace.add(piece.time + static_cast<double>(index) / piece.sps, piece.sps,
                      samples.data(), count);
            index += count;
            drawing.samples += count;
            since_service += count;
            if (service && since_service >= read_chunk) {
                since_service = 0;
                if (service()) {
                    drawing.stopped = true;
                    trace.finish();
                    return drawing;
                }
            }
        }
        trace.gap();
    }
    trace.finish();
    draw_row_labels(canvas, start, layout, style);
    return drawing;
}

}  // namespace tw::datalog
