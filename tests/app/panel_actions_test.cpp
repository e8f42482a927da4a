#include "app/panel_actions.h"

#include "config/settings_file.h"
#include "config/tables.h"
#include "station_fixture.h"

namespace tw::app {
namespace {

class PanelActionsTest : public tw::testing::StationTest {
protected:
    PanelActionsTest() { config::load_settings(s_.path(files::settings), s_.program_folder(), s_.settings); }

    Station& s_ = (std::filesystem::create_directories(folder_), station());
};

TEST_F(PanelActionsTest, ShowingAChannelLimitsItsYScaleAndFlagsBadListCodes) {
    s_.settings.channel(2).y_scale = 0;
    auto& c3 = s_.settings.channel(3);
    c3.y_scale = 5000, c3.sps_code = 13, c3.axis_code = -1;
    select_channel(s_, 2);
    EXPECT_EQ(s_.settings.channel(2).y_scale, 1);
    select_channel(s_, 3);
    EXPECT_EQ(c3.y_scale, 1000);
    EXPECT_EQ(std::pair(channel_view(s_).sps_index, channel_view(s_).axis_index), std::pair(-1, -1));
    select_channel(s_, 9);
    EXPECT_EQ(s_.selected_channel, 4);
}

// What is typed is limited, stored and shown as stored (that it goes into
// the selected channel only is the main window's test).
TEST_F(PanelActionsTest, TypedValuesAreLimitedAndShownAsStored) {
    select_channel(s_, 2);
    const auto& c2 = s_.settings.channel(2);
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
        EXPECT_EQ(c.store(s_, c.typed), c.shown) << c.typed;
        EXPECT_EQ(*c.field, c.stored) << c.typed;
    }
    for (const auto& [typed, shown] : {std::pair{"z1", "z1"}, {"abcdef", "abc"}, {"../x y", "..x"}, {"a\\\tb", "ab"}})
        EXPECT_EQ(store_extension(s_, typed), shown);
    EXPECT_EQ(store_y_scale(s_, 25), "25 X");
    EXPECT_EQ(store_y_scale(s_, 3000), "1000 X");
}

TEST_F(PanelActionsTest, RateChangeRecomputesTheEventLengthsOfThatChannel) {
    select_channel(s_, 2);
    const int axis_of_one = s_.settings.channel(1).axis_code;
    auto& ch = s_.settings.channel(2);
    ch.pre_event_minutes = 2, ch.post_event_minutes = 4, ch.max_event_minutes = 5000;
    rate_changed(s_, 10);  // 50 samples per second
    EXPECT_EQ(ch.sps_code, 10);
    EXPECT_EQ(std::tuple(ch.pre_event_samples, ch.post_event_samples, ch.max_event_samples),
              std::tuple(6000., 12000., 1e6));  // capped
    rate_changed(s_, 42);  // not in the list: ignored
    EXPECT_EQ(ch.sps_code, 10);
    axis_changed(s_, 4);
    EXPECT_EQ(std::pair(ch.axis_code, s_.settings.channel(1).axis_code), std::pair(4, axis_of_one));
}

TEST_F(PanelActionsTest, GeneralControlsStationTextsAndTheLocks) {
    store_no_charts(s_, true);
    store_chart_speed(s_, 500);
    EXPECT_EQ(std::pair(s_.settings.general.no_charts, s_.settings.general.chart_speed),
              std::pair(1, panel_limits::chart_speed_max));
    EXPECT_EQ(store_station_text(s_, StationText::location, "Top\r\nHill"), "TopHill");
    store_station_text(s_, StationText::coordinates, "45.1N 9.2E");
    store_station_text(s_, StationText::elevation, "120");
    const GeneralView g = general_view(s_);
    EXPECT_EQ(g.location + "|" + g.coordinates + "|" + g.elevation, "TopHill|45.1N 9.2E|120");
    EXPECT_TRUE(g.nocharting && !g.zallch);
    // A text board has no rate list; a running acquisition locks logging and
    // the rate (the settings lock is the windows' test).
    EXPECT_TRUE(panel_lock(s_).settings_controls);
    s_.settings.general.ad_type = config::infiltec;
    EXPECT_TRUE(!panel_lock(s_).sps_select && panel_lock(s_).logging);
    s_.settings.general.ad_type = config::orda20;
    s_.panel.logging_enabled = s_.panel.sps_select_enabled = false;
    EXPECT_FALSE(panel_lock(s_).logging || panel_lock(s_).sps_select);
}

// The arguments the browser gets are checked by the event list window's tests.
TEST_F(PanelActionsTest, ALineNamingNoFileOrABrowserThatCannotStartStartsNothing) {
    s_.settings.general.event_browser = "no-such-viewer";
    EXPECT_FALSE(view_event(s_, "STOP"));  // names no file
    EXPECT_TRUE(launcher_.started.empty());
    EXPECT_TRUE(dialogs_.shown.empty());
    launcher_.fail = true;
    EXPECT_FALSE(view_event(s_, "2003/02/03 12:00:00 030203.123456.z1"));
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_NE(dialogs_.shown[0].text.find("no-such-viewer"), std::string::npos);
    EXPECT_NE(dialogs_.shown[0].text.find("No such file"), std::string::npos);

    s_.settings.general.event_browser.clear();
    launcher_.fail = false;
    EXPECT_FALSE(view_event(s_, "2003/02/03 12:00:00 030203.123456.z1"));
    EXPECT_EQ(dialogs_.shown.size(), 2u);
    EXPECT_EQ(launcher_.started.size(), 1u);  // only the failed attempt
}

}  // namespace
}  // namespace tw::app
