#include "acquisition/board_clock.h"

#include "clock_station.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace tw::acquisition {
namespace {

using clock_testing::bytes;
using clock_testing::ClockStation;
using clock_testing::time_packet;

constexpr int synchronised = 0x20;

std::string file_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class BoardClockTest : public ::testing::Test {
protected:
    BoardClockTest() : board_clock(station.context()) { board_clock.start_run(); }

    ClockStation station;
    BoardClock board_clock;
};

TEST(TimeTexts, StampsAndTimesRoundTripAndRejectGarbage) {
    EXPECT_EQ(time_text(7, 5, 9), "07:05:09");
    EXPECT_EQ(time_text_seconds("23:59:59"), 86399);
    EXPECT_FALSE(time_text_seconds("24:00:00"));
    EXPECT_FALSE(time_text_seconds("7:05:09"));
    EXPECT_FALSE(time_text_seconds(""));
    const auto leap = stamp_seconds("2004/02/29 23:59:59");
    ASSERT_TRUE(leap);
    EXPECT_EQ(stamp_text(*leap + 1), "2004/03/01 00:00:00");
    EXPECT_EQ(stamp_text(*stamp_seconds("2000/01/01") - 1), "1999/12/31 23:59:59");
    EXPECT_FALSE(stamp_seconds("2003/02/29 00:00:00"));
    EXPECT_FALSE(stamp_seconds("01/01/1990 00:00:00"));
    EXPECT_FALSE(stamp_seconds("2003/02/03 12:00"));
}

TEST_F(BoardClockTest, WrongLengthCountsOneBadPacketAndChangesNothing) {
    ASSERT_TRUE(time_packet(board_clock, 10, 0, 0));
    const auto packet = bytes({0x81, 1, 0, 10, 0xF0});
    EXPECT_FALSE(board_clock.handle_time_packet(
        std::span(reinterpret_cast<const std::uint8_t*>(packet.data()), packet.size())));
    EXPECT_EQ(station.panel.badrx, "1");
    EXPECT_EQ(board_clock.time().board_time, "10:00:00");
    EXPECT_FALSE(board_clock.handle_time_packet({}));
    EXPECT_EQ(station.panel.badrx, "2");
}

TEST_F(BoardClockTest, PacketGivesBoardDateTimeAndTimeBase) {
    int minute_marks = 0;
    board_clock.on_minute_mark = [&] { ++minute_marks; };
    ASSERT_TRUE(time_packet(board_clock, 13, 14, 15));
    const BoardTime& t = board_clock.time();
    EXPECT_EQ(t.board_time, "13:14:15");
    EXPECT_EQ(t.board_date, "2003/02/03");
    EXPECT_EQ(t.board_date_time, "2003/02/03 13:14:15");
    EXPECT_EQ(t.seconds_of_day, 13 * 3600 + 14 * 60 + 15);
    EXPECT_FALSE(t.time_base_ready);  // no sample at a second start yet
    EXPECT_EQ(station.panel.utc_clock, "2003/02/03 13:14:15");
    EXPECT_EQ(station.panel.realtime, "2003/02/03 12:00:00.000");
    EXPECT_EQ(station.pc_clock.date_time, "2003/02/03 12:00:00");

    station.sample_path.take_sample(0, 1);  // first sample of a second
    time_packet(board_clock, 13, 14, 16);
    EXPECT_TRUE(board_clock.time().time_base_ready);
    EXPECT_EQ(board_clock.time().previous_board_time, "13:14:15");
    time_packet(board_clock, 13, 15, 0);
    EXPECT_EQ(minute_marks, 2);  // the first packet of the run and the new minute

    board_clock.stop_run();
    EXPECT_FALSE(board_clock.time().time_base_ready);
    EXPECT_EQ(station.panel.utc_clock, "");
    board_clock.refresh_clock_displays();  // idle: the PC clock only
    EXPECT_EQ(station.panel.utc_clock, "");
    EXPECT_EQ(board_clock.time().board_date_time, "2003/02/03 13:15:00");  // for the STOP lines
}

TEST_F(BoardClockTest, BadBoardTimeIsCorrectedFromThePc) {
    station.clock.set(2003, 2, 3, 7, 5, 9);
    const auto packet = bytes({0x81, 60, 0, 0, 0, 0xF0});
    ASSERT_TRUE(board_clock.handle_time_packet(
        std::span(reinterpret_cast<const std::uint8_t*>(packet.data()), packet.size())));
    const auto events = station.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], "Warning! Bad time from A/D card: 0:0:60");
    EXPECT_EQ(events[1], "Warning! Time corrected to: 07:05:09");
    ASSERT_EQ(station.commands.size(), 1u);
    EXPECT_EQ(station.commands[0], bytes({0x83, 9, 5, 7, 0, 0}));
    EXPECT_EQ(board_clock.time().board_time, "07:05:09");

    time_packet(board_clock, 25, 0, 0);
    EXPECT_EQ(station.events()[2], "Warning! Bad time from A/D card: 25:0:0");
}

