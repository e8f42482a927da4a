// The web services: a day of four channels at 200 samples per second
// served by dataselect (read from the day files, checked and copied to the
// answer), and the station's metadata at channel and response level.

#include "config/tables.h"
#include "stream/day_archive.h"
#include "stream/record_packer.h"
#include "web/fdsn_dataselect.h"
#include "web/fdsn_station.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <random>

namespace {

using namespace tw;

const std::filesystem::path root = std::filesystem::temp_directory_path() / "tw_bench_web";
const stream::StreamCodes codes{"XX", "STA", ""};
const std::int64_t day_start = stream::civil_time_us(2024, 6, 1, 0, 0, 0);

// A day archive of four channels of seismometer-like noise, made once.
void make_archive() {
    static bool made = false;
    if (made) return;
    made = true;
    std::filesystem::remove_all(root);
    stream::DayArchive archive(root, codes, 1 << 30, nullptr);
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0, 300);
    for (const char* code : {"HHZ", "HHN", "HHE", "HH4"}) {
        stream::RecordPacker packer("XX", "STA", "", code, 1,
                                    [&](const stream::Record& r) { archive.write(r, 0); });
        for (std::int64_t k = 0; k < 200LL * 86400; ++k)
            packer.add(static_cast<std::int32_t>(noise(random) + 5000 * std::sin(k * 0.001)),
                       day_start + k * 5000, 200, 0);
    }
}

void BM_DataselectDay(benchmark::State& state) {
    make_archive();
    const web::Archive archive{root, codes, nullptr};
    std::vector<char> buffer(64 * 1024);
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto response = web::dataselect_query(
            web::parse_query("net=XX&sta=STA&cha=*&start=2024-06-01T00:00:00&end=2024-06-02T00:00:00"),
            archive);
        bytes = 0;
        while (const auto n = response.source->read(buffer.data(), buffer.size())) bytes += n;
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_DataselectDay)->Unit(benchmark::kMillisecond);

void BM_StationMetadata(benchmark::State& state) {
    config::Settings settings;
    settings.general.coordinates = "14.39N 12.33E";
    for (int k = 1; k <= 4; ++k) {
        auto& c = settings.channel(k);
        c.sps_code = config::sps_code_200;
        c.axis_code = k;
        c.sensor_type = 1;
        c.measure_unit = 1;
        c.sensor_sensitivity = 28.8;
        c.amplifier_gain = 10;
        c.ad_bits = 16;
        c.ad_range = 5;
    }
    web::SensorSettings sensors;
    sensors.natural_period.fill(1);
    sensors.damping.fill(0.707);
    const auto query = web::parse_query(state.range(0) ? "level=response" : "level=channel");
    for (auto _ : state) {
        const auto inventory = web::build_inventory(settings, sensors, codes);
        benchmark::DoNotOptimize(web::station_query(query, inventory, day_start).body.size());
    }
}
BENCHMARK(BM_StationMetadata)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
