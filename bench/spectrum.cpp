// The spectrum: the transform alone at 128, 256 and 512 points, and the
// whole block step of one channel (block hand-off, transform, power, the
// Scope picture or not, the spectrogram column) on the real picture
// canvases, per block of 512 samples. Divided by the 513 samples of a block,
// the block step gives the cost per sample handed over.

#include <benchmark/benchmark.h>

#include "display/fourier.h"
#include "display/spectrum.h"
#include "platform/headless_dialogs.h"
#include "platform/posix/posix_clock.h"
#include "platform/qt/qt_image_files.h"

#include <cmath>
#include <filesystem>
#include <iostream>
#include <random>
#include <vector>

namespace {

using namespace tw;

void BM_Fourier(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0, 1000);
    std::vector<double> re(n), im(n, 0.0), out_re(n), out_im(n);
    for (auto& v : re) v = noise(rng);
    for (auto _ : state) {
        display::fourier(static_cast<long>(n), re, im, out_re, out_im, false);
        benchmark::DoNotOptimize(out_re.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}
BENCHMARK(BM_Fourier)->Arg(128)->Arg(256)->Arg(512);

// One block of 513 samples of a 200 samples per second channel per
// iteration, with the board clock running (the spectrogram is painted).
void BM_BlockStep(benchmark::State& state) {
    const auto mode = static_cast<display::SpectrumMode>(state.range(0));
    const auto folder = std::filesystem::temp_directory_path() / "tw_bench_spectrum";
    std::filesystem::create_directories(folder);
    config::Settings settings;
    settings.channel(1).sps_code = 12;
    settings.channel(1).fft_enabled = 1;
    bool time_base_ready = true;
    double seconds_of_day = 45250;
    std::string board_date = "2024/03/05";
    platform::PosixClock clock;
    supervision::EventList events(folder / "evtfile.dat", clock);
    platform::HeadlessDialogs dialogs(std::cerr);
    platform::QtImageFiles images;
    display::Spectrum spectrum({settings, time_base_ready, seconds_of_day, board_date, events,
                                dialogs, &images, folder});
    spectrum.set_mode(mode);
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0, 300);
    std::vector<std::int32_t> block(513);
    for (std::size_t t = 0; t < block.size(); ++t)
        block[t] = static_cast<std::int32_t>(3000 * std::sin(0.31 * static_cast<double>(t)) + noise(rng));
    for (auto _ : state) {
        for (const auto s : block) spectrum.take_sample(1, s);
        seconds_of_day = std::fmod(seconds_of_day + 2.565, 86400);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(block.size()));
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_BlockStep)
    ->ArgName("jtf")
    ->Arg(static_cast<int>(display::SpectrumMode::scope))
    ->Arg(static_cast<int>(display::SpectrumMode::jtf));

}  // namespace
