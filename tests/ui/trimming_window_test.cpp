// The clock trimming window: its fields follow the trimming model (whose
// cases are tests/acquisition's), its buttons reach the logic, the trace
// list. The main window's tests open it in service mode.

#include "ui/trimming_window.h"

#include "acquisition/sample_path.h"
#include "config/tables.h"
#include "fakes/fake_platform.h"
#include "ui_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <array>

namespace tw::ui::test {
namespace {

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
