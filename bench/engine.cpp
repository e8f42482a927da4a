// The acquisition loop as the program runs it: a started ORDA run on a
// station of fakes gets one minute of recorded board bytes (four channels
// at 200 samples per second, one time packet a second) per iteration and
// works them off through port reads, packet assembly, dispatch, the board
// clock and the sample path into the numeric monitors. Reports samples per
// second.

#include <benchmark/benchmark.h>

#include "acquisition/packet_decoder.h"
#include "app/acquisition_control.h"
#include "app/station.h"
#include "config/settings_file.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_serial_port.h"

#include <cmath>
#include <filesystem>
#include <random>

namespace {

using namespace tw;

constexpr int seconds_recorded = 60;
constexpr int rate = 200;

std::string record(std::int64_t* samples) {
    std::string bytes;
    std::mt19937 rng(42);
    std::normal_distribution<double> noise(0, 500);
    for (int s = 0; s < seconds_recorded; ++s) {
        for (auto b : acquisition::encode_time_packet(12, s / 60, s % 60, 0)) bytes += static_cast<char>(b);
        for (int i = 0; i < rate; ++i) {
            for (int c = 0; c < 4; ++c) {
                const double x = 20000 * std::sin((s * rate + i) * 0.01 * (c + 1)) + noise(rng);
                for (auto b : acquisition::encode_sample_packet(c, static_cast<std::int32_t>(x), false))
                    bytes += static_cast<char>(b);
                ++*samples;
            }
        }
    }
    return bytes;
}

struct Bench {
    fakes::FakeClock clock;
    fakes::FakeEventPump pump{clock};
    fakes::FakeSerialPort serial;
    fakes::FakeDialogs dialogs;
    fakes::FakeDisk disk;
    fakes::FakeLauncher launcher;
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "tw_bench_engine";
    std::unique_ptr<app::Station> station;

    Bench() {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder / "events");
        station = std::make_unique<app::Station>(
            folder, app::Services{serial, clock, dialogs, disk, launcher, pump});
        auto& settings = station->settings;
        config::apply_new_file_values(settings, folder.string());
        settings.general.ad_type = config::orda10;
        settings.general.ad_serial = "0000A1B2";
        settings.general.pc_rtc = 1;
        for (auto& channel : settings.channels) channel.sps_code = 12;
        // A board that answers the preparation.
        serial.add_reply(acquisition::board_command::identify(), "V140");
        const std::uint8_t eeprom[] = {0, 0xFF, 0xFF, 0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                       0x00, 0x00, 0xA1, 0xB2};
        for (int a = 1; a < 20; ++a)
            serial.add_reply(acquisition::board_command::read_eeprom(a),
                             std::string{'\x86', static_cast<char>(eeprom[a])});
        app::start_acquisition(*station);
    }
    ~Bench() {
        station.reset();
        std::filesystem::remove_all(folder);
    }
};

void BM_AcquisitionLoop(benchmark::State& state) {
    std::int64_t samples = 0;
    const std::string bytes = record(&samples);
    Bench bench;
    if (bench.station->acquisition.phase() != acquisition::RunPhase::running) {
        state.SkipWithError("the run did not start");
        return;
    }
    for (auto _ : state) {
        bench.serial.deliver(bytes);
        benchmark::DoNotOptimize(bench.station->panel.ch_val[3].size());
    }
    state.SetItemsProcessed(state.iterations() * samples);
    state.counters["samples_per_s"] =
        benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bad_packets"] = std::stod(bench.station->panel.badrx);
}
BENCHMARK(BM_AcquisitionLoop)->Unit(benchmark::kMillisecond);

}  // namespace
