// Start-up on fakes, the command line it starts from, and the actions of
// the main window's controls.

#include "app/startup.h"

#include "app/command_line.h"
#include "app/panel_actions.h"
#include "app/simulation.h"
#include "config/settings_file.h"
#include "config/tables.h"
#include "station_fixture.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace tw;
using namespace tw::app;
using tw::testing::read_file;

class StartupTest : public tw::testing::StationTest {
protected:
    // Writes a settings file made from the new-file values changed by `edit`.
    template <typename Edit>
    void write_settings(Edit edit) {
        fs::create_directories(folder_);
        tw::config::Settings settings;
        tw::config::apply_new_file_values(settings, folder_.string());
        edit(settings);
        std::string error;
        ASSERT_TRUE(tw::config::save_settings(folder_ / "terrawv.ini", settings, &error)) << error;
    }
};

TEST_F(StartupTest, FreshFolderGetsDataFoldersEventListAndSettings) {
    const auto result = tw::app::run_startup(station());
    ASSERT_TRUE(result.ok) << result.error;
    for (const char* folder : {"events", "events/sent", "datalog", "drums"}) {
        EXPECT_TRUE(fs::is_directory(folder_ / folder)) << folder;
        EXPECT_FALSE(fs::exists(folder_ / folder / "test.$%&")) << folder;
    }
    EXPECT_EQ(read_file(folder_ / "evtfile.dat"), "2003/02/03 12:34:56 START\r\n");
    EXPECT_EQ(read_file(folder_ / "terrawv.ini"), tw::config::format_settings(station().settings));
    EXPECT_EQ(station().settings.general.events_folder, (folder_ / "events").string());
    EXPECT_TRUE(result.show_logo);
    EXPECT_EQ(station().selected_channel, 1);
    EXPECT_EQ(station().pc_clock.date_time, "2003/02/03 12:34:56");
    // The format detection never touches the machine's clock.
    EXPECT_EQ(clock_.set_time_calls + clock_.set_date_calls, 0);
    EXPECT_TRUE(texts_of("warning").empty());
}

TEST_F(StartupTest, UnwritableStationOrDataFolderStopsWithItsName) {
    fs::create_directories(folder_.parent_path());
    std::ofstream(folder_) << "a file where the station folder should be";
    auto result = tw::app::run_startup(station());
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("station folder " + folder_.string()), std::string::npos)
        << result.error;
    fs::remove(folder_);

    fs::create_directories(folder_);
    std::ofstream(folder_ / "datalog") << "a file where the datalog folder should be";
    result = tw::app::run_startup(station());
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find((folder_ / "datalog").string()), std::string::npos)
        << result.error;
    // The folders before it were made; nothing after it was touched.
    EXPECT_TRUE(fs::is_directory(folder_ / "events"));
    EXPECT_FALSE(fs::exists(folder_ / "terrawv.ini"));
}

TEST_F(StartupTest, WarnsOnlyOfADateFormatThatReadsBackWrongUnlessWarningsAreOff) {
    for (const auto& [date, format] : {std::pair{"2000/12/31", "YYYY/MM/DD"}, {"2000-31-12", "YYYY/DD/MM"},
                                       {"31/12/2000", "DD/MM/YYYY"}, {"12/31/00", "MM/DD/YYYY"}})
        EXPECT_EQ(tw::app::detect_date_format(date), format);
    for (const auto& [time, format] : {std::pair{"07:12:34", "HH:MM:SS"}, {"7.12.34", "H.MM.SS"}, {"07h12m34", "HH?MM?SS"}})
        EXPECT_EQ(tw::app::detect_time_format(time), format);

    // The formats of Debian's usual locales (C.UTF-8, en_US.UTF-8 with its
    // 12-hour time, de_DE.UTF-8, one-digit hours) are read right or not at
    // all; a year of another calendar would be read as a wrong date.
    const struct {
        const char* date_pattern;
        const char* time_pattern;
        const char* warning;  // "" for none
    } cases[] = {
        {"%m/%d/%y", "%H:%M:%S", ""},
        {"%m/%d/%Y", "%I:%M:%S %p", ""},
        {"%d.%m.%Y", "%H:%M:%S", ""},
        {"%Y-%m-%d", "%-H:%M:%S", ""},
        {"%d/%m/25%y", "%H:%M:%S", "The date format of this PC writes 2000/12/31 as \"31/12/2500\",\r\n"
                                  "which TERRAWAVE reads as 2500/12/31"},
    };
    for (const auto& c : cases) {
        dialogs_.shown.clear();
        clock_.date_pattern = c.date_pattern;
        clock_.time_pattern = c.time_pattern;
        ASSERT_TRUE(tw::app::run_startup(station()).ok);
        const auto warnings = texts_of("warning");
        ASSERT_EQ(warnings.size(), *c.warning ? 1u : 0u) << c.date_pattern;
        if (*c.warning) {
            EXPECT_TRUE(warnings[0].starts_with(c.warning)) << warnings[0];
            EXPECT_NE(warnings[0].find("LC_TIME=C.UTF-8"), std::string::npos);
        }
    }

    // Warnings off; automatic start 1 becomes 2; service mode skips the logo
    // and opens the trimming window and the spectrum box.
    dialogs_.shown.clear();
    write_settings([](auto& s) { s.general.no_version_warning = s.general.auto_start = s.general.service_mode = 1; });
    const auto result = tw::app::run_startup(station());
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(texts_of("warning").empty());
    EXPECT_EQ(station().settings.general.auto_start, 2);
    EXPECT_TRUE(!result.show_logo && result.open_trimming && result.show_fft_box);
}

