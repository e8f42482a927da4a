// Faults a station owner meets in the first hour, run end to end: the
// program headless against the simulated board, on a date of the test's
// choosing (the board and, through libfaketime, the PC clock).

#include "datalog/track_check.h"
#include "simulated_station.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

using namespace tw::integration;
namespace check = tw::datalog::check;

constexpr const char* day = "2024/03/05";

class FaultsTest : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        pc_start_ = std::string(day) + " 12:00:00";
    }
    std::vector<std::string> board_options(std::vector<std::string> more) const {
        more.insert(more.begin(), {"--start", pc_start_});
        return more;
    }
    // Only channel 1 acquires, at `sps_code`, recording events.
    void channel_one_only(const std::string& sps_code, std::vector<SettingEdit> more = {}) {
        more.insert(more.end(), {{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {1, "SPS=", " " + sps_code + " "},
                                 {1, "ENA=", " 1 "}, {2, "SPS=", " 0 "}, {3, "SPS=", " 0 "}, {4, "SPS=", " 0 "}});
        edit_settings(more);
    }
    // The event list's event summaries.
    std::vector<std::string> summaries() const {
        std::vector<std::string> out;
        for (const auto& line : events())
            if (line.find(" L:") != std::string::npos) out.push_back(line);
        return out;
    }
};

// A new station's stop settings ("1800,2") with one quake: one event, ended
// by its coda, in one file that holds the quake. It starts 70 s after the
// board did, with 2 minutes of pre-event time asked: the file begins with the
// first whole second the board sent, not with zeros. The program says it
// is alive while it runs.
TEST_F(FaultsTest, DefaultStopSettingsAndOneQuakeGiveOneEventFileFromTheBoardsFirstSecond) {
    channel_one_only("10");  // 50 per second
    SimulatedBoard board(folder_, board_options({"--speed-factor", "10", "--quake", "1:12:01:10:8000:10"}));
    ASSERT_TRUE(board.ready());
    const auto result = run_headless(board.device(), 30, {"--status-every", "20"});
    board.stop();
    ASSERT_EQ(result.exit_status, 0) << result.err;

    const auto files = files_in(station() / "events");
    ASSERT_EQ(files.size(), 1u) << result.err;
    ASSERT_EQ(summaries().size(), 1u);
    const auto list = events();
    EXPECT_LT(std::find(list.begin(), list.end(), summaries()[0]), std::find(list.begin(), list.end(), "STOP"))
        << "the event ended by its coda, not at STOP";

    const auto record = board.samples(1);
    ASSERT_FALSE(record.empty());
    const EventFileText file = read_event_file(files[0]);
    const std::string start = file.header.at("Start Time");
    EXPECT_GE(start.substr(0, 19), record.front().time);
    EXPECT_LT(start.substr(0, 19), std::string(day) + " 12:01:10");
    expect_board_samples(file, record);
    EXPECT_GT(*std::max_element(file.samples.begin(), file.samples.end()), 3000);
    // The coda of 2 minutes at 50 per second follows the quake.
    EXPECT_GT(file.samples.size(), 6000u);
    EXPECT_NE(result.err.find("status: CH1 "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(" sps, CH2 off, CH3 off, CH4 off; 1 event; "), std::string::npos);
}

// A board of firmware 1.80 asked for 200 per second delivers 100: the track
// and the event file say 100. Two packets a byte short leave two zeros and
// every other sample at its time; a board silent for 12 s is logged again
// within seconds of its return, and every segment's index ends with STOP.
TEST_F(FaultsTest, HundredPerSecondBoardShortPacketsAndASilenceAreLoggedAsTheBoardSentThem) {
    channel_one_only("12", {{1, "LOG=", " 1 "}});
    SimulatedBoard board(folder_, board_options({"--family", "orda20", "--signal", "1:offset:60", "--signal",
                                                 "1:sine:50:1", "--short-packet", "1:12:00:15:10",
                                                 "--short-packet", "1:12:00:16:20", "--silent-at", "12:00:20:12",
                                                 "--quake", "1:12:00:37:8000:3"}));
    ASSERT_TRUE(board.ready());
    const auto result = run_headless(board.device(), 46);
    board.stop();
    ASSERT_EQ(result.exit_status, 0) << result.err;
    const auto list = events();
    EXPECT_EQ(std::count(list.begin(), list.end(), "channel 1: this board runs at most 100 samples per second"), 1);
    EXPECT_TRUE(has_event("Warning! A/D card restarted.")) << result.err;

    const std::vector<std::pair<std::string, int>> zeros = {{std::string(day) + " 12:00:15", 10},
                                                             {std::string(day) + " 12:00:16", 20}};
    const auto record = board.samples(1);
    std::string problem;
    const fs::path datalog = station() / "datalog";
    const auto segments = check::day_segments(datalog / "0305.ll1", datalog / "0305.lg1", problem);
    ASSERT_EQ(problem, "");
    ASSERT_EQ(segments.size(), 2u) << read_file((datalog / "0305.ll1").string());
    const std::string track = read_file((datalog / "0305.lg1").string());
    for (const auto& segment : segments) {
        SCOPED_TRACE(segment.group.start);
        EXPECT_EQ(segment.group.sps, " 100");
        EXPECT_TRUE(segment.group.stop.has_value());
        const auto logged = check::decode_samples(track, segment.begin, segment.end, 4);
        EXPECT_GT(logged.size(), 500u);
        EXPECT_TRUE(sent_from_start(record, segment.group.start, logged, zeros));
    }
    // The first segment holds the two zeros; the second starts at the
    // board's return at 12:00:32.
    EXPECT_LE(segments[0].group.start, std::string(day) + " 12:00:15");
    EXPECT_GE(segments[1].group.start, std::string(day) + " 12:00:32");
    EXPECT_LE(segments[1].group.start, std::string(day) + " 12:00:35");

    const auto files = files_in(station() / "events");
    ASSERT_EQ(files.size(), 1u);
    const EventFileText file = read_event_file(files[0]);
    EXPECT_EQ(file.header.at("SPS"), "100");
    EXPECT_GE(file.header.at("Start Time"), segments[1].group.start);
    expect_board_samples(file, record, zeros);
}

// A settings file with 40 unusable lines and a relative events folder: the
// headless start goes on at once, the events go into the station folder,
// and a run killed during an event leaves its file with the header and
// whole lines of samples.
TEST_F(FaultsTest, BadLinesDoNotHoldTheStartAndAKilledRunLeavesItsEventFile) {
    channel_one_only("10", {{0, "EVF=", "myevents"}});
    std::string ini = read_file((station() / "terrawv.ini").string());
    std::string bad;
    for (int i = 0; i < 40; ++i) bad += "AGF=abc\r\n";
    ini.insert(ini.find("[CHANNEL1]\r\n") + 12, bad);
    std::ofstream(station() / "terrawv.ini", std::ios::binary) << ini;
    SimulatedBoard board(folder_, board_options({"--speed-factor", "10", "--quake", "1:12:00:50:8000:60"}));
    ASSERT_TRUE(board.ready());
    const std::string err_file = (folder_ / "err").string();
    Background program(TW_TERRAWAVE, headless_arguments(board.device()), (folder_ / "out").string(), err_file,
                       pc_clock_at(pc_start_));
    // Each report held the start for a second before: 40 s at least. A
    // loaded machine gets most of that as room.
    EXPECT_TRUE(wait_until([&] { return read_file(err_file).find("START with") != std::string::npos; }, 35s))
        << read_file(err_file);
    const fs::path events = station() / "myevents";
    ASSERT_TRUE(wait_until([&] {
        const auto files = files_in(events);
        return files.size() == 1 && read_event_file(files[0]).samples.size() > 2000;
    }, 60s)) << read_file(err_file);
    program.signal(SIGKILL);
    program.wait(10s);
    board.stop();

    const std::string err = read_file(err_file);
    std::size_t reports = 0;
    for (std::size_t at = 0; (at = err.find("of AGF", at)) != std::string::npos; ++at) ++reports;
    EXPECT_EQ(reports, 40u);
    const auto files = files_in(events);
    ASSERT_EQ(files.size(), 1u);
    const EventFileText file = read_event_file(files[0]);
    EXPECT_TRUE(file.whole_lines);
    EXPECT_EQ(file.header.at("Number of Samples"), "%%%%%%%%%% ");
    EXPECT_EQ(file.header.count("Lock Indicator"), 1u);
    EXPECT_GT(file.samples.size(), 2000u);
}

}  // namespace

