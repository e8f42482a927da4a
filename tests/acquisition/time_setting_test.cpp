#include "acquisition/time_setting.h"

#include "clock_station.h"

#include <gtest/gtest.h>

namespace tw::acquisition {
namespace {

using clock_testing::bytes;
using clock_testing::ClockStation;
using clock_testing::time_packet;

// The time setting window's logic with the trimming window's, both wired to
// the board clock; the window's own tests (tests/ui) drive what the buttons show.
class TimeSettingTest : public ::testing::Test {
protected:
    TimeSettingTest()
        : board_clock(station.context()),
          time_setting(TimeSettingContext{
              station.settings, station.clock, dialogs, station.event_list, board_clock,
              station.pc_clock, settime_open, date_format, start_date_text, start_time_text,
              [this] { return port_usable; },
              [this](std::string_view b) { return station.commands.emplace_back(b), true; },
              [this] { ++other_locks; }}) {
        station.clock.set(2003, 2, 25, 7, 5, 9);
        station.settings.sync_source_text = "DCF";
        station.settings.general.sync_source_dcf = 1;
        board_clock.set_board_date_from_pc();
        board_clock.refresh_clock_displays();  // pc_date_time_text
        connect_clock_windows(board_clock, trimming, time_setting);
    }

    void type(SettimeField field, const std::string& text) { time_setting.set_field(field, text); }

