// The clock windows: the time setting window's widgets follow the model of
// the clock logic (whose cases are tests/acquisition's), typing and the focus
// behave, the synchronisation chart and the colour scale are drawn; the clock
// trimming window's fields follow the trimming model, its buttons reach the
// logic, and its trace list (the main window's tests open it in service mode).

#include "ui/settime_window.h"

#include "acquisition/packet_decoder.h"
#include "acquisition/sample_path.h"
#include "config/tables.h"
#include "fakes/fake_platform.h"
#include "ui/main_window.h"
#include "ui/panel_widgets.h"
#include "ui/trimming_window.h"
#include "ui_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <array>

namespace tw::ui::test {
namespace {

// Pixel columns of a picture in palette colour 10 (a marked minute).
int marked_columns(const QImage& image) {
    int count = 0;
    for (int x = 0; x < image.width(); ++x) count += image.pixelColor(x, image.height() / 2) == palette_color(10);
    return count;
}

// A station on fakes at 2003/02/25 07:05:09 with its board port open, and
// the time setting window opened by the main window's Time Set button.
class SettimeWindowTest : public ::testing::Test {
protected:
    SettimeWindowTest() {
        s_.clock.set(2003, 2, 25, 7, 5, 9);
        app::Station& station = *s_.station;
        station.pc_formats.system_date_format = "YYYY/MM/DD";
        station.settings.general.sync_source_dcf = 1;
        station.settings.sync_source_text = "DCF";
        station.settings.general.gmt_correction = 0;
        station.settings.general.pc_rtc = 1;  // the fake PC clock is left alone
        supervision::refresh_pc_clock_texts(s_.clock, station.pc_clock);
        station.board_clock.set_board_date_from_pc();
        EXPECT_TRUE(s_.serial.open(nullptr));
    }
    void open() {
        if (!main_) main_ = open_main_window(s_);
        QTest::mouseClick(child<QPushButton>(*main_, "timeset"), Qt::LeftButton);
        window_ = main_->settime_window();
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
    }
    void activate() {
        QApplication::setActiveWindow(window_);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_));
    }
    template <typename W>
    W* get(const char* name) {
        return child<W>(*window_, name);
    }
    QString text(const char* name) { return text_of(*window_, name); }
    void click(const char* name) { test::click(*window_, name); }
    // Types into a field and presses Enter (which checks it).
    void enter(const char* name, const QString& typed) { type_into(*window_, name, typed); }
    // Types into a field, wherever the focus is, without leaving or checking it.
    void type(const char* name, const QString& typed) {
        auto* edit = get<QLineEdit>(name);
        edit->selectAll();
        QTest::keyClicks(edit, typed);
    }
    bool time_packet(int hours, int minutes, int seconds, int status) {
        const auto packet = acquisition::encode_time_packet(hours, minutes, seconds, std::uint8_t(status));
        return s_.station->board_clock.handle_time_packet(packet);
    }
    config::GeneralSettings& general() { return s_.station->settings.general; }

    UiStation s_;
    std::unique_ptr<MainWindow> main_;
    SettimeWindow* window_ = nullptr;
};