namespace {

// The windowed program stopped by a signal during an event (a logout, a
// service stop) takes the STOP path as its close box does: the event file
// is completed with its sample count.
TEST_F(FaultsTest, WindowedProgramEndedBySignalCompletesItsEventFile) {
    channel_one_only("10", {{0, "AUT=", " 1"}, {0, "NLG=", " 1"}});
    SimulatedBoard board(folder_, board_options({"--speed-factor", "10", "--quake", "1:12:00:50:8000:60"}));
    ASSERT_TRUE(board.ready());
    const std::string err_file = (folder_ / "err").string();
    auto environment = pc_clock_at(pc_start_);
    environment.push_back("QT_QPA_PLATFORM=offscreen");
    Background program(TW_TERRAWAVE, {"--folder", station().string(), "--port", board.device()},
                       (folder_ / "out").string(), err_file, environment);
    const fs::path events = station() / "events";
    ASSERT_TRUE(wait_until([&] {
        const auto files = files_in(events);
        return files.size() == 1 && read_event_file(files[0]).samples.size() > 500;
    }, 60s)) << read_file(err_file);
    program.signal(SIGTERM);
    EXPECT_EQ(program.wait(60s), 0);
    board.stop();

    const EventFileText file = read_event_file(files_in(events).at(0));
    EXPECT_TRUE(file.whole_lines);
    const std::string count = file.header.at("Number of Samples");
    ASSERT_EQ(count.find('%'), std::string::npos) << count;
    EXPECT_EQ(std::stoul(count), file.samples.size());
}

}  // namespace
