#include "ui/main_window.h"

#include "config/settings_file.h"
#include "config/tables.h"
#include "ui/chart_view.h"
#include "ui/panel_widgets.h"
#include "ui_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace tw::ui::test {
namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void open(app::StartupResult startup = {}) {
        window_ = std::make_unique<MainWindow>(*s_.station, startup);
        window_->set_quit_handler([this] { ++quits_; });
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }
    template <typename W>
    W* get(const char* name) {
        return child<W>(*window_, name);
    }
    void type_into(const char* field, const QString& text) { test::type_into(*window_, field, text); }
    void click(const char* name) { test::click(*window_, name); }
    QString text_of(const char* name) { return test::text_of(*window_, name); }
    config::ChannelSettings& channel(int n) { return s_.station->settings.channel(n); }

    UiStation s_;
    std::unique_ptr<MainWindow> window_;
    int quits_ = 0;
};

TEST_F(MainWindowTest, StartsIdleShowingChannelOne) {
    open();
    EXPECT_EQ(window_->windowTitle(), "TERRAWAVE V.02.22");
    EXPECT_EQ(text_of("ch_selected"), "1");
    EXPECT_EQ(text_of("extension"), "ex1");
    EXPECT_EQ(get<QComboBox>("sps_select")->count(), 13);
    EXPECT_EQ(get<QComboBox>("sps_select")->currentIndex(), channel(1).sps_code);
    EXPECT_TRUE(get<QPushButton>("Command1")->isEnabled());
    EXPECT_FALSE(get<QPushButton>("command2")->isEnabled());
    EXPECT_EQ(get<QPushButton>("Command3")->toolTip(), "Save all parameters");
    EXPECT_EQ(get<QPushButton>("Command4")->toolTip(), "Terminate this application program");
    EXPECT_FALSE(get<QWidget>("chzoom")->isVisible());
    EXPECT_FALSE(get<QWidget>("fft_enabled")->isVisible());
    EXPECT_FALSE(get<QWidget>("lbl_service")->isVisible());
    EXPECT_FALSE(get<QWidget>("donothing")->isVisible());
    EXPECT_TRUE(get<QLineEdit>("utc_clock")->isReadOnly());
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(window_->findChild<ChartView*>(QStringLiteral("chp%1").arg(i))->isVisible());
        EXPECT_EQ(window_->findChild<QPushButton*>(QStringLiteral("man_record%1").arg(i))->text(),
                  "REC");
    }
    EXPECT_TRUE(window_->housekeeping_timer().isActive());
    EXPECT_EQ(window_->housekeeping_timer().interval(), 1000);
}

TEST_F(MainWindowTest, ServiceModeShowsTheSpectrumBoxAndLoopCounter) {
    s_.station->settings.general.service_mode = 1;
    app::StartupResult startup;
    startup.show_fft_box = true;
    open(startup);
    EXPECT_TRUE(get<QWidget>("fft_enabled")->isVisible());
    EXPECT_TRUE(get<QWidget>("donothing")->isVisible());
}