TEST_F(BoardClockTest, MidnightAdvancesTheDateOnce) {
    time_packet(board_clock, 23, 59, 59);
    time_packet(board_clock, 0, 0, 0);
    EXPECT_EQ(board_clock.time().board_date_time, "2003/02/04 00:00:00");
    EXPECT_TRUE(station.events().empty());  // one second on: no jump

    // A board clock stepped back inside the first minutes is no new day.
    time_packet(board_clock, 0, 3, 0);
    time_packet(board_clock, 0, 1, 0);
    EXPECT_EQ(board_clock.time().board_date, "2003/02/04");
}

TEST_F(BoardClockTest, MidnightAfterAMissedSecondAdvancesWithJumpWarning) {
    station.clock.set(2003, 12, 31, 23, 59, 0);
    board_clock.set_board_date_from_pc();
    time_packet(board_clock, 23, 59, 58);
    time_packet(board_clock, 0, 0, 0);
    EXPECT_EQ(board_clock.time().board_date, "2004/01/01");
    const auto events = station.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], "Warning! Too much time difference:");
    EXPECT_EQ(events[1], "Previous:23:59:58 Received:00:00:00");
}

TEST_F(BoardClockTest, JumpCheckReportsOnlyJumpsAboveTwoSeconds) {
    time_packet(board_clock, 10, 0, 0);
    time_packet(board_clock, 10, 0, 2);
    EXPECT_TRUE(station.events().empty());
    time_packet(board_clock, 10, 0, 6);
    EXPECT_EQ(station.events().size(), 2u);
    // STOP forgets the reference: the next run starts without a warning.
    board_clock.stop_run();
    board_clock.start_run();
    time_packet(board_clock, 11, 0, 0);
    EXPECT_EQ(station.events().size(), 2u);
}

TEST_F(BoardClockTest, SynchronisationIsLoggedOncePerPulse) {
    std::vector<std::string> syncs;
    board_clock.on_sync = [&](const std::string& t) { syncs.push_back(t); };
    station.clock.set(2003, 2, 3, 10, 0, 3);
    station.settings.general.pc_sync = 1;
    station.settings.general.sync_every = 6;
    time_packet(board_clock, 10, 0, 0);
    time_packet(board_clock, 10, 0, 1, synchronised);
    time_packet(board_clock, 10, 0, 2, synchronised);
    time_packet(board_clock, 10, 0, 3, synchronised);

    ASSERT_EQ(syncs.size(), 1u);
    EXPECT_EQ(syncs[0], "2003/02/03 10:00:00");
    const SyncState& sync = board_clock.sync();
    EXPECT_EQ(sync.sync_time, "2003/02/03 10:00:00");
    EXPECT_EQ(sync.last_sync_pc_time, "2003/02/03 10:00:03");
    EXPECT_EQ(sync.lock_state, "L");
    int marks = 0;
    for (auto flag : sync.sync_minutes) marks += flag;
    EXPECT_EQ(marks, 1);
    EXPECT_EQ(sync.sync_minutes[600], 1);
    EXPECT_EQ(file_text(station.folder / "timefile.txt"),
              "SYNC:2003/02/03 10:00:00 PTS:10:00:00 PCT:10:00:03 / 1 / 1\r\n");

    // The bit drops and comes back: a new synchronisation.
    time_packet(board_clock, 10, 0, 4);
    time_packet(board_clock, 10, 1, 5, synchronised);
    EXPECT_EQ(syncs.size(), 2u);
    EXPECT_EQ(sync.sync_minutes[601], 1);
    board_clock.clear_sync_minutes();
    EXPECT_EQ(sync.sync_minutes[601], 0);
}

