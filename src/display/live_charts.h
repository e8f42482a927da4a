#pragma once
// The live charts of the main window: one chart per channel (chp 0..3) and
// the zoom chart (chzoom), which shows one channel over the whole area.
//
// Every chart has the same coordinates: X from 0 (left) to 1000 (right), Y
// from the chart top (upper edge) to the chart bottom, +-32780 for the 16-bit
// boards and +-131075 for the 18-bit board. One cursor X serves all charts;
// the fastest channel's samples move it (2 x chart_speed / rate units per
// sample, so one chart width takes 500 / chart_speed seconds), and past 1000
// it starts again at 0.
//
// Each sample of channel k wipes a band 10 to 60 units ahead of the cursor on
// its chart, with the zero line through it, and when it brings a new value
// draws the trace from the channel's previous point to (X, value x y_scale) in
// yellow. The band runs ahead of the trace, so the newest trace stays on
// screen and the oldest goes. While a channel is zoomed, every sample also
// wipes the band of the zoom chart, and the zoomed channel's own samples
// draw its trace there. Values beyond the edges are drawn off the chart.
//
// The pictures are drawn here, a short line and a narrow band per sample;
// the window only shows them.

#include "config/settings.h"
#include "display/conditioning.h"
#include "platform/canvas.h"

#include <array>
#include <cstdint>
#include <functional>

namespace tw::display {

struct ChartPoint {
    double x = 0;
    double y = 0;
    friend bool operator==(const ChartPoint&, const ChartPoint&) = default;
};

class LiveCharts {
public:
    static constexpr double width = 1000;
    static constexpr double erase_gap = 10;    // the band starts this far ahead of X
    static constexpr double erase_width = 60;  // and ends this far ahead
    static constexpr double erase_limit = width - erase_width;
    // Index of the zoom chart among the pictures; the channel charts are 0..3.
    static constexpr int zoom_chart = 4;
    // The charts' background; the zero line is black, the trace yellow and
    // the minute marks grey.
    static constexpr platform::Color background = platform::Color::hex(0x1F3A52);

    explicit LiveCharts(const config::Settings& settings);

    // The picture of a chart (0..3, zoom_chart); none: that chart is not
    // drawn (the headless program has none). The picture is laid out.
    void attach(int chart, platform::Canvas* canvas);
    // START and every restart of the board: the coordinate system of the
    // board family, the cursor and every previous point at 0, no zoom, every
    // picture laid out.
    void start_run(const ClipConstants& clip);
    // The chart wiped to its background with its zero line (after a new size).
    void lay_out(int chart);

    // On every sample of the fastest channel, held back by the slow-rate
    // averaging or not. `rate` is the channel's samples per second; a slow
    // channel's samples come at 2 per second, the board's slowest rate.
    void advance_cursor(double rate);
    // Every sample of channel k (1..4), unless live charts are off.
    // `new_value`: a conditioned sample (false for one held back by the
    // slow-rate averaging, which only moves the erase bands).
    void draw_sample(int channel, std::int32_t conditioned_sample, bool new_value);
    // At the first time packet of a run and at each new minute: a grey mark
    // at the cursor on every chart, unless live charts are off.
    void draw_minute_marks();

    // Double click on chp(k-1): k; click on the zoom chart: 0.
    void set_zoom_channel(int channel);
    int zoom_channel() const { return zoom_; }
    double cursor() const { return x_; }
    ChartPoint previous(int channel) const { return channels_.at(channel - 1).previous; }
    ChartPoint zoom_previous(int channel) const { return channels_.at(channel - 1).zoom_previous; }
    double top() const { return top_; }
    double bottom() const { return bottom_; }

    // Where a run-time failure is reported: the chart step is written here.
    void set_error_location(int* target) { error_location_ = target; }

    // Something was drawn (the window repaints, at its own pace).
    std::function<void()> changed;
    // The zoom channel changed (the window shows the zoom chart or the four).
    std::function<void()> zoom_changed;

private:
    struct Channel {
        ChartPoint previous;
        ChartPoint zoom_previous;
        std::int32_t value = 0;
        // 1: a new value waits to be drawn; 2: the zoom chart drew it; 0: the
        // channel chart drew it.
        int new_value = 0;
    };
    bool charts_off() const { return settings_.general.no_charts != 0; }
    void erase_ahead(platform::Canvas& canvas) const;
    void trace(platform::Canvas* canvas, ChartPoint& previous, double y) const;
    void set_location(int code) {
        if (error_location_) *error_location_ = code;
    }

    const config::Settings& settings_;
    std::array<platform::Canvas*, 5> canvases_{};
    std::array<Channel, 4> channels_{};
    double x_ = 0;
    int zoom_ = 0;
    double top_ = 32780;
    double bottom_ = -32780;
    int* error_location_ = nullptr;
};

}  // namespace tw::display
