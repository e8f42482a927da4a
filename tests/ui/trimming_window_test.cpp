#include "ui/trimming_window.h"

#include "acquisition/sample_path.h"
#include "config/tables.h"
#include "fakes/fake_platform.h"
#include "ui/main_window.h"
#include "ui_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace tw::ui::test {
namespace {

using acquisition::ClockTrimming;
using acquisition::ClockTrimmingContext;

std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int v : values) text.push_back(static_cast<char>(v));
    return text;
}

// The trimming logic on fakes, with the board's firmware and the running
// acquisition under the test's control, and its window shown.
class TrimmingWindowTest : public ::testing::Test {
protected:
    TrimmingWindowTest() {
        settings.channels[0].sps_code = 11;  // 100 samples per second
        sample_path.start_run(config::orda10, settings);
        window = std::make_unique<TrimmingWindow>(trimming);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    QString text(const char* name) {
        if (auto* edit = window->findChild<QLineEdit*>(name)) return edit->text();
        return child<QLabel>(*window, name)->text();
    }
    void click(const char* name) { QTest::mouseClick(child<QPushButton>(*window, name), Qt::LeftButton); }
    void type_into(const char* name, const QString& typed) {
        auto* edit = child<QLineEdit>(*window, name);
        edit->selectAll();
        QTest::keyClicks(edit, typed);
    }
    void samples(int count) {
        for (int i = 0; i < count; ++i) sample_path.take_sample(0, 0);
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& shown : dialogs.shown) texts.push_back(shown.text);
        return texts;
    }

    config::Settings settings;
    acquisition::SamplePath sample_path;
    fakes::FakeDialogs dialogs;
    bool window_open = false;
    std::string firmware = "1.40";
    bool running = true;
    std::vector<std::string> commands;
    ClockTrimming trimming{ClockTrimmingContext{settings, sample_path, dialogs, window_open,
                                                [this] { return firmware; },
                                                [this] { return running; },
                                                [this](std::string_view b) {
                                                    commands.emplace_back(b);
                                                    return true;
                                                }}};
    std::unique_ptr<TrimmingWindow> window;
};

TEST_F(TrimmingWindowTest, ShowingOpensAndClosingUnloads) {
    EXPECT_EQ(window->windowTitle(), "A/D Card Clock Trimming (use channel 1 at 100 sps)");
    EXPECT_EQ(window->objectName(), "trimming");
    EXPECT_TRUE(window_open);
    trimming.measure_on_sync("2003/02/03 12:00:00");
    EXPECT_EQ(text("firsttime"), "2003/02/03 12:00:00");

    window->close();
    EXPECT_FALSE(window_open);
    EXPECT_EQ(text("firsttime"), "");  // an unloaded window forgets what it showed
    window->show();
    EXPECT_TRUE(window_open);
}

TEST_F(TrimmingWindowTest, MeasurementAtEachSynchronisationShowsNAndTheImage) {
    trimming.measure_on_sync("2003/02/03 12:00:00");
    EXPECT_EQ(text("trimmevery"), "Wait...");
    EXPECT_EQ(text("prev_sync"), "");
    // 100 seconds at 100 samples per second, one sample too many: one
    // correction every 10000 samples (hex 2710).
    samples(10001);
    trimming.measure_on_sync("2003/02/03 12:01:40");
    EXPECT_EQ(text("prev_sync"), "2003/02/03 12:01:40");
    EXPECT_EQ(text("ad_received"), "10001");
    EXPECT_EQ(text("ad_tlapsed"), "100");
    EXPECT_EQ(text("trimmevery"), "10000");
    EXPECT_EQ(text("dataset"), "XX 10 27 00 01 XX XX XX XX");

    click("set_trim_data");
    EXPECT_EQ(commands, std::vector<std::string>{bytes({0x85, 0x10, 0x27, 0x00, 0x01, 0x00})});

    // A new run starts the measurement over at its first synchronisation.
    trimming.restart_measurement();
    EXPECT_EQ(text("firsttime"), "");
    EXPECT_EQ(text("prev_sync"), "");
}

TEST_F(TrimmingWindowTest, TypedErrorFillsImageAndManualBytesWhichAreWritten) {
    type_into("txt_error", "2");
    EXPECT_EQ(text("dataset"), "XX C0 A8 00 01 XX XX XX XX");
    EXPECT_EQ(text("txt_manual_trim"), "C0 A8 00 01");

    type_into("txt_manual_trim", "12 34 56 01");
    click("cmd_manual_trim");
    click("nulltrimm");
    EXPECT_EQ(text("dataset"), "XX FF FF FF 02 XX XX XX XX");
    EXPECT_EQ(commands, (std::vector<std::string>{bytes({0x85, 0x12, 0x34, 0x56, 0x01, 0x00}),
                                                  bytes({0x85, 0xFF, 0xFF, 0xFF, 0x02, 0x00})}));
    EXPECT_EQ(messages(), std::vector<std::string>{"Check the settings reading the values."});
}