TEST_F(BoardClockTest, SyncTimeAtMidnightFallsOnThePreviousDay) {
    time_packet(board_clock, 23, 59, 59);
    time_packet(board_clock, 0, 0, 0, synchronised);
    EXPECT_EQ(board_clock.sync().sync_time, "2003/02/03 23:59:59");
    EXPECT_EQ(board_clock.sync().sync_minutes[0], 1);
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

TEST_F(BoardClockTest, TimeLogOverTheLimitIsEmptiedAfterTheWrite) {
    const auto log = station.folder / "timefile.txt";
    const std::string line = "SYNC:2003/02/03 11:59:59 PTS:11:59:59 PCT:12:00:00 / 1 / 0\r\n";
    {
        std::ofstream out(log, std::ios::binary);
        out << std::string(time_log_max_bytes + 1 - line.size(), 'x');
    }
    time_packet(board_clock, 11, 59, 59);
    time_packet(board_clock, 12, 0, 0, synchronised);
    EXPECT_EQ(std::filesystem::file_size(log), 0u);  // one byte over

    {
        std::ofstream out(log, std::ios::binary);
        out << std::string(time_log_max_bytes - line.size(), 'x');
    }
    time_packet(board_clock, 12, 0, 1);
    time_packet(board_clock, 12, 0, 2, synchronised);
    EXPECT_EQ(std::filesystem::file_size(log), time_log_max_bytes);  // at the limit: kept
}

TEST_F(BoardClockTest, UnwritableTimeLogIsReportedAndTheClockGoesOn) {
    std::vector<std::string> errors;
    board_clock.on_error = [&](int, const std::string& detail) { errors.push_back(detail); };
    std::filesystem::create_directories(station.folder / "timefile.txt");  // a folder in its way
    EXPECT_TRUE(time_packet(board_clock, 12, 0, 0, synchronised));
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
    ASSERT_EQ(station.commands.size(), 1u);
    EXPECT_EQ(station.commands[0], bytes({0x83, 0, 0, 14, 0, 0}));
    EXPECT_EQ(station.events().back(), "A/D card syncronized with PC time at: 14:00:00");
    station.clock.set(2003, 2, 3, 14, 30, 0);
    time_packet(board_clock, 14, 30, 0);
    station.clock.set(2003, 2, 3, 15, 0, 0);
    time_packet(board_clock, 15, 0, 0);
    EXPECT_EQ(station.commands.size(), 2u);

    station.settings.general.sync_every = 42;  // not in the table: never
    station.clock.set(2003, 2, 3, 16, 0, 0);
    time_packet(board_clock, 16, 0, 0);
    EXPECT_EQ(station.commands.size(), 2u);
}

TEST_F(BoardClockTest, PcClockFollowsTheBoardOnlyWhenItIsOff) {
    station.settings.general.pc_rtc = 0;
    station.clock.set(2003, 2, 3, 12, 0, 1, 400);  // board 12:00:00 + 1 s, 0.4 s off
    time_packet(board_clock, 12, 0, 0);
    EXPECT_EQ(station.clock.set_time_calls, 0);

    station.clock.set(2003, 2, 3, 12, 0, 3, 600);  // 0.6 s off
    time_packet(board_clock, 12, 0, 2);
    EXPECT_EQ(station.clock.set_time_calls, 1);
    EXPECT_EQ(station.clock.now().second, 3);
    EXPECT_EQ(station.clock.now().millisecond, 0);

    station.clock.set(2003, 2, 3, 12, 0, 30);
    station.clock.synchronised = true;  // the system's time service keeps it
    time_packet(board_clock, 12, 0, 10);
    EXPECT_EQ(station.clock.set_time_calls, 1);
    station.clock.synchronised = false;

    station.settings.general.pc_sync = 1;  // the other direction
    time_packet(board_clock, 12, 0, 11);
    station.settings.general.pc_sync = 0;
    station.settings.general.pc_rtc = 1;
    time_packet(board_clock, 12, 0, 12);
    EXPECT_EQ(station.clock.set_time_calls, 1);
}

TEST_F(BoardClockTest, PcClockIsLeftAloneAroundMidnight) {
    station.settings.general.pc_rtc = 0;
    station.clock.set(2003, 2, 3, 0, 1, 0);
    time_packet(board_clock, 0, 5, 0);
    station.clock.set(2003, 2, 3, 23, 57, 30);  // the board's +1 s would be the next day
    time_packet(board_clock, 23, 59, 59);
    EXPECT_EQ(station.clock.set_time_calls, 0);
    EXPECT_EQ(station.clock.now().day, 3);
}

TEST_F(BoardClockTest, RefusedClockSettingIsReportedOncePerRun) {
    station.settings.general.pc_rtc = 0;
    station.clock.refuse_setting = true;
    for (int s = 0; s < 5; ++s) time_packet(board_clock, 12, 30, s);
    EXPECT_EQ(station.events(),
              std::vector<std::string>{"PC clock not set from the A/D card time: cannot set the "
                                       "system clock: Operation not permitted"});
    board_clock.stop_run();
    board_clock.start_run();
    time_packet(board_clock, 12, 31, 0);
    EXPECT_EQ(station.events().size(), 2u);
}

TEST_F(BoardClockTest, MeasuredRateOfTheSelectedChannel) {
    station.settings.channels[1].sps_code = 3;  // 0.5 sps
    station.settings.channels[2].sps_code = 1;  // one per minute
    station.sample_path.start_run(config::orda10, station.settings);
    for (int i = 0; i < 101; ++i) station.sample_path.take_sample(0, i);
    time_packet(board_clock, 12, 0, 0);
    EXPECT_EQ(station.panel.true_sps, "101");
    EXPECT_EQ(station.sample_path.samples_this_second(0), 0);
    station.selected_channel = 2;
    time_packet(board_clock, 12, 0, 1);
    EXPECT_EQ(station.panel.true_sps, ".5");
    station.selected_channel = 3;
    time_packet(board_clock, 12, 0, 2);
    EXPECT_EQ(station.panel.true_sps, "0.016");
}

TEST_F(BoardClockTest, InputLinesAndSecondHooks) {
    std::vector<std::pair<int, int>> colours;
    int seconds = 0;
    board_clock.on_input_lines = [&](int a, int b) { colours.emplace_back(a, b); };
    board_clock.on_second = [&] { ++seconds; };
    time_packet(board_clock, 12, 0, 0, 0x08);
    time_packet(board_clock, 12, 0, 1, 0x10);
    EXPECT_EQ(colours, (std::vector<std::pair<int, int>>{{8, 10}, {10, 8}}));
    EXPECT_EQ(seconds, 2);
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