    ClockStation station;
    BoardClock board_clock;
    fakes::FakeDialogs dialogs;
    bool settime_open = false, trim_open = false, port_usable = true;
    std::string date_format = "YYYY/MM/DD", start_date_text, start_time_text;
    int other_locks = 0;
    TimeSetting time_setting;
    ClockTrimming trimming{ClockTrimmingContext{station.settings, station.sample_path, dialogs, trim_open,
                                                [] { return std::string("1.40"); }, [] { return true; }, {}}};
};

TEST_F(TimeSettingTest, ColourScaleRunsFromBlackThroughBlueToRedOneLinePerUnit) {
    const std::pair<int, std::uint32_t> cases[] = {{0, 0x000000}, {255, 0x0000FF}, {300, 0x00ACFF},
                                                   {600, 0x00FFA7}, {800, 0x20FF00}, {1279, 0xFF0000},
                                                   {5000, 0xFF0000}, {-3, 0x000000}};
    for (const auto& [value, rgb] : cases) EXPECT_EQ(spectrogram_colour(value), rgb) << value;
    time_setting.paint_colour_scale();
    ASSERT_EQ(time_setting.model().colour_scale.size(), 1281u);
    EXPECT_EQ(time_setting.model().colour_scale[1280], 0xFF0000u);
}

TEST_F(TimeSettingTest, LineBoardsAndTheSettingsLockDisableControls) {
    station.settings.general.ad_type = 3;
    station.settings.general.pc_rtc = 0;
    station.settings.general.pc_sync = 1;
    time_setting.activate();
    EXPECT_EQ(other_locks, 1);
    const SettimeModel& m = time_setting.model();
    // Ticked, unticked, then what may be changed: pc_rtc, pc_sync, the list, the source.
    EXPECT_EQ(std::vector<bool>({m.pc_rtc, m.pc_sync, m.pc_rtc_enabled, m.pc_sync_enabled,
                                 m.sync_every_enabled, m.option_sync_enabled}),
              std::vector<bool>({true, false, false, false, false, true}));

    station.settings.general.ad_type = 0;
    station.settings.general.settings_locked = 1;
    time_setting.activate();
    EXPECT_FALSE(m.pc_rtc_enabled || m.option_sync_enabled);
    EXPECT_TRUE(m.sync_every_enabled);  // pc_sync decides the list
    time_setting.pc_sync_clicked(false);
    EXPECT_FALSE(m.sync_every_enabled);
    EXPECT_EQ(station.settings.general.pc_sync, 1);  // stored only by OK or SET TIME
}

TEST_F(TimeSettingTest, FieldChecksShowTheirMessagesAndKeepTheText) {
    time_setting.activate();
    const struct { SettimeField field; const char* text; const char* message; const char* title; } bad[] = {
        {SettimeField::day, "32", "Insert a valid DAY (01..31)", "Check DAY Value"},
        {SettimeField::day, "0", "Insert a valid DAY (01..31)", "Check DAY Value"},
        {SettimeField::month, "13", "Insert a valid Month (1..12)", "Check Month Value"},
        {SettimeField::year, "1989", "Insert a valid Year (1990..2090)", "Check Year Value"},
        {SettimeField::hours, "24", "Insert a valid hour (00..23)", "Check Hour Value"},
        {SettimeField::hours, "x7", "Insert a valid hour (00..23)", "Check Hour Value"},
        {SettimeField::minutes, "60", "Insert a valid minute (00..59)", "Check minute Value"},
        {SettimeField::seconds, "7.5", "Insert a valid second (00..59)", "Check second Value"},
        {SettimeField::gmt, "-24", "Insert a valid GMT correction (-23..+23)", "Check GMT Value"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.text);
        dialogs.shown.clear();
        type(c.field, c.text);
        EXPECT_FALSE(time_setting.check_field(c.field));
        EXPECT_EQ(dialogs.messages(), std::vector<std::string>{std::string(c.message) + " | " + c.title});
        EXPECT_EQ(time_setting.model().focus, c.field);
    }
    EXPECT_EQ(time_setting.model().v_gmt, "-24");
    dialogs.shown.clear();
    type(SettimeField::gmt, "+23");
    type(SettimeField::day, " 31");
    EXPECT_TRUE(time_setting.check_field(SettimeField::gmt) && time_setting.check_field(SettimeField::day));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(TimeSettingTest, OkStoresTheSourceHourAndListAndSendsNothing) {
    time_setting.activate();
    type(SettimeField::gmt, "1");
    time_setting.pc_sync_clicked(true);
    time_setting.sync_every_selected(5);
    time_setting.ok_clicked();
    auto& general = station.settings.general;
    EXPECT_EQ(std::tuple(general.gmt_correction, general.pc_sync, general.sync_every), std::tuple(0, 1, 5));
    EXPECT_TRUE(!settime_open && time_setting.model().close_requested);
    EXPECT_TRUE(station.commands.empty());
}

TEST_F(TimeSettingTest, SetTimeSetsPcAndBoard) {
    station.settings.general.pc_rtc = 0;
    time_setting.activate();
    time_setting.option_sync_clicked(false);  // GPS: the field is the setting
    type(SettimeField::gmt, "-5");
    type(SettimeField::day, "26");
    station.clock.set(2003, 2, 25, 12, 0, 0);
    time_setting.set_time_clicked();

    EXPECT_EQ(station.commands, (std::vector<std::string>{bytes({0x83, 0x09, 0x05, 0x07, 0x00, 0x00}),
                                                         bytes({0x82, 0xFB, 0xFB, 0xFB, 0xFB, 0xFB})}));
    const auto now = station.clock.now();
    EXPECT_EQ(std::tuple(now.day, now.hour, now.second), std::tuple(26, 7, 9));
    EXPECT_EQ(start_date_text + " " + start_time_text + " " + board_clock.time().board_date,
              "2003/02/26 07:05:09 2003/02/26");
    EXPECT_EQ(std::pair(station.settings.general.gmt_correction, station.settings.sync_source_text),
              std::pair(-5, std::string("GPS")));
}

TEST_F(TimeSettingTest, SetTimeWritesTheDateInThePcOrderAndHonoursPcRtc) {
    date_format = "DD/MM/YYYY";
    station.settings.general.pc_rtc = 1;
    time_setting.activate();  // the PC text does not follow the format: the clock's date
    EXPECT_EQ(time_setting.model().v_day, "25");
    station.clock.date_pattern = "%d/%m/%Y";
    board_clock.refresh_clock_displays();
    time_setting.activate();
    const SettimeModel& m = time_setting.model();
    EXPECT_EQ(std::vector<std::string>({m.v_year, m.v_month, m.v_day, m.v_hours, m.v_minutes, m.v_seconds}),
              std::vector<std::string>({"2003", "02", "25", "07", "05", "09"}));
    time_setting.set_time_clicked();
    EXPECT_EQ(start_date_text, "25/02/2003");
    EXPECT_EQ(station.clock.set_time_calls, 0);  // the PC clock is not set from here
    EXPECT_EQ(start_time_text, "");
    EXPECT_EQ(station.commands[1], bytes({0x82, 0, 0, 0, 0, 0}));  // DCF77 shows 1 for 0

    // A PC that writes a 12-hour time ("07:05:09 PM") keeps the afternoon.
    station.clock.time_pattern = "%I:%M:%S %p";
    station.clock.set(2003, 2, 25, 19, 5, 9);
    board_clock.refresh_clock_displays();
    time_setting.activate();
    EXPECT_EQ(time_setting.model().v_hours, "19");
}

TEST_F(TimeSettingTest, SetTimeWithoutBoardDoesNothingAndARefusedPcClockIsReported) {
    station.settings.general.pc_rtc = 0;
    time_setting.activate();
    time_setting.option_sync_clicked(false);
    port_usable = false;
    time_setting.set_time_clicked();
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"A/D card not found. | TIME SET"});
    EXPECT_TRUE(station.commands.empty() && station.events().empty());
    EXPECT_EQ(station.clock.set_time_calls + station.clock.set_date_calls, 0);
    EXPECT_EQ(station.settings.general.sync_source_dcf, 1);

