#include "config/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace tw::config {
namespace {

namespace fs = std::filesystem;

std::string read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> split_crlf(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(bytes.substr(start, end - start));
    }
    EXPECT_EQ(start, bytes.size()) << "text after the last CR LF";
    return lines;
}

// A fresh folder under the build tree, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        path_ = fs::temp_directory_path() /
                ("tw_config_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    static inline int counter_ = 0;
    fs::path path_;
};

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

TEST(SettingsWriter, SectionsHaveTheirLineCountsAndNumberForms) {
    const auto lines = split_crlf(format_settings(new_file_settings()));
    ASSERT_EQ(lines.size(), 4u * 29 + 1 + 47 + 1);
    for (int n = 0; n < 4; ++n) {
        EXPECT_EQ(lines[n * 29], "[CHANNEL" + std::to_string(n + 1) + "]");
    }
    EXPECT_EQ(lines[116], "[GENERAL]");
    EXPECT_EQ(lines.back(), "[END GENERAL]");
    EXPECT_EQ(lines[1], "SPS= 4 ");
    EXPECT_EQ(lines[3 * 29 + 2], "VAX= 4 ");
    EXPECT_EQ(lines[15], "EXT=ex1");
    auto general = [&](const std::string& key) {
        for (std::size_t i = 117; i < lines.size(); ++i) {
            if (lines[i].compare(0, 4, key + "=") == 0) return lines[i];
        }
        return std::string("missing");
    };
    EXPECT_EQ(general("PAP"), "PAP= 20 ");
    EXPECT_EQ(general("COM"), "COM= 1 ");
    EXPECT_EQ(general("GMT"), "GMT=-1");
    EXPECT_EQ(general("AUT"), "AUT= 0");
    EXPECT_EQ(general("ADB"), "ADB= 14A");
    EXPECT_EQ(general("PSW"), "PSW=");
    EXPECT_EQ(general("EVF"), "EVF=/station/events");
    EXPECT_EQ(general("EXD"), "EXD=/station");
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
        c.sps_code = 7 + n;
        c.axis_code = n % 5;
        c.dc_offset = -120 * n;
        c.y_scale = 0.5 / n;
        c.trigger_mode = 1;
        c.start_params = "1500,3,1.5,2,40," + std::to_string(n);
        c.stop_params = "900,6,2.5,120";
        c.invert = 1;
        c.record_enabled = 1;
        c.alarm_enabled = 1;
        c.alarm_threshold = -32768 + n;
        c.logging_enabled = 1;
        c.auto_offset = 1;
        c.extend_trigger = 1;
        c.file_extension = "z" + std::to_string(n) + "q";
        c.drum_enabled = 1;
        c.drum_hidden = 1;
        c.magnitude_correction = "-0.25,1,2,3," + std::to_string(n);
        c.fft_enabled = 1;
        c.drum_scale = 0.75;
        c.sensor_type = 3;
        c.sensor_sensitivity = 1.0 / 3;
        c.amplifier_gain = -12.5;
        c.ad_bits = 24;
        c.ad_range = 2.5e-7;
        c.data_output_factor = 123456789012345678.0;
        c.measure_unit = 5;
        c.filter_delay = -0.001;
    }
    GeneralSettings& g = s.general;
    g.elevation = " 12 m ";
    g.location = "Monte Rosso";
    g.coordinates = "45.1N 7.2E";
    g.chart_speed = -3;
    g.comm_port = 4;
    g.auto_start = 1;
    g.event_browser = "/usr/bin/less -R";
    g.events_folder = "/data/ev";
    g.pc_rtc = 1;
    g.pc_sync = 1;
    g.sync_every = 6;
    g.gmt_correction = -11;
    g.lpt_port = 2;
    g.watchdog_enabled = 1;
    g.watchdog_period = 120;
    g.use_twarden = 1;
    g.bmp_update = 11;
    g.hours_per_row = 2;
    g.flush_period = 5;
    g.purge_days = 365;
    g.never_purge = 0;
    g.hw_alarm = 1;
    g.alarm_on_l2 = 1;
    g.alarm_on_events = 1;
    g.send_sms = 1;
    g.send_mail = 1;
    g.review_y_zoom = 0.25;
    g.review_rows = 12;
    g.review_chart_speed = -7.5;
    g.review_path = "/data";
    g.event_format = 2;
    g.no_charts = 1;
    g.service_mode = 1;
    g.no_version_warning = 1;
    g.no_logo = 1;
    g.settings_password = "s3cret";
    g.settings_locked = 1;
    g.extract_channel_mask = 15;
    g.ad_type = 3;
    g.ad_base_address = 0x7ABC;
    g.print_quake = 1;
    g.drum_format = 4;
    g.alarm_wav = 1;
    g.sync_source_dcf = 0;
    g.y_scale_all_channels = 1;
    g.clock_trim = "0A0B0C0D";
    g.ad_serial = "12345678";
    return s;
}