TEST_F(MainWindowTest, SelectorShowsEachChannelInEveryControlWithoutWrapping) {
    for (int n = 1; n <= 4; ++n) {
        auto& ch = channel(n);
        ch.sps_code = 6 + n;
        ch.axis_code = n;
        ch.dc_offset = -10 * n;
        ch.y_scale = 5 * n;
        ch.alarm_threshold = 100 * n;
        ch.file_extension = "x" + std::to_string(n);
        ch.record_enabled = n == 1;
        ch.alarm_enabled = n == 2;
        ch.logging_enabled = n == 3;
        ch.extend_trigger = n == 4;
        ch.drum_enabled = n == 1;
        ch.drum_hidden = n == 2;
        ch.invert = n == 3;
        ch.auto_offset = n == 4;
    }
    open();
    click("ch_minus");
    EXPECT_EQ(text_of("ch_selected"), "1");
    for (int n = 1; n <= 4; ++n) {
        if (n > 1) click("ch_plus");
        SCOPED_TRACE(n);
        EXPECT_EQ(text_of("ch_selected"), QString::number(n));
        EXPECT_EQ(get<QComboBox>("sps_select")->currentIndex(), 6 + n);
        EXPECT_EQ(get<QComboBox>("axis_select")->currentIndex(), n);
        EXPECT_EQ(text_of("dc_offset"), QString::number(-10 * n));
        EXPECT_EQ(get<QScrollBar>("y_scale")->value(), 5 * n);
        EXPECT_EQ(text_of("yscale"), QStringLiteral("%1 X").arg(5 * n));
        EXPECT_EQ(text_of("alarm_soglia"), QString::number(100 * n));
        EXPECT_EQ(text_of("extension"), QStringLiteral("x%1").arg(n));
        EXPECT_EQ(get<QCheckBox>("ch_enabled")->isChecked(), n == 1);
        EXPECT_EQ(get<QCheckBox>("alarm")->isChecked(), n == 2);
        EXPECT_EQ(get<QCheckBox>("logging")->isChecked(), n == 3);
        EXPECT_EQ(get<QCheckBox>("all_trigger")->isChecked(), n == 4);
        EXPECT_EQ(get<QCheckBox>("drum")->isChecked(), n == 1);
        EXPECT_EQ(get<QCheckBox>("hide_drum")->isChecked(), n == 2);
        EXPECT_EQ(get<QCheckBox>("invert_data")->isChecked(), n == 3);
        EXPECT_EQ(get<QCheckBox>("auto_offset")->isChecked(), n == 4);
    }
    click("ch_plus");
    EXPECT_EQ(text_of("ch_selected"), "4");
    // Showing never stored anything.
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(channel(n).dc_offset, -10 * n);
}

TEST_F(MainWindowTest, EditingStoresIntoTheSelectedChannelOnly) {
    open();
    const auto before = s_.station->settings;
    click("ch_plus");  // channel 2
    type_into("dc_offset", "40000");
    EXPECT_EQ(channel(2).dc_offset, 32000);
    EXPECT_EQ(text_of("dc_offset"), "32000");
    type_into("alarm_soglia", "-5");
    EXPECT_EQ(channel(2).alarm_threshold, 0);
    type_into("extension", "q2");
    EXPECT_EQ(channel(2).file_extension, "q2");
    click("alarm");
    click("invert_data");
    click("ch_enabled");
    EXPECT_EQ(channel(2).alarm_enabled, 1);
    EXPECT_EQ(channel(2).invert, 1);
    EXPECT_EQ(channel(2).record_enabled, before.channel(2).record_enabled == 0 ? 1 : 0);
    auto* sps = get<QComboBox>("sps_select");
    sps->setCurrentIndex(10);
    emit sps->activated(10);
    EXPECT_EQ(channel(2).sps_code, 10);
    EXPECT_DOUBLE_EQ(channel(2).pre_event_samples, 50 * 60 * channel(2).pre_event_minutes);
    for (int n : {1, 3, 4}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(channel(n).dc_offset, before.channel(n).dc_offset);
        EXPECT_EQ(channel(n).alarm_threshold, before.channel(n).alarm_threshold);
        EXPECT_EQ(channel(n).file_extension, before.channel(n).file_extension);
        EXPECT_EQ(channel(n).alarm_enabled, before.channel(n).alarm_enabled);
        EXPECT_EQ(channel(n).sps_code, before.channel(n).sps_code);
    }
    // Back on channel 1 the controls show channel 1 again.
    click("ch_minus");
    EXPECT_EQ(text_of("dc_offset"), QString::number(before.channel(1).dc_offset));
    EXPECT_FALSE(get<QCheckBox>("alarm")->isChecked());
}