    port_usable = true;
    station.clock.refuse_setting = true;
    time_setting.set_time_clicked();
    const auto events = station.events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_TRUE(events[0].starts_with("PC date not set: ") && events[1].starts_with("PC clock not set: "));
    EXPECT_EQ(events[2], "Time manually set at 07:05:09");
    EXPECT_EQ(station.commands.size(), 2u);  // the board still set
}

TEST_F(TimeSettingTest, EachSecondShowsLockAndMarksSynchronisations) {
    time_packet(board_clock, 7, 5, 0);  // window closed: nothing shown
    EXPECT_EQ(time_setting.model().timestatus, "");

    time_setting.activate();
    time_packet(board_clock, 7, 5, 1);
    const SettimeModel& m = time_setting.model();
    EXPECT_EQ(std::tuple(m.timestatus, m.hour_type, m.sync_indicator_colour),
              std::tuple("Status: Not Locked", "...", 8));
    EXPECT_EQ(m.ad_clock + "|" + m.realtime, "2003/02/25 07:05:01|2003/02/25 07:05:09.000");

    time_packet(board_clock, 7, 5, 2, 0x20 | 0x40);
    EXPECT_EQ(m.lastsync, "DCF77 Sync: 2003/02/25 07:05:01");
    EXPECT_EQ(std::tuple(m.timestatus, m.hour_type, m.sync_indicator_colour),
              std::tuple("Status: Locked", "DCF tx daylight time", 10));
    time_packet(board_clock, 7, 5, 3);
    EXPECT_EQ(m.hour_type, "DCF tx solar time");
    station.settings.sync_source_text = "GPS";
    time_packet(board_clock, 7, 5, 4);
    EXPECT_EQ(m.hour_type + "|" + m.lastsync, "GPS tx UTC time|GPS   Sync: 2003/02/25 07:05:01");

    // STOP clears the picture only: reopening draws the flags again.
    const auto& flag = m.dcf_chart[7 * 60 + 5];
    EXPECT_EQ(flag, 1);
    board_clock.stop_run();
    EXPECT_EQ(flag, 0);
    time_setting.activate();
    EXPECT_EQ(flag, 1);

    // Idle: the PC clock and the last synchronisation.
    station.clock.advance_ms(1500);
    board_clock.refresh_clock_displays();
    time_setting.refresh_idle();
    EXPECT_EQ(m.realtime + "|" + m.lastsync, "2003/02/25 07:05:10.500|DCF77 Sync: 2003/02/25 07:05:01");
}

TEST_F(TimeSettingTest, TrimmingMeasuresOnSynchronisationsAndRestartsOnStartAndSetTime) {
    time_packet(board_clock, 10, 0, 0, 0x20);  // window closed: no measurement
    EXPECT_EQ(trimming.model().firsttime, "");
    trimming.activate();
    time_packet(board_clock, 10, 0, 1);
    time_packet(board_clock, 10, 0, 2, 0x20);
    EXPECT_EQ(trimming.model().firsttime, "2003/02/25 10:00:01");
    board_clock.start_run();  // START: a new measurement
    EXPECT_EQ(trimming.model().firsttime, "");
    time_packet(board_clock, 10, 2, 0, 0x20);
    EXPECT_EQ(trimming.model().firsttime, "2003/02/25 10:01:59");
    time_setting.activate();
    time_setting.set_time_clicked();  // SET TIME: a new measurement too
    EXPECT_EQ(trimming.model().firsttime, "");
}

}  // namespace
}  // namespace tw::acquisition
