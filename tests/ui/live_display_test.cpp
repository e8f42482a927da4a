// The live windows. The charts and a drum window on a running station: a
// simulated board sends hours of signal with a quake in them. The spectrum
// window in the windowed program on the simulated board, through the real
// serial layer. The pictures are grabbed.

// Before any Qt header: the simulator's options have a member named like a
// Qt keyword.
#include "boardsim/options.h"
#include "boardsim/simulator.h"

#include "../acquisition/fake_board.h"
#include "app/acquisition_control.h"
#include "app/startup.h"
#include "config/settings_file.h"
#include "config/tables.h"
#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_serial_port.h"
#include "ui/chart_view.h"
#include "ui/drum_window.h"
#include "ui/main_window.h"
#include "ui/spectrum_window.h"
#include "ui_fixture.h"

#include <QElapsedTimer>
#include <QRadioButton>
#include <QScrollBar>
#include <QtTest/QTest>

#include <cmath>

namespace tw::ui::test {
namespace {

class LiveDisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& g = s_.station->settings.general;
        g.ad_type = config::orda10, g.ad_serial = "0000A1B2", g.pc_rtc = 1, g.chart_speed = 20;
        for (int k = 1; k <= 4; ++k) {
            auto& ch = s_.station->settings.channel(k);
            ch.sps_code = 7, ch.y_scale = 20, ch.drum_enabled = k == 1, ch.drum_scale = 8, ch.axis_code = 3;
        }
        auto& c1 = s_.station->settings.channel(1);
        c1.record_enabled = 1, c1.file_extension = "z1", c1.trigger_mode = 0;
        c1.start_params = "2500,1,0.5,1,30,3", c1.stop_params = "1500,1,3,20";
        config::expand_start_params(c1), config::expand_stop_params(c1);
        s_.clock.set(2021, 6, 14, 6, 0, 0);
        s_.station->board_clock.set_board_date_from_pc();
        window_ = open_main_window(s_);
        ASSERT_EQ(app::start_acquisition(*s_.station), acquisition::StartOutcome::running);
    }
    void TearDown() override { app::stop_acquisition(*s_.station); }

    // Board seconds from `from` (seconds of the day) for `count` seconds:
    // noise and a slow swell on every channel, a quake on channel 1 at 07:10.
    void board_seconds(int from, int count) {
        std::string bytes;
        for (int t = from; t < from + count; ++t) {
            bytes += tw::testing::time_bytes(t / 3600, t / 60 % 60, t % 60);
            for (int i = 0; i < 10; ++i) {
                const double time = t + i / 10.0;
                const double since = time - (7 * 3600 + 10 * 60);
                const double quake = since >= 0 && since < 600 ? 4000 * std::exp(-since / 90) : 0;
                for (int c = 0; c < 4; ++c)
                    bytes += tw::testing::sample_bytes(c, static_cast<std::int32_t>(
                        300 * std::sin(time * (0.4 + c * 0.15)) + quake * (c == 0) * std::sin(time * 6.3) +
                        60 * std::sin(time * 17.0 + c)), false);
            }
        }
        s_.serial.deliver(bytes);
    }
    static int count_pixels(const QImage& image, QRgb rgb) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) n += (image.pixel(x, y) & 0xFFFFFF) == (rgb & 0xFFFFFF);
        return n;
    }

    UiStation s_;
    tw::testing::FakeBoard board_{s_.serial};
    std::unique_ptr<MainWindow> window_;
};

TEST_F(LiveDisplayTest, HoursOfSignalShowOnTheChartsAndTheDrumInRepaintsPacedAndTheDrumWindowFollowsHideDrum) {
    for (int t = 6 * 3600; t < 9 * 3600 + 1200; t += 600) board_seconds(t, 600);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window_->chart_pacer().pending(); }, 20000));

    for (int i = 0; i < 4; ++i)  // the last seconds of every channel in yellow
        EXPECT_GT(count_pixels(child<ChartView>(*window_, qPrintable(QStringLiteral("chp%1").arg(i)))->canvas().image(),
                               qRgb(0xFF, 0xFF, 0)), 200) << i;
    EXPECT_TRUE(save_picture(*window_, "panel_live"));

    DrumWindow* drum = window_->drum_window(1);
    ASSERT_NE(drum, nullptr);
    EXPECT_TRUE(drum->isVisible() && drum->windowTitle() == "Drum CH 1" && !window_->drum_window(2));
    // Rows 06-09 and 09-12 hold the trace; the quake was recorded as an event.
    const QImage image = dynamic_cast<const platform::QtCanvas&>(*s_.station->drums.picture(1)).image();
    EXPECT_GT(count_pixels(image, qRgb(0, 0, 0xFF)), 3000);
    EXPECT_GT(count_pixels(image, qRgb(0xFF, 0, 0)), 100);
    drum->resize(1000, 830);  // scrolled to the quake at 07:10 (pixel 1400)
    drum->scroll_area()->horizontalScrollBar()->setValue(1000);
    QTest::qWait(2 * RepaintPacer::min_interval_ms);
    EXPECT_TRUE(save_picture(*drum, "drum_window"));

    const int before = window_->chart_pacer().repaints();
    // Samples arriving all the time: bursts between short event loop runs;
    // never more repaints than 25 a second, however the loop was scheduled.
    QElapsedTimer elapsed;
    elapsed.start();
    int t = 9 * 3600 + 1200;
    for (; elapsed.elapsed() < 500; ++t) {
        board_seconds(t, 1);
        QTest::qWait(5);
    }
    const int repaints = window_->chart_pacer().repaints() - before;
    EXPECT_GE(repaints, 1);
    EXPECT_LE(repaints, 25 * elapsed.elapsed() / 1000.0 + 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window_->chart_pacer().pending(); }, 20000));
    const int settled = window_->chart_pacer().repaints();
    QTest::qWait(5 * RepaintPacer::min_interval_ms);
    EXPECT_EQ(window_->chart_pacer().repaints(), settled);  // nothing new: no repaint

    ASSERT_TRUE(drum->isVisible());
    s_.station->settings.channel(1).drum_hidden = 1;
    board_seconds(t++, 1);
    EXPECT_FALSE(drum->isVisible());
    s_.station->settings.channel(1).drum_hidden = 0;
    board_seconds(t++, 1);
    EXPECT_TRUE(drum->isVisible());
    QTest::mouseDClick(drum->scroll_area()->widget(), Qt::LeftButton);
    ASSERT_FALSE(s_.dialogs.shown.empty());
    EXPECT_EQ(s_.dialogs.shown.back().text, "Clear Drum image ?");
}

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