TEST_F(MainWindowTest, YScaleWithZallchTickedSetsAllFourChannels) {
    open();
    auto* bar = get<QScrollBar>("y_scale");
    bar->setValue(30);
    EXPECT_EQ(channel(1).y_scale, 30);
    EXPECT_EQ(channel(2).y_scale, 10);
    EXPECT_EQ(text_of("yscale"), "30 X");
    click("zallch");
    EXPECT_EQ(s_.station->settings.general.y_scale_all_channels, 1);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(channel(n).y_scale, 31) << n;

    auto* speed = get<QScrollBar>("chartspeed1");
    speed->setValue(35);
    EXPECT_EQ(s_.station->settings.general.chart_speed, 35);
    click("nocharting");
    EXPECT_EQ(s_.station->settings.general.no_charts, 1);
}

TEST_F(MainWindowTest, ChartClickSelectsAndDoubleClickZooms) {
    s_.station->settings.general.ad_type = config::orda10;  // 16-bit board
    open();
    auto* chart = get<ChartView>("chp2");
    QTest::mouseClick(chart, Qt::LeftButton);
    EXPECT_EQ(text_of("ch_selected"), "3");
    EXPECT_EQ(s_.station->selected_channel, 3);
    QTest::mouseDClick(chart, Qt::LeftButton);
    EXPECT_EQ(window_->zoom_channel(), 3);
    auto* zoom = get<ChartView>("chzoom");
    EXPECT_TRUE(zoom->isVisible());
    for (int i = 0; i < 4; ++i) {
        auto* c = window_->findChild<ChartView*>(QStringLiteral("chp%1").arg(i));
        EXPECT_FALSE(c->isVisible());
        EXPECT_FALSE(c->isEnabled());
    }
    EXPECT_TRUE(save_picture(*window_, "panel_zoom"));
    QTest::mouseClick(zoom, Qt::LeftButton);
    EXPECT_EQ(window_->zoom_channel(), 0);
    EXPECT_FALSE(zoom->isVisible());
    EXPECT_TRUE(chart->isVisible());
}

TEST_F(MainWindowTest, SaveWritesWhatTheProgramReadsBack) {
    open();
    type_into("dc_offset", "-123");
    click("ch_plus");
    type_into("alarm_soglia", "777");
    auto* location = get<QLineEdit>("location");
    location->selectAll();
    QTest::keyClicks(location, "Monte Verde");
    click("Command3");
    EXPECT_TRUE(s_.dialogs.shown.empty());
    const std::string saved = s_.read_file(app::files::settings);
    EXPECT_EQ(saved, config::format_settings(s_.station->settings));
    EXPECT_NE(saved.find("DCO=-123 \r\n"), std::string::npos);
    EXPECT_NE(saved.find("ALV= 777 \r\n"), std::string::npos);
    EXPECT_NE(saved.find("LOC=Monte Verde\r\n"), std::string::npos);
#ifdef TW_TERRAWAVE_EXE
    QProcess program;
    program.start(TW_TERRAWAVE_EXE, {"--print-settings", "--folder",
                                     QString::fromStdString(s_.folder.string())});
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    const QByteArray printed = program.readAllStandardOutput();
    EXPECT_EQ(std::string(printed.constData(), size_t(printed.size())), saved);
#endif
}

TEST_F(MainWindowTest, ExitEndsAtOnceWithoutSavingOrAsking) {
    open();
    const std::string before = s_.read_file(app::files::settings);
    s_.serial.open(nullptr);
    type_into("dc_offset", "555");
    click("Command4");
    EXPECT_EQ(quits_, 1);
    EXPECT_FALSE(s_.serial.is_open());
    EXPECT_TRUE(s_.dialogs.shown.empty());
    EXPECT_EQ(s_.read_file(app::files::settings), before);
}

