#include "display/live_charts.h"

#include "fakes/recording_canvas.h"

#include <gtest/gtest.h>

namespace tw::display {
namespace {

using fakes::RecordingCanvas;
using Kind = RecordingCanvas::Kind;

struct ChartsFixture : ::testing::Test {
    config::Settings settings;
    LiveCharts charts{settings};
    std::array<RecordingCanvas, 5> canvases;

    ChartsFixture() {
        settings.general.chart_speed = 20;
        for (auto& ch : settings.channels) ch.y_scale = 1, ch.sps_code = 10;
        for (int i = 0; i < 5; ++i) charts.attach(i, &canvases[static_cast<std::size_t>(i)]);
        charts.start_run(clip_constants_for(config::orda10));
        for (auto& c : canvases) c.calls.clear();
    }
    // Moves the cursor to x by samples of a 50-per-second channel (0.8 units each).
    void move_to(double x) {
        while (charts.cursor() + 0.8 <= x + 1e-9) charts.advance_cursor(50);
    }
};

TEST_F(ChartsFixture, EraseBandRunsTenToSixtyUnitsAheadAndWrapsOverTheRightEdge) {
    const struct { double x; std::vector<std::pair<double, double>> boxes; } cases[] = {
        {0, {{10, 60}}},
        {500, {{510, 560}}},
        {960, {{970, 1000}, {0, 20}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        charts.start_run(clip_constants_for(config::orda10));
        move_to(c.x);
        canvases[0].calls.clear();
        charts.draw_sample(1, 0, false);
        const auto boxes = canvases[0].of_kind(Kind::box);
        const auto lines = canvases[0].of_kind(Kind::line);
        ASSERT_EQ(boxes.size(), c.boxes.size());
        ASSERT_EQ(lines.size(), c.boxes.size());  // the zero line through each part, no trace
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            EXPECT_NEAR(boxes[i].x1, c.boxes[i].first, 1e-6);
            EXPECT_NEAR(boxes[i].x2, c.boxes[i].second, 1e-6);
            EXPECT_EQ(boxes[i].y1, 32780);
            EXPECT_EQ(boxes[i].y2, -32780);
            EXPECT_EQ(boxes[i].color, LiveCharts::background);
            EXPECT_NEAR(lines[i].x1, c.boxes[i].first, 1e-6);
            EXPECT_EQ(lines[i].y1, 0);
            EXPECT_EQ(lines[i].color, platform::colors::black);
        }
    }
}

TEST_F(ChartsFixture, CursorMovesTwiceTheSpeedOverTheRateAndSlowChannelsAtTheBoardRate) {
    const struct { double rate; int speed; bool charts_off; double after_ten; } cases[] = {
        {200, 20, false, 2},   // 0.2 per sample
        {50, 50, false, 20},
        {0.5, 20, false, 200},  // sampled at 2 per second: 20 per sample
        {50, 20, true, 0},      // live charts off: the cursor stays
    };
    for (const auto& c : cases) {
        charts.start_run(clip_constants_for(config::orda10));
        settings.general.chart_speed = c.speed;
        settings.general.no_charts = c.charts_off;
        for (int i = 0; i < 10; ++i) charts.advance_cursor(c.rate);
        EXPECT_NEAR(charts.cursor(), c.after_ten, 1e-9) << c.rate;
    }
}

TEST_F(ChartsFixture, TraceGoesFromThePreviousPointInYellowScaledBeyondTheEdge) {
    settings.channel(2).y_scale = 2;
    move_to(100);
    charts.draw_sample(2, 20000, true);
    move_to(101.6);
    charts.draw_sample(2, -100, true);
    const auto lines = canvases[1].of_kind(Kind::line);
    ASSERT_EQ(lines.size(), 4u);  // zero line, trace, zero line, trace
    EXPECT_EQ(lines[1].color, platform::colors::yellow);
    EXPECT_EQ(lines[1].x1, 0);
    EXPECT_EQ(lines[1].y1, 0);
    EXPECT_NEAR(lines[1].x2, 100, 1e-9);
    EXPECT_EQ(lines[1].y2, 40000);  // above the top (32780): drawn off the chart
    EXPECT_NEAR(lines[3].x1, 100, 1e-9);
    EXPECT_EQ(lines[3].y1, 40000);
    EXPECT_EQ(lines[3].y2, -200);
    EXPECT_TRUE(canvases[0].calls.empty());  // other channels' charts untouched
}

TEST_F(ChartsFixture, ZoomChartDrawsTheTraceOnlyOnTheZoomedChannelsSamples) {
    charts.set_zoom_channel(3);
    canvases[LiveCharts::zoom_chart].calls.clear();
    move_to(200);
    charts.draw_sample(1, 500, true);   // another channel: only the band
    charts.draw_sample(3, 700, true);   // the zoomed one: band and trace
    charts.draw_sample(3, 900, false);  // held back: no trace anywhere
    const auto& zoom = canvases[LiveCharts::zoom_chart];
    EXPECT_EQ(zoom.of_kind(Kind::box).size(), 3u);
    const auto lines = zoom.of_kind(Kind::line);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2].color, platform::colors::yellow);
    EXPECT_EQ(lines[2].y2, 700);
    // The channel chart of the zoomed channel still draws its trace.
    EXPECT_EQ(canvases[2].of_kind(Kind::line).size(), 3u);
    EXPECT_EQ(charts.zoom_previous(3), (ChartPoint{charts.cursor(), 700}));
}

TEST_F(ChartsFixture, PastTheRightEdgeEveryChannelGoesOnFromTheLeftAtItsLastY) {
    charts.set_zoom_channel(1);
    move_to(999.5);
    charts.draw_sample(1, 300, true);
    charts.draw_sample(4, -50, true);
    charts.advance_cursor(20);  // 2 units: past the edge
    EXPECT_EQ(charts.cursor(), 0);
    EXPECT_EQ(charts.previous(1), (ChartPoint{0, 300}));
    EXPECT_EQ(charts.previous(4), (ChartPoint{0, -50}));
    EXPECT_EQ(charts.zoom_previous(1), (ChartPoint{0, 300}));

    canvases[3].calls.clear();
    charts.advance_cursor(50);
    charts.draw_sample(4, 10, true);
    const auto trace = canvases[3].of_kind(Kind::line).back();
    EXPECT_EQ(trace.x1, 0);
    EXPECT_EQ(trace.y1, -50);
}

TEST_F(ChartsFixture, StartTakesTheBoardRangeAndChartsOffDrawNothing) {
    charts.set_zoom_channel(2);
    charts.start_run(clip_constants_for(config::orda20));
    EXPECT_EQ(charts.zoom_channel(), 0);
    EXPECT_EQ(canvases[0].scale.top, 131075);
    EXPECT_EQ(canvases[0].scale.bottom, -131075);
    EXPECT_EQ(canvases[0].calls.front().kind, Kind::clear);

    for (auto& c : canvases) c.calls.clear();
    settings.general.no_charts = 1;
    charts.draw_sample(1, 5, true);
    charts.draw_minute_marks();
    for (const auto& c : canvases) EXPECT_TRUE(c.calls.empty());
}

}  // namespace
}  // namespace tw::display
