// The main window, the trigger panel and hardware setup window opened by
// its TRIGGERS and HW Setup buttons, and the review window opened by its
// review button, driven as a user would.

#include "ui/main_window.h"

#include "config/settings_file.h"
#include "config/tables.h"
#include "config/time_stamp.h"
#include "datalog/track_format.h"
#include "ui/chart_view.h"
#include "ui/hardware_setup_window.h"
#include "ui/panel_widgets.h"
#include "ui/review_window.h"
#include "ui/trigger_panel_window.h"
#include "ui/trimming_window.h"
#include "ui_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace tw::ui::test {
namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void open(const app::StartupResult& startup = {}) { window_ = open_main_window(s_, startup, &quits_); }
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

TEST_F(MainWindowTest, StartsIdleShowingChannelOneAndServiceModeShowsItsControls) {
    open();
    EXPECT_EQ(window_->windowTitle(), "TERRAWAVE V.02.22");
    EXPECT_EQ(text_of("ch_selected") + text_of("extension"), "1ex1");
    EXPECT_EQ(get<QComboBox>("sps_select")->currentIndex(), channel(1).sps_code);
    EXPECT_TRUE(get<QPushButton>("Command1")->isEnabled() && !get<QPushButton>("command2")->isEnabled());
    for (const char* name : {"chzoom", "fft_enabled", "lbl_service", "donothing"})
        EXPECT_FALSE(get<QWidget>(name)->isVisible()) << name;
    EXPECT_TRUE(get<QLineEdit>("utc_clock")->isReadOnly());
    EXPECT_EQ(window_->trimming_window(), nullptr);

    // Service mode: its controls, and the trimming window beside the main
    // one, which gets the station's trace; without a run the read is refused.
    s_.station->settings.general.service_mode = 1;
    app::StartupResult startup;
    startup.show_fft_box = startup.open_trimming = true;
    open(startup);
    EXPECT_TRUE(get<QWidget>("fft_enabled")->isVisible() && get<QWidget>("donothing")->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_->trimming_window() != nullptr; }, 20000));
    TrimmingWindow* trimming = window_->trimming_window();
    EXPECT_TRUE(trimming->isVisible() && s_.station->trim_window_open);
    s_.station->trimming.add_trace_line("l_evento(0)=3000");
    EXPECT_EQ(child<QListWidget>(*trimming, "List1")->count(), 1);
    test::click(*trimming, "eeread");
    EXPECT_EQ(s_.dialogs.shown.back().text, acquisition::ClockTrimming::not_running_message);
    EXPECT_TRUE(s_.serial.writes().empty());
}

TEST_F(MainWindowTest, SelectorShowsEachChannelInEveryControlWithoutWrappingAndEditsStoreIntoItOnly) {
    const char* boxes[] = {"ch_enabled", "alarm", "logging", "all_trigger", "drum", "hide_drum", "invert_data",
                           "auto_offset"};
    for (int n = 1; n <= 4; ++n) {
        auto& ch = channel(n);
        ch.sps_code = 6 + n, ch.axis_code = n, ch.dc_offset = -10 * n, ch.y_scale = 5 * n;
        ch.alarm_threshold = 100 * n, ch.file_extension = "x" + std::to_string(n);
        int* flags[] = {&ch.record_enabled, &ch.alarm_enabled, &ch.logging_enabled, &ch.extend_trigger,
                        &ch.drum_enabled,   &ch.drum_hidden,   &ch.invert,          &ch.auto_offset};
        for (int b = 0; b < 8; ++b) *flags[b] = b % 4 == n - 1;
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
        EXPECT_EQ(get<QScrollBar>("y_scale")->value(), 5 * n);
        EXPECT_EQ(QStringList({text_of("dc_offset"), text_of("yscale"), text_of("alarm_soglia"), text_of("extension")}),
                  QStringList({QString::number(-10 * n), QStringLiteral("%1 X").arg(5 * n), QString::number(100 * n),
                               QStringLiteral("x%1").arg(n)}));
        for (int b = 0; b < 8; ++b) EXPECT_EQ(get<QCheckBox>(boxes[b])->isChecked(), b % 4 == n - 1) << boxes[b];
    }
    click("ch_plus");
    EXPECT_EQ(text_of("ch_selected"), "4");
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(channel(n).dc_offset, -10 * n);  // showing stored nothing

    // Edits of channel 2 land there, limited as the panel logic says.
    const auto before = s_.station->settings;
    click("ch_minus"), click("ch_minus");
    type_into("dc_offset", "40000");
    EXPECT_EQ(text_of("dc_offset"), "32000");
    type_into("alarm_soglia", "-5");
    type_into("extension", "q2");
    click("alarm"), click("ch_enabled");
    auto* sps = get<QComboBox>("sps_select");
    sps->setCurrentIndex(10);
    emit sps->activated(10);
    const auto& c2 = channel(2);
    EXPECT_EQ(std::tuple(c2.dc_offset, c2.alarm_threshold, c2.file_extension, c2.alarm_enabled, c2.record_enabled),
              std::tuple(32000, 0, std::string("q2"), 0, 1));
    EXPECT_EQ(c2.sps_code, 10);
    EXPECT_DOUBLE_EQ(c2.pre_event_samples, 50 * 60 * c2.pre_event_minutes);
    auto expected = before;  // and nowhere else
    expected.channels[1] = c2;
    EXPECT_EQ(config::format_settings(s_.station->settings), config::format_settings(expected));
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
        EXPECT_FALSE(c->isVisible() || c->isEnabled()) << i;
    }
    EXPECT_TRUE(save_picture(*window_, "panel_zoom"));
    QTest::mouseClick(zoom, Qt::LeftButton);
    EXPECT_EQ(window_->zoom_channel(), 0);
    EXPECT_TRUE(!zoom->isVisible() && chart->isVisible());
}

