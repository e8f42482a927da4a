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
    auto& c3 = station_.settings.channel(3);
    c3.y_scale = 5000, c3.sps_code = 13, c3.axis_code = -1;
    select_channel(station_, 2);
    EXPECT_EQ(station_.settings.channel(2).y_scale, 1);
    select_channel(station_, 3);
    EXPECT_EQ(c3.y_scale, 1000);
    EXPECT_EQ(std::pair(channel_view(station_).sps_index, channel_view(station_).axis_index), std::pair(-1, -1));
    select_channel(station_, 9);
    EXPECT_EQ(station_.selected_channel, 4);
}

// What is typed is limited, stored into the selected channel only, and
// shown as stored.
TEST_F(PanelActionsTest, TypedValuesAreLimitedAndStoredIntoTheSelectedChannelOnly) {
    select_channel(station_, 2);
    const auto& c2 = station_.settings.channel(2);
    const struct { std::string (*store)(Station&, std::string_view); const int* field; const char *typed, *shown; int stored; } cases[] = {
        {store_dc_offset, &c2.dc_offset, "40000", "32000", 32000},
        {store_dc_offset, &c2.dc_offset, "-32500", "-32000", -32000},
        {store_dc_offset, &c2.dc_offset, " -120", "-120", -120},
        {store_dc_offset, &c2.dc_offset, "12.5", "12", 12},
        {store_dc_offset, &c2.dc_offset, "garbage", " 0", 0},
        {store_alarm_threshold, &c2.alarm_threshold, "-5", " 0", 0},
        {store_alarm_threshold, &c2.alarm_threshold, "99999", "32000", 32000},
        {store_alarm_threshold, &c2.alarm_threshold, "4500", "4500", 4500},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.store(station_, c.typed), c.shown) << c.typed;
        EXPECT_EQ(*c.field, c.stored) << c.typed;
    }
    for (const auto& [typed, shown] : {std::pair{"z1", "z1"}, {"abcdef", "abc"}, {"../x y", "..x"}, {"a\\\tb", "ab"}})
        EXPECT_EQ(store_extension(station_, typed), shown);
    EXPECT_EQ(store_y_scale(station_, 25), "25 X");
    for (int n : {1, 3, 4}) {
        const auto& other = station_.settings.channel(n);
        EXPECT_EQ(std::tuple(other.dc_offset, other.alarm_threshold, other.file_extension, other.y_scale),
                  std::tuple(0, 5000, "ex" + std::to_string(n), 10.0)) << n;
    }
    // With zallch the Y scale goes to all four.
    store_y_scale_all_channels(station_, true);
    EXPECT_EQ(store_y_scale(station_, 3000), "1000 X");
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(station_.settings.channel(n).y_scale, 1000) << n;
}

TEST_F(PanelActionsTest, RateChangeRecomputesTheEventLengthsOfThatChannel) {
    select_channel(station_, 2);
    const int axis_of_one = station_.settings.channel(1).axis_code;
    auto& ch = station_.settings.channel(2);
    ch.pre_event_minutes = 2, ch.post_event_minutes = 4, ch.max_event_minutes = 5000;
    rate_changed(station_, 10);  // 50 samples per second
    EXPECT_EQ(ch.sps_code, 10);
    EXPECT_EQ(std::tuple(ch.pre_event_samples, ch.post_event_samples, ch.max_event_samples),
              std::tuple(6000., 12000., 1e6));  // capped
    rate_changed(station_, 42);  // not in the list: ignored
    EXPECT_EQ(ch.sps_code, 10);
    axis_changed(station_, 4);
    EXPECT_EQ(std::pair(ch.axis_code, station_.settings.channel(1).axis_code), std::pair(4, axis_of_one));
}

TEST_F(PanelActionsTest, GeneralControlsStationTextsAndTheLocks) {
    store_no_charts(station_, true);
    store_chart_speed(station_, 500);
    EXPECT_EQ(std::pair(station_.settings.general.no_charts, station_.settings.general.chart_speed),
              std::pair(1, panel_limits::chart_speed_max));
    EXPECT_EQ(store_station_text(station_, StationText::location, "Top\r\nHill"), "TopHill");
    store_station_text(station_, StationText::coordinates, "45.1N 9.2E");
    store_station_text(station_, StationText::elevation, "120");
    const GeneralView g = general_view(station_);
    EXPECT_EQ(g.location + "|" + g.coordinates + "|" + g.elevation, "TopHill|45.1N 9.2E|120");
    EXPECT_TRUE(g.nocharting && !g.zallch);
    int notified = 0;
    station_.panel.changed = [&] { ++notified; };
    station_.panel.badrx = "17";
    reset_bad_packet_count(station_);
    EXPECT_EQ(std::pair(station_.panel.badrx, notified), std::pair(std::string("0"), 1));

    // A text board has no rate list; a running acquisition locks logging and
    // the rate; the settings lock all three.
    EXPECT_TRUE(panel_lock(station_).settings_controls);
    station_.settings.general.ad_type = config::infiltec;
    EXPECT_TRUE(!panel_lock(station_).sps_select && panel_lock(station_).logging);
    station_.settings.general.ad_type = config::orda20;
    station_.panel.logging_enabled = station_.panel.sps_select_enabled = false;
    EXPECT_FALSE(panel_lock(station_).logging || panel_lock(station_).sps_select);
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
