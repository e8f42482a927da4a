// Before any Qt header: the simulator's options have a member named like a
// Qt keyword.
#include "boardsim/options.h"
#include "boardsim/simulator.h"

#include "ui/spectrum_window.h"

#include "app/acquisition_control.h"
#include "app/startup.h"
#include "config/settings_file.h"
#include "config/tables.h"
#include "fakes/fake_platform.h"
#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_image_files.h"
#include "platform/qt/qt_serial_port.h"
#include "ui/main_window.h"
#include "ui_fixture.h"

#include <QRadioButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace tw::ui::test {
namespace {

namespace fs = std::filesystem;

// The windowed program on the simulated board, through the real serial
// layer on its pseudo-terminal: channel 1 at 100 samples per second carries
// a 10 Hz sine and has the spectrum on.
TEST(SpectrumOnSimulatedBoard, WindowOpensByItselfAndShowsTheSineInBothModesUntilStop) {
    tw::testing::TestFolder test_folder;
    const fs::path folder = test_folder.path();
    const auto board = boardsim::parse_command_line({"--start", "2024/03/05 12:34:10", "--signal", "1:sine:3000:10"});
    boardsim::Simulator simulator(board.options);
    ASSERT_TRUE(simulator.start());
    config::Settings settings;
    config::apply_new_file_values(settings, folder.string());
    auto& general = settings.general;
    general.ad_type = config::orda10, general.ad_serial = "0000A1B2";
    general.comm_port = general.no_version_warning = general.no_logo = 1;
    general.clock_trim = "FFFFFF02";  // the simulated board's, so no question is asked
    settings.channel(1).sps_code = 11, settings.channel(1).fft_enabled = 1;
    ASSERT_TRUE(config::save_settings(folder / "terrawv.ini", settings, nullptr));

    platform::QtSerialPort serial(simulator.device_path());
    fakes::FakeClock clock;  // the board's day, running in real time with the board
    clock.set(2024, 3, 5, 12, 34, 10);
    clock.run_in_real_time();
    platform::QtEventPump pump;
    platform::QtImageFiles images;
    fakes::FakeDialogs dialogs;
    fakes::FakeDisk disk;
    fakes::FakeLauncher launcher;
    app::Station station(folder, app::Services{serial, clock, dialogs, disk, launcher, pump,
                                               nullptr, nullptr, nullptr, &images});
    station.port_override = simulator.device_path();
    const auto startup = app::run_startup(station);
    ASSERT_TRUE(startup.ok) << startup.error;
    MainWindow window(station, startup);
    window.show();

    ASSERT_EQ(app::start_acquisition(station), acquisition::StartOutcome::running);
    ASSERT_TRUE(QTest::qWaitFor([&] { return station.spectrum.picture(1) != nullptr; }, 30000));
    SpectrumWindow* fft = window.spectrum_window();
    ASSERT_TRUE(fft && QTest::qWaitForWindowExposed(fft));
    EXPECT_EQ(fft->windowTitle(), "Real Time Fast Fourier Transform");
    EXPECT_TRUE(child<QRadioButton>(*fft, "option512")->isChecked());
    EXPECT_EQ(text_of(*fft, "fftch"), "CH 1");
    EXPECT_EQ(text_of(*fft, "fft_high"), "50");
    expect_tidy(*fft);

    // Scope: the tallest yellow bar stands at 10 Hz (0..50 Hz across).
    const QImage& scope = dynamic_cast<const platform::QtCanvas&>(*station.spectrum.picture(1)).image();
    int tallest = 0, at = -1;  // pixels high, column
    for (int x = 0; x < scope.width(); ++x) {
        int height = 0;
        for (int y = 0; y < scope.height(); ++y) height += scope.pixel(x, y) == qRgb(255, 255, 0);
        if (height > tallest) tallest = height, at = x;
    }
    EXPECT_NEAR(at * 50.0 / scope.width(), 10, 0.5);
    EXPECT_TRUE(save_picture(*fft, "spectrum_scope"));

    // JTF, from the next block on.
    click(*fft, "optionjtf");
    ASSERT_TRUE(QTest::qWaitFor([&] { return text_of(*fft, "fft_um") == "min."; }, 30000));
    EXPECT_TRUE(save_picture(*fft, "spectrum_jtf"));

    // STOP closes the window.
    app::stop_acquisition(station);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !fft->isVisible() && !station.spectrum.is_open(); }, 5000));
}

}  // namespace
}  // namespace tw::ui::test
