// The station's wiring on fakes: START sends every sample through the
// conditioning into the day tracks, the event recorder and the charts;
// STOP ends an open event and closes the tracks; the time window's model
// finds an idle board; the trimming measures the simulator's drifting board
// and reads its EEPROM through the running loop.

#include "../acquisition/fake_board.h"
#include "app/acquisition_control.h"
#include "app/housekeeping.h"
#include "boardsim/board.h"
#include "boardsim/board_time.h"
#include "config/number_text.h"
#include "config/settings_file.h"
#include "station_fixture.h"

#include <gmock/gmock.h>

#include <cstdlib>

namespace {

using namespace tw;
using acquisition::StartOutcome;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// The data lines of an event file and the count its header gives.
struct EventFileText {
    std::string count_field;  // what follows "Number of Samples:"
    std::vector<std::int32_t> samples;
};

EventFileText parse_event_file(const std::filesystem::path& path) {
    EventFileText out;
    bool data = false;
    for (const auto& line : tw::testing::read_lines(path)) {
        if (data) out.samples.push_back(std::atoi(line.c_str()));
        if (line.starts_with("Number of Samples:")) out.count_field = line.substr(18);
        data = data || line == "Data:";
    }
    return out;
}

class SignalPathTest : public tw::testing::StationTest {
protected:
    void SetUp() override {
        use_fake_board_settings();
        for (int k = 1; k <= 4; ++k) station().settings.channel(k).sps_code = 0;
        station().board_clock.set_board_date_from_pc();  // 2003/02/03
    }

    void set_channel(int k, int sps_code, const std::string& start = "32767,2,2,1,30,3",
                     const std::string& stop = "32767,4,3,5000") {
        auto& c = station().settings.channel(k);
        c.sps_code = sps_code;
        c.start_params = start;
        c.stop_params = stop;
        config::expand_start_params(c);
        config::expand_stop_params(c);
    }

    // One board second: the time packet, then the samples of each channel
    // given (channel 1..4, values), as one read.
    void board_second(int h, int m, int s,
                      const std::vector<std::pair<int, std::vector<std::int32_t>>>& samples) {
        std::string bytes = tw::testing::time_bytes(h, m, s);
        std::size_t longest = 0;
        for (const auto& [k, values] : samples) longest = std::max(longest, values.size());
        for (std::size_t i = 0; i < longest; ++i)
            for (const auto& [k, values] : samples)
                if (i < values.size()) bytes += tw::testing::sample_bytes(k - 1, values[i], false);
        serial_.deliver(bytes);
    }
    static std::vector<std::int32_t> series(std::int32_t first, int count, int step = 1) {
        std::vector<std::int32_t> values;
        for (int i = 0; i < count; ++i) values.push_back(first + i * step);
        return values;
    }

    std::vector<std::filesystem::path> event_files() const {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(folder_ / "events"))
            if (entry.is_regular_file()) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        return files;
    }

    tw::testing::FakeBoard board_{serial_};
};

TEST_F(SignalPathTest, TriggeredEventIsWrittenAndStopEndsItWithItsCount) {
    // Channel 1, 100 samples per second, amplitude method: more than 2
    // samples above 1000 start an event with 0.6 s (60 samples) before it.
    set_channel(1, 11, "1000,2,0.01,1,30,3", "500,0.5,3,5");
    auto& c1 = station().settings.channel(1);
    c1.record_enabled = 1;
    c1.file_extension = "z1";
    station().settings.general.send_sms = 1;
    ASSERT_EQ(app::start_acquisition(station()), StartOutcome::running);

    board_second(12, 34, 56, {{1, series(0, 100)}});
    EXPECT_TRUE(event_files().empty());
    // The time base is ready from this second on: three samples over the
    // threshold start the event.
    board_second(12, 34, 57, {{1, series(100, 100)}});
    auto late_burst = series(200, 88);
    for (const std::int32_t v : {2000, 2001, 2002, 2003, 2004}) late_burst.push_back(v);
    board_second(12, 34, 58, {{1, late_burst}});
    ASSERT_TRUE(station().event_flags.event_active[0]);
    EXPECT_EQ(station().panel.man_record[0], "STOP");
    const auto files = event_files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].extension(), ".z1");
    // The header is on disk with its placeholder while the event runs.
    EXPECT_THAT(tw::testing::read_file(files[0]), HasSubstr("%%%%%%%%%%"));

    // STOP while the event runs: the file is closed and its count written.
    app::stop_acquisition(station());
    EXPECT_FALSE(station().event_flags.event_active[0]);
    EXPECT_TRUE(station().event_flags.event_ended_flag);
    EXPECT_EQ(station().panel.man_record[0], "REC");
    const EventFileText file = parse_event_file(files[0]);
    ASSERT_GE(file.samples.size(), 8u);
    EXPECT_EQ(file.count_field.find('%'), std::string::npos);
    EXPECT_EQ(std::stoul(file.count_field), file.samples.size());
    // The pre-event section ends with the three samples that triggered,
    // then the samples recorded.
    const std::vector<std::int32_t> tail(file.samples.end() - 8, file.samples.end());
    EXPECT_THAT(tail, ElementsAre(285, 286, 287, 2000, 2001, 2002, 2003, 2004));
    // and before them, in order, the samples the ring held.
    for (std::size_t i = 1; i + 5 < file.samples.size(); ++i)
        EXPECT_EQ(file.samples[i], file.samples[i - 1] + 1) << i;

    const auto texts = event_texts();
    ASSERT_GE(texts.size(), 2u);
    // The event is ended (its summary logged) before the run's last line.
    EXPECT_EQ(texts.back(), "STOP");
    EXPECT_TRUE(texts[texts.size() - 2].starts_with(files[0].filename().string() + " "))
        << texts[texts.size() - 2];
    EXPECT_THAT(tw::testing::read_file(folder_ / "sendsms.txt"), HasSubstr(" L:"));
}