TEST_F(TrimmingWindowTest, EepromReadShowsTheNineRepliesInOrder) {
    trimming.eeprom_reply(std::uint8_t{0x55});  // left over from before
    click("eeread");
    EXPECT_EQ(text("eeprom"), "");
    const int image[] = {0x00, 0x10, 0x27, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF};
    for (int value : image) {
        const std::uint8_t packet[] = {0x86, static_cast<std::uint8_t>(value), 0xF0};
        trimming.eeprom_reply(packet);
    }
    EXPECT_EQ(text("eeprom"), " 00 10 27 00 01 FF FF FF FF");
    ASSERT_EQ(commands.size(), 9u);
    EXPECT_EQ(commands[8], bytes({0x86, 8, 0, 0, 0, 0}));
}

TEST_F(TrimmingWindowTest, TraceListFollowsTheModelAndDoubleClickClearsIt) {
    auto* list = child<QListWidget>(*window, "List1");
    trimming.add_trace_line("not in service mode");
    EXPECT_EQ(list->count(), 0);
    settings.general.service_mode = 1;
    const auto limit = acquisition::TrimmingModel::max_list_lines;
    for (std::size_t i = 0; i < limit + 3; ++i) trimming.add_trace_line("ncamp: " + std::to_string(i));
    ASSERT_EQ(list->count(), static_cast<int>(limit));
    EXPECT_EQ(list->item(0)->text(), "ncamp: 3");
    EXPECT_EQ(list->item(list->count() - 1)->text(),
              QString::fromStdString("ncamp: " + std::to_string(limit + 2)));

    // Closing keeps the trace; a double click on a line clears it.
    window->close();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(list->count(), static_cast<int>(limit));
    QListWidgetItem* item = list->item(0);
    list->scrollToItem(item);
    const QPoint at = list->visualItemRect(item).center();
    // A view takes a double click only after the press that starts it.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(list->count(), 0);
    EXPECT_TRUE(trimming.model().list1.empty());
}

TEST_F(TrimmingWindowTest, Picture) {
    settings.general.service_mode = 1;
    trimming.measure_on_sync("2003/02/03 12:00:00");
    samples(10001);
    trimming.measure_on_sync("2003/02/03 12:01:40");
    click("eeread");
    for (int value : {0x00, 0x10, 0x27, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF}) {
        trimming.eeprom_reply(static_cast<std::uint8_t>(value));
    }
    type_into("txt_manual_trim", "10 27 00 01");
    trimming.add_trace_line("startime(0)=2003/02/03 12:00:07 ad_timer$(0)=.250 xspsv=100");
    trimming.add_trace_line("ncamp: 1000 z1:501 z2:1500");
    trimming.add_trace_line("l_evento(0)=3000");
    EXPECT_TRUE(save_picture(*window, "trimming"));
}

// The main window opens the trimming window at start in service mode only.
TEST(TrimmingWindowStartup, ServiceModeOpensItBesideTheMainWindow) {
    for (const bool service : {false, true}) {
        UiStation s;
        app::StartupResult startup;
        startup.open_trimming = service;
        MainWindow main_window(*s.station, startup);
        main_window.set_quit_handler([] {});
        main_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&main_window));
        QCoreApplication::processEvents();
        TrimmingWindow* trimming = main_window.trimming_window();
        if (!service) {
            EXPECT_EQ(trimming, nullptr);
            EXPECT_FALSE(s.station->trim_window_open);
            continue;
        }
        ASSERT_NE(trimming, nullptr);
        EXPECT_TRUE(trimming->isVisible());
        EXPECT_TRUE(s.station->trim_window_open);
        // The station's trace reaches the window's list.
        s.station->settings.general.service_mode = 1;
        s.station->trimming.add_trace_line("l_evento(0)=3000");
        EXPECT_EQ(child<QListWidget>(*trimming, "List1")->count(), 1);
        // Without a run the station refuses the read.
        QTest::mouseClick(child<QPushButton>(*trimming, "eeread"), Qt::LeftButton);
        ASSERT_FALSE(s.dialogs.shown.empty());
        EXPECT_EQ(s.dialogs.shown.back().text, ClockTrimming::not_running_message);
        EXPECT_TRUE(s.serial.writes().empty());
    }
}

}  // namespace
}  // namespace tw::ui::test
