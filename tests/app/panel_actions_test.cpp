#include "app/panel_actions.h"

#include "config/settings_file.h"
#include "config/tables.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_serial_port.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tw::app {
namespace {

namespace fs = std::filesystem;

class PanelActionsTest : public ::testing::Test {
protected:
    PanelActionsTest()
        : folder_(fs::temp_directory_path() /
                  ("tw_panel_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                   "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name())),
          pump_(clock_),
          station_((fs::remove_all(folder_), fs::create_directories(folder_), folder_),
                   Services{serial_, clock_, dialogs_, disk_, launcher_, pump_}) {
        config::load_settings(station_.path(files::settings), station_.program_folder(),
                              station_.settings);
    }
    ~PanelActionsTest() override {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    fs::path folder_;
    fakes::FakeClock clock_;
    fakes::FakeEventPump pump_;
    fakes::FakeSerialPort serial_;
    fakes::FakeDialogs dialogs_;
    fakes::FakeDisk disk_;
    fakes::FakeLauncher launcher_;
    Station station_;
};

TEST_F(PanelActionsTest, ShowingAChannelLimitsItsYScaleAndFlagsBadListCodes) {
    station_.settings.channel(2).y_scale = 0;
    station_.settings.channel(3).y_scale = 5000;
    station_.settings.channel(3).sps_code = 13;
    station_.settings.channel(3).axis_code = -1;
    select_channel(station_, 2);
    EXPECT_EQ(station_.settings.channel(2).y_scale, 1);
    select_channel(station_, 3);
    EXPECT_EQ(station_.settings.channel(3).y_scale, 1000);
    const ChannelView v = channel_view(station_);
    EXPECT_EQ(v.sps_index, -1);
    EXPECT_EQ(v.axis_index, -1);
    select_channel(station_, 9);
    EXPECT_EQ(station_.selected_channel, 4);
}

TEST_F(PanelActionsTest, DcOffsetIsLimitedAndStoredIntoTheSelectedChannelOnly) {
    select_channel(station_, 2);
    EXPECT_EQ(store_dc_offset(station_, "40000"), "32000");
    EXPECT_EQ(station_.settings.channel(2).dc_offset, 32000);
    EXPECT_EQ(store_dc_offset(station_, "-32500"), "-32000");
    EXPECT_EQ(station_.settings.channel(2).dc_offset, -32000);
    EXPECT_EQ(store_dc_offset(station_, " -120"), "-120");
    EXPECT_EQ(station_.settings.channel(2).dc_offset, -120);
    EXPECT_EQ(store_dc_offset(station_, "12.5"), "12");  // stored whole, shown as stored
    EXPECT_EQ(station_.settings.channel(2).dc_offset, 12);
    EXPECT_EQ(store_dc_offset(station_, "garbage"), " 0");
    EXPECT_EQ(station_.settings.channel(2).dc_offset, 0);
    for (int n : {1, 3, 4}) EXPECT_EQ(station_.settings.channel(n).dc_offset, 0) << n;
}

TEST_F(PanelActionsTest, AlarmThresholdStaysWithinZeroAndTheMaximum) {
    select_channel(station_, 3);
    const int before = station_.settings.channel(1).alarm_threshold;
    EXPECT_EQ(store_alarm_threshold(station_, "-5"), " 0");
    EXPECT_EQ(station_.settings.channel(3).alarm_threshold, 0);
    EXPECT_EQ(store_alarm_threshold(station_, "99999"), "32000");
    EXPECT_EQ(station_.settings.channel(3).alarm_threshold, 32000);
    EXPECT_EQ(store_alarm_threshold(station_, "4500"), "4500");
    EXPECT_EQ(station_.settings.channel(3).alarm_threshold, 4500);
    EXPECT_EQ(station_.settings.channel(1).alarm_threshold, before);
}

TEST_F(PanelActionsTest, YScaleGoesToAllChannelsOnlyWithZallch) {
    select_channel(station_, 2);
    EXPECT_EQ(store_y_scale(station_, 25), "25 X");
    EXPECT_EQ(station_.settings.channel(2).y_scale, 25);
    EXPECT_EQ(station_.settings.channel(1).y_scale, 10);
    store_y_scale_all_channels(station_, true);
    EXPECT_EQ(store_y_scale(station_, 3000), "1000 X");
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(station_.settings.channel(n).y_scale, 1000) << n;
    EXPECT_EQ(station_.settings.general.y_scale_all_channels, 1);
}

TEST_F(PanelActionsTest, ExtensionKeepsThreeCharactersThatCanStandInAFileName) {
    select_channel(station_, 4);
    EXPECT_EQ(store_extension(station_, "z1"), "z1");
    EXPECT_EQ(store_extension(station_, "abcdef"), "abc");
    EXPECT_EQ(store_extension(station_, "../x y"), "..x");
    EXPECT_EQ(store_extension(station_, "a\\\tb"), "ab");
    EXPECT_EQ(station_.settings.channel(4).file_extension, "ab");
    EXPECT_EQ(station_.settings.channel(1).file_extension, "ex1");
}

TEST_F(PanelActionsTest, RateChangeRecomputesTheEventLengthsOfThatChannel) {
    select_channel(station_, 2);
    const int axis_of_one = station_.settings.channel(1).axis_code;
    auto& ch = station_.settings.channel(2);
    ch.pre_event_minutes = 2;
    ch.post_event_minutes = 4;
    ch.max_event_minutes = 5000;
    rate_changed(station_, 10);  // 50 samples per second
    EXPECT_EQ(ch.sps_code, 10);
    EXPECT_DOUBLE_EQ(ch.pre_event_samples, 6000);
    EXPECT_DOUBLE_EQ(ch.post_event_samples, 12000);
    EXPECT_DOUBLE_EQ(ch.max_event_samples, 1e6);  // capped
    rate_changed(station_, 42);                   // not in the list: ignored
    EXPECT_EQ(ch.sps_code, 10);
    axis_changed(station_, 4);
    EXPECT_EQ(ch.axis_code, 4);
    EXPECT_EQ(station_.settings.channel(1).axis_code, axis_of_one);
}

TEST_F(PanelActionsTest, GeneralControlsAndStationTexts) {
    store_no_charts(station_, true);
    store_chart_speed(station_, 500);
    EXPECT_EQ(station_.settings.general.no_charts, 1);
    EXPECT_EQ(station_.settings.general.chart_speed, panel_limits::chart_speed_max);
    EXPECT_EQ(store_station_text(station_, StationText::location, "Top\r\nHill"), "TopHill");
    store_station_text(station_, StationText::coordinates, "45.1N 9.2E");
    store_station_text(station_, StationText::elevation, "120");
    const GeneralView g = general_view(station_);
    EXPECT_EQ(g.location, "TopHill");
    EXPECT_EQ(g.coordinates, "45.1N 9.2E");
    EXPECT_EQ(g.elevation, "120");
    EXPECT_TRUE(g.nocharting);
    EXPECT_FALSE(g.zallch);

    int notified = 0;
    station_.panel.changed = [&] { ++notified; };
    station_.panel.badrx = "17";
    reset_bad_packet_count(station_);
    EXPECT_EQ(station_.panel.badrx, "0");
    EXPECT_EQ(notified, 1);
}

TEST_F(PanelActionsTest, LockAndRunningAcquisitionDisableTheirControls) {
    EXPECT_TRUE(panel_lock(station_).settings_controls);
    station_.settings.general.ad_type = config::infiltec;
    EXPECT_FALSE(panel_lock(station_).sps_select);
    EXPECT_TRUE(panel_lock(station_).logging);
    station_.settings.general.ad_type = config::orda20;
    station_.panel.logging_enabled = false;  // acquisition running
    station_.panel.sps_select_enabled = false;
    EXPECT_FALSE(panel_lock(station_).logging);
    EXPECT_FALSE(panel_lock(station_).sps_select);
    station_.panel.logging_enabled = station_.panel.sps_select_enabled = true;
    station_.settings.general.settings_locked = 1;
    const PanelLock locked = panel_lock(station_);
    EXPECT_FALSE(locked.settings_controls || locked.logging || locked.sps_select);
}

// The arguments the browser gets are checked by the event list window's tests.
TEST_F(PanelActionsTest, ALineNamingNoFileOrABrowserThatCannotStartStartsNothing) {
    station_.settings.general.event_browser = "no-such-viewer";
    EXPECT_FALSE(view_event(station_, "STOP"));  // names no file
    EXPECT_TRUE(launcher_.started.empty());
    EXPECT_TRUE(dialogs_.shown.empty());
    launcher_.fail = true;
    EXPECT_FALSE(view_event(station_, "2003/02/03 12:00:00 030203.123456.z1"));
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_NE(dialogs_.shown[0].text.find("no-such-viewer"), std::string::npos);
    EXPECT_NE(dialogs_.shown[0].text.find("No such file"), std::string::npos);

    station_.settings.general.event_browser.clear();
    launcher_.fail = false;
    EXPECT_FALSE(view_event(station_, "2003/02/03 12:00:00 030203.123456.z1"));
    EXPECT_EQ(dialogs_.shown.size(), 2u);
    EXPECT_EQ(launcher_.started.size(), 1u);  // only the failed attempt
}

}  // namespace
}  // namespace tw::app
