#include "recorder_fixture.h"

#include "events/event_file.h"

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <fstream>

namespace tw::events::testing {
namespace {

const fs::path golden_dir = fs::path(TW_TEST_DATA_DIR) / "events";

class EventFiles : public RecorderFixture {
protected:
    void station_details() {
        settings.general.location = "Monte Verde", settings.general.coordinates = "14.39N 12.33E";
        settings.general.elevation = "312";
        for (auto& ch : settings.channels) {
            ch.axis_code = 3, ch.sensor_type = 1, ch.measure_unit = 4, ch.data_output_factor = 0.001;
            ch.mag_corr_terms = {".5", "-1.2", "20", "1", "0"};
        }
    }
    // Sets the channel's rate and pre-event time.
    void set_rate(int k, int sps_code, double pre_event_minutes) {
        config::ChannelSettings& ch = settings.channel(k);
        ch.sps_code = sps_code, ch.pre_event_minutes = pre_event_minutes;
        config::recompute_event_lengths(ch);
    }
};

// A short event of channel 1 through the whole path in each format and on
// each board: 75 samples of history, a manual start on a sample at .400 (50
// per second) or .900 (100 per second), eight recorded samples, then STOP.
TEST_F(EventFiles, GoldenFilesMatchByteForByte) {
    station_details();
    settings.channel(1).trigger_mode = 1;  // started by hand only
    settings.channel(1).start_ratio = 1e9;
    const struct { const char* file; int event_format, ad_type; } cases[] = {
        {"psn1_16bit.z1", psn_ascii_1, 0}, {"psn2_16bit.z1", psn_ascii_2, 0}, {"ascii_16bit.z1", plain_ascii, 0},
        {"psn1_18bit.z1", psn_ascii_1, 1}, {"psn2_18bit.z1", psn_ascii_2, 1}, {"ascii_18bit.z1", plain_ascii, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        settings.general.event_format = c.event_format, settings.general.ad_type = c.ad_type;
        const bool eighteen = c.ad_type == 1;
        board_reply = eighteen ? "ORDA V.1.80" : "ORDA V.1.40";
        lock_state = eighteen ? "NL" : "L";
        settings.sync_source_text = eighteen ? "GPS" : "DCF";
        set_rate(1, eighteen ? 11 : 10, eighteen ? 0.01 : 0.02);  // 100 or 50 per second: 60 pre-event positions
        start();
        for (int i = 0; i < 75; ++i) feed(1, (i * 37 % 201 - 100) * (eighteen ? 1250 : 100));
        recorder->manual_record(1, true);
        feed(1, 4321, eighteen ? ".900" : ".400");
        for (const int v : {0, -1, 1, 32767, -32768, 131071, -131072, 65536}) feed(1, v);
        EXPECT_TRUE(active(1));
        recorder->stop_run();
        ASSERT_EQ(recorder->channel(1).event_file_name, "030203.123456.z1");
        const std::string written = read_bytes(event_path(1));
        if (std::getenv("TW_UPDATE_GOLDEN")) std::ofstream(golden_dir / c.file, std::ios::binary) << written;
        EXPECT_EQ(written, read_bytes(golden_dir / c.file));
        fs::remove(event_path(1));
    }
}

// An event on channel 2 at board time 2003/02/03 12:34:56, sample at .400,
// 50 per second, 2 pre-event minutes, extension z2, 12345 samples in all.
TEST_F(EventFiles, TheAlignedPreEventSectionAndThePatchedCountOfALongEvent) {
    for (const int format : {psn_ascii_1, psn_ascii_2, plain_ascii}) {
        SCOPED_TRACE(format);
        settings.general.event_format = format;
        set_rate(2, 10, 2);
        settings.channel(2).stop_params = "0,10,0,10";  // no coda, at most 30000
        config::expand_stop_params(settings.channel(2));
        settings.channel(2).start_amplitude = 32767;
        start();
        for (int i = 0; i < 7000; ++i) feed(2, i % 6000);
        recorder->manual_record(2, true);
        feed(2, -5, ".400");
        ASSERT_TRUE(active(2));
        const ChannelEventState& ch = recorder->channel(2);
        EXPECT_EQ(ch.event_start_text + " " + ch.event_file_name, "2003/02/03 12:32:57 030203.123257.z2");
        EXPECT_EQ(ch.event_samples, 5972);
        while (ch.event_samples < 12345) feed(2, 1);
        recorder->stop_run();

        const std::string bytes = read_bytes(event_path(2));
        const auto lines = read_lines(event_path(2));
        if (format == plain_ascii) {
            EXPECT_EQ(bytes.substr(0, 35), "2003/02/03 12:32:57.000 0000012345 ");
            ASSERT_EQ(lines.size(), 12346u);
            // The ring was last written at position 1001 (the trigger); the
            // section starts at 1003 and its first 27 samples are dropped.
            EXPECT_EQ(lines[1], " 1029");
            EXPECT_EQ(lines[5972], "-5");
        } else {
            EXPECT_EQ(bytes.substr(93, 10), " 12345    ");
            EXPECT_EQ(lines[1], "Start Time: 2003/02/03 12:32:57.000 ");
            EXPECT_EQ(lines[2], "Number of Samples:  12345     ");
            const auto data = data_lines(event_path(2));
            ASSERT_EQ(data.size(), 12345u);
            EXPECT_EQ(data[5971], "-5");
        }
        fs::remove(event_path(2));
    }
    EXPECT_EQ(sample_count_text(psn_ascii_2, 1000180), " 1000180  ");  // seven digits fit the field
}

TEST(PreEventSection, DropsTheFirstSkipMinusOneSamplesOldestFirst) {
    const std::vector<std::int32_t> ring = {1, 2, 3, 4, 5, 6, 0, 0};
    // n = 6, p = 3: positions 4, 5, 6, 1, 2 (the triggering sample).
    EXPECT_EQ(pre_event_section(ring, 6, 3, 0), (std::vector<std::int32_t>{4, 5, 6, 1, 2}));
    EXPECT_EQ(pre_event_section(ring, 6, 3, 1), (std::vector<std::int32_t>{4, 5, 6, 1, 2}));
    EXPECT_EQ(pre_event_section(ring, 6, 3, 3), (std::vector<std::int32_t>{6, 1, 2}));
    EXPECT_EQ(pre_event_section(ring, 6, 1, 0), (std::vector<std::int32_t>{2, 3, 4, 5, 6}));
    EXPECT_EQ(pre_event_section(ring, 0, 1, 0), std::vector<std::int32_t>{});
    // Never beyond the ring, whatever the numbers.
    EXPECT_EQ(pre_event_section(ring, 100, 9, 0).size(), 7u);

    EXPECT_EQ(pre_event_skip(50, ".400"), 28);
    EXPECT_EQ(pre_event_skip(5, ".400"), 0);  // below 10 per second nothing is dropped
    EXPECT_LE(pre_event_skip(200, ".999"), 1);
}

TEST_F(EventFiles, HeaderLinesFollowTheRateTheBoardAndTheCoordinates) {
    HeaderFields f = header_fields(settings, 1, "2003/02/03 12:34:56", "L", "ORDA V.1.80");
    const auto has = [&](const std::string& text) { return event_header(f).find(text) != std::string::npos; };
    f.rate = 5;  // 50 and 100 are the golden files'
    EXPECT_TRUE(has("\r\nSPS: 05\r\n"));
    f.ad_type = 1;  // the 18-bit board, in the format of 16 bits
    EXPECT_TRUE(has("A/D Converter Bits: 16 \r\nData Minimum: -32768\r\n"));
    f.event_format = psn_ascii_2;
    EXPECT_TRUE(has("A/D Converter Bits: 18 \r\nData Minimum: -131072\r\nData Maximum: 131071\r\n"));
    // A southern station: no "N", no latitude, the whole text as longitude.
    f.coordinates = "33.9S 18.4E";
    f.event_format = psn_ascii_1;
    EXPECT_TRUE(has("Sensor Latitude: \r\nSensor Longitude: 33.9S 18.4E\r\n"));
    EXPECT_EQ(event_header(f).find("%%%%%%%%%%"), 93u);  // the count's place whatever the coordinates
    EXPECT_EQ(plain_ascii_longitude("33.9S 18.4E"), "33.9S 18.4");
    f.event_format = plain_ascii;
    f.location = "A location longer than sixteen";
    f.coordinates = "14.39N 12.33E";
    EXPECT_EQ(event_header(f).find("%%%%%%%%%%"), 24u);
    EXPECT_TRUE(has(" 005 L DCF 16 A location longe 14.39N  12.33   0120 "));
}

TEST_F(EventFiles, TheCounterFileIsCreatedThenResetForANewDayAndCounted) {
    const fs::path path = folder / "numevt.dat";
    std::array<std::string, 4> starts = {"", "2003/02/03 12:00:00", "", ""};
    FileError error;
    EXPECT_EQ(update_event_counter(path, 2, starts, &error), 0);
    EXPECT_EQ(read_bytes(path), "\r\n0\r\n2003/02/03\r\n0\r\n\r\n0\r\n\r\n0\r\n");
    EXPECT_EQ(update_event_counter(path, 2, starts, &error), 1);
    starts[0] = "2003/02/04 00:00:01";
    EXPECT_EQ(update_event_counter(path, 1, starts, &error), 0);
    EXPECT_EQ(read_bytes(path), "2003/02/04\r\n 0\r\n2003/02/03\r\n 1\r\n\r\n 0\r\n\r\n 0\r\n");

    // A file cut short or garbled is read as far as it goes.
    std::ofstream(path, std::ios::binary) << "2003/02/04\r\n 7\r\nrubbish";
    EXPECT_EQ(update_event_counter(path, 1, starts, &error), 8);
    EXPECT_EQ(update_event_counter(folder / "none" / "numevt.dat", 1, starts, &error), -1);
    EXPECT_EQ(error.error_number, 76);
}

// A file size limit plays the full disk: the file keeps the header and the
// whole lines that fit, and nothing more is written.
TEST(EventFileWriter, AFullDiskKeepsTheWholeLinesThatFit) {
    const tw::testing::TestFolder folder;
    const fs::path path = folder / "event";
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 14 + 10;  // the header and two and a half lines
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EventFile file;
    const bool opened = file.open(path, "H %%%%%%%%%%\r\n");
    for (int i = 0; i < 5; ++i) file.append_sample(1);
    const bool flushed = file.flush();
    file.append_sample(2);
    const bool closed = file.close();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);

    ASSERT_TRUE(opened);
    EXPECT_TRUE(!flushed && !closed && file.failed() && file.header_on_disk());
    EXPECT_EQ(std::pair(file.error().error_number, file.lines_on_disk()), std::pair(61, std::size_t{2}));
    EXPECT_EQ(read_bytes(path), "H %%%%%%%%%%\r\n 1\r\n 1\r\n");
}

TEST(EventFileWriter, NeverOverwritesAnEarlierFileNorFollowsALink) {
    const tw::testing::TestFolder folder;
    std::ofstream(folder / "030203.123257.z2") << "earlier event";
    std::ofstream(folder / "target") << "not ours";
    fs::create_symlink(folder / "target", folder / "030203.123257_2.z2");

    EventFile file;
    ASSERT_TRUE(file.open(folder / "030203.123257.z2", "H\r\n"));
    EXPECT_EQ(file.path().filename(), "030203.123257_3.z2");
    EXPECT_NE(file.notice().find("030203.123257_2.z2 is a symbolic link"), std::string::npos) << file.notice();
    ASSERT_TRUE(file.close());
    EXPECT_EQ(read_bytes(folder / "030203.123257.z2"), "earlier event");
    EXPECT_EQ(read_bytes(folder / "target"), "not ours");
    EXPECT_EQ(read_bytes(folder / "030203.123257_3.z2"), "H\r\n");
}

}  // namespace
}  // namespace tw::events::testing
