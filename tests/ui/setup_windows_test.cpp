// The trigger panel and the hardware setup window, opened by the main
// window's TRIGGERS and HW Setup buttons and driven as a user would.

#include "config/tables.h"
#include "ui/hardware_setup_window.h"
#include "ui/main_window.h"
#include "ui/panel_widgets.h"
#include "ui/trigger_panel_window.h"
#include "ui_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace tw::ui::test {
namespace {

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
    for (const char* line : {"STA=1500;2;2;1;30;3\r\n", "MSU= 4 \r\n", "PUG= 1\r\n"})
        EXPECT_NE(saved.find(line), std::string::npos) << line;
}

}  // namespace
}  // namespace tw::ui::test