TEST_F(MainWindowTest, SaveWritesTheSettingsAndExitEndsWithoutSavingOrAsking) {
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
    for (const char* line : {"DCO=-123 \r\n", "ALV= 777 \r\n", "LOC=Monte Verde\r\n"})
        EXPECT_NE(saved.find(line), std::string::npos) << line;

    s_.serial.open(nullptr);
    type_into("dc_offset", "555");
    click("Command4");
    EXPECT_EQ(quits_, 1);
    EXPECT_FALSE(s_.serial.is_open());
    EXPECT_TRUE(s_.dialogs.shown.empty());
    EXPECT_EQ(s_.read_file(app::files::settings), saved);
}

TEST_F(MainWindowTest, FollowsThePanelModel) {
    open();
    auto& m = s_.station->panel;
    m.badrx = "12", m.true_sps = "50", m.ch_val[1] = "-4711", m.ch_val_color[1] = 0xFF0000;
    m.man_record[1] = "STOP", m.lbl_service = "TERRAWAVE start...", m.lbl_service_visible = true;
    m.start_enabled = false, m.stop_enabled = true, m.exit_enabled = false;
    m.utc_clock = "2003/02/03 12:00:01", m.event_indicator_color = 12, m.buffer_fill = 8192, m.buffer_color = 14;
    m.title = "TERRAWAVE V.02.22 - ORDA V.1.80 - FDS: 9876543 Kb";
    m.feed_status = "DataLink down, 340 s behind";
    m.notify();
    EXPECT_EQ(window_->windowTitle(), qt_text(m.title));
    EXPECT_EQ(QStringList({text_of("title"), text_of("badrx"), text_of("true_sps"), text_of("ch_val1"),
                           text_of("lbl_service"), text_of("utc_clock"), get<QPushButton>("man_record1")->text()}),
              QStringList({qt_text(m.title), "12", "50", "-4711", "TERRAWAVE start...", "2003/02/03 12:00:01", "STOP"}));
    EXPECT_EQ(get<QLabel>("ch_val1")->palette().color(QPalette::Window), QColor(0xFF0000));
    EXPECT_EQ(get<QLabel>("ch_val0")->palette().color(QPalette::Window), QColor(0xC0C0C0));
    EXPECT_TRUE(get<QWidget>("lbl_service")->isVisible() && get<QWidget>("command2")->isEnabled());
    EXPECT_TRUE(get<QWidget>("feed_status")->isVisible());
    EXPECT_EQ(text_of("feed_status"), "DataLink down, 340 s behind");
    EXPECT_FALSE(get<QWidget>("Command1")->isEnabled() || get<QWidget>("Command4")->isEnabled());
    EXPECT_EQ(get<Lamp>("event_indicator")->color(), 12);
    EXPECT_EQ(std::pair(get<LoadBar>("bufferload")->fill(), get<LoadBar>("bufferload")->color()), std::pair(8192, 14));
    QTest::qWait(20);  // the header makes room for the longer title (the picture only)
    EXPECT_TRUE(save_picture(*window_, "panel_running"));

    QTest::mouseClick(get<QLabel>("badrx"), Qt::LeftButton);
    EXPECT_EQ(m.badrx + text_of("badrx").toStdString(), "00");
    // The housekeeping tick runs on the timer and shows the PC clock.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !text_of("realtime").isEmpty(); }, 20000));
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

class SetupWindowsTest : public ::testing::Test {
protected:
    SetupWindowsTest() {
        s_.station->io.io_ports = &ports_;
        main_ = open_main_window(s_);
    }
    QWidget* open(const char* button) {
        QTest::mouseClick(child<QPushButton>(*main_, button), Qt::LeftButton);
        auto* w = main_->findChild<QWidget*>(button == std::string("active") ? "actions" : "trigpanel");
        EXPECT_TRUE(w && QTest::qWaitForWindowExposed(w));
        QApplication::setActiveWindow(w);
        EXPECT_TRUE(QTest::qWaitForWindowActive(w));
        return w;
    }
    static void type(QWidget& window, const char* name, const QString& text) {
        type_into(window, name, text, Qt::Key_Tab);
    }
    static void choose(QWidget& window, const char* name, int index) {
        auto* list = child<QComboBox>(window, name);
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    config::ChannelSettings& channel(int n) { return s_.station->settings.channel(n); }
    config::GeneralSettings& general() { return s_.station->settings.general; }

    UiStation s_;
    fakes::FakeIoPorts ports_;
    std::unique_ptr<MainWindow> main_;
};

// The limits and refusals are the trigger panel's tests (tests/events); here
// the window follows the selector both ways and stores only on Apply or OK.
TEST_F(SetupWindowsTest, TriggerPanelFollowsTheSelectorAndAppliesOnlyOnApplyOrOk) {
    channel(2).sps_code = 12;  // 200 per second
    QWidget& panel = *open("set_triggers");
    EXPECT_EQ(panel.windowTitle(), "Trigger and Channels calibration");
    EXPECT_TRUE(s_.station->trigger_panel_open);
    click(*main_, "ch_plus");
    EXPECT_EQ(text_of(panel, "ch_selected"), "2");
    click(panel, "cmd_ch_plus");
    EXPECT_EQ(text_of(*main_, "ch_selected"), "3");
    click(panel, "cmd_ch_minus");
    type(panel, "start_threshold0", "40000");
    EXPECT_EQ(text_of(panel, "start_threshold0"), "32767");  // limited when left
    click(panel, "trig_cancel");
    EXPECT_FALSE(panel.isVisible() || s_.station->trigger_panel_open);
    EXPECT_EQ(channel(2).start_amplitude, 2000);  // Cancel stores nothing

    open("set_triggers");
    EXPECT_EQ(text_of(panel, "start_threshold0"), "2000");
    type(panel, "start_threshold2", "16");  // more than the ring holds at 200 per second
    type(panel, "txt_sensor_sensitivity", "0.5");
    choose(panel, "formato", 2);  // stored at once
    EXPECT_EQ(general().event_format, 2);
    click(panel, "trig_apply");
    EXPECT_EQ(s_.dialogs.shown.size(), 1u);
    EXPECT_EQ(text_of(panel, "start_threshold2") + text_of(panel, "lbl_data_output"), "1502.000000000");
    type(panel, "stop_threshold3", "3");
    click(panel, "trig_ok");
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(channel(2).max_event_minutes, 15 + channel(2).post_event_minutes);
    EXPECT_EQ(channel(1).pre_event_minutes, 2);
}

TEST_F(SetupWindowsTest, LockedSettingsDisableTheTriggerPanelsInputsAndTheBoxUnlocksWithThePassword) {
    QWidget& setup = *open("active");
    EXPECT_EQ(setup.windowTitle(), "Hardware and Miscellaneous Setup");
    click(setup, "lock_settings");
    EXPECT_EQ(general().settings_locked, 1);
    // The main window at once: what the lock holds, and what it leaves free.
    const char* held[] = {"all_trigger", "axis_select", "ch_review", "ch_enabled", "dc_offset", "drum", "elevation",
                          "extension", "location", "coordinates", "invert_data", "man_record0", "logging", "sps_select"};
    const char* left_free[] = {"alarm", "alarm_soglia", "y_scale", "ch_plus", "Command3"};
    for (const char* name : held) EXPECT_FALSE(child<QWidget>(*main_, name)->isEnabled()) << name;
    for (const char* name : left_free) EXPECT_TRUE(child<QWidget>(*main_, name)->isEnabled()) << name;
    EXPECT_FALSE(child<QWidget>(setup, "wd_timer")->isEnabled());
    EXPECT_TRUE(child<QWidget>(setup, "lock_settings")->isEnabled());
    EXPECT_TRUE(child<QWidget>(setup, "ad_type")->isEnabled());

    QWidget& panel = *open("set_triggers");
    for (const char* name : {"start_threshold0", "start_threshold5", "stop_threshold3", "mag_corr4",
                             "drum_scale", "txt_sensor_sensitivity", "txt_ad_range", "filter_delay",
                             "trigmode0", "trigmode1", "formato", "sensor_type", "measure_unit",
                             "cmd_default"}) {
        EXPECT_FALSE(child<QWidget>(panel, name)->isEnabled()) << name;
    }
    EXPECT_TRUE(save_picture(panel, "trigpanel_locked"));

    // A wrong password keeps the lock; the right one releases every window.
    QApplication::setActiveWindow(&setup);
    s_.dialogs.input_answers = {std::string("wrong"), std::string("")};
    click(setup, "lock_settings");
    EXPECT_TRUE(child<QCheckBox>(setup, "lock_settings")->isChecked());
    click(setup, "lock_settings");
    EXPECT_FALSE(child<QCheckBox>(setup, "lock_settings")->isChecked());
    EXPECT_EQ(general().settings_locked, 0);
    EXPECT_TRUE(child<QWidget>(panel, "formato")->isEnabled());
    EXPECT_TRUE(child<QWidget>(setup, "wd_timer")->isEnabled());
    for (const char* name : held) EXPECT_TRUE(child<QWidget>(*main_, name)->isEnabled()) << name;
}

TEST_F(SetupWindowsTest, PicturesAreTidyAndSaveWritesWhatWasApplied) {
    QWidget& panel = *open("set_triggers");
    type(panel, "start_threshold0", "1500");
    choose(panel, "sensor_type", 3);
    choose(panel, "measure_unit", 4);
    EXPECT_EQ(text_of(panel, "lbl_sensor"), "V/ um/ss");
    choose(panel, "filter_kind", 3);
    type(panel, "filter_low", "0.5");
    type(panel, "filter_high", "5");
    click(panel, "trig_apply");
    QWidget& setup = *open("active");
    type(setup, "purge_time", "0");
    click(setup, "never_purge");
    click(setup, "cmd_apply");
    for (QWidget* w : {&panel, &setup}) {
        w->resize(w->sizeHint().expandedTo(w->size()));
        QTest::qWait(30);
        EXPECT_LE(w->width(), 1280);
        EXPECT_LE(w->height(), 760);
        expect_tidy(*w);
    }
    EXPECT_TRUE(save_picture(panel, "trigpanel"));
    EXPECT_TRUE(save_picture(setup, "actions"));

    click(*main_, "Command3");
    const std::string saved = s_.read_file(app::files::settings);
    for (const char* line : {"STA=1500;2;2;1;30;3\r\n", "MSU= 4 \r\n", "PUG= 1\r\n",
                             "[END GENERAL]\r\n[TRIGGER]\r\nFILTER1=BP\r\nLOW1=0.5\r\nHIGH1=5\r\n"})
        EXPECT_NE(saved.find(line), std::string::npos) << line;
}

// Day tracks of channels 1 and 2 on 2003/02/03, 20 per second: 11:50:00 to
// 12:02:00, a pause, then 12:04:00 to 12:20:00 with a burst at 12:06.
void write_tracks(const std::filesystem::path& datalog) {
    std::filesystem::create_directories(datalog);
    for (int channel = 1; channel <= 2; ++channel) {
        std::string index, track;
        for (const auto& [start, minutes] : {std::pair{"2003/02/03 11:50:00", 12}, {"2003/02/03 12:04:00", 16}}) {
            index += datalog::index_start_group(start, 20, track.size());
            const auto t0 = *config::stamp_seconds(start);
            for (int k = 0; k < minutes * 1200; ++k) {
                const double t = static_cast<double>(t0 % 86400) + k / 20.0;
                const double burst = std::abs(t - 43560 - 20) < 20 ? 9000 * std::exp(-std::abs(t - 43570) / 6) : 0;
                const double v = 600 * std::sin(t * 0.9 * channel) + 250 * std::sin(t * 7.3) +
                                 burst * std::sin(t * 11);
                std::uint8_t bytes[2];
                datalog::encode_track_sample(static_cast<std::int32_t>(v), 2, bytes);
                track.append(reinterpret_cast<char*>(bytes), 2);
            }
        }
        index += datalog::index_stop_group("2003/02/03 12:20:00", track.size());
        std::ofstream(datalog / ("0203.ll" + std::to_string(channel)), std::ios::binary) << index;
        std::ofstream(datalog / ("0203.lg" + std::to_string(channel)), std::ios::binary) << track;
    }
}

// Pixels of the trace colour in the replay picture.
int trace_pixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) count += image.pixelColor(x, y) == palette_color(1);
    return count;
}

class ReviewWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        s_.clock.set(2003, 2, 3, 15, 0, 0);
        auto& g = s_.station->settings.general;
        g.ad_type = 0, g.review_path = s_.folder.string(), g.event_format = 1;
        g.review_chart_speed = 50, g.review_rows = 6, g.review_y_zoom = 40;
        for (auto& ch : s_.station->settings.channels) ch.file_extension = "z";
        s_.station->settings.channel(2).file_extension = "n";
        write_tracks(s_.folder / "datalog");
        std::filesystem::create_directories(s_.station->recorder.events_folder());
        main_ = open_main_window(s_);
        QTest::mouseClick(child<QPushButton>(*main_, "ch_review"), Qt::LeftButton);
        window_ = main_->review_window();
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
    }
    QString text(const char* name) { return text_of(*window_, name); }
    void enter(const char* name, const QString& typed) { type_into(*window_, name, typed); }
    void click(const char* name) { test::click(*window_, name); }
    QImage replay() { return child<ChartView>(*window_, "replay")->canvas().image(); }

    UiStation s_;
    std::unique_ptr<MainWindow> main_;
    ReviewWindow* window_ = nullptr;
};

TEST_F(ReviewWindowTest, ViewPagesClickAndExtractTwoChannels) {
    EXPECT_EQ(text("startviewdate"), "2003/02/03");
    EXPECT_EQ(text("startviewtime"), "00:00:00");
    enter("startviewtime", "11h58");
    EXPECT_EQ(text("startviewtime"), "11:58:00");
    click("ok_view");
    EXPECT_EQ(text("beg_time"), "11:58:00");
    EXPECT_EQ(text("end_time"), "12:03:00");
    EXPECT_EQ(text("viewfile"), "Replay of: 0203.lg1");
    EXPECT_GT(trace_pixels(replay()), 2000);
    EXPECT_TRUE(save_picture(*window_, "review_view"));

    click("nextpage");
    EXPECT_EQ(text("beg_time"), "12:03:00");
    EXPECT_EQ(text("end_time"), "12:08:00");
    EXPECT_TRUE(save_picture(*window_, "review_next_page"));

    // A click on the last row, half way: 12:03:00 + 250 s + 25 s.
    auto* picture = child<ChartView>(*window_, "replay");
    const QPoint at(picture->width() / 2, picture->height() - 5);
    QMouseEvent move(QEvent::MouseMove, at, picture->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(picture, &move);
    EXPECT_EQ(text("cursor"), "12:07:35");
    QTest::mouseClick(picture, Qt::LeftButton, {}, at);
    EXPECT_EQ(text("startviewtime"), "12:07:35");
    EXPECT_TRUE(save_picture(*window_, "review_after_click"));
    click("prevpage");
    EXPECT_EQ(text("beg_time"), "12:02:35");
    EXPECT_TRUE(save_picture(*window_, "review_previous_page"));

    // Two channels ticked: both files, the pause in them as "0" lines.
    click("rewind");
    EXPECT_EQ(text("beg_time"), "11:58:00");
    child<QCheckBox>(*window_, "chk_extract1")->click();
    child<QCheckBox>(*window_, "chk_extract2")->click();
    EXPECT_EQ(s_.station->settings.general.extract_channel_mask, 3);
    enter("duration", "10");
    click("extract");
    EXPECT_TRUE(s_.dialogs.shown.empty());
    for (const char* name : {"030203.115800.z", "030203.115800.n"}) {
        const std::string file = s_.read_file(std::string("events/") + name);
        EXPECT_NE(file.find("Number of Samples: 12000\r\n"), std::string::npos) << name;
        EXPECT_NE(file.find("\r\n0\r\n"), std::string::npos) << name;
    }
    EXPECT_TRUE(child<QPushButton>(*window_, "extract")->isEnabled());
    EXPECT_TRUE(text("notice").contains("030203.115800.n, 12000 samples"));
}

TEST_F(ReviewWindowTest, EventsListsWhatTheTriggerAsSetNowFindsInTheDay) {
    config::ChannelSettings& ch = s_.station->settings.channel(1);
    ch.sps_code = 8, ch.record_enabled = 1, ch.trigger_mode = 1, ch.start_params = "2000,2,0.1,1,30,3", ch.stop_params = "1800,0.2,2,5";
    config::expand_start_params(ch), config::expand_stop_params(ch), config::recompute_event_lengths(ch);
    click("cmd_events");
    const QStringList lines = text("notice").split('\n');
    ASSERT_GE(lines.size(), 3) << text("notice").toStdString();
    EXPECT_TRUE(lines[0].startsWith("Events of channel 1 on 2003/02/03 with the trigger settings as they are now: 1 event,"))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("1  2003/02/03 12:0")) << lines[1].toStdString();
    EXPECT_TRUE(lines.contains("Channel 1: nothing recorded from 2003/02/03 12:02:00 to 2003/02/03 12:04:00."))
        << text("notice").toStdString();
    EXPECT_TRUE(save_picture(*window_, "review_events"));
}