TEST_F(StartupTest, SimulationWritesSettingsThatShowTheBoardOnlyForANewStation) {
    const struct {
        const char* family;
        int ad_type;
        std::array<int, 4> sps_codes;
    } cases[] = {{"", tw::config::orda20, {10, 10, 10, 10}}, {"infiltec", tw::config::infiltec, {9, 0, 0, 0}}};
    for (const auto& c : cases) {
        fs::remove_all(folder_);
        const auto plan = tw::app::plan_simulation(folder_, c.family);
        ASSERT_TRUE(plan.new_station);
        ASSERT_TRUE(tw::app::write_simulation_settings(folder_, plan));
        tw::config::Settings settings;
        ASSERT_TRUE(tw::config::load_settings(folder_ / "terrawv.ini", folder_.string(), settings).problems.empty());
        EXPECT_EQ(settings.general.ad_type, c.ad_type);
        for (int n = 1; n <= 4; ++n) EXPECT_EQ(settings.channel(n).sps_code, c.sps_codes[n - 1]) << c.family << n;
        const auto& first = settings.channel(1);
        EXPECT_TRUE(first.drum_enabled && first.record_enabled && settings.general.pc_rtc);
        EXPECT_LT(first.start_amplitude, tw::app::simulated_quake_peak / 2);
    }
    // A station with settings keeps them (byte for byte: the end-to-end run).
    EXPECT_FALSE(tw::app::plan_simulation(folder_, "orda10").new_station);
}

TEST_F(StartupTest, UnopenablePortMovesOnWithOneMessagePerMove) {
    write_settings([](auto& s) { s.general.comm_port = 3; });
    serial_.make_open_fail(3, "cannot open /dev/ttyS2: No such file or directory");
    ASSERT_TRUE(tw::app::run_startup(station()).ok);
    const auto messages = texts_of("message");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].substr(0, messages[0].find("\r\n")),
              "The com port has been changed to Com4");
    EXPECT_EQ(station().settings.general.comm_port, 4);
    EXPECT_FALSE(serial_.is_open());
    EXPECT_EQ(serial_.opened_settings, std::vector<std::string>{"9600,n,8,1"});
    // The reason is in the event list; the move is not saved.
    EXPECT_NE(read_file(folder_ / "evtfile.dat").find("cannot open /dev/ttyS2: No such file"),
              std::string::npos);
    EXPECT_NE(read_file(folder_ / "terrawv.ini").find("COM= 3 \r\n"), std::string::npos);
}

TEST_F(StartupTest, NoPortAtAllGivesSixAttemptsThenGoesOn) {
    serial_.make_open_fail(0, "cannot open: No such file or directory");
    ASSERT_TRUE(tw::app::run_startup(station()).ok);
    EXPECT_EQ(texts_of("message").size(), 5u);
    EXPECT_EQ(serial_.open_calls, 6);
    EXPECT_EQ(station().settings.general.comm_port, 2);  // 1 -> 2 -> 3 -> 4 -> 1 -> 2
}

