#include "config/settings_file.h"
#include "config/station_paths.h"

#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace tw::config {
namespace {

namespace fs = std::filesystem;

using tw::testing::TestFolder;
const auto read_bytes = [](const fs::path& path) { return tw::testing::read_file(path); };

Settings new_file_settings(const std::string& folder = "/station") {
    Settings settings;
    apply_new_file_values(settings, folder);
    return settings;
}

// Parses a file made of the given lines, joined by CR LF.
Settings parse_lines(const std::string& text, std::vector<SettingsProblem>* problems = nullptr) {
    Settings settings;
    auto found = parse_settings(text, settings);
    if (problems) *problems = std::move(found);
    return settings;
}

// ------------------------------------------------------------ writing

TEST(SettingsWriter, NewFileMatchesGoldenBytes) {
    const std::string golden = read_bytes(fs::path(TW_TEST_DATA_DIR) / "config/new_terrawv.ini");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(format_settings(new_file_settings("/station")), golden);
    // A trailing "/" on the station folder makes no difference.
    EXPECT_EQ(format_settings(new_file_settings("/station/")), golden);
}

TEST(SettingsWriter, LineBreakInsideTextCannotAddLines) {
    Settings settings = new_file_settings();
    settings.general.location = "Hill\r\nDBG=1";
    const std::string bytes = format_settings(settings);
    EXPECT_NE(bytes.find("LOC=Hill  DBG=1\r\n"), std::string::npos);
    Settings back = parse_lines(bytes);
    EXPECT_EQ(back.general.service_mode, 0);
}

// A record whose every stored field differs from its start value and from
// the new-file value, with negatives, fractions below 1 and hex letters.
Settings unusual_settings() {
    Settings s;
    for (int n = 1; n <= 4; ++n) {
        ChannelSettings& c = s.channel(n);
        const std::string k = std::to_string(n);
        c.sps_code = 7 + n, c.axis_code = n % 5, c.dc_offset = -120 * n, c.y_scale = 0.5 / n;
        c.start_params = "1500,3,1.5,2,40," + k, c.stop_params = "900,6,2.5,120";
        c.trigger_mode = c.invert = c.record_enabled = c.alarm_enabled = c.logging_enabled = 1;
        c.auto_offset = c.extend_trigger = c.drum_enabled = c.drum_hidden = c.fft_enabled = 1;
        c.alarm_threshold = -32768 + n, c.file_extension = "z" + k + "q";
        c.magnitude_correction = "-0.25,1,2,3," + k, c.drum_scale = 0.75, c.sensor_type = 3;
        c.sensor_sensitivity = 1.0 / 3, c.amplifier_gain = -12.5, c.ad_bits = 24, c.ad_range = 2.5e-7;
        c.data_output_factor = 123456789012345678.0, c.measure_unit = 5, c.filter_delay = -0.001;
    }
    GeneralSettings& g = s.general;
    g.elevation = " 12 m ", g.location = "Monte Rosso", g.coordinates = "45.1N 7.2E";
    g.event_browser = "/usr/bin/less -R", g.events_folder = "/data/ev", g.review_path = "/data";
    g.settings_password = "s3cret", g.clock_trim = "0A0B0C0D", g.ad_serial = "12345678";
    g.chart_speed = -3, g.comm_port = 4, g.sync_every = 6, g.gmt_correction = -11, g.lpt_port = 2;
    g.auto_start = g.pc_rtc = g.pc_sync = g.watchdog_enabled = g.use_twarden = g.hw_alarm = 1;
    g.alarm_on_l2 = g.alarm_on_events = g.send_sms = g.send_mail = g.no_charts = g.service_mode = 1;
    g.no_version_warning = g.no_logo = g.settings_locked = g.print_quake = g.alarm_wav = 1;
    g.y_scale_all_channels = 1, g.never_purge = 0, g.sync_source_dcf = 0;
    g.watchdog_period = 120, g.bmp_update = 11, g.hours_per_row = 2, g.flush_period = 5;
    g.purge_days = 365, g.review_y_zoom = 0.25, g.review_rows = 12, g.review_chart_speed = -7.5;
    g.event_format = 2, g.extract_channel_mask = 15, g.ad_type = 3, g.ad_base_address = 0x7ABC;
    g.drum_format = 4;
    return s;
}

TEST(SettingsRoundTrip, EveryFieldSurvivesWriteAndRead) {
    const std::string bytes = format_settings(unusual_settings());
    std::vector<SettingsProblem> problems;
    const Settings back = parse_lines(bytes, &problems);
    EXPECT_TRUE(problems.empty());
    // Every stored field differs from its start value, so a field lost on
    // either side would change the text.
    EXPECT_EQ(format_settings(back), bytes);
    for (const char* line : {"DCO=-240 \r\n", "YSC= .5 \r\n", "ADB= 7ABC\r\n"})
        EXPECT_NE(bytes.find(line), std::string::npos) << line;
    EXPECT_EQ(std::tuple(back.channel(2).dc_offset, back.channel(1).y_scale, back.channel(4).filter_delay),
              std::tuple(-240, 0.5, -0.001));
    EXPECT_EQ(std::tuple(back.general.gmt_correction, back.general.ad_base_address), std::tuple(-11, 0x7ABC));
    EXPECT_EQ(back.general.elevation, " 12 m ");
    EXPECT_EQ(back.sync_source_text, "GPS");
    EXPECT_EQ(back.channel(3).start_ratio, 3);
    EXPECT_EQ(back.channel(3).mag_corr_terms[0], "-0.25");

    Settings s = new_file_settings();
    s.general.ad_base_address = -1;  // read back as a sixteen-bit word
    EXPECT_NE(format_settings(s).find("ADB= FFFF\r\n"), std::string::npos);
    EXPECT_EQ(parse_lines(format_settings(s)).general.ad_base_address, -1);
}

TEST(SettingsRoundTrip, SaveOverwritesTheWholeFileAndLoadReadsItBack) {
    TestFolder folder;
    const fs::path path = folder.path() / "terrawv.ini";
    std::ofstream(path) << std::string(10000, 'x');
    const Settings original = unusual_settings();
    std::string error;
    ASSERT_TRUE(save_settings(path, original, &error)) << error;
    EXPECT_EQ(read_bytes(path), format_settings(original));

    Settings loaded;
    const LoadResult result = load_settings(path, folder.path().string(), loaded);
    EXPECT_FALSE(result.created_new_file);
    EXPECT_TRUE(result.problems.empty());
    EXPECT_EQ(format_settings(loaded), format_settings(original));
    // Only the settings file is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
}

// ------------------------------------------------------------ reading

// Upper-, lower- and mixed-case keys, a blank before the channel digit and a
// lower-case general key are in the hand-edited file the --print-settings run
// holds against its golden print.
TEST(SettingsReader, ConvertsValuesByKind) {
    std::vector<SettingsProblem> problems;
    Settings s = parse_lines(
        "[CHANNEL3]\r\nSPS:2.5\r\nDCO= 3.5\r\nVAX\r\nYSC= 1.5E+3 \r\nEXT=abcdef\r\nSTY= 2 \r\n"
        "DRS= .25 \r\nMSU=4 apples\r\n[GENERAL]\r\nPAP= 0.5 \r\nADB= 3f8\r\nVRS= 2.5\r\n"
        "FVU= my viewer \r\n",
        &problems);
    EXPECT_TRUE(problems.empty());
    const ChannelSettings& c = s.channel(3);
    // The fourth character is not examined; halves go to even.
    EXPECT_EQ(std::tuple(c.sps_code, c.dc_offset, c.axis_code, c.sensor_type, c.measure_unit),
              std::tuple(2, 4, 0, 2, 4));
    EXPECT_EQ(std::tuple(c.y_scale, c.drum_scale, s.general.review_y_zoom), std::tuple(1500, 0.25, 2.5));
    EXPECT_EQ(c.file_extension, "abc");
    EXPECT_EQ(std::tuple(s.general.chart_speed, s.general.ad_base_address), std::tuple(0, 0x3F8));
    EXPECT_EQ(s.general.event_browser, " my viewer ");
    EXPECT_EQ(s.sync_source_text, "GPS");
}

TEST(SettingsReader, ResetsServiceModeAndDrumScaleBeforeReading) {
    Settings s = new_file_settings();
    s.general.service_mode = 1;
    s.channel(2).sps_code = 9;
    parse_settings("[CHANNEL1]\r\nDRS= 3 \r\n", s);
    EXPECT_EQ(s.general.service_mode, 0);
    EXPECT_EQ(s.channel(1).drum_scale, 3);
    EXPECT_EQ(s.channel(2).drum_scale, 1);
    EXPECT_EQ(s.channel(2).sps_code, 9);  // fields without a line keep their value
}

TEST(SettingsReader, BadValuesAreReportedAndKeepTheField) {
    Settings s = new_file_settings();
    const auto problems = parse_settings(
        "SPS= 3 \r\n[CHANNEL1]\r\nSTY=abc\r\nDRS=2x\r\nALV= 40000 \r\nDCO= 1e400\r\nYSC=1e999\r\n"
        "[CHANNEL9]\r\nSPS= 8 \r\n[GENERAL]\r\nPAP=2 0\r\nCOM=\r\nGMT=-32769\r\n",
        s);
    ASSERT_EQ(problems.size(), 10u);
    const int expected_numbers[] = {9, 13, 13, 6, 6, 6, 9, 13, 13, 6};
    const int expected_lines[] = {1, 3, 4, 5, 6, 7, 8, 11, 12, 13};
    for (std::size_t i = 0; i < problems.size(); ++i) {
        SCOPED_TRACE(problems[i].reason);
        EXPECT_EQ(problems[i].error_number, expected_numbers[i]);
        EXPECT_EQ(problems[i].line_number, expected_lines[i]);
    }
    EXPECT_EQ(problems[1].line, "STY=abc");
    EXPECT_EQ(problems[1].reason, "value 'abc' of STY is not a number");
    EXPECT_EQ(problems[3].reason, "value ' 40000 ' of ALV is outside -32768..32767");
    const ChannelSettings& c = s.channel(1);
    EXPECT_EQ(std::tuple(c.sensor_type, c.drum_scale, c.alarm_threshold, c.dc_offset, c.y_scale),
              std::tuple(0, 1, 5000, 0, 10));
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(s.channel(n).sps_code, 4);
    EXPECT_EQ(std::tuple(s.general.chart_speed, s.general.comm_port, s.general.gmt_correction),
              std::tuple(20, 1, -1));
}

TEST(SettingsReader, GeneralBlockEndsAtEndOfFileOrEndLineAndAnyLineEndIsTaken) {
    Settings s = parse_lines("[GENERAL]\r\nGMT= 2\r\nOPS= 1");
    EXPECT_EQ(std::tuple(s.general.gmt_correction, s.general.sync_source_dcf), std::tuple(2, 1));
    EXPECT_EQ(s.sync_source_text, "DCF");
    // Lines after "[END GENERAL]" are read as usual again.
    s = parse_lines("[GENERAL]\r\nGMT= 2\r\n[END GENERAL]\r\nGMT= 5\r\n[CHANNEL4]\r\nSPS= 2 \r\n");
    EXPECT_EQ(s.general.gmt_correction, 2);
    EXPECT_EQ(s.channel(4).sps_code, 2);

    std::string bytes = format_settings(unusual_settings());
    std::string lf_only = bytes;
    std::erase(lf_only, '\r');
    EXPECT_EQ(format_settings(parse_lines(lf_only)), bytes);
    s = parse_lines("[CHANNEL2]\rSPS= 7 \rDCO=-3 \r");
    EXPECT_EQ(std::tuple(s.channel(2).sps_code, s.channel(2).dc_offset), std::tuple(7, -3));
}

TEST(SettingsReader, NewSettingsSectionsAfterEndGeneralAreKeptAndWrittenBack) {
    std::vector<SettingsProblem> problems;
    Settings s = parse_lines(
        "[GENERAL]\r\nGMT= 2\r\n[END GENERAL]\r\n[Stream]\r\n NETWORK = XX \r\n\r\n"
        "no equals sign\r\n[TRIGGER]\r\nSPS1=abc\r\nWINDOW=2.5\r\n",
        &problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].line_number, 7);
    EXPECT_EQ(*s.extra.find("STREAM", "network"), "XX");
    // A classic key name inside a new section is that section's own.
    EXPECT_EQ(s.channel(1).sps_code, 0);
    std::string problem;
    EXPECT_EQ(s.extra.number("TRIGGER", "SPS1", 7, &problem), 7);
    EXPECT_EQ(problem, "[TRIGGER] SPS1=abc is not a number");
    EXPECT_EQ(s.extra.number("TRIGGER", "WINDOW", 0), 2.5);

