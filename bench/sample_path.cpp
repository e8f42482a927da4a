// The whole path of a sample, on a recorded byte stream of a 16-bit board
// sending four channels at 200 samples per second with a time packet every
// second: packet assembly and decoding, the board clock, the per-channel
// sample path and the station's signal path (conditioning with the pre-event
// ring, the trigger detector, one event file line per sample on all four
// channels, each recording an event, the live charts without pictures and
// the drums off). Reports samples per second.

#include <benchmark/benchmark.h>

#include "acquisition/packet_decoder.h"
#include "app/station.h"
#include "config/settings_file.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_serial_port.h"

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

struct Bench {
    fs::path folder;
    fakes::FakeClock clock;
    fakes::FakeEventPump pump{clock};
    fakes::FakeSerialPort serial;
    fakes::FakeDialogs dialogs;
    fakes::FakeDisk disk;
    fakes::FakeLauncher launcher;
    std::unique_ptr<app::Station> station;
    acquisition::PacketAssembler assembler;
    std::int64_t errors = 0;

    Bench() {
        folder = fs::temp_directory_path() / ("tw_bench_sample_path_" + std::to_string(::getpid()));
        fs::create_directories(folder / "events");
        station = std::make_unique<app::Station>(
            folder, app::Services{serial, clock, dialogs, disk, launcher, pump});
        config::Settings& settings = station->settings;
        settings.general.events_folder = (folder / "events").string();
        settings.general.coordinates = "14.39N 12.33E";
        settings.general.chart_speed = 20;
        const char* ext[4] = {"z1", "z2", "z3", "z4"};
        for (int k = 1; k <= 4; ++k) {
            config::ChannelSettings& ch = settings.channel(k);
            ch.sps_code = 12;  // 200 per second
            ch.file_extension = ext[k - 1];
            ch.trigger_mode = 1;
            ch.start_params = "32767,2,2,1,30,32767";  // started by hand
            ch.stop_params = "32767,5000,0,5000";      // no coda: ends at one million samples
            ch.record_enabled = 1;
            ch.auto_offset = k % 2;
            ch.y_scale = 1;
            config::expand_start_params(ch);
            config::expand_stop_params(ch);
        }
        station->recorder.on_error = [this](int, int, const std::string&) { ++errors; };
        station->sample_path.start_run(config::orda10, settings);
        station->conditioner.start_run();
        station->charts.start_run(station->conditioner.clip());
        station->recorder.start_run();
        station->board_clock.start_run();
    }
    ~Bench() {
        station->recorder.stop_run();
        station.reset();
        fs::remove_all(folder);
    }

    // Every idle channel is asked to record (events end after a million
    // samples and start again here).
    void keep_recording() {
        for (int k = 1; k <= 4; ++k) {
            if (!station->recorder.event_active(k) &&
                station->panel.man_record[static_cast<std::size_t>(k - 1)] == "REC") {
                station->recorder.manual_record(k, true);
            }
        }
    }

    void feed(const std::vector<std::uint8_t>& bytes) {
        assembler.feed(bytes, [this](const acquisition::Packet& p) {
            const acquisition::DecodedPacket d = acquisition::decode_packet(p, false);
            if (d.type == acquisition::PacketType::sample && d.sample.has_value()) {
                station->sample_path.take_sample(d.sample.channel, d.sample.value);
            } else if (d.type == acquisition::PacketType::time) {
                station->board_clock.handle_time_packet(p.bytes);
            }
        });
    }
};

void BM_WholeSamplePath(benchmark::State& state) {
    const Recording r = record();
    Bench station;
    for (auto _ : state) {
        station.keep_recording();
        station.feed(r.bytes);
    }
    int recording = 0;
    for (int k = 1; k <= 4; ++k) recording += station.station->recorder.event_active(k) ? 1 : 0;
    if (recording != 4 || station.errors != 0) state.SkipWithError("not every channel recorded");
    state.SetItemsProcessed(state.iterations() * r.samples);
    state.counters["samples_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations() * r.samples), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WholeSamplePath)->Unit(benchmark::kMillisecond);

}  // namespace