TEST(SettingsRoundTrip, EveryFieldSurvivesWriteAndRead) {
    const Settings original = unusual_settings();
    const std::string bytes = format_settings(original);
    std::vector<SettingsProblem> problems;
    const Settings back = parse_lines(bytes, &problems);
    EXPECT_TRUE(problems.empty());
    // Every stored field differs from its start value, so a field lost on
    // either side would change the text.
    EXPECT_EQ(format_settings(back), bytes);

    EXPECT_NE(bytes.find("DCO=-240 \r\n"), std::string::npos);
    EXPECT_NE(bytes.find("YSC= .5 \r\n"), std::string::npos);
    EXPECT_NE(bytes.find("ADB= 7ABC\r\n"), std::string::npos);
    EXPECT_EQ(back.channel(2).dc_offset, -240);
    EXPECT_EQ(back.channel(1).y_scale, 0.5);
    EXPECT_EQ(back.channel(4).filter_delay, -0.001);
    EXPECT_EQ(back.general.gmt_correction, -11);
    EXPECT_EQ(back.general.ad_base_address, 0x7ABC);
    EXPECT_EQ(back.general.elevation, " 12 m ");
    EXPECT_EQ(back.sync_source_text, "GPS");
    EXPECT_EQ(back.channel(3).start_ratio, 3);
    EXPECT_EQ(back.channel(3).mag_corr_terms[0], "-0.25");
}

TEST(SettingsRoundTrip, NegativeBaseAddressReadsBackAsSixteenBitWord) {
    Settings s = new_file_settings();
    s.general.ad_base_address = -1;
    const std::string bytes = format_settings(s);
    EXPECT_NE(bytes.find("ADB= FFFF\r\n"), std::string::npos);
    EXPECT_EQ(parse_lines(bytes).general.ad_base_address, -1);
}

TEST(SettingsRoundTrip, SaveAndLoadThroughFile) {
    TempFolder folder;
    const fs::path path = folder.path() / "terrawv.ini";
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

TEST(SettingsReader, ChannelKeysUpperOrLowerCaseOnly) {
    Settings s = parse_lines("[CHANNEL1]\r\nsps= 9 \r\nSps= 3 \r\nvAX= 2 \r\n[CHANNEL 2]\r\nSPS= 6 \r\n");
    EXPECT_EQ(s.channel(1).sps_code, 9);
    EXPECT_EQ(s.channel(1).axis_code, 0);
    EXPECT_EQ(s.channel(2).sps_code, 6);  // a blank before the digit is allowed
}

TEST(SettingsReader, GeneralKeysUpperCaseOnly) {
    Settings s = parse_lines("[GENERAL]\r\ngmt=-4\r\nGMT=-2\r\nGmt=-5\r\nXYZ=1\r\n[END GENERAL]\r\n");
    EXPECT_EQ(s.general.gmt_correction, -2);
}

TEST(SettingsReader, ConvertsValuesByKind) {
    std::vector<SettingsProblem> problems;
    Settings s = parse_lines(
        "[CHANNEL3]\r\nSPS:2.5\r\nDCO= 3.5\r\nVAX\r\nYSC= 1.5E+3 \r\nEXT=abcdef\r\nSTY= 2 \r\n"
        "DRS= .25 \r\nMSU=4 apples\r\n[GENERAL]\r\nPAP= 0.5 \r\nADB= 3f8\r\nVRS= 2.5\r\n"
        "FVU= my viewer \r\n",
        &problems);
    EXPECT_TRUE(problems.empty());
    const ChannelSettings& c = s.channel(3);
    EXPECT_EQ(c.sps_code, 2);  // the fourth character is not examined; halves go to even
    EXPECT_EQ(c.dc_offset, 4);
    EXPECT_EQ(c.axis_code, 0);
    EXPECT_EQ(c.y_scale, 1500);
    EXPECT_EQ(c.file_extension, "abc");
    EXPECT_EQ(c.sensor_type, 2);
    EXPECT_EQ(c.drum_scale, 0.25);
    EXPECT_EQ(c.measure_unit, 4);
    EXPECT_EQ(s.general.chart_speed, 0);
    EXPECT_EQ(s.general.ad_base_address, 0x3F8);
    EXPECT_EQ(s.general.review_y_zoom, 2.5);
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
        EXPECT_EQ(problems[i].error_number, expected_numbers[i]) << problems[i].reason;
        EXPECT_EQ(problems[i].line_number, expected_lines[i]) << problems[i].reason;
    }
    EXPECT_EQ(problems[1].line, "STY=abc");
    EXPECT_EQ(problems[1].reason, "value 'abc' of STY is not a number");
    EXPECT_EQ(problems[3].reason, "value ' 40000 ' of ALV is outside -32768..32767");
    const ChannelSettings& c = s.channel(1);
    EXPECT_EQ(c.sensor_type, 0);
    EXPECT_EQ(c.drum_scale, 1);
    EXPECT_EQ(c.alarm_threshold, 5000);
    EXPECT_EQ(c.dc_offset, 0);
    EXPECT_EQ(c.y_scale, 10);
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(s.channel(n).sps_code, 4);
    EXPECT_EQ(s.general.chart_speed, 20);
    EXPECT_EQ(s.general.comm_port, 1);
    EXPECT_EQ(s.general.gmt_correction, -1);
}

