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
#include "platform/posix/posix_clock.h"
#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_image_files.h"
#include "platform/qt/qt_serial_port.h"
#include "ui/main_window.h"
#include "ui_fixture.h"

#include <QLabel>
#include <QRadioButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <regex>

namespace tw::ui::test {
namespace {

namespace fs = std::filesystem;

// The windowed program on the simulated board, through the real serial
// layer on its pseudo-terminal: channel 1 at 100 samples per second carries
// a 10 Hz sine and has the spectrum on.
class SpectrumOnSimulatedBoard : public ::testing::Test {
protected:
    SpectrumOnSimulatedBoard() {
        fs::remove_all(folder);
        fs::create_directories(folder);
        const auto board = boardsim::parse_command_line(
            {"--start", "2024/03/05 12:34:10", "--signal", "1:sine:3000:10"});
        EXPECT_TRUE(board.error.empty()) << board.error;
        simulator = std::make_unique<boardsim::Simulator>(board.options);
        EXPECT_TRUE(simulator->start());
        serial = std::make_unique<platform::QtSerialPort>(simulator->device_path());

        config::Settings settings;
        config::apply_new_file_values(settings, folder.string());
        settings.general.ad_type = config::orda10;
        settings.general.comm_port = 1;
        settings.general.no_version_warning = 1;
        settings.general.no_logo = 1;
        settings.general.clock_trim = "FFFFFF02";
        settings.general.ad_serial = "0000A1B2";
        for (auto& ch : settings.channels) ch.sps_code = 0;
        settings.channel(1).sps_code = 11;
        settings.channel(1).fft_enabled = 1;
        EXPECT_TRUE(config::save_settings(folder / "terrawv.ini", settings, nullptr));

        station = std::make_unique<app::Station>(
            folder, app::Services{*serial, clock, dialogs, disk, launcher, pump, nullptr, nullptr,
                                  nullptr, &images});
        station->port_override = simulator->device_path();
        const auto startup = app::run_startup(*station);
        EXPECT_TRUE(startup.ok) << startup.error;
        window = std::make_unique<MainWindow>(*station, startup);
        window->show();
    }
    ~SpectrumOnSimulatedBoard() override {
        if (app::acquisition_active(*station)) app::stop_acquisition(*station);
        window.reset();
        station.reset();
        simulator.reset();
        fs::remove_all(folder);
    }
    const QImage& image(display::SpectrumMode mode) {
        return dynamic_cast<const platform::QtCanvas&>(*station->spectrum.picture(1, mode)).image();
    }
    // Waits (up to 30 s) for the next block of channel 1.
    bool next_block() {
        int blocks = 0;
        auto& model = station->spectrum.model();
        auto render = model.changed;
        model.changed = [&] {
            ++blocks;
            if (render) render();
        };
        const bool seen = QTest::qWaitFor([&] { return blocks > 0; }, 30000);
        model.changed = render;
        return seen;
    }

    fs::path folder = fs::temp_directory_path() / ("tw_ui_spectrum_" + std::to_string(::getpid()));
    std::unique_ptr<boardsim::Simulator> simulator;
    std::unique_ptr<platform::QtSerialPort> serial;
    platform::PosixClock clock;
    platform::QtEventPump pump;
    platform::QtImageFiles images;
    fakes::FakeDialogs dialogs;
    fakes::FakeDisk disk;
    fakes::FakeLauncher launcher;
    std::unique_ptr<app::Station> station;
    std::unique_ptr<MainWindow> window;
};

TEST_F(SpectrumOnSimulatedBoard, WindowOpensByItselfAndShowsTheSineInBothModesUntilStop) {
    ASSERT_EQ(app::start_acquisition(*station), acquisition::StartOutcome::running);
    ASSERT_TRUE(QTest::qWaitFor([&] { return station->spectrum.picture(1) != nullptr; }, 30000));
    SpectrumWindow* fft = window->spectrum_window();
    ASSERT_NE(fft, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(fft));
    EXPECT_EQ(fft->windowTitle(), "Real Time Fast Fourier Transform");
    EXPECT_TRUE(child<QRadioButton>(*fft, "option512")->isChecked());
    EXPECT_EQ(child<QLabel>(*fft, "fftch")->text(), "CH 1");
    EXPECT_EQ(child<QLabel>(*fft, "fft_high")->text(), "50");

    // Scope: the tallest yellow bar stands at 10 Hz (0..50 Hz across).
    const QImage& scope = image(display::SpectrumMode::scope);
    int tallest = 0, at = -1;
    for (int x = 0; x < scope.width(); ++x) {
        int height = 0;
        for (int y = 0; y < scope.height(); ++y) height += scope.pixel(x, y) == qRgb(255, 255, 0);
        if (height > tallest) tallest = height, at = x;
    }
    EXPECT_NEAR(at * 50.0 / scope.width(), 10, 0.5);
    EXPECT_GT(tallest, scope.height() / 3);
    EXPECT_TRUE(save_picture(*fft, "spectrum_scope"));

    // JTF: the next block paints a red stripe at 10 Hz in the column of the
    // board's minute.
    // A radio button takes clicks on its circle and text only.
    auto* optionjtf = child<QRadioButton>(*fft, "optionjtf");
    QTest::mouseClick(optionjtf, Qt::LeftButton, {}, QPoint(8, optionjtf->height() / 2));
    ASSERT_TRUE(next_block());
    EXPECT_EQ(child<QLabel>(*fft, "fft_um")->text(), "min.");
    const QImage& jtf = image(display::SpectrumMode::jtf);
    const int row = jtf.height() - 1 - static_cast<int>(10.0 / 50 * jtf.height());
    int red = 0;
    for (int x = 0; x < jtf.width(); ++x) red += qRed(jtf.pixel(x, row)) == 255;
    EXPECT_GE(red, 1);
    EXPECT_TRUE(save_picture(*fft, "spectrum_jtf"));

    // STOP closes the window and keeps the day's spectrogram beside the drums.
    app::stop_acquisition(*station);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !fft->isVisible(); }, 5000));
    EXPECT_FALSE(station->spectrum.is_open());
    int kept = 0;
    for (const auto& entry : fs::directory_iterator(folder / "drums"))
        kept += std::regex_match(entry.path().filename().string(), std::regex(R"(jtf_\d{6}_1\.(BMP|GIF|JPG))"));
    EXPECT_GE(kept, 1);
}

}  // namespace
}  // namespace tw::ui::test
