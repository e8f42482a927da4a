#include "acquisition/board_clock.h"

#include "clock_station.h"
#include "fakes/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace tw::acquisition {
namespace {

using clock_testing::bytes;
using clock_testing::ClockStation;
using clock_testing::raw_packet;
using clock_testing::time_packet;

constexpr int synchronised = 0x20;

class BoardClockTest : public ::testing::Test {
protected:
    BoardClockTest() : board_clock(station.context()) { board_clock.start_run(); }
    void pc_rtc_off() { station.settings.general.pc_rtc = 0; }
    // The event list lines from the `from`th on.
    std::vector<std::string> events_from(std::size_t from) const {
        const auto all = station.events();
        return std::vector<std::string>(all.begin() + static_cast<long>(std::min(from, all.size())), all.end());
    }

    ClockStation station;
    BoardClock board_clock;
};

TEST(TimeTexts, StampsAndTimesRoundTripAndRejectGarbage) {
    EXPECT_EQ(time_text(7, 5, 9), "07:05:09");
    EXPECT_EQ(time_text_seconds("23:59:59"), 86399);
    for (const char* bad : {"24:00:00", "7:05:09", ""}) EXPECT_FALSE(time_text_seconds(bad)) << bad;
    EXPECT_EQ(stamp_text(*stamp_seconds("2004/02/29 23:59:59") + 1), "2004/03/01 00:00:00");
    EXPECT_EQ(stamp_text(*stamp_seconds("2000/01/01") - 1), "1999/12/31 23:59:59");
    for (const char* bad : {"2003/02/29 00:00:00", "01/01/1990 00:00:00", "2003/02/03 12:00"})
        EXPECT_FALSE(stamp_seconds(bad)) << bad;
}

TEST_F(BoardClockTest, BadPacketsAreCountedAndBadTimesCorrectedFromThePc) {
    station.clock.set(2003, 2, 3, 7, 5, 9);
    ASSERT_TRUE(time_packet(board_clock, 7, 5, 8));
    EXPECT_FALSE(raw_packet(board_clock, {0x81, 1, 0, 10, 0xF0}));  // one byte short
    EXPECT_FALSE(board_clock.handle_time_packet({}));
    EXPECT_EQ(station.panel.badrx, "2");
    EXPECT_EQ(board_clock.time().board_time, "07:05:08");
    ASSERT_TRUE(raw_packet(board_clock, {0x81, 60, 0, 0, 0, 0xF0}));
    EXPECT_EQ(station.events(), (std::vector<std::string>{"Warning! Bad time from A/D card: 0:0:60",
                                                          "Warning! Time corrected to: 07:05:09"}));
    EXPECT_EQ(station.commands, std::vector<std::string>{bytes({0x83, 9, 5, 7, 0, 0})});
    EXPECT_EQ(board_clock.time().board_time, "07:05:09");
    time_packet(board_clock, 25, 0, 0);
    EXPECT_EQ(station.events()[2], "Warning! Bad time from A/D card: 25:0:0");
}

TEST_F(BoardClockTest, PacketGivesBoardDateTimeTimeBaseAndInputLines) {
    int minute_marks = 0, seconds = 0;
    std::vector<std::pair<int, int>> colours;
    board_clock.on_minute_mark = [&] { ++minute_marks; };
    board_clock.on_second = [&] { ++seconds; };
    board_clock.on_input_lines = [&](int a, int b) { colours.emplace_back(a, b); };
    ASSERT_TRUE(time_packet(board_clock, 13, 14, 15, 0x08));
    const BoardTime& t = board_clock.time();
    EXPECT_EQ(t.board_date_time, "2003/02/03 13:14:15");
    EXPECT_EQ(t.seconds_of_day, 13 * 3600 + 14 * 60 + 15);
    EXPECT_FALSE(t.time_base_ready);  // no sample at a second start yet
    EXPECT_EQ(station.panel.utc_clock + "|" + station.panel.realtime + "|" + station.pc_clock.date_time,
              "2003/02/03 13:14:15|2003/02/03 12:00:00.000|2003/02/03 12:00:00");

    station.sample_path.take_sample(0, 1);  // first sample of a second
    time_packet(board_clock, 13, 14, 16, 0x10);
    EXPECT_TRUE(t.time_base_ready);
    EXPECT_EQ(t.previous_board_time, "13:14:15");
    EXPECT_EQ(colours, (std::vector<std::pair<int, int>>{{8, 10}, {10, 8}}));
    time_packet(board_clock, 13, 15, 0);
    EXPECT_EQ(minute_marks, 2);  // the first packet of the run and the new minute
    EXPECT_EQ(seconds, 3);

    board_clock.stop_run();
    EXPECT_FALSE(t.time_base_ready);
    board_clock.refresh_clock_displays();  // idle: the PC clock only
    EXPECT_EQ(station.panel.utc_clock, "");
    EXPECT_EQ(t.board_date_time, "2003/02/03 13:15:00");  // for the STOP lines
}

TEST_F(BoardClockTest, MidnightAdvancesTheDateOnceAndOnlyJumpsAboveTwoSecondsAreReported) {
    time_packet(board_clock, 23, 59, 59);
    time_packet(board_clock, 0, 0, 0);
    EXPECT_EQ(board_clock.time().board_date_time, "2003/02/04 00:00:00");
    EXPECT_TRUE(station.events().empty());  // one second on: no jump
    // A board clock stepped back inside the first minutes is no new day.
    time_packet(board_clock, 0, 3, 0);
    time_packet(board_clock, 0, 1, 0);
    EXPECT_EQ(board_clock.time().board_date, "2003/02/04");

    // A missed second at the year's end: the new day with a jump warning.
    station.clock.set(2003, 12, 31, 23, 59, 0);
    board_clock.set_board_date_from_pc();
    time_packet(board_clock, 23, 59, 58);
    auto before = station.events().size();
    time_packet(board_clock, 0, 0, 0);
    EXPECT_EQ(board_clock.time().board_date, "2004/01/01");
    EXPECT_EQ(events_from(before), (std::vector<std::string>{"Warning! Too much time difference:",
                                                             "Previous:23:59:58 Received:00:00:00"}));
    before = station.events().size();
    time_packet(board_clock, 0, 0, 2);
    EXPECT_TRUE(events_from(before).empty());
    time_packet(board_clock, 0, 0, 6);
    EXPECT_EQ(events_from(before).size(), 2u);
    // STOP forgets the reference: the next run starts without a warning.
    board_clock.stop_run();
    board_clock.start_run();
    time_packet(board_clock, 11, 0, 0);
    EXPECT_EQ(events_from(before).size(), 2u);
}

TEST_F(BoardClockTest, SynchronisationIsLoggedOncePerPulse) {
    std::vector<std::string> syncs;
    board_clock.on_sync = [&](const std::string& t) { syncs.push_back(t); };
    station.clock.set(2003, 2, 3, 10, 0, 3);
    station.settings.general.pc_sync = 1;
    station.settings.general.sync_every = 6;
    time_packet(board_clock, 10, 0, 0);
    for (int s = 1; s <= 3; ++s) time_packet(board_clock, 10, 0, s, synchronised);

    EXPECT_EQ(syncs, std::vector<std::string>{"2003/02/03 10:00:00"});
    const SyncState& sync = board_clock.sync();
    EXPECT_EQ(sync.sync_time + "|" + sync.last_sync_pc_time + "|" + sync.lock_state,
              "2003/02/03 10:00:00|2003/02/03 10:00:03|L");
    EXPECT_EQ(std::count(sync.sync_minutes.begin(), sync.sync_minutes.end(), 1), 1);
    EXPECT_EQ(sync.sync_minutes[600], 1);
    EXPECT_EQ(tw::testing::read_file(station.folder / "timefile.txt"),
              "SYNC:2003/02/03 10:00:00 PTS:10:00:00 PCT:10:00:03 / 1 / 1\r\n");

    // The bit drops and comes back: a new synchronisation.
    time_packet(board_clock, 10, 0, 4);
    time_packet(board_clock, 10, 1, 5, synchronised);
    EXPECT_EQ(syncs.size(), 2u);
    EXPECT_EQ(sync.sync_minutes[601], 1);
    board_clock.clear_sync_minutes();
    EXPECT_EQ(sync.sync_minutes[601], 0);

    // At midnight the synchronised second falls on the previous day.
    time_packet(board_clock, 23, 59, 59);
    time_packet(board_clock, 0, 0, 0, synchronised);
    EXPECT_EQ(sync.sync_time, "2003/02/03 23:59:59");
    EXPECT_EQ(sync.sync_minutes[0], 1);
}

TEST_F(BoardClockTest, LockIsLostAfterFiveMinutesWithoutSynchronisation) {
    time_packet(board_clock, 12, 0, 0);
    EXPECT_EQ(board_clock.sync().lock_state, "NL");  // never synchronised
    time_packet(board_clock, 12, 0, 1, synchronised);
    EXPECT_EQ(board_clock.sync().lock_state, "L");
    station.clock.advance_ms(4 * 60'000 + 59'000);
    time_packet(board_clock, 12, 4, 0);
    EXPECT_EQ(board_clock.sync().lock_state, "L");
    station.clock.advance_ms(1'000);
    time_packet(board_clock, 12, 5, 1);
    EXPECT_EQ(board_clock.sync().lock_state, "NL");
}

TEST_F(BoardClockTest, TimeLogOverTheLimitIsEmptiedAndAnUnwritableOneIsReported) {
    const auto log = station.folder / "timefile.txt";
    const std::size_t line =
        std::string("SYNC:2003/02/03 11:59:59 PTS:11:59:59 PCT:12:00:00 / 1 / 0\r\n").size();
    std::ofstream(log, std::ios::binary) << std::string(256000 + 1 - line, 'x');
    time_packet(board_clock, 11, 59, 59);
    time_packet(board_clock, 12, 0, 0, synchronised);
    EXPECT_EQ(std::filesystem::file_size(log), 0u);  // one byte over

    std::ofstream(log, std::ios::binary) << std::string(256000 - line, 'x');
    time_packet(board_clock, 12, 0, 1);
    time_packet(board_clock, 12, 0, 2, synchronised);
    EXPECT_EQ(std::filesystem::file_size(log), 256000u);  // at the limit: kept

    std::vector<std::string> errors;
    board_clock.on_error = [&](int, const std::string& detail) { errors.push_back(detail); };
    std::filesystem::remove(log);
    std::filesystem::create_directories(log);  // a folder in its way
    time_packet(board_clock, 12, 0, 3);
    EXPECT_TRUE(time_packet(board_clock, 12, 0, 4, synchronised));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("timefile.txt"), std::string::npos);
    EXPECT_EQ(board_clock.sync().lock_state, "L");
}

TEST_F(BoardClockTest, PcSetsTheBoardAtEveryFullHour) {
    station.settings.general.pc_sync = 1;
    station.settings.general.sync_every = 0;
    station.clock.set(2003, 2, 3, 13, 59, 59);
    time_packet(board_clock, 13, 59, 59);
    EXPECT_TRUE(station.commands.empty());
    station.clock.advance_ms(1000);
    time_packet(board_clock, 14, 0, 0);
    time_packet(board_clock, 14, 0, 0);  // two packets in the same PC second
    EXPECT_EQ(station.commands, std::vector<std::string>{bytes({0x83, 0, 0, 14, 0, 0})});
    EXPECT_EQ(station.events().back(), "A/D card syncronized with PC time at: 14:00:00");
    using Hour = std::tuple<int, int, int>;  // hour, minute, sync_every
    for (const auto& [hour, minute, every] : {Hour{14, 30, 0}, Hour{15, 0, 0}, Hour{16, 0, 42}}) {
        station.settings.general.sync_every = every;  // 42 is not in the table: never
        station.clock.set(2003, 2, 3, hour, minute, 0);
        time_packet(board_clock, hour, minute, 0);
    }
    EXPECT_EQ(station.commands.size(), 2u);
}

TEST_F(BoardClockTest, PcClockFollowsTheBoardOnlyWhenItIsOffAndNotAroundMidnight) {
    pc_rtc_off();
    station.clock.set(2003, 2, 3, 12, 0, 1, 400);  // board 12:00:00 + 1 s, 0.4 s off
    time_packet(board_clock, 12, 0, 0);
    EXPECT_EQ(station.clock.set_time_calls, 0);
    station.clock.set(2003, 2, 3, 12, 0, 3, 600);  // 0.6 s off
    time_packet(board_clock, 12, 0, 2);
    EXPECT_EQ(station.clock.set_time_calls, 1);
    EXPECT_EQ(std::pair(station.clock.now().second, station.clock.now().millisecond), std::pair(3, 0));

    station.clock.set(2003, 2, 3, 12, 0, 30);
    station.clock.synchronised = true;  // the system's time service keeps it
    time_packet(board_clock, 12, 0, 10);
    station.clock.synchronised = false;
    station.settings.general.pc_sync = 1;  // the other direction
    time_packet(board_clock, 12, 0, 11);
    station.settings.general.pc_sync = 0;
    station.settings.general.pc_rtc = 1;
    time_packet(board_clock, 12, 0, 12);
    pc_rtc_off();
    station.clock.set(2003, 2, 3, 0, 1, 0);
    time_packet(board_clock, 0, 5, 0);
    station.clock.set(2003, 2, 3, 23, 57, 30);  // the board's +1 s would be the next day
    time_packet(board_clock, 23, 59, 59);
    EXPECT_EQ(station.clock.set_time_calls, 1);
    EXPECT_EQ(station.clock.now().day, 3);

    // A refused setting is reported once per run.
    board_clock.stop_run();
    board_clock.start_run();
    const auto before = station.events().size();
    station.clock.set(2003, 2, 3, 12, 0, 0);
    station.clock.refuse_setting = true;
    for (int s = 0; s < 5; ++s) time_packet(board_clock, 12, 30, s);
    EXPECT_EQ(events_from(before),
              std::vector<std::string>{"PC clock not set from the A/D card time: cannot set the "
                                       "system clock: Operation not permitted"});
    board_clock.stop_run();
    board_clock.start_run();
    time_packet(board_clock, 12, 31, 0);
    EXPECT_EQ(events_from(before).size(), 2u);
}

TEST_F(BoardClockTest, MeasuredRateOfTheSelectedChannel) {
    station.settings.channels[1].sps_code = 3;  // 0.5 sps
    station.settings.channels[2].sps_code = 1;  // one per minute
    station.sample_path.start_run(config::orda10, station.settings);
    for (int i = 0; i < 101; ++i) station.sample_path.take_sample(0, i);
    time_packet(board_clock, 12, 0, 0);
    EXPECT_EQ(station.panel.true_sps, "101");
    EXPECT_EQ(station.sample_path.samples_this_second(0), 0);
    for (const auto& [channel, shown] : {std::pair{2, ".5"}, std::pair{3, "0.016"}}) {
        station.selected_channel = channel;
        time_packet(board_clock, 12, 0, channel - 1);
        EXPECT_EQ(station.panel.true_sps, shown);
    }
}

TEST_F(BoardClockTest, SetClockCommandChecksItsText) {
    EXPECT_TRUE(board_clock.send_set_clock("23:59:58"));
    EXPECT_EQ(station.commands.back(), bytes({0x83, 58, 59, 23, 0, 0}));
    EXPECT_FALSE(board_clock.send_set_clock("24:00:00"));
    EXPECT_FALSE(board_clock.send_set_clock("garbage"));
    station.port_refuses = true;
    EXPECT_FALSE(board_clock.send_set_clock("01:02:03"));
    EXPECT_EQ(station.commands.size(), 1u);
}

}  // namespace
}  // namespace tw::acquisition
