// The windowed program with the spectrum window open, measured as it runs:
// the main window and the spectrum window off screen, the board simulator
// in the same process on a pseudo-terminal (its own thread), four channels
// at 200 samples per second with a sine and noise each, through the real
// serial layer. One iteration warms up for 5 s and then measures 30 s of
// real time; the counters give the CPU time of the program's thread (the
// simulator's thread is not in it) as a share of one core, with the
// spectrum off, in Scope mode and in JTF mode.

// Before any Qt header: the simulator's options have a member named like a
// Qt keyword.
#include "boardsim/options.h"
#include "boardsim/simulator.h"

#include <benchmark/benchmark.h>

#include "app/acquisition_control.h"
#include "app/startup.h"
#include "app/station.h"
#include "config/settings_file.h"
#include "config/tables.h"
#include "platform/headless_dialogs.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/spawn_launcher.h"
#include "platform/posix/statvfs_disk.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_image_files.h"
#include "platform/qt/qt_serial_port.h"
#include "ui/main_window.h"
#include "ui/spectrum_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <ctime>
#include <filesystem>
#include <iostream>

namespace {

using namespace tw;

double thread_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The event loop for `ms` milliseconds, sleeping whenever nothing happens.
void run_events_for(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Argument: 0 spectrum off, 1 Scope, 2 JTF.
void BM_WindowedStation(benchmark::State& state) {
    const auto mode = state.range(0);
    const auto folder = std::filesystem::temp_directory_path() / "tw_bench_spectrum_window";
    for (auto _ : state) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        std::vector<std::string> board_options;
        for (int c = 1; c <= 4; ++c) {
            const std::string ch = std::to_string(c);
            board_options.insert(board_options.end(), {"--signal", ch + ":sine:3000:" + std::to_string(5 * c),
                                                       "--signal", ch + ":noise:200"});
        }
        boardsim::Simulator simulator(boardsim::parse_command_line(board_options).options);
        if (!simulator.start()) {
            state.SkipWithError("the board simulator did not start");
            return;
        }
        platform::QtSerialPort serial(simulator.device_path());
        config::Settings settings;
        config::apply_new_file_values(settings, folder.string());
        settings.general.ad_type = config::orda10;
        settings.general.comm_port = 1;
        settings.general.no_version_warning = 1;
        settings.general.no_logo = 1;
        settings.general.clock_trim = "FFFFFF02";
        settings.general.ad_serial = "0000A1B2";
        for (auto& ch : settings.channels) {
            ch.sps_code = 12;
            ch.fft_enabled = mode > 0 ? 1 : 0;
        }
        config::save_settings(folder / "terrawv.ini", settings, nullptr);

        platform::PosixClock clock;
        platform::QtEventPump pump;
        platform::HeadlessDialogs dialogs(std::cerr);
        platform::StatvfsDisk disk;
        platform::SpawnLauncher launcher;
        platform::QtImageFiles images;
        app::Station station(folder, app::Services{serial, clock, dialogs, disk, launcher, pump,
                                                   nullptr, nullptr, nullptr, &images});
        station.port_override = simulator.device_path();
        const auto startup = app::run_startup(station);
        ui::MainWindow window(station, startup);
        window.show();
        if (app::start_acquisition(station) != acquisition::StartOutcome::running) {
            state.SkipWithError("the acquisition did not start");
            return;
        }
        run_events_for(5000);
        if (mode > 0) {
            if (!window.spectrum_window() || !window.spectrum_window()->isVisible()) {
                state.SkipWithError("the spectrum window did not open");
                return;
            }
            station.spectrum.set_mode(mode == 2 ? display::SpectrumMode::jtf
                                                : display::SpectrumMode::scope);
        }
        const double cpu_before = thread_cpu_seconds();
        QElapsedTimer wall;
        wall.start();
        run_events_for(30000);
        const double cpu = thread_cpu_seconds() - cpu_before;
        state.counters["core_percent"] = 100.0 * cpu / (static_cast<double>(wall.elapsed()) / 1000);
        state.SetIterationTime(static_cast<double>(wall.elapsed()) / 1000);
        app::stop_acquisition(station);
        run_events_for(500);
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_WindowedStation)
    ->ArgName("mode")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("TERRAWAVE_NO_CLOCK_SET")) qputenv("TERRAWAVE_NO_CLOCK_SET", "1");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