// Conditioned as for the monitors (offset, then sign); midnight and every
// sample in its place are the end-to-end runs'.
TEST_F(SignalPathTest, LoggedChannelGoesIntoItsDayTrackConditionedWithStartAndStopGroups) {
    set_channel(2, 7);  // 10 samples per second
    auto& c2 = station().settings.channel(2);
    c2.logging_enabled = 1, c2.dc_offset = 5, c2.invert = 1;
    set_channel(3, 7);  // not logged
    ASSERT_EQ(app::start_acquisition(station()), StartOutcome::running);
    // Before the time base is ready nothing is logged.
    board_second(12, 0, 0, {{2, series(1, 10)}, {3, series(1, 10)}});
    board_second(12, 0, 1, {{2, series(100, 10)}, {3, series(1, 10)}});
    board_second(12, 0, 2, {{2, series(200, 4)}});
    app::stop_acquisition(station());

    const auto datalog = folder_ / "datalog";
    const std::string track = tw::testing::read_file(datalog / "0203.lg2");
    std::vector<std::int32_t> logged, sent = series(100, 10), last = series(200, 4);
    sent.insert(sent.end(), last.begin(), last.end());
    for (auto& v : sent) v = -(v + 5);
    for (std::size_t i = 0; i + 1 < track.size(); i += 2)
        logged.push_back(static_cast<std::int16_t>(static_cast<unsigned char>(track[i]) |
                                                   (static_cast<unsigned char>(track[i + 1]) << 8)));
    EXPECT_EQ(logged, sent);
    EXPECT_EQ(tw::testing::read_file(datalog / "0203.ll2"),
              "START :2003/02/03 12:00:01\r\nSPS   : 10\r\nPOSIT : 0\r\n"
              "STOP  :2003/02/03 12:00:02\r\nPOSIT : 27\r\n");
    EXPECT_FALSE(std::filesystem::exists(datalog / "0203.ch2"));
    EXPECT_FALSE(std::filesystem::exists(datalog / "0203.lg3"));
}

TEST_F(SignalPathTest, ChartsRunOnTheFastestChannelAndStopSavesTheDrumsDrawn) {
    set_channel(1, 11);  // 100 per second: the charts' clock
    set_channel(2, 3);   // one every 2 s: the board sends 2 a second, averaged by 4
    station().settings.general.chart_speed = 20;
    station().settings.channel(2).drum_enabled = 1, station().settings.channel(2).y_scale = 1;
    std::array<fakes::RecordingCanvas, 4> charts;
    for (int i = 0; i < 4; ++i) station().charts.attach(i, &charts[static_cast<std::size_t>(i)]);
    ASSERT_EQ(app::start_acquisition(station()), StartOutcome::running);
    for (int s = 0; s < 4; ++s) board_second(12, 0, s, {{1, series(0, 100)}, {2, {40, 40}}});
    // 100 samples a second move the cursor 0.4 each.
    EXPECT_NEAR(station().charts.cursor(), 160, 1e-6);
    // Channel 2: a band for each of its 8 samples, a trace for its 2 averaged ones.
    EXPECT_EQ(charts[1].of_kind(fakes::RecordingCanvas::Kind::box).size(), 8u);
    const auto lines = charts[1].of_kind(fakes::RecordingCanvas::Kind::line);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](auto& l) { return l.color == platform::colors::yellow; }), 2);
    EXPECT_TRUE(station().drums.ready(2) && !station().drums.ready(1));

    images_.files.clear();
    app::stop_acquisition(station());
    EXPECT_TRUE(images_.files.size() == 1 && images_.files.count(folder_ / "drums" / "drum_2.JPG"));
    EXPECT_EQ(tw::testing::read_file(folder_ / "drums" / "drum_2.dat"), "2003/02/03\r\n 3\r\n");
    // The next START lays the charts out afresh.
    station().charts.set_zoom_channel(2);
    ASSERT_EQ(app::start_acquisition(station()), StartOutcome::running);
    EXPECT_TRUE(station().charts.cursor() == 0 && station().charts.zoom_channel() == 0);
    for (int i = 0; i < 4; ++i) station().charts.attach(i, nullptr);
}