TEST_F(SettimeWindowTest, ShowsThePcClockAndTheSettingsAndTheButtonsReachTheModel) {
    general().pc_sync = 1;
    general().sync_every = 3;
    open();
    EXPECT_EQ(window_->windowTitle(), "TIME SET");
    EXPECT_TRUE(s_.station->settime_open);
    QStringList shown;
    for (const char* name : {"v_year", "v_month", "v_day", "v_hours", "v_minutes", "v_seconds", "v_gmt", "realtime"})
        shown << text(name);
    // DCF77: one hour more than the setting.
    EXPECT_EQ(shown.join(' '), "2003 02 25 07 05 09 1 2003/02/25 07:05:09");
    EXPECT_TRUE(get<QRadioButton>("option_sync1")->isChecked() && !get<QRadioButton>("option_sync2")->isChecked());
    EXPECT_TRUE(get<QCheckBox>("pc_rtc")->isChecked() && get<QCheckBox>("pc_sync")->isChecked());
    auto* every = get<QComboBox>("sync_every");
    EXPECT_EQ(every->currentIndex(), 3);
    // pc_sync enables the list at every click; only OK stores it.
    click("pc_sync");
    EXPECT_FALSE(every->isEnabled());
    click("pc_sync");
    EXPECT_TRUE(every->isEnabled());
    every->setCurrentIndex(5);
    emit every->activated(5);
    click("notimeset");
    EXPECT_FALSE(window_->isVisible() || s_.station->settime_open);
    EXPECT_EQ(std::tuple(general().pc_sync, general().sync_every), std::tuple(1, 3));

    // OK stores the DCF correction one hour less and sends nothing; the
    // window shows it again.
    open();
    enter("v_gmt", "1");
    click("ok_time");
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(std::tuple(general().gmt_correction, general().sync_source_dcf), std::tuple(0, 1));
    EXPECT_TRUE(s_.serial.writes().empty());
    open();
    EXPECT_EQ(text("v_gmt"), "1");

    // SET TIME (GPS: the correction as typed) sends the clock and the zone,
    // logs it and leaves the window open.
    click("option_sync2");
    enter("v_gmt", "-5");
    click("oktimeset");
    EXPECT_EQ(s_.serial.writes(), (std::vector<std::string>{std::string("\x83\x09\x05\x07\x00\x00", 6),
                                                            std::string("\x82\xFB\xFB\xFB\xFB\xFB", 6)}));
    EXPECT_EQ(std::tuple(general().gmt_correction, general().sync_source_dcf), std::tuple(-5, 0));
    EXPECT_NE(s_.station->event_list.read_lines().back().find("Time manually set at 07:05:09"), std::string::npos);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_TRUE(s_.dialogs.messages().empty());
}

TEST_F(SettimeWindowTest, AValueTypedAndNeverCheckedIsNeitherSentNorStoredAndABadFieldKeepsTheFocus) {
    open();
    activate();
    get<QLineEdit>("v_hours")->setFocus();
    type("v_hours", "99");
    click("oktimeset");  // straight from the field: one message, nothing sent
    EXPECT_EQ(s_.dialogs.messages(), std::vector<std::string>{"Insert a valid hour (00..23) | Check Hour Value"});
    EXPECT_TRUE(s_.serial.writes().empty());
    EXPECT_TRUE(get<QLineEdit>("v_hours")->hasFocus());

    enter("v_hours", "07");
    type("v_gmt", "30");  // typed without the field ever being left
    click("ok_time");
    ASSERT_EQ(s_.dialogs.messages().size(), 2u);
    EXPECT_EQ(s_.dialogs.messages()[1], "Insert a valid GMT correction (-23..+23) | Check GMT Value");
    EXPECT_EQ(general().gmt_correction, 0);
    EXPECT_TRUE(window_->isVisible());

    enter("v_gmt", "2");
    click("oktimeset");
    EXPECT_EQ(s_.serial.writes().size(), 2u);
    EXPECT_EQ(s_.dialogs.messages().size(), 2u);

    // A field's check shows its message and keeps the value and the focus.
    s_.dialogs.shown.clear();
    enter("v_day", "32");
    EXPECT_EQ(s_.dialogs.messages(), std::vector<std::string>{"Insert a valid DAY (01..31) | Check DAY Value"});
    EXPECT_EQ(text("v_day"), "32");  // the value stays
    EXPECT_TRUE(get<QLineEdit>("v_day")->hasFocus());
    enter("v_day", "31");
    enter("v_year", "1989");
    ASSERT_EQ(s_.dialogs.messages().size(), 2u);
    EXPECT_TRUE(get<QLineEdit>("v_year")->hasFocus());

    // Leaving the bad field checks it again and brings the focus back; the
    // field the focus was going to is not checked then (two bad fields
    // would otherwise take the focus from each other for ever).
    type("v_month", "13");
    QTest::keyClick(get<QLineEdit>("v_year"), Qt::Key_Tab);
    EXPECT_TRUE(get<QLineEdit>("v_year")->hasFocus());
    ASSERT_EQ(s_.dialogs.messages().size(), 3u);
    EXPECT_EQ(s_.dialogs.messages()[2], s_.dialogs.messages()[1]);
    // Cancel leaves without a check.
    click("notimeset");
    EXPECT_EQ(s_.dialogs.messages().size(), 3u);
    EXPECT_FALSE(window_->isVisible());
}