TEST_F(StartupTest, PortNoneIsReportedAndCommandLineDeviceIsNotMoved) {
    write_settings([](auto& s) { s.general.comm_port = 0; });
    ASSERT_TRUE(tw::app::run_startup(station()).ok);
    EXPECT_EQ(texts_of("message"),
              std::vector<std::string>{"TERRAWAVE is unable to detect an appropriate Com port."});
    ASSERT_EQ(station().error_report.model().lines.size(), 1u);
    EXPECT_NE(station().error_report.model().lines[0].find(" / PANEL Load / "),
              std::string::npos);

    dialogs_.shown.clear();
    station().settings.general.comm_port = 1;
    station().port_override = "/dev/ttyUSB7";
    serial_.make_open_fail(0, "cannot open /dev/ttyUSB7: No such file or directory");
    tw::app::test_serial_port(station());
    const auto messages = texts_of("message");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("/dev/ttyUSB7"), std::string::npos);
    EXPECT_EQ(station().settings.general.comm_port, 1);
}

TEST(CommandLine, ReadsEveryOptionInBothSpellings) {
    const auto parsed = parse_command_line({"--folder", "/st", "--port=/dev/ttyUSB0", "--headless",
                                            "--run-for", "12.5", "--simulate=orda20"});
    const auto& o = parsed.options;
    EXPECT_EQ(std::tuple(parsed.error, o.folder, o.port, o.headless, o.run_for, o.simulate),
              std::tuple("", "/st", "/dev/ttyUSB0", true, 12.5, "orda20"));
    const auto plain = parse_command_line({"--simulate", "--print-settings"});
    EXPECT_EQ(std::tuple(plain.error, plain.options.simulate, plain.options.print_settings),
              std::tuple("", "", true));
}

TEST(CommandLine, RejectsBadInputWithAReason) {
    EXPECT_EQ(parse_command_line({"--bogus"}).error, "unknown option '--bogus'");
    EXPECT_EQ(parse_command_line({"--folder"}).error, "--folder needs a value");
    EXPECT_NE(parse_command_line({"--headless", "--run-for", "ten"}).error.find("'ten'"),
              std::string::npos);
    EXPECT_NE(parse_command_line({"--headless", "--run-for", "-1"}).error, "");
    EXPECT_NE(parse_command_line({"--simulate=orda99"}).error.find("orda99"), std::string::npos);
    EXPECT_EQ(parse_command_line({"--run-for", "5"}).error, "--run-for goes with --headless");
    // Standard data needs a station code that fits, and a port that exists.
    // (A station code may also come from [STREAM]: then checked at start-up.)
    EXPECT_NE(parse_command_line({"--mseed", "/sds", "--station", "A-B"}).error.find("station code"), std::string::npos);
    EXPECT_NE(parse_command_line({"--seedlink", "18000", "--station", "TOOLONG"}).error, "");
    EXPECT_NE(parse_command_line({"--seedlink", "70000", "--station", "A"}).error.find("70000"),
              std::string::npos);
    EXPECT_EQ(parse_command_line({"--seedlink-bind", "127.0.0.1"}).error,
              "--seedlink-bind goes with --seedlink");
    EXPECT_EQ(parse_command_line({"--http-bind", "::1"}).error, "--http-bind goes with --http");
    EXPECT_NE(parse_command_line({"--http", "8080", "--station", "A-B"}).error.find("station code"),
              std::string::npos);
    EXPECT_NE(parse_command_line({"--http", "x", "--station", "A"}).error.find("'x'"),
              std::string::npos);
    const auto http = parse_command_line({"--http", "0", "--http-bind=127.0.0.1", "--station=A"});
    EXPECT_EQ(http.options.http_port, 0);
    EXPECT_EQ(http.options.http_bind, "127.0.0.1");
    const auto good = parse_command_line({"--seedlink=18000", "--station", "abc", "--location=00"});
    EXPECT_EQ(good.error, "");
    EXPECT_EQ(stream_codes(good.options).station, "ABC");
    EXPECT_EQ(stream_codes(good.options).network, "XX");
    // The ring server of --datalink: a host and a port.
    EXPECT_NE(parse_command_line({"--datalink", "ring:16000"}).error.find("station code"), std::string::npos);
    EXPECT_EQ(parse_command_line({"--datalink", "[::1]:16000", "--station", "A"}).error, "");
    for (const char* bad : {"ring", "ring:", ":16000", "ring:0", "ring:70000", "ring:16000x", "::1:16000", "a b:1"})
        EXPECT_EQ(parse_command_line({"--datalink", bad, "--station", "A"}).error,
                  "--datalink needs HOST:PORT (a port 1 to 65535), not '" + std::string(bad) + "'");
}

