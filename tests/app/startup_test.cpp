// Start-up on fakes, and the command line it starts from.

#include "app/startup.h"

#include "app/command_line.h"
#include "config/settings_file.h"
#include "station_fixture.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using tw::app::parse_command_line;
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

TEST_F(StartupTest, DetectsFormatsAndWarnsOnlyWhenTheyDoNotSuit) {
    for (const auto& [date, format] : {std::pair{"2000/12/31", "YYYY/MM/DD"}, {"2000-31-12", "YYYY/DD/MM"},
                                       {"31/12/2000", "DD/MM/YYYY"}, {"12/31/00", "MM/DD/YYYY"}})
        EXPECT_EQ(tw::app::detect_date_format(date), format);
    for (const auto& [time, format] : {std::pair{"07:12:34", "HH:MM:SS"}, {"7.12.34", "H.MM.SS"}, {"07h12m34", "HH?MM?SS"}})
        EXPECT_EQ(tw::app::detect_time_format(time), format);

    clock_.date_pattern = "%d/%m/%Y";
    ASSERT_TRUE(tw::app::run_startup(station()).ok);
    EXPECT_EQ(station().pc_formats.system_date_format, "DD/MM/YYYY");
    const auto warnings = texts_of("warning");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_TRUE(warnings[0].starts_with("The DATE format of your system is DD/MM/YYYY\r\n"
                                        "The TIME format of your system is HH:MM:SS\r\n"));
    EXPECT_NE(warnings[0].find("\r\n\r\nYou can set-up the right time format"), std::string::npos);
}

TEST_F(StartupTest, OneDigitHourWarnsEvenAfterTenOClockUnlessWarningsAreOffAndServiceModeSkipsTheLogo) {
    clock_.time_pattern = "%-H:%M:%S";  // 14:00:00 has two digits, 7:12:34 has one
    clock_.set(2003, 2, 3, 14, 0, 0);
    ASSERT_TRUE(tw::app::run_startup(station()).ok);
    EXPECT_EQ(station().pc_formats.system_time_format, "H:MM:SS");
    EXPECT_EQ(texts_of("warning").size(), 1u);

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
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.folder, "/st");
    EXPECT_EQ(parsed.options.port, "/dev/ttyUSB0");
    EXPECT_TRUE(parsed.options.headless);
    EXPECT_EQ(parsed.options.run_for, 12.5);
    EXPECT_EQ(parsed.options.simulate, "orda20");

    const auto plain = parse_command_line({"--simulate", "--print-settings"});
    ASSERT_EQ(plain.error, "");
    EXPECT_EQ(plain.options.simulate, "");
    EXPECT_TRUE(plain.options.print_settings);
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
    EXPECT_NE(parse_command_line({"--mseed", "/sds"}).error.find("station code"), std::string::npos);
    EXPECT_NE(parse_command_line({"--seedlink", "18000", "--station", "TOOLONG"}).error, "");
    EXPECT_NE(parse_command_line({"--seedlink", "70000", "--station", "A"}).error.find("70000"),
              std::string::npos);
    EXPECT_EQ(parse_command_line({"--seedlink-bind", "127.0.0.1"}).error,
              "--seedlink-bind goes with --seedlink");
    const auto good = parse_command_line({"--seedlink=18000", "--station", "abc", "--location=00"});
    EXPECT_EQ(good.error, "");
    EXPECT_EQ(stream_codes(good.options).station, "ABC");
    EXPECT_EQ(stream_codes(good.options).network, "XX");
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
             {"--minutes", "5"}}) {
        EXPECT_NE(parse_command_line(bad).error, "") << bad[1];
    }
}

}  // namespace