TEST(SettingsReader, GeneralBlockEndsAtEndOfFileOrEndLine) {
    Settings s = parse_lines("[GENERAL]\r\nGMT= 2\r\nOPS= 1");
    EXPECT_EQ(s.general.gmt_correction, 2);
    EXPECT_EQ(s.general.sync_source_dcf, 1);
    EXPECT_EQ(s.sync_source_text, "DCF");

    // Lines after "[END GENERAL]" are read as usual again.
    Settings t = parse_lines("[GENERAL]\r\nGMT= 2\r\n[END GENERAL]\r\nGMT= 5\r\n[CHANNEL4]\r\nSPS= 2 \r\n");
    EXPECT_EQ(t.general.gmt_correction, 2);
    EXPECT_EQ(t.channel(4).sps_code, 2);
}

TEST(SettingsReader, AcceptsLineFeedOrCarriageReturnLineEnds) {
    std::string bytes = format_settings(unusual_settings());
    std::string lf_only;
    for (char c : bytes) {
        if (c != '\r') lf_only += c;
    }
    EXPECT_EQ(format_settings(parse_lines(lf_only)), bytes);
    Settings s = parse_lines("[CHANNEL2]\rSPS= 7 \rDCO=-3 \r");
    EXPECT_EQ(s.channel(2).sps_code, 7);
    EXPECT_EQ(s.channel(2).dc_offset, -3);
}

// ------------------------------------------------------------ list fields

ChannelSettings channel_from(const std::string& lines) {
    return parse_lines("[CHANNEL1]\r\n" + lines).channel(1);
}

TEST(ListFields, StartParams) {
    ChannelSettings c = channel_from("STA=2000,2,2,1,30,3\r\n");
    EXPECT_EQ(c.start_amplitude, 2000);
    EXPECT_EQ(c.samples_over_start, 2);
    EXPECT_EQ(c.pre_event_minutes, 2);
    EXPECT_EQ(c.sta_seconds, 1);
    EXPECT_EQ(c.lta_seconds, 30);
    EXPECT_EQ(c.start_ratio, 3);

    c = channel_from("STA=40000,2\r\n");
    EXPECT_EQ(c.start_amplitude, 32767);
    EXPECT_EQ(c.samples_over_start, 2);
    EXPECT_EQ(c.pre_event_minutes, 0);
    EXPECT_EQ(c.sta_seconds, 0);
    EXPECT_EQ(c.lta_seconds, 0);
    EXPECT_EQ(c.start_ratio, 0);
    EXPECT_EQ(c.start_params, "40000,2");  // the text is kept as written

    // A character after the sixth item leaves the items unlimited: an
    // amplitude beyond 16 bits keeps the preset.
    c = channel_from("STA=99999,2,2,1,30,3 \r\n");
    EXPECT_EQ(c.start_amplitude, 32767);
    EXPECT_EQ(c.start_ratio, 3);
}

TEST(ListFields, StopParams) {
    ChannelSettings c = channel_from("STO=1800,2\r\n");
    EXPECT_EQ(c.stop_amplitude, 1800);
    EXPECT_EQ(c.post_event_minutes, 2);
    EXPECT_EQ(c.stop_ratio, 0);
    EXPECT_EQ(c.max_event_minutes, 0);

    c = channel_from("STO=1800,-2,3,60\r\n");
    EXPECT_EQ(c.post_event_minutes, 0);
    EXPECT_EQ(c.stop_ratio, 3);
    EXPECT_EQ(c.max_event_minutes, 60);

    // A fifth item ends the list before limiting: the coda time is then the
    // absolute value of the item.
    c = channel_from("STO=1800,-2,3,60,9\r\n");
    EXPECT_EQ(c.post_event_minutes, 2);
}

