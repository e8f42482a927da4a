// Reading the day tracks back. A day track of channel 1 holds 2003/02/03
// 08:00:00 to 16:10:00 at 200 samples per second, 16-bit, in segments of 5
// minutes (98 START groups, 5.88 million samples), in a temporary folder.
// - Extraction: 480 minutes from 08:05:00 into a PSN 2.0 event file
//   (5.76 million lines), as the Review window and --extract do it.
// - Replay: one page of 6 rows on a 1080 x 480 QImage canvas from 12:00:00,
//   at chart speed 50 (one sample per picture unit: 30 s of signal) and
//   at chart speed 1 (50 samples per unit: 25 minutes, 300,000 samples).

#include <benchmark/benchmark.h>

#include "config/time_stamp.h"
#include "datalog/extraction.h"
#include "datalog/replay.h"
#include "datalog/track_format.h"
#include "platform/qt/qt_canvas.h"

#include <QGuiApplication>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace tw;

constexpr double rate = 200;

// The station folder, written once and removed at the end.
struct Folder {
    fs::path path;
    ~Folder() { fs::remove_all(path); }
};

const fs::path& station() {
    static const Folder folder{[] {
        const fs::path f = fs::temp_directory_path() / ("tw_bench_review_" + std::to_string(::getpid()));
        fs::create_directories(f / "datalog");
        fs::create_directories(f / "events");
        std::string index, track;
        const std::int64_t start = *config::stamp_seconds("2003/02/03 08:00:00");
        for (int segment = 0; segment < 98; ++segment) {
            const std::int64_t t0 = start + segment * 300;
            index += datalog::index_start_group(config::stamp_text(t0), rate, track.size());
            for (int k = 0; k < 300 * 200; ++k) {
                const double t = static_cast<double>(t0) + k / rate;
                const auto v = static_cast<std::int32_t>(3000 * std::sin(t * 2.1) + 800 * std::sin(t * 37.0));
                std::uint8_t bytes[2];
                datalog::encode_track_sample(v, 2, bytes);
                track.append(reinterpret_cast<char*>(bytes), 2);
            }
        }
        std::ofstream(f / "datalog" / "0203.ll1", std::ios::binary) << index;
        std::ofstream(f / "datalog" / "0203.lg1", std::ios::binary) << track;
        return f;
    }()};
    return folder.path;
}

config::Settings settings() {
    config::Settings s;
    s.general.event_format = 1;
    s.channel(1).file_extension = "z1";
    s.sync_source_text = "DCF";
    return s;
}

void BM_Extract480MinutesAt200(benchmark::State& state) {
    const config::Settings s = settings();
    const datalog::ExtractionContext context{s, station() / "datalog", station() / "events",
                                             station() / "numevt.dat", "NL", "", nullptr, {}};
    std::uint64_t lines = 0;
    for (auto _ : state) {
        const auto result = datalog::extract_channel(context, 1, "2003/02/03 08:05:00", 480);
        if (!result.written) state.SkipWithError(result.refusal.c_str());
        lines += result.samples;
        state.PauseTiming();
        fs::remove(result.file);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(lines));
}
BENCHMARK(BM_Extract480MinutesAt200)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReplayPage(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "tw_bench_review";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication application(argc, argv);
    platform::QtCanvas canvas(1080, 480);
    const auto layout = datalog::replay_layout(static_cast<double>(state.range(0)), 6, rate);
    const datalog::ReplayStyle style{10, 65536.0 / 6};
    const double start = static_cast<double>(*config::stamp_seconds("2003/02/03 12:00:00"));
    std::uint64_t samples = 0;
    for (auto _ : state) {
        datalog::TrackDays days(station() / "datalog", 1, 2);
        samples += datalog::draw_replay_page(canvas, days, start, layout, style).samples;
        benchmark::DoNotOptimize(canvas.image().constBits());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(samples));
}
BENCHMARK(BM_ReplayPage)->Arg(50)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
