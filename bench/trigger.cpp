// The trigger's cost.
// - Live: one second of four channels at 200 samples per second (800
//   samples) through the detector and the event decision as the station
//   runs them, STA/LTA with no event starting; without filter, and with an
//   order-4 band-pass of 0.5 to 5 Hz in front of every channel's detector.
//   The time per iteration is the share of one core the trigger takes.
// - Replay: a whole day of channel 1 at 200 samples per second (17.28
//   million samples, 16-bit) replayed through the trigger with a filter,
//   as --retrigger does it; the day holds three bursts.

#include <benchmark/benchmark.h>

#include "config/time_stamp.h"
#include "datalog/retrigger.h"
#include "datalog/track_format.h"
#include "display/conditioning.h"
#include "events/event_recorder.h"
#include "supervision/event_list.h"

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace tw;

constexpr double rate = 200;

config::Settings settings(bool filtered) {
    config::Settings s;
    for (int k = 1; k <= 4; ++k) {
        config::ChannelSettings& c = s.channel(k);
        c.sps_code = 12, c.record_enabled = 1, c.trigger_mode = 1, c.file_extension = "z" + std::to_string(k);
        c.sta_seconds = 1, c.lta_seconds = 30, c.start_ratio = 3, c.stop_ratio = 2;
        c.pre_event_minutes = 0.1, c.pre_event_samples = 1200, c.post_event_samples = 2400, c.max_event_samples = 60000;
        if (filtered) {
            const std::string n = std::to_string(k);
            s.extra.set("TRIGGER", "FILTER" + n, "BP");
            s.extra.set("TRIGGER", "LOW" + n, "0.5");
            s.extra.set("TRIGGER", "HIGH" + n, "5");
        }
    }
    return s;
}

void BM_LiveTriggerOneSecondOfFourChannels(benchmark::State& state) {
    config::Settings s = settings(state.range(0) != 0);
    supervision::PanelModel panel;
    events::EventFlags flags;
    platform::StoppedClock clock;  // the recorder's list is never written in a dry run
    supervision::EventList list("/dev/null", clock);
    display::SampleConditioner conditioner(s, panel);
    std::string board_date_time = "2003/02/03 12:00:00";
    const bool ready = true;
    const std::string lock = "L", reply;
    events::EventRecorder recorder({s, flags, panel, list, conditioner, board_date_time, ready, lock, reply,
                                    fs::temp_directory_path(), nullptr});
    conditioner.start_run();
    recorder.start_run();
    acquisition::SampleOutput source;
    std::uint64_t n = 0;
    for (auto _ : state) {
        for (int i = 0; i < 200; ++i, ++n) {
            for (int k = 1; k <= 4; ++k) {
                source.channel = k - 1;
                source.sample_value = static_cast<std::int32_t>((n * 2654435761u >> 7 & 1023) - 512 + 300 * k);
                display::ConditionedSample c = conditioner.condition(source);
                conditioner.store_in_ring(c);
                conditioner.follow_offset(c);
                recorder.update_detector(c);
                recorder.process_sample(c);
            }
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(n * 4));
    state.counters["events"] = static_cast<double>(recorder.events_started());
}
BENCHMARK(BM_LiveTriggerOneSecondOfFourChannels)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

struct Folder {
    fs::path path;
    ~Folder() { fs::remove_all(path); }
};

const fs::path& datalog_folder() {
    static const Folder folder{[] {
        const fs::path f = fs::temp_directory_path() / ("tw_bench_trigger_" + std::to_string(::getpid()));
        fs::create_directories(f);
        const std::int64_t start = *config::stamp_seconds("2003/02/03 00:00:00");
        std::string track;
        track.reserve(static_cast<std::size_t>(86400 * rate * 2));
        for (std::int64_t i = 0; i < 86400 * static_cast<std::int64_t>(rate); ++i) {
            const double t = static_cast<double>(i) / rate;
            double v = 200 * std::sin(t * 13.1) + 100 * std::sin(t * 71.0);
            for (const double burst : {20000.0, 50000.0, 80000.0}) {
                if (t > burst && t < burst + 60) v += 6000 * std::sin(t * 12.6) * std::exp(-(t - burst) / 15);
            }
            std::uint8_t bytes[2];
            datalog::encode_track_sample(static_cast<std::int32_t>(v), 2, bytes);
            track.append(reinterpret_cast<char*>(bytes), 2);
        }
        std::ofstream(f / "0203.ll1", std::ios::binary) << datalog::index_start_group(config::stamp_text(start), rate, 0);
        std::ofstream(f / "0203.lg1", std::ios::binary) << track;
        return f;
    }()};
    return folder.path;
}

void BM_RetriggerADayAt200(benchmark::State& state) {
    const config::Settings s = settings(true);
    datalog::RetriggerRequest request{datalog_folder(), "2003/02/03 00:00:00", 1440, {1}};
    std::uint64_t samples = 0;
    std::size_t found = 0;
    for (auto _ : state) {
        const auto result = datalog::retrigger(s, request);
        if (!result.refusal.empty()) state.SkipWithError(result.refusal.c_str());
        samples += result.samples;
        found = result.events.size();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(samples));
    state.counters["events"] = static_cast<double>(found);
}
BENCHMARK(BM_RetriggerADayAt200)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