TEST_F(MainWindowTest, FollowsThePanelModel) {
    open();
    auto& m = s_.station->panel;
    m.badrx = "12";
    m.true_sps = "50";
    m.ch_val[1] = "-4711";
    m.ch_val_color[1] = 0xFF0000;
    m.man_record[1] = "STOP";
    m.lbl_service = "TERRAWAVE start...";
    m.lbl_service_visible = true;
    m.start_enabled = false;
    m.stop_enabled = true;
    m.exit_enabled = false;
    m.utc_clock = "2003/02/03 12:00:01";
    m.event_indicator_color = 12;
    m.buffer_fill = 8192;
    m.buffer_color = 14;
    m.title = "TERRAWAVE V.02.22 - ORDA V.1.80 - FDS: 9876543 Kb";
    m.notify();
    EXPECT_EQ(window_->windowTitle(), qt_text(m.title));
    EXPECT_EQ(text_of("title"), qt_text(m.title));
    EXPECT_EQ(text_of("badrx"), "12");
    EXPECT_EQ(text_of("true_sps"), "50");
    EXPECT_EQ(text_of("ch_val1"), "-4711");
    EXPECT_EQ(get<QLabel>("ch_val1")->palette().color(QPalette::Window), QColor(0xFF0000));
    EXPECT_EQ(get<QLabel>("ch_val0")->palette().color(QPalette::Window), QColor(0xC0C0C0));
    EXPECT_EQ(get<QPushButton>("man_record1")->text(), "STOP");
    EXPECT_TRUE(get<QWidget>("lbl_service")->isVisible());
    EXPECT_EQ(text_of("lbl_service"), "TERRAWAVE start...");
    EXPECT_FALSE(get<QWidget>("Command1")->isEnabled());
    EXPECT_TRUE(get<QWidget>("command2")->isEnabled());
    EXPECT_FALSE(get<QWidget>("Command4")->isEnabled());
    EXPECT_EQ(text_of("utc_clock"), "2003/02/03 12:00:01");
    EXPECT_EQ(get<Lamp>("event_indicator")->color(), 12);
    EXPECT_EQ(get<LoadBar>("bufferload")->fill(), 8192);
    EXPECT_EQ(get<LoadBar>("bufferload")->color(), 14);
    QTest::qWait(20);  // the header makes room for the longer title
    EXPECT_TRUE(save_picture(*window_, "panel_running"));

    QTest::mouseClick(get<QLabel>("badrx"), Qt::LeftButton);
    EXPECT_EQ(m.badrx, "0");
    EXPECT_EQ(text_of("badrx"), "0");

    // The housekeeping tick runs on the timer and shows the PC clock.
    QTest::qWait(1300);
    EXPECT_FALSE(text_of("realtime").isEmpty());
}

TEST_F(MainWindowTest, SettingsLockDisablesItsControlsOnActivation) {
    open();
    s_.station->settings.general.settings_locked = 1;
    window_->apply_lock();
    for (const char* name : {"all_trigger", "axis_select", "ch_review", "ch_enabled", "dc_offset",
                             "drum", "elevation", "extension", "location", "coordinates",
                             "invert_data", "man_record0", "logging", "sps_select"}) {
        EXPECT_FALSE(get<QWidget>(name)->isEnabled()) << name;
    }
    for (const char* name : {"alarm", "alarm_soglia", "y_scale", "ch_plus", "Command3"}) {
        EXPECT_TRUE(get<QWidget>(name)->isEnabled()) << name;
    }
    s_.station->settings.general.settings_locked = 0;
    s_.station->settings.general.ad_type = config::lx1500;
    window_->apply_lock();
    EXPECT_TRUE(get<QWidget>("dc_offset")->isEnabled());
    EXPECT_FALSE(get<QWidget>("sps_select")->isEnabled());
}

TEST_F(MainWindowTest, LayoutIsTidyAndChartsTakeTheFreeSpace) {
    open();
    window_->resize(1280, 800);
    QTest::qWait(50);
    ASSERT_EQ(window_->size(), QSize(1280, 800));
    expect_tidy(*window_);
    EXPECT_TRUE(save_picture(*window_, "panel"));
    const QSize small = get<ChartView>("chp0")->size();
    EXPECT_GT(small.width(), 600);
    EXPECT_GT(small.height(), 100);

    window_->resize(1680, 1050);
    QTest::qWait(50);
    expect_tidy(*window_);
    const QSize large = get<ChartView>("chp0")->size();
    EXPECT_GE(large.width() - small.width(), 350);
    EXPECT_GE(large.height() - small.height(), 50);
    EXPECT_TRUE(save_picture(*window_, "panel_large"));
}

}  // namespace
}  // namespace tw::ui::test
