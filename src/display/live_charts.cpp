#include "display/live_charts.h"

namespace tw::display {

namespace {
// The board's slowest rate: channels set below it are sampled at it and
// averaged down, so their samples arrive at this rate.
constexpr double slowest_board_rate = 2;
}  // namespace

LiveCharts::LiveCharts(const config::Settings& settings) : settings_(settings) {}

void LiveCharts::attach(int chart, platform::Canvas* canvas) {
    canvases_.at(static_cast<std::size_t>(chart)) = canvas;
    if (canvas) lay_out(chart);
}

void LiveCharts::start_run(const ClipConstants& clip) {
    top_ = clip.chart_top;
    bottom_ = clip.chart_bottom;
    x_ = 0;
    channels_ = {};
    set_zoom_channel(0);
    for (int chart = 0; chart <= zoom_chart; ++chart) lay_out(chart);
}

void LiveCharts::lay_out(int chart) {
    platform::Canvas* canvas = canvases_.at(static_cast<std::size_t>(chart));
    if (!canvas) return;
    canvas->set_scale(0, top_, width, bottom_);
    canvas->clear(background);
    canvas->line(0, 0, width, 0, platform::colors::black);
    if (changed) changed();
}

void LiveCharts::set_zoom_channel(int channel) {
    const int zoom = channel >= 1 && channel <= 4 ? channel : 0;
    if (zoom == zoom_) return;
    zoom_ = zoom;
    if (zoom_ != 0) lay_out(zoom_chart);
    if (zoom_changed) zoom_changed();
}

void LiveCharts::advance_cursor(double rate) {
    if (!charts_off() && rate > 0) {
        const double arriving = rate < slowest_board_rate ? slowest_board_rate : rate;
        x_ += settings_.general.chart_speed * 100.0 / (50.0 * arriving);
    }
    if (x_ > width) {
        x_ = 0;
        for (Channel& ch : channels_) ch.previous.x = 0;
        if (zoom_ != 0) channels_[static_cast<std::size_t>(zoom_ - 1)].zoom_previous.x = 0;
    }
}

void LiveCharts::erase_ahead(platform::Canvas& canvas) const {
    const platform::Color line = platform::colors::black;
    if (x_ < erase_limit) {
        canvas.fill_box(x_ + erase_gap, top_, x_ + erase_width, bottom_, background);
        canvas.line(x_ + erase_gap, 0, x_ + erase_width, 0, line);
    } else {
        // The band runs over the right edge and goes on at the left.
        canvas.fill_box(x_ + erase_gap, top_, width, bottom_, background);
        canvas.fill_box(0, top_, x_ - erase_limit, bottom_, background);
        canvas.line(x_ + erase_gap, 0, width, 0, line);
        canvas.line(0, 0, x_ - erase_limit, 0, line);
    }
}

void LiveCharts::trace(platform::Canvas* canvas, ChartPoint& previous, double y) const {
    if (canvas) canvas->line(previous.x, previous.y, x_, y, platform::colors::yellow);
    previous = {x_, y};
}

void LiveCharts::draw_sample(int channel, std::int32_t conditioned_sample, bool new_value) {
    if (charts_off() || channel < 1 || channel > 4) return;
    Channel& ch = channels_[static_cast<std::size_t>(channel - 1)];
    if (new_value) {
        ch.value = conditioned_sample;
        ch.new_value = 1;
    }

    set_location(location::zoom_chart);
    if (zoom_ != 0) {
        platform::Canvas* zoom = canvases_[zoom_chart];
        if (zoom) erase_ahead(*zoom);
        Channel& z = channels_[static_cast<std::size_t>(zoom_ - 1)];
        if (z.new_value == 1) {
            trace(zoom, z.zoom_previous, z.value * settings_.channel(zoom_).y_scale);
            z.new_value = 2;
        }
    }

    set_location(location::channel_chart);
    platform::Canvas* chart = canvases_[static_cast<std::size_t>(channel - 1)];
    if (chart) erase_ahead(*chart);
    if (ch.new_value != 0) {
        trace(chart, ch.previous, ch.value * settings_.channel(channel).y_scale);
        ch.new_value = 0;
    }
    if (changed) changed();
}

void LiveCharts::draw_minute_marks() {
    if (charts_off()) return;
    for (platform::Canvas* canvas : canvases_) {
        if (canvas) {
            canvas->line(x_, top_, x_, bottom_, platform::colors::grey, platform::LineStyle::dotted);
        }
    }
    if (changed) changed();
}

}  // namespace tw::display