    const std::string bytes = format_settings(s);
    EXPECT_TRUE(bytes.ends_with(
        "[END GENERAL]\r\n[Stream]\r\nNETWORK=XX\r\n[TRIGGER]\r\nSPS1=abc\r\nWINDOW=2.5\r\n"));
    EXPECT_EQ(parse_lines(bytes).extra, s.extra);
    // A key set back to its default goes, and so does a section left empty.
    s.extra.erase("stream", "NETWORK");
    EXPECT_TRUE(format_settings(s).ends_with("[END GENERAL]\r\n[TRIGGER]\r\nSPS1=abc\r\nWINDOW=2.5\r\n"));
}

// ------------------------------------------------------------ list fields

ChannelSettings channel_from(const std::string& lines) {
    return parse_lines("[CHANNEL1]\r\n" + lines).channel(1);
}

TEST(ListFields, StartStopAndMagnitudeCorrection) {
    const auto start = [](const ChannelSettings& c) {
        return std::tuple(c.start_amplitude, c.samples_over_start, c.pre_event_minutes, c.sta_seconds,
                          c.lta_seconds, c.start_ratio);
    };
    EXPECT_EQ(start(channel_from("STA=2000,2,2,1,30,3\r\n")), std::tuple(2000, 2., 2., 1., 30., 3.));
    // Items not typed (missing or empty) keep their presets; a typed 0 stays.
    ChannelSettings c = channel_from("STA=40000,2\r\n");
    EXPECT_EQ(start(c), std::tuple(32767, 2., 2., 1., 30., 3.));
    EXPECT_EQ(start(channel_from("STA=2000,,0\r\n")), std::tuple(2000, 2., 0., 1., 30., 3.));
    EXPECT_EQ(c.start_params, "40000,2");  // the text is kept as written
    // A character after the sixth item leaves the items unlimited: an
    // amplitude beyond 16 bits keeps the preset.
    EXPECT_EQ(start(channel_from("STA=99999,2,2,1,30,3 \r\n")), std::tuple(32767, 2., 2., 1., 30., 3.));

    const auto stop = [](const ChannelSettings& c) {
        return std::tuple(c.stop_amplitude, c.post_event_minutes, c.stop_ratio, c.max_event_minutes);
    };
    // The new file's "1800,2": the ratio and the maximum length keep their
    // presets, and a maximum length of 0 never cuts events to one sample.
    EXPECT_EQ(stop(channel_from("STO=1800,2\r\n")), std::tuple(1800, 2., 3., 5000.));
    EXPECT_EQ(stop(channel_from("STO=1800,0,0,0\r\n")), std::tuple(1800, 0., 0., 5000.));
    EXPECT_EQ(stop(channel_from("STO=1800,-2,3,60\r\n")), std::tuple(1800, 0., 3., 60.));
    // A fifth item ends the list before limiting: the coda time is then the
    // absolute value of the item.
    EXPECT_EQ(channel_from("STO=1800,-2,3,60,9\r\n").post_event_minutes, 2);

    using Terms = std::vector<std::string>;
    const auto terms = [](const std::string& line) {
        const auto t = channel_from(line).mag_corr_terms;
        return Terms(t.begin(), t.end());
    };
    EXPECT_EQ(terms("COR=0.5,0.5,0.5\r\n"), Terms(5, "0"));
    EXPECT_EQ(terms("COR=150,1,1,1,1\r\n"), (Terms{"100", "1", "1", "1", "1"}));
    EXPECT_EQ(terms("COR=0.001,-200,0.001,0.001,0.001\r\n")[1], "-100");
}