// The time window's model on an idle station: the tick shows the clock,
// SET TIME opens the port and finds the board first; a text board has none.
TEST_F(SignalPathTest, IdleTickShowsTheClockAndSetTimeFindsTheBoardButNotATextBoard) {
    station().time_setting.activate();
    clock_.set(2003, 2, 3, 12, 35, 10);
    app::housekeeping_tick(station());
    EXPECT_EQ(station().time_setting.model().realtime.substr(0, 19), "2003/02/03 12:35:10");
    station().time_setting.set_time_clicked();
    EXPECT_GE(board_.identifies, 1);
    EXPECT_TRUE(serial_.is_open());
    ASSERT_GE(serial_.writes().size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(serial_.writes()[serial_.writes().size() - 2][0]), 0x83);  // set clock

    serial_.close();
    const int identifies = board_.identifies;
    station().settings.general.ad_type = config::infiltec;
    station().time_setting.set_time_clicked();
    EXPECT_EQ(board_.identifies, identifies);
    ASSERT_FALSE(dialogs_.shown.empty());
    EXPECT_EQ(dialogs_.shown.back().text, "A/D card not found.");
}

// The clock trimming measured by the station on the simulator's board
// object, whose sample clock runs 500 ppm fast, synchronised every 60 board
// seconds: 30 board minutes on the fake clock, the board's bytes through the
// station's own port handling, packet path and clock windows. The
// simulator's drift is checked here.

class SimulatedTrimmingTest : public tw::testing::StationTest {
protected:
    static boardsim::SimulatorOptions options() {
        boardsim::SimulatorOptions o;
        o.family = boardsim::Family::orda10;
        o.drift_ppm = 500, o.sync_every = 60;
        o.start_time = boardsim::days_from_civil(2003, 2, 3) * 86400 + 10 * 3600;
        return o;
    }
    SimulatedTrimmingTest() {
        serial_.on_write = [this](std::string_view b) {
            board_.receive({reinterpret_cast<const std::uint8_t*>(b.data()), b.size()}, now(), out_);
        };
        pump_.on_process = [this] { run_board(); };  // the board answers while the station waits
    }
    double now() const { return static_cast<double>(clock_.monotonic_ms() - start_ms_) / 1000; }
    // The board up to the fake clock's time, its bytes to the port.
    void run_board() {
        board_.advance(now(), out_);
        std::string bytes;
        for (const auto& packet : out_) bytes.append(reinterpret_cast<const char*>(packet.bytes.data()), packet.size);
        out_.clear();
        if (!bytes.empty()) serial_.deliver(bytes);
    }
    void run_for(int seconds) {
        for (int step = 0; step < seconds * 50; ++step) {
            clock_.advance_ms(20);
            run_board();
        }
    }

    const std::int64_t start_ms_ = clock_.monotonic_ms();
    boardsim::Board board_{options(), *options().start_time, 0.0};
    std::vector<boardsim::OutputPacket> out_;
};

TEST_F(SimulatedTrimmingTest, FiveHundredPpmFastBoardGivesNNearTwoThousandWrittenAndReadBack) {
    use_fake_board_settings();
    station().settings.general.clock_trim = "FFFFFF02";  // the simulated board's
    for (int k = 1; k <= 4; ++k) station().settings.channel(k).sps_code = k == 1 ? 11 : 0;  // 100 per second
    ASSERT_EQ(app::start_acquisition(station()), acquisition::StartOutcome::running);
    auto& trimming = station().trimming;
    trimming.activate();
    run_for(30 * 60 + 30);

    const acquisition::TrimmingModel& m = trimming.model();
    ASSERT_FALSE(m.firsttime.empty() || m.prev_sync.empty());
    const double n = trimming.trim_error();
    EXPECT_NEAR(n, 2000, 20) << "counted " << m.ad_received << " in " << m.ad_tlapsed << " s";
    const double elapsed = std::stod(m.ad_tlapsed);
    EXPECT_GE(elapsed, 29 * 60);
    EXPECT_NEAR(std::stod(m.ad_received) - elapsed * 100, elapsed * 0.05, elapsed * 0.0005);
    EXPECT_EQ(m.trimmevery, config::plain_number(n));
    EXPECT_EQ(m.dataset, acquisition::eeprom_image(n));
    EXPECT_EQ(station().panel.badrx, "0");
    EXPECT_EQ(station().board_clock.sync().lock_state, "L");

    // The measured value written and read back through the running board.
    trimming.set_trim_data_clicked();
    trimming.eeread_clicked();
    run_for(5);
    ASSERT_EQ(m.eeprom.size(), 27u) << m.eeprom;  // "XX b1 b2 b3 01 XX XX XX XX"
    EXPECT_EQ(m.eeprom.substr(3, 12), " " + m.dataset.substr(3, 11));
}

}  // namespace