TEST_F(SettimeWindowTest, TheChartShowsEverySynchronisedMinuteUntilClearedAndTheColourScaleIsDrawn) {
    ASSERT_TRUE(time_packet(0, 0, 30, 0x20));  // minute 0, left edge, flagged before opening
    ASSERT_TRUE(time_packet(0, 0, 31, 0));
    open();
    auto* chart = get<PictureBox>("dcfchart");
    EXPECT_EQ(chart->image().size(), chart->image_size());
    EXPECT_EQ(chart->image().pixelColor(0, 5), palette_color(10));
    EXPECT_EQ(marked_columns(chart->image()), 1);

    ASSERT_TRUE(time_packet(7, 5, 10, 0x20 | 0x40));
    const acquisition::SettimeModel& m = s_.station->time_setting.model();
    EXPECT_EQ(text("ad_clock"), "2003/02/25 07:05:10");
    for (const auto& [name, value] : {std::pair{"timestatus", &m.timestatus}, {"lastsync", &m.lastsync},
                                      {"hour_type", &m.hour_type}})
        EXPECT_EQ(text(name).toStdString(), *value) << name;
    EXPECT_EQ(child<Lamp>(*window_, "sync_indicator")->color(), 10);
    // Minute 425 of 1441 across the picture, also after a resize.
    window_->resize(window_->width() + 200, window_->height());
    QCoreApplication::processEvents();
    const QImage marked = chart->image();
    EXPECT_EQ(marked.size(), chart->image_size());
    EXPECT_EQ(marked.pixelColor(425 * marked.width() / 1441, marked.height() / 2), palette_color(10));
    EXPECT_GE(marked_columns(marked), 2);
    EXPECT_LE(marked_columns(marked), 3);
    ASSERT_TRUE(time_packet(7, 5, 11, 0));
    EXPECT_EQ(child<Lamp>(*window_, "sync_indicator")->color(), 8);

    // The colour scale, from black to red, drawn on a click (its values are
    // the clock logic's table).
    auto* picture = get<PictureBox>("Picture1");
    EXPECT_EQ(picture->image().pixelColor(0, 5), picture->image().pixelColor(picture->image().width() - 1, 5));
    click("Command1");
    const QImage scale = picture->image();
    EXPECT_EQ(scale.size(), picture->image_size());
    EXPECT_EQ(scale.pixelColor(0, 5), QColor(0, 0, 0));
    EXPECT_EQ(scale.pixelColor(scale.width() - 1, 5), QColor(255, 0, 0));
    EXPECT_TRUE(save_picture(*window_, "settime"));

    QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(marked_columns(chart->image()), 0);
    EXPECT_EQ(s_.station->board_clock.sync().sync_minutes[425], 0);
    ASSERT_TRUE(time_packet(7, 6, 0, 0x20));
    EXPECT_GE(marked_columns(chart->image()), 1);
    s_.station->board_clock.stop_run();
    EXPECT_EQ(marked_columns(chart->image()), 0);
}

using acquisition::ClockTrimming;
using acquisition::ClockTrimmingContext;