TEST(ListFields, EventLengthsFollowSampleRate) {
    // 100 samples per second, 300 minutes of coda: limited to one million.
    const auto lengths = [](const ChannelSettings& c) {
        return std::tuple(c.pre_event_samples, c.post_event_samples, c.max_event_samples);
    };
    ChannelSettings c = channel_from("SPS= 11 \r\nSTA=2000,2,2,1,30,3\r\nSTO=1800,300,3,600\r\n");
    EXPECT_EQ(lengths(c), std::tuple(12000., 1e6, 1e6));
    // The pre-event buffer has no limit.
    c = channel_from("SPS= 11 \r\nSTA=2000,2,400,1,30,3\r\nSTO=1800,2,3,100\r\n");
    EXPECT_EQ(lengths(c), std::tuple(2.4e6, 12000., 600000.));

    // The counts follow the final sample rate even when SPS comes last.
    c = channel_from("STO=1800,2,3,100\r\nSPS= 7 \r\n");
    EXPECT_EQ(c.post_event_samples, 1200);
}

// ------------------------------------------------------------ load and save

// A missing file is written with the new-file values (the program's
// --print-settings run compares it byte for byte); an unwritable folder or an
// unreadable file leave the program on those values, saying why.
TEST(LoadSettings, WithoutAReadableFileTheNewFileValuesAreUsedAndTheReasonGiven) {
    TestFolder folder;
    fs::create_directory(folder / "unreadable.ini");  // exists, but cannot be read as a file
    const std::string expected = format_settings(new_file_settings());
    const struct { fs::path path; bool created, unreadable; std::string write_error; } cases[] = {
        {folder / "terrawv.ini", true, false, ""},
        {"/nonexistent-tw-folder/sub/terrawv.ini", false, false,
         "cannot write /nonexistent-tw-folder/sub/terrawv.ini: No such file or directory"},
        {folder / "unreadable.ini", false, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Settings settings = unusual_settings();
        const LoadResult result = load_settings(c.path, "/station", settings);
        EXPECT_EQ(std::tuple(result.created_new_file, result.write_error), std::tuple(c.created, c.write_error));
        EXPECT_EQ(result.read_error.starts_with("cannot read " + c.path.string() + ": "), c.unreadable);
        EXPECT_TRUE(result.problems.empty());
        EXPECT_EQ(format_settings(settings), expected);
        // The values worked out from the stored texts follow them.
        const ChannelSettings& c1 = settings.channel(1);
        EXPECT_EQ(std::tuple(c1.start_amplitude, c1.stop_amplitude, c1.post_event_samples), std::tuple(2000, 1800, 120.));
        EXPECT_EQ(settings.channel(2).mag_corr_terms[4], "0.001");
        EXPECT_EQ(settings.sync_source_text, "DCF");
    }
    EXPECT_EQ(read_bytes(folder / "terrawv.ini"), expected);
    EXPECT_TRUE(fs::is_directory(folder / "unreadable.ini"));
}

TEST(SaveSettings, FailedWriteLeavesNoPartialFile) {
    TestFolder folder;
    const fs::path path = folder.path() / "terrawv.ini";
    fs::create_directories(path / "blocker");  // a non-empty folder cannot be replaced
    std::string error;
    EXPECT_FALSE(save_settings(path, new_file_settings(), &error));
    EXPECT_EQ(error.rfind("cannot write " + path.string() + ": ", 0), 0u) << error;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
}

// Folders named in the settings: a relative path lies in the station folder.
TEST(StationPaths, RelativeFoldersLieInTheStationFolder) {
    GeneralSettings g;
    EXPECT_EQ(events_folder_path(g, "/st"), fs::path("/st/events"));
    g.events_folder = "myevents";
    g.review_path = "../other";
    EXPECT_EQ(events_folder_path(g, "/st"), fs::path("/st/myevents"));
    EXPECT_EQ(review_folder_path(g, "/st"), fs::path("/st/../other"));
    g.events_folder = "/data/events";
    EXPECT_EQ(events_folder_path(g, "/st"), fs::path("/data/events"));
}

}  // namespace
}  // namespace tw::config
