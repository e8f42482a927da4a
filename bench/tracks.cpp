// A whole day of continuous datalogging: four channels at 200 samples per
// second (69,120,000 samples) through the boundary check of every loop pass
// and the sample append, into real segment buffers and day tracks with
// segments of 5 minutes (288 flushes per channel), in a temporary folder.
// Every packet is one loop pass: 86,400 time packets and the samples.
// Reports samples per second; the CPU time of one iteration is the cost of a
// day.

#include <benchmark/benchmark.h>

#include "datalog/tracks.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/statvfs_disk.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

class NoPump : public tw::platform::EventPump {
public:
    void process_events(int) override {}
};

std::string stamp(int second_of_day) {
    char text[32];
    std::snprintf(text, sizeof text, "2024/01/05 %02d:%02d:%02d", second_of_day / 3600,
                  second_of_day / 60 % 60, second_of_day % 60);
    return text;
}

void BM_DayOfFourChannelsAt200(benchmark::State& state) {
    const bool eighteen_bit = state.range(0) != 0;
    const fs::path folder = fs::temp_directory_path() / ("tw_bench_tracks_" + std::to_string(::getpid()));
    tw::platform::PosixClock clock;
    tw::platform::StatvfsDisk disk;
    NoPump pump;
    tw::supervision::ErrorReport report(clock, pump);
    tw::config::Settings settings;
    settings.general.flush_period = 0;  // 5 minutes
    settings.general.ad_type = eighteen_bit ? 1 : 0;
    for (auto& channel : settings.channels) {
        channel.logging_enabled = 1;
        channel.sps_code = 12;  // 200
    }
    constexpr int rate = 200;
    std::int64_t samples = 0;
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(folder);
        fs::create_directories(folder / "datalog");
        state.ResumeTiming();
        {
            tw::supervision::EventList events(folder / "evtfile.dat", clock);
            tw::datalog::Tracks tracks(tw::datalog::TracksContext{
                settings, folder / "datalog", folder, events, report, disk, clock, nullptr});
            tracks.start_run();
            std::string now;
            for (int second = 0; second < 86400; ++second) {
                now = stamp(second);
                const tw::datalog::TrackTime time{now, static_cast<double>(second), true};
                tracks.track_boundary_check(time);  // the time packet's pass
                for (int i = 0; i < rate; ++i) {
                    for (int channel = 1; channel <= 4; ++channel) {
                        tracks.track_boundary_check(time);
                        tracks.track_append_sample(channel, (i * 37 + second) % 60000 - 30000);
                    }
                }
            }
            tracks.track_close_all(now);
        }
        samples += 86400LL * rate * 4;
        state.PauseTiming();
        for (int channel = 1; channel <= 4; ++channel)
            bytes += fs::file_size(folder / "datalog" / ("0105.lg" + std::to_string(channel)));
        state.ResumeTiming();
    }
    fs::remove_all(folder);
    state.SetItemsProcessed(samples);
    state.counters["track_bytes"] =
        benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kAvgIterations);
    state.counters["errors"] = report.count();
}
BENCHMARK(BM_DayOfFourChannelsAt200)->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