TEST(ListFields, MagnitudeCorrection) {
    ChannelSettings c = channel_from("COR=0.5,0.5,0.5\r\n");
    for (const auto& term : c.mag_corr_terms) EXPECT_EQ(term, "0");

    c = channel_from("COR=150,1,1,1,1\r\n");
    EXPECT_EQ(c.mag_corr_terms[0], "100");
    EXPECT_EQ(c.mag_corr_terms[4], "1");

    c = channel_from("COR=0.001,-200,0.001,0.001,0.001\r\n");
    EXPECT_EQ(c.mag_corr_terms[0], "0.001");
    EXPECT_EQ(c.mag_corr_terms[1], "-100");
}

TEST(ListFields, EventLengthsFollowSampleRate) {
    // 100 samples per second, 300 minutes of coda: limited to one million.
    ChannelSettings c = channel_from("SPS= 11 \r\nSTA=2000,2,2,1,30,3\r\nSTO=1800,300,3,600\r\n");
    EXPECT_EQ(c.pre_event_samples, 12000);
    EXPECT_EQ(c.post_event_samples, 1e6);
    EXPECT_EQ(c.max_event_samples, 1e6);

    c = channel_from("SPS= 11 \r\nSTA=2000,2,400,1,30,3\r\nSTO=1800,2,3,100\r\n");
    EXPECT_EQ(c.pre_event_samples, 2.4e6);  // the pre-event buffer has no limit
    EXPECT_EQ(c.post_event_samples, 12000);
    EXPECT_EQ(c.max_event_samples, 600000);

    // The counts follow the final sample rate even when SPS comes last.
    c = channel_from("STO=1800,2,3,100\r\nSPS= 7 \r\n");
    EXPECT_EQ(c.post_event_samples, 1200);
}

// ------------------------------------------------------------ load and save

TEST(LoadSettings, MissingFileIsCreatedWithNewFileValues) {
    TempFolder folder;
    const fs::path path = folder.path() / "terrawv.ini";
    Settings settings = unusual_settings();
    const LoadResult result = load_settings(path, folder.path().string(), settings);
    EXPECT_TRUE(result.created_new_file);
    EXPECT_TRUE(result.write_error.empty());
    EXPECT_TRUE(result.problems.empty());
    const Settings expected = new_file_settings(folder.path().string());
    EXPECT_EQ(read_bytes(path), format_settings(expected));
    EXPECT_EQ(format_settings(settings), format_settings(expected));
    EXPECT_EQ(settings.channel(1).start_amplitude, 2000);
    EXPECT_EQ(settings.channel(1).stop_amplitude, 1800);
    EXPECT_EQ(settings.channel(1).post_event_samples, 120 * 1);
    EXPECT_EQ(settings.channel(2).mag_corr_terms[4], "0.001");
    EXPECT_EQ(settings.general.events_folder, folder.path().string() + "/events");
    EXPECT_EQ(settings.sync_source_text, "DCF");
}

TEST(LoadSettings, UnwritableFolderKeepsNewFileValuesAndSaysWhy) {
    const fs::path path = "/nonexistent-tw-folder/sub/terrawv.ini";
    Settings settings;
    const LoadResult result = load_settings(path, "/nonexistent-tw-folder/sub", settings);
    EXPECT_FALSE(result.created_new_file);
    EXPECT_EQ(result.write_error, "cannot write " + path.string() + ": No such file or directory");
    EXPECT_EQ(settings.channel(3).sps_code, 4);
    EXPECT_EQ(settings.channel(3).start_amplitude, 2000);
    EXPECT_EQ(settings.channel(3).drum_scale, 2);
    EXPECT_EQ(settings.general.ad_base_address, 330);
}

TEST(LoadSettings, UnreadableFileIsLeftAlone) {
    TempFolder folder;
    const fs::path path = folder.path() / "terrawv.ini";
    fs::create_directory(path);  // exists, but cannot be read as a file
    Settings settings;
    const LoadResult result = load_settings(path, folder.path().string(), settings);
    EXPECT_FALSE(result.created_new_file);
    EXPECT_NE(result.read_error.find("cannot read " + path.string() + ": "), std::string::npos);
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(settings.general.comm_port, 1);
}

TEST(SaveSettings, FailedWriteLeavesNoPartialFile) {
    TempFolder folder;
    const fs::path path = folder.path() / "terrawv.ini";
    fs::create_directories(path / "blocker");  // a non-empty folder cannot be replaced
    std::string error;
    EXPECT_FALSE(save_settings(path, new_file_settings(), &error));
    EXPECT_EQ(error.rfind("cannot write " + path.string() + ": ", 0), 0u) << error;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
}

TEST(SaveSettings, OverwritesWholeFile) {
    TempFolder folder;
    const fs::path path = folder.path() / "terrawv.ini";
    std::ofstream(path) << std::string(10000, 'x');
    std::string error;
    ASSERT_TRUE(save_settings(path, new_file_settings(), &error)) << error;
    EXPECT_EQ(read_bytes(path), format_settings(new_file_settings()));
}

}  // namespace
}  // namespace tw::config
