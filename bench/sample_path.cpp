// The whole path of a sample, on a recorded byte stream of a 16-bit board
// sending four channels at 200 samples per second with a time packet every
// second: packet assembly and decoding, the per-channel sample path,
// conditioning with the pre-event ring, the trigger detector, one event file
// line per sample on all four channels (each keeps recording an event), and
// a counting track hook. Reports samples per second.

#include <benchmark/benchmark.h>

#include "acquisition/packet_decoder.h"
#include "acquisition/sample_path.h"
#include "config/settings_file.h"
#include "display/conditioning.h"
#include "events/event_recorder.h"
#include "fakes/fake_platform.h"

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace tw;

constexpr int seconds_recorded = 60;
constexpr int rate = 200;

struct Recording {
    std::vector<std::uint8_t> bytes;
    std::int64_t samples = 0;
};

// Noise, a slow sine and a quake-like burst in the middle, interleaved as
// the board sends them.
Recording record() {
    Recording r;
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0, 300);
    for (int s = 0; s < seconds_recorded; ++s) {
        const auto t = acquisition::encode_time_packet(12, s / 60, s % 60, 0);
        r.bytes.insert(r.bytes.end(), t.begin(), t.end());
        for (int i = 0; i < rate; ++i) {
            for (int c = 0; c < 4; ++c) {
                const double burst = s >= 20 && s < 30 ? 20000 * std::exp(-(s - 20) / 3.0) : 0;
                const double x = (2000 + burst) * std::sin((s * rate + i) * 0.05 * (c + 1)) +
                                 noise(rng);
                const auto p = acquisition::encode_sample_packet(c, static_cast<std::int32_t>(x), false);
                r.bytes.insert(r.bytes.end(), p.begin(), p.end());
                ++r.samples;
            }
        }
    }
    return r;
}

struct Station {
    fs::path folder;
    fakes::FakeClock clock;
    config::Settings settings;
    supervision::PanelModel panel;
    events::EventFlags flags;
    std::string board_date_time = "2003/02/03 12:34:56";
    bool time_base_ready = true;
    std::string lock_state = "L";
    std::string board_reply = "ORDA V.1.40";
    std::unique_ptr<supervision::EventList> event_list;
    std::unique_ptr<display::SampleConditioner> conditioner;
    std::unique_ptr<events::EventRecorder> recorder;
    acquisition::SamplePath path;
    acquisition::PacketAssembler assembler;
    std::int64_t track_samples = 0;
    std::int64_t errors = 0;

    Station() {
        folder = fs::temp_directory_path() / ("tw_bench_sample_path_" + std::to_string(::getpid()));
        fs::create_directories(folder / "events");
        settings.general.events_folder = (folder / "events").string();
        settings.general.coordinates = "14.39N 12.33E";
        const char* ext[4] = {"z1", "z2", "z3", "z4"};
        for (int k = 1; k <= 4; ++k) {
            config::ChannelSettings& ch = settings.channel(k);
            ch.sps_code = 12;  // 200 per second
            ch.file_extension = ext[k - 1];
            ch.trigger_mode = 1;
            ch.start_params = "32767,2,2,1,30,32767";  // started by hand
            ch.stop_params = "32767,5000,0,5000";      // no coda: ends at one million samples
            ch.record_enabled = 1;
            ch.logging_enabled = 1;
            ch.auto_offset = k % 2;
            config::expand_start_params(ch);
            config::expand_stop_params(ch);
        }
        event_list = std::make_unique<supervision::EventList>(folder / "evtfile.dat", clock);
        conditioner = std::make_unique<display::SampleConditioner>(settings, panel, time_base_ready);
        recorder = std::make_unique<events::EventRecorder>(events::EventContext{
            settings, flags, panel, *event_list, *conditioner, board_date_time, time_base_ready,
            lock_state, board_reply, folder, nullptr});
        recorder->on_error = [this](int, int, const std::string&) { ++errors; };
        conditioner->hooks.track_append = [this](int, std::int32_t) { ++track_samples; };
        conditioner->hooks.detector = [this](const display::ConditionedSample& s) {
            recorder->update_detector(s);
        };
        conditioner->hooks.events = [this](const display::ConditionedSample& s) {
            recorder->process_sample(s);
        };
        path.set_sample_hook([this](const acquisition::SampleOutput& s) { conditioner->take_sample(s); });
        path.start_run(config::orda10, settings);
        conditioner->start_run();
        recorder->start_run();
    }
    ~Station() {
        recorder->stop_run();
        fs::remove_all(folder);
    }

    // Every idle channel is asked to record (events end after a million
    // samples and start again here).
    void keep_recording() {
        for (int k = 1; k <= 4; ++k) {
            if (!recorder->event_active(k) && panel.man_record[static_cast<std::size_t>(k - 1)] == "REC") {
                recorder->manual_record(k, true);
            }
        }
    }

    void feed(const std::vector<std::uint8_t>& bytes) {
        assembler.feed(bytes, [this](const acquisition::Packet& p) {
            const acquisition::DecodedPacket d = acquisition::decode_packet(p, false);
            if (d.type == acquisition::PacketType::sample && d.sample.has_value()) {
                path.take_sample(d.sample.channel, d.sample.value);
            } else if (d.type == acquisition::PacketType::time &&
                       d.status == acquisition::DecodeStatus::ok) {
                path.start_new_second();
            }
        });
    }
};

void BM_WholeSamplePath(benchmark::State& state) {
    const Recording r = record();
    Station station;
    for (auto _ : state) {
        station.keep_recording();
        station.feed(r.bytes);
    }
    int recording = 0;
    for (int k = 1; k <= 4; ++k) recording += station.recorder->event_active(k) ? 1 : 0;
    if (recording != 4 || station.errors != 0) state.SkipWithError("not every channel recorded");
    state.SetItemsProcessed(state.iterations() * r.samples);
    state.counters["samples_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations() * r.samples), benchmark::Counter::kIsRate);
    benchmark::DoNotOptimize(station.track_samples);
}
BENCHMARK(BM_WholeSamplePath)->Unit(benchmark::kMillisecond);

}  // namespace
