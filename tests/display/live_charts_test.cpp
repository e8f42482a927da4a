#include "display/live_charts.h"

#include "fakes/recording_canvas.h"

#include <gtest/gtest.h>

#include <cmath>

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
        for (auto& ch : settings.channels) ch.y_scale = 1;
        for (int i = 0; i < 5; ++i) charts.attach(i, &canvases[static_cast<std::size_t>(i)]);
        restart(config::orda10);
    }
    void restart(config::BoardFamily family) {
        charts.start_run(clip_constants_for(family));
        for (auto& c : canvases) c.calls.clear();
    }
    // Samples of a 50-per-second channel move the cursor 0.8 each.
    void move_to(double x) {
        while (charts.cursor() + 0.8 <= x + 1e-9) charts.advance_cursor(50);
    }
    std::vector<double> lines_of(int chart, Kind kind, bool ends = false) const {
        std::vector<double> out;
        for (const auto& c : canvases[static_cast<std::size_t>(chart)].of_kind(kind))
            out.push_back(ends ? c.y2 : c.x1);
        return out;
    }
};

TEST_F(ChartsFixture, EraseBandRunsTenToSixtyUnitsAheadWithItsZeroLineAndWrapsOverTheEdge) {
    const struct { double x; std::vector<double> starts; } cases[] = {{0, {10}}, {500, {510}}, {960, {970, 0}}};
    for (const auto& c : cases) {
        restart(config::orda10);
        move_to(c.x);
        charts.draw_sample(1, 0, false);  // held back: the band only
        EXPECT_EQ(lines_of(0, Kind::box).size(), c.starts.size()) << c.x;
        for (std::size_t i = 0; i < c.starts.size(); ++i) {
            EXPECT_NEAR(lines_of(0, Kind::box)[i], c.starts[i], 1e-6) << c.x;
            EXPECT_NEAR(lines_of(0, Kind::line)[i], c.starts[i], 1e-6) << c.x;
        }
        const auto& box = canvases[0].calls.front();
        EXPECT_TRUE(box.y1 == 32780 && box.y2 == -32780 && box.color == LiveCharts::background);
    }
    EXPECT_TRUE(std::abs(canvases[0].calls[0].x2 - 1000) < 1e-6 && std::abs(canvases[0].calls[1].x2 - 20) < 1e-6);
}

TEST_F(ChartsFixture, CursorMovesTwiceTheSpeedOverTheRateAndSlowChannelsAtTheBoardRate) {
    const struct { double rate; int speed; bool off; double after_ten; } cases[] = {
        {200, 20, false, 2}, {50, 50, false, 20}, {0.5, 20, false, 200}, {50, 20, true, 0}};
    for (const auto& c : cases) {
        restart(config::orda10);
        settings.general.chart_speed = c.speed, settings.general.no_charts = c.off;
        for (int i = 0; i < 10; ++i) charts.advance_cursor(c.rate);
        EXPECT_NEAR(charts.cursor(), c.after_ten, 1e-9) << c.rate;
    }
}

TEST_F(ChartsFixture, TraceRunsFromThePreviousPointScaledBeyondTheEdgeAndZoomDrawsOnlyItsChannel) {
    settings.channel(3).y_scale = 2;
    charts.set_zoom_channel(3);
    canvases[LiveCharts::zoom_chart].calls.clear();
    move_to(100);
    charts.draw_sample(1, 500, true);   // another channel: the zoom chart's band only
    charts.draw_sample(3, 20000, true);
    move_to(101.6);
    charts.draw_sample(3, -100, true);
    charts.draw_sample(3, 900, false);  // held back: no trace anywhere
    const auto trace = canvases[2].of_kind(Kind::line);
    ASSERT_EQ(trace.size(), 5u);  // zero line, trace, zero line, trace, zero line
    EXPECT_EQ(trace[1].color, platform::colors::yellow);
    EXPECT_EQ((std::array<double, 4>{trace[1].x1, trace[1].y1, trace[1].y2, trace[3].y1}),
              (std::array<double, 4>{0, 0, 40000, 40000}));  // 40000: above the top, drawn off
    EXPECT_EQ(trace[3].y2, -200);
    EXPECT_EQ(lines_of(LiveCharts::zoom_chart, Kind::box).size(), 4u);
    EXPECT_EQ(lines_of(LiveCharts::zoom_chart, Kind::line, true), (std::vector<double>{0, 0, 40000, 0, -200, 0}));
    EXPECT_EQ(canvases[1].calls.size(), 0u);
}

TEST_F(ChartsFixture, PastTheRightEdgeEveryChannelGoesOnFromTheLeftAndStartResetsAll) {
    charts.set_zoom_channel(1);
    move_to(999.5);
    charts.draw_sample(1, 300, true), charts.draw_sample(4, -50, true);
    charts.advance_cursor(20);  // 2 units: past the edge
    EXPECT_EQ(charts.cursor(), 0);
    EXPECT_TRUE(charts.previous(1) == (ChartPoint{0, 300}) && charts.previous(4) == (ChartPoint{0, -50}) &&
                charts.zoom_previous(1) == (ChartPoint{0, 300}));

    charts.start_run(clip_constants_for(config::orda20));
    EXPECT_TRUE(charts.zoom_channel() == 0 && charts.previous(1) == ChartPoint{});
    EXPECT_TRUE(canvases[0].scale.top == 131075 && canvases[0].scale.bottom == -131075);
    EXPECT_EQ(canvases[0].calls.front().kind, Kind::clear);
    for (auto& c : canvases) c.calls.clear();
    settings.general.no_charts = 1;  // charts off: nothing drawn
    charts.draw_sample(1, 5, true), charts.draw_minute_marks();
    for (const auto& c : canvases) EXPECT_TRUE(c.calls.empty());
}

}  // namespace
}  // namespace tw::display