// The trimming logic on fakes, channel 1 at 100 samples per second, the
// board's firmware and a running acquisition; its window shown.
class TrimmingWindowTest : public ::testing::Test {
protected:
    TrimmingWindowTest() {
        settings.channels[0].sps_code = 11;
        sample_path.start_run(config::orda10, settings);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    QString text(const char* name) { return text_of(*window, name); }
    void type(const char* name, const QString& typed) {
        auto* edit = child<QLineEdit>(*window, name);
        edit->selectAll();
        QTest::keyClicks(edit, typed);
    }
    // A measurement over 100 s with one sample too many: one correction
    // every 10000 samples (hex 2710).
    void measure() {
        trimming.measure_on_sync("2003/02/03 12:00:00");
        for (int i = 0; i < 10001; ++i) sample_path.take_sample(0, 0);
        trimming.measure_on_sync("2003/02/03 12:01:40");
    }

    config::Settings settings;
    acquisition::SamplePath sample_path;
    fakes::FakeDialogs dialogs;
    bool window_open = false;
    std::vector<std::string> commands;
    ClockTrimming trimming{ClockTrimmingContext{settings, sample_path, dialogs, window_open,
                                                [] { return std::string("1.40"); }, [] { return true; },
                                                [this](std::string_view b) { return commands.emplace_back(b), true; }}};
    std::unique_ptr<TrimmingWindow> window = std::make_unique<TrimmingWindow>(trimming);
};

TEST_F(TrimmingWindowTest, FieldsFollowTheMeasurementButtonsWriteAndReadAndTheTraceListClears) {
    EXPECT_EQ(window->windowTitle(), "A/D Card Clock Trimming (use channel 1 at 100 sps)");
    EXPECT_TRUE(window_open);
    trimming.measure_on_sync("2003/02/03 12:00:00");
    EXPECT_EQ(text("firsttime") + "|" + text("trimmevery") + "|" + text("prev_sync"), "2003/02/03 12:00:00|Wait...|");
    measure();
    QStringList shown;
    for (const char* name : {"prev_sync", "ad_received", "ad_tlapsed", "trimmevery", "dataset"}) shown << text(name);
    EXPECT_EQ(shown.join('|'), "2003/02/03 12:01:40|10001|100|10000|XX 10 27 00 01 XX XX XX XX");
    click(*window, "set_trim_data");
    type("txt_error", "2");
    EXPECT_EQ(text("dataset") + "|" + text("txt_manual_trim"), "XX C0 A8 00 01 XX XX XX XX|C0 A8 00 01");
    type("txt_manual_trim", "12 34 56 01");
    click(*window, "cmd_manual_trim");
    click(*window, "nulltrimm");
    EXPECT_EQ(text("dataset"), "XX FF FF FF 02 XX XX XX XX");
    EXPECT_EQ(commands, (std::vector<std::string>{std::string("\x85\x10\x27\x00\x01\x00", 6),
                                                  std::string("\x85\x12\x34\x56\x01\x00", 6),
                                                  std::string("\x85\xFF\xFF\xFF\x02\x00", 6)}));
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"Check the settings reading the values. | Clock Trimming"});
    click(*window, "eeread");
    EXPECT_EQ(text("eeprom"), "");
    for (const std::uint8_t value : {0x00, 0x10, 0x27, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF})
        trimming.eeprom_reply(std::array<std::uint8_t, 3>{0x86, value, 0xF0});
    EXPECT_EQ(text("eeprom"), " 00 10 27 00 01 FF FF FF FF");

    // The trace list in service mode only, as long as the model keeps it,
    // across closing; a double click clears it.
    auto* list = child<QListWidget>(*window, "List1");
    trimming.add_trace_line("not in service mode");
    EXPECT_EQ(list->count(), 0);
    settings.general.service_mode = 1;
    const auto limit = acquisition::TrimmingModel::max_list_lines;
    for (std::size_t i = 0; i < limit + 3; ++i) trimming.add_trace_line("ncamp: " + std::to_string(i));
    ASSERT_EQ(list->count(), static_cast<int>(limit));
    EXPECT_EQ(list->item(0)->text(), "ncamp: 3");
    EXPECT_TRUE(save_picture(*window, "trimming"));
    window->close();
    EXPECT_FALSE(window_open);
    EXPECT_EQ(text("firsttime"), "");  // closing unloads what it showed
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(list->count(), static_cast<int>(limit));
    // A view takes a double click only after the press that starts it.
    const QPoint at = list->visualItemRect(list->item(0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(list->count(), 0);
    EXPECT_TRUE(trimming.model().list1.empty());
}

}  // namespace
}  // namespace tw::ui::test
