// The trigger's tuning against the simulated board: the day tracks of a live
// run replayed through the trigger list exactly the events the run recorded,
// across a pause and midnight; a minimum duration drops a knock and keeps
// the quakes; coincidence of two channels and a band filter at work live.

#include "simulated_station.h"

#include "config/time_stamp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <sstream>

namespace {

using namespace tw::integration;

class TriggerTest : public StationTest {
protected:
    // Channels 1 and 2 at `sps_code`, logged, recording on an STA/LTA ratio
    // of 3 (1 s and 10 s windows, 6 s before the trigger), ending after 12 s
    // below 2; channels 3 and 4 off. `trigger` is the [TRIGGER] section.
    void make_station(const std::string& sps_code, const std::string& trigger,
                      std::vector<SettingEdit> more = {}) {
        std::vector<SettingEdit> edits = {{0, "ADT=", " 0"}, {0, "ASN=", "0000A1B2"}, {3, "SPS=", " 0 "},
                                          {4, "SPS=", " 0 "}};
        for (int k = 1; k <= 2; ++k) {
            edits.push_back({k, "SPS=", " " + sps_code + " "});
            edits.push_back({k, "ENA=", " 1 "});
            edits.push_back({k, "LOG=", " 1 "});
            edits.push_back({k, "TRM=", " 1 "});
            edits.push_back({k, "STA=", "2000,2,0.1,1,10,3"});
            edits.push_back({k, "STO=", "1800,0.2,2,5"});
        }
        edits.insert(edits.end(), more.begin(), more.end());
        edit_settings(edits);
        std::ofstream(station() / "terrawv.ini", std::ios::binary | std::ios::app) << trigger;
    }
    // Summary lines in the event list.
    long summaries() const {
        const auto lines = events();
        return std::count_if(lines.begin(), lines.end(), [](const auto& l) { return l.find(" L:") != l.npos; });
    }
    // "channel start end" of every event file, as the replay prints them.
    std::multiset<std::string> recorded(double sps) const {
        std::multiset<std::string> out;
        for (const auto& path : files_in(station() / "events")) {
            const EventFileText file = read_event_file(path);
            const std::string start = file.header.at("Start Time").substr(0, 19);
            const auto end = *tw::config::stamp_seconds(start) +
                             static_cast<std::int64_t>(std::floor(file.samples.size() / sps + 1e-6));
            out.insert("z" + std::string(1, path.filename().string().back()) + " " + start + " " + tw::config::stamp_text(end));
        }
        return out;
    }
    RunResult replay(const std::string& start, int minutes, std::vector<std::string> more = {}) {
        std::vector<std::string> arguments = {"--folder", station().string(), "--retrigger", start,
                                              "--minutes", std::to_string(minutes)};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return run(TW_TERRAWAVE, arguments);
    }
    // The replay's event lines as "channel start end" ("z1" for channel 1).
    static std::multiset<std::string> replayed(const RunResult& r) {
        std::multiset<std::string> out;
        for (const auto& line : split_lines(r.out)) {
            std::istringstream in(line);
            std::string channel, d1, t1, d2, t2;
            if (line.find("trigger") != std::string::npos && in >> channel >> d1 >> t1 >> d2 >> t2)
                out.insert("z" + channel + " " + d1 + " " + t1 + " " + d2 + " " + t2);
        }
        return out;
    }
};

TEST_F(TriggerTest, TheReplayListsTheLiveEventsAndADurationDropsTheKnock) {
    make_station("8", "");
    // Board time twenty times faster than real time: a knock and a quake
    // before midnight, a pause of the program, a quake after midnight.
    pc_start_ = "2024/03/05 23:57:00";
    SimulatedBoard board(folder_, {"--family", "orda10", "--start", pc_start_, "--speed-factor", "20",
                                   "--spike", "1:23:58:40:9000:1", "--quake", "1:23:59:10:8000:20",
                                   "--quake", "1:00:02:30:8000:20"});
    ASSERT_TRUE(board.ready());
    // The second run's PC date is the next day's: the board must be past
    // midnight before it starts, however fast the first run stops.
    const auto board_on_next_day = [&] {
        const auto lines = board.record();
        return !lines.empty() && lines.back().starts_with("2024/03/06");
    };
    auto first = run_headless_until(board.device(), [&] { return summaries() >= 2 && board_on_next_day(); });
    ASSERT_FALSE(first.timed_out) << first.err;
    pc_start_ = "2024/03/06 00:00:30";
    auto second = run_headless_until(board.device(), [&] { return summaries() >= 3; });
    ASSERT_FALSE(second.timed_out) << second.err;
    board.stop();
    const auto live = recorded(20);
    ASSERT_EQ(live.size(), 3u);
    EXPECT_TRUE(fs::exists(station() / "datalog" / "0306.lg1"));

    const auto before = files_in(station() / "events");
    const auto all = replay("2024/03/05 23:57:00", 10, {"--channels", "1"});
    ASSERT_EQ(all.exit_status, 0) << all.err;
    EXPECT_EQ(replayed(all), live) << all.out << all.err;
    EXPECT_NE(all.out.find("3 events"), std::string::npos) << all.out;
    // The pause between the two runs is named, and nothing was written.
    EXPECT_NE(all.err.find("Channel 1: nothing recorded from 2024/03/0"), std::string::npos) << all.err;
    EXPECT_EQ(files_in(station() / "events"), before);

    // A knock of a second no longer counts when the ratio must hold 3 s.
    std::ofstream(folder_ / "held.ini", std::ios::binary)
        << read_file((station() / "terrawv.ini").string()) << "[TRIGGER]\r\nDURATION1=3\r\n";
    const auto held = replay("2024/03/05 23:57:00", 10, {"--channels", "1", "--settings", (folder_ / "held.ini").string()});
    ASSERT_EQ(held.exit_status, 0) << held.err;
    const auto quakes = replayed(held);
    ASSERT_EQ(quakes.size(), 2u) << held.out;
    for (const auto& q : quakes) EXPECT_TRUE(q.find(" 23:59:") != q.npos || q.find("2024/03/06 00:0") != q.npos) << q;

    // Settings that cannot work are refused, naming the setting.
    std::ofstream(folder_ / "bad.ini", std::ios::binary)
        << read_file((station() / "terrawv.ini").string()) << "[TRIGGER]\r\nFILTER1=LP\r\nHIGH1=10\r\nDURATION2=-1\r\n";
    const auto bad = replay("2024/03/05 23:57:00", 10, {"--settings", (folder_ / "bad.ini").string()});
    EXPECT_EQ(bad.exit_status, 1);
    EXPECT_NE(bad.err.find("[TRIGGER] HIGH1 refused for channel 1 at 20 samples per second: high corner 10 Hz is at or "
                           "above half the rate (10 Hz)"), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("[TRIGGER] DURATION2=-1"), std::string::npos) << bad.err;
}

TEST_F(TriggerTest, WithCoincidenceAKnockOnOneChannelRecordsNothingAndAQuakeOnTwoRecordsBoth) {
    make_station("8", "[TRIGGER]\r\nCOINCIDENCE=2\r\nWINDOW=5\r\n");
    pc_start_ = "2024/03/05 10:00:00";
    SimulatedBoard board(folder_, {"--family", "orda10", "--start", pc_start_, "--speed-factor", "20",
                                   "--spike", "1:10:01:40:9000:1", "--quake", "1:10:02:20:8000:20",
                                   "--quake", "2:10:02:21:8000:20"});
    ASSERT_TRUE(board.ready());
    const auto result = run_headless_until(board.device(), [&] { return summaries() >= 2; });
    ASSERT_FALSE(result.timed_out) << result.err;
    const auto live = recorded(20);
    ASSERT_EQ(live.size(), 2u) << result.err;
    for (const auto& e : live) EXPECT_NE(e.find("2024/03/05 10:02:"), std::string::npos) << e;
    EXPECT_EQ(live.begin()->substr(0, 2), "z1");
    EXPECT_EQ(live.rbegin()->substr(0, 2), "z2");
}

TEST_F(TriggerTest, ABandFilterKeepsAStrongHumFromTriggeringAndStillSeesTheQuake) {
    // Amplitude trigger at 100 per second: a 20 Hz hum of 3000 counts is
    // above the start level of 2000 all the time; the band of 0.5 to 5 Hz
    // leaves the quake (its strong phase at 1 Hz) alone above it.
    make_station("11", "[TRIGGER]\r\nFILTER1=BP\r\nLOW1=0.5\r\nHIGH1=5\r\n",
                 {{1, "TRM=", " 0 "}, {1, "STA=", "2000,2,0.1,1,10,3"}, {1, "STO=", "500,0.1,2,5"},
                  {2, "ENA=", " 0 "}});
    pc_start_ = "2024/03/05 10:00:00";
    SimulatedBoard board(folder_, {"--family", "orda10", "--start", pc_start_, "--speed-factor", "10",
                                   "--signal", "1:sine:3000:20", "--quake", "1:10:01:30:8000:20:1"});
    ASSERT_TRUE(board.ready());
    const auto result = run_headless_until(board.device(), [&] { return summaries() >= 1; });
    ASSERT_FALSE(result.timed_out) << result.err;
    const auto live = recorded(100);
    ASSERT_EQ(live.size(), 1u) << result.err;
    EXPECT_NE(live.begin()->find("z1 2024/03/05 10:01:"), std::string::npos) << *live.begin();
}

}  // namespace