TEST(CommandLine, StreamSettingsOfTheFileYieldToTheCommandLine) {
    config::ExtraSections extra;
    for (const auto& [key, value] : std::vector<std::pair<const char*, const char*>>{
             {"STATION", "tw1"}, {"NETWORK", "TW"}, {"SEEDLINK", "18000"}, {"SEEDLINKBIND", "127.0.0.1"},
             {"SEEDLINKCLIENTS", "400"}, {"SEEDLINKPERADDRESS", "2.5"}, {"MSEED", "/sds"}})
        extra.set("STREAM", key, value);
    std::vector<std::string> problems;
    const auto kept = stream::read_stream_settings(extra, &problems);
    EXPECT_EQ(problems, std::vector<std::string>{"[STREAM] SEEDLINKPERADDRESS=2.5 is not a whole number from 1 to 10000"});
    // Written back: only what differs from the defaults (the bad value is gone).
    config::ExtraSections written;
    stream::write_stream_settings(kept, written);
    EXPECT_EQ(written.format(), "[STREAM]\r\nNETWORK=TW\r\nSTATION=tw1\r\nMSEED=/sds\r\nSEEDLINK=18000\r\n"
                                "SEEDLINKBIND=127.0.0.1\r\nSEEDLINKCLIENTS=400\r\n");
    EXPECT_EQ(stream::read_stream_settings(written), kept);
    stream::write_stream_settings({}, written);
    EXPECT_TRUE(written.empty());

    const auto from_file = stream_options(parse_command_line({}).options, kept);
    EXPECT_EQ(from_file.codes.station, "TW1");
    EXPECT_EQ(from_file.seedlink_port, 18000);
    EXPECT_EQ(from_file.seedlink_bind, "127.0.0.1");
    EXPECT_EQ(from_file.limits.max_clients, 400u);
    EXPECT_EQ(from_file.limits.max_per_address, 20u);
    const auto given = stream_options(parse_command_line({"--seedlink", "0", "--station", "xy", "--mseed", "/other"}).options, kept);
    EXPECT_EQ(given.codes.station, "XY");
    EXPECT_EQ(given.codes.network, "TW");
    EXPECT_EQ(given.seedlink_port, 0);
    EXPECT_EQ(given.seedlink_bind, "");  // the port of the command line, on every address
    EXPECT_EQ(given.archive_root, "/other");
}

TEST(CommandLine, ExtractTakesAStampMinutesAndDistinctChannels) {
    const auto parsed = parse_command_line(
        {"--extract", "2003/02/03 23:58:00", "--minutes", "480", "--channels", "2,1"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.extract, "2003/02/03 23:58:00");
    EXPECT_EQ(parsed.options.minutes, 480);
    EXPECT_EQ(parsed.options.channels, (std::vector<int>{2, 1}));
    for (const std::vector<std::string>& bad : {
             std::vector<std::string>{"--extract", "2003/02/30 10:00:00", "--minutes", "5"},
             {"--extract", "2003/02/03", "--minutes", "5"},
             {"--extract", "2003/02/03 10:00:00"},
             {"--extract", "2003/02/03 10:00:00", "--minutes", "481"},
             {"--extract", "2003/02/03 10:00:00", "--minutes", "5", "--channels", "1,1"},
             {"--extract", "2003/02/03 10:00:00", "--minutes", "5", "--channels", "5"},
             {"--extract", "2003/02/03 10:00:00", "--minutes", "5", "--headless"},
             {"--minutes", "5"},
             {"--retrigger", "2003/02/03 10:00:00", "--minutes", "10081"},
             {"--retrigger", "2003/02/03 10:00:00", "--extract", "2003/02/03 10:00:00", "--minutes", "5"},
             {"--extract", "2003/02/03 10:00:00", "--minutes", "5", "--settings", "x.ini"}}) {
        EXPECT_NE(parse_command_line(bad).error, "") << bad[1];
    }
    // The replay takes a week at most, and a settings file of its own.
    const auto replay = parse_command_line({"--minutes", "10080", "--settings", "try.ini", "--retrigger",
                                            "2003/02/03 00:00:00"});
    ASSERT_EQ(replay.error, "");
    EXPECT_EQ(std::tuple(*replay.options.retrigger, replay.options.minutes, replay.options.settings_file),
              std::tuple(std::string("2003/02/03 00:00:00"), 10080, std::string("try.ini")));
    EXPECT_EQ(parse_command_line({"--extract", "2003/02/03 10:00:00", "--minutes", "481"}).error,
              "--minutes needs a whole number from 1 to 480, not '481'");
}

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