TEST_F(ReviewWindowTest, DrumShowsTheSavedPictureOfTheDateWithoutTouchingTheLiveDrum) {
    s_.station->settings.general.drum_format = 0;  // BMP
    const auto drums = s_.folder / "drums";
    std::filesystem::create_directories(drums);
    std::ofstream(drums / "drum_1.dat", std::ios::binary) << "2003/02/03\r\n 3\r\n";
    QImage today(360, 80, QImage::Format_RGB32), before(300, 60, QImage::Format_RGB32);
    today.fill(Qt::white), before.fill(Qt::yellow);
    for (int x = 0; x < 360; ++x) today.setPixel(x, 40 + static_cast<int>(20 * std::sin(x / 9.0)), 0x0000FF);
    ASSERT_TRUE(today.save(QString::fromStdString((drums / "drum_1.BMP").string()), "BMP"));
    ASSERT_TRUE(before.save(QString::fromStdString((drums / "drum_030202_1.bmp").string()), "BMP"));
    const std::pair<const char*, QSize> cases[] = {{"2003/02/03", {360, 80}}, {"2003/02/02", {300, 60}}, {"2003/02/01", {}}};
    for (const auto& [date, size] : cases) {  // an empty size: no picture
        enter("startviewdate", date);
        click("cmd_drum");
        auto* view = window_->drum_picture_window(1);
        if (size.isEmpty()) {
            EXPECT_EQ(text("notice"), QString("No drum picture of channel 1 for ") + date + ".");
            continue;
        }
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->picture().size(), size) << date;
        EXPECT_EQ(view->windowTitle(), QString("Drum CH 1 - ") + date);
        EXPECT_TRUE(save_picture(*view, QString("review_drum_") + date[9]));
    }
    EXPECT_EQ(main_->drum_window(1), nullptr);  // no live drum window was made
    EXPECT_EQ(today.size(), QImage(QString::fromStdString((drums / "drum_1.BMP").string())).size());
}

}  // namespace
}  // namespace tw::ui::test
