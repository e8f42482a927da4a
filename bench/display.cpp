// The live pictures, per sample, on the pictures the program draws on
// (QImage canvases): the drum of one channel at 200 samples per second
// through a whole day, saved every 20 minutes as JPEG (the default), and the
// four live charts with four channels at 200 samples per second, with and
// without the zoom chart.

#include <benchmark/benchmark.h>

#include "display/drum_recorder.h"
#include "display/live_charts.h"
#include "fakes/fake_platform.h"
#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_image_files.h"

#include <QGuiApplication>

#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <memory>
#include <random>

namespace {

namespace fs = std::filesystem;
using namespace tw;

constexpr int rate = 200;

// A seismometer-like signal: noise, a microseism swell, and a quake each hour.
std::vector<std::int32_t> signal(std::size_t count) {
    std::vector<std::int32_t> values(count);
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0, 80);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double since = std::fmod(t, 3600) - 1800;
        const double quake = since > 0 && since < 300 ? 12000 * std::exp(-since / 60) : 0;
        values[i] = static_cast<std::int32_t>(600 * std::sin(t * 1.2) + quake * std::sin(t * 9) + noise(rng));
    }
    return values;
}

void BM_DrumSample(benchmark::State& state) {
    const fs::path folder = fs::temp_directory_path() / ("tw_bench_drum_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    fakes::FakeClock clock;
    fakes::FakeDialogs dialogs;
    platform::QtImageFiles images;
    config::Settings settings;
    settings.general.hours_per_row = 3;
    settings.general.bmp_update = 3;   // 20 minutes
    settings.general.drum_format = 3;  // JPEG, quality 75
    settings.channel(1).drum_enabled = 1;
    settings.channel(1).drum_scale = 2;
    std::string board_date = "2021/06/14";
    double seconds_of_day = 0;
    bool ready = true;
    std::array<bool, 4> active{};
    supervision::EventList events(folder / "evtfile.dat", clock);
    display::DrumRecorder drums(display::DrumContext{settings, &images, dialogs, events, board_date,
                                                     seconds_of_day, ready, active, folder});
    const auto values = signal(static_cast<std::size_t>(rate) * 3600);
    std::size_t i = 0;
    std::int64_t second = 0;
    for (auto _ : state) {
        drums.drum_sample(1, values[i]);
        if (++i == values.size()) i = 0;
        if (i % rate == 0) seconds_of_day = static_cast<double>(++second % 86400);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["day_seconds"] = static_cast<double>(second);
    fs::remove_all(folder);
}
BENCHMARK(BM_DrumSample)->Iterations(rate * 86400);

void BM_ChartSample(benchmark::State& state) {
    config::Settings settings;
    settings.general.chart_speed = 20;
    for (auto& ch : settings.channels) ch.y_scale = 10;
    display::LiveCharts charts(settings);
    std::vector<std::unique_ptr<platform::QtCanvas>> canvases;
    for (int chart = 0; chart <= display::LiveCharts::zoom_chart; ++chart) {
        // The sizes of the main window's charts at 1280 x 800.
        canvases.push_back(chart == display::LiveCharts::zoom_chart
                               ? std::make_unique<platform::QtCanvas>(755, 670)
                               : std::make_unique<platform::QtCanvas>(755, 162));
        charts.attach(chart, canvases.back().get());
    }
    charts.start_run(display::clip_constants_for(config::orda10));
    charts.set_zoom_channel(static_cast<int>(state.range(0)));
    const auto values = signal(static_cast<std::size_t>(rate) * 60);
    std::size_t i = 0;
    for (auto _ : state) {
        const int channel = static_cast<int>(i % 4) + 1;
        if (channel == 1) charts.advance_cursor(rate);
        charts.draw_sample(channel, values[i / 4], true);
        if (++i == values.size() * 4) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ChartSample)->Arg(0)->Arg(2)->ArgName("zoom");

}  // namespace

int main(int argc, char** argv) {
    // Text on the drums needs the window system's fonts; no display needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
