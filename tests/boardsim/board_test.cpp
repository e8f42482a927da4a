// The simulated board driven with made-up real times: commands, clock,
// packets and faults, without any port.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <cstdint>
#include <string>
#include <vector>

#include "board_stream.h"
#include "boardsim/board.h"
#include "boardsim/board_time.h"
#include "boardsim/options.h"
#include "boardsim/signal_generator.h"

namespace tw::boardsim {
namespace {

using testing::Bytes;
using testing::split;

SimulatorOptions options_at(const std::string& start = "2003/02/03 12:34:56") {
    SimulatorOptions o;
    o.start_time = parse_board_date_time(start);
    return o;
}

Board make_board(const SimulatorOptions& o) { return Board(o, *o.start_time, 1.0); }

Bytes as_bytes(const std::vector<OutputPacket>& packets) {
    Bytes out;
    for (const auto& p : packets) out.insert(out.end(), p.bytes.begin(), p.bytes.begin() + p.size);
    return out;
}

Bytes send(Board& board, const Bytes& command, double now) {
    std::vector<OutputPacket> out;
    board.receive(command, now, out);
    return as_bytes(out);
}

// Runs the board up to `now` the way the simulator's thread does: in small
// steps, so that it never looks like a stalled caller.
std::vector<OutputPacket> run_until(Board& board, double now) {
    std::vector<OutputPacket> out;
    for (double t = board.next_event_time(); t < now; t += 0.25) board.advance(t, out);
    board.advance(now, out);
    return out;
}

const Bytes start_200_100_off_2{'D', 'U', 'M', 'M', 'Y', 0x84, 1, 2, 0, 100, 0};
const Bytes stop_command{0x84, 0, 0, 0, 0, 0};

TEST(Board, StartSendsATimePacketThenEachChannelsSamplesEverySecond) {
    Board board = make_board(options_at());
    EXPECT_TRUE(run_until(board, 0.9).empty());  // idle: nothing at all
    EXPECT_TRUE(send(board, start_200_100_off_2, 0.95).empty());
    const auto out = run_until(board, 3.999);
    const auto stream = split(as_bytes(out));
    ASSERT_EQ(stream.time_packets.size(), 3u);
    EXPECT_EQ(stream.bad, 0);
    for (std::size_t s = 0; s < 3; ++s) {
        EXPECT_EQ(stream.time_packets[s], (Bytes{0x81, static_cast<std::uint8_t>(56 + s), 34, 12, 0x18, 0xF0}));
        EXPECT_EQ(stream.per_second[s], (std::array<int, 4>{200, 100, 0, 2}));
    }
    // The packets of a second are spread over it, time packet first.
    ASSERT_EQ(out.front().size, 6);
    EXPECT_DOUBLE_EQ(out.front().due, 1.0);
    EXPECT_TRUE(std::is_sorted(out.begin(), out.end(),
                               [](const auto& a, const auto& b) { return a.due < b.due; }));
    const auto last_of_first_second =
        std::find_if(out.begin(), out.end(), [](const auto& p) { return p.due >= 2.0; }) - 1;
    EXPECT_NEAR(last_of_first_second->due, 1.995, 1e-9);

    // Sample bookkeeping for the record.
    EXPECT_EQ(std::tuple(out[1].channel, out[1].index), std::tuple(1, 0));
    EXPECT_EQ(format_board_date_time(out[1].board_second), "2003/02/03 12:34:56");

    send(board, stop_command, 4.0);
    EXPECT_TRUE(run_until(board, 8.0).empty());
    EXPECT_FALSE(board.sampling());
}

TEST(Board, EepromReadsTrimmingWriteAndTimeZone) {
    auto o = options_at();
    o.serial = {0x12, 0x34, 0xA1, 0xB2};
    Board board = make_board(o);
    const std::pair<std::uint8_t, std::uint8_t> reads[] = {{1, 0xFF}, {4, 0x02}, {17, 0x34}, {200, 0xFF}};
    for (const auto& [address, value] : reads)
        EXPECT_EQ(send(board, {0x86, address, 0, 0, 0, 0}, 0.1), (Bytes{0x86, value}));

    send(board, {0x85, 0x80, 0x51, 0x01, 0x01, 0x00}, 0.2);
    for (int a = 1; a <= 4; ++a) EXPECT_EQ(board.eeprom(a), (std::array<int, 5>{0, 0x80, 0x51, 0x01, 0x01}[a]));

    // While sampling the reply is a packet of its own between the others.
    send(board, start_200_100_off_2, 0.3);
    run_until(board, 1.5);
    EXPECT_EQ(send(board, {0x86, 2, 0, 0, 0, 0}, 1.5), (Bytes{0x86, 0x51, 0xF0}));

    send(board, {0x82, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 1.6);
    EXPECT_EQ(board.time_zone(), -1);
}

TEST(Board, SetClockKeepsTheDateAndShowsTheNewTimeNext) {
    Board board = make_board(options_at("2003/02/03 23:59:58"));
    send(board, start_200_100_off_2, 0.5);
    run_until(board, 1.5);  // shows 23:59:58
    send(board, {0x83, 5, 4, 3, 0, 0}, 1.5);
    EXPECT_EQ(split(as_bytes(run_until(board, 3.999))).shown(),
              (std::vector<std::string>{"3:4:5/24/200", "3:4:6/24/200"}));
    EXPECT_EQ(format_board_date_time(board.current_second()), "2003/02/03 03:04:06");
    // An impossible time is not loaded.
    send(board, {0x83, 61, 0, 0, 0, 0}, 3.999);
    run_until(board, 4.5);
    EXPECT_EQ(format_board_date_time(board.current_second()), "2003/02/03 03:04:07");
}

// The board's status bits and faults, each on its own board, as the seconds
// it shows. Its drift is the trimming run's (tests/integration), which
// counts a fast board's samples over half an hour.
TEST(Board, StatusBitsBadTimesJumpsAndSilences) {
    const auto shown = [](Board& board, double until) { return split(as_bytes(run_until(board, until))).shown(); };
    auto o = options_at("2003/02/03 12:34:58");
    o.sync_every = 5, o.dcf_daylight = true, o.line_active[0] = true;  // 0x20, 0x40, 0x10
    Board status = make_board(o);
    send(status, {0x84, 100, 0, 0, 0, 0}, 0.5);
    EXPECT_EQ(shown(status, 3.5), (std::vector<std::string>{"12:34:58/80/2", "12:34:59/80/2", "12:35:0/112/2"}));

    o = options_at("2003/02/03 12:34:56");
    o.bad_times = {12 * 3600 + 34 * 60 + 58};
    o.time_jumps = {TimeJump{12 * 3600 + 35 * 60, -30}};
    Board jumping = make_board(o);
    send(jumping, {0x84, 100, 0, 0, 0, 0}, 0.5);
    EXPECT_EQ(shown(jumping, 7.5), (std::vector<std::string>{"12:34:56/24/2", "12:34:57/24/2", "12:34:60/24/2",
                                                             "12:34:59/24/2", "12:34:30/24/2", "12:34:31/24/2",
                                                             "12:34:32/24/2"}));
    // The jump happens once even though 12:35:00 comes again.
    EXPECT_EQ(shown(jumping, 40.5).back(), "12:35:5/24/2");

    o = options_at("2003/02/03 12:34:56");
    o.silent_at = {SilentSpan{12 * 3600 + 34 * 60 + 58, 2}};
    o.silent_after = RealSpan{6.0, 1.0};  // sampling starts at 0.5: silent 6.5..7.5
    Board silent = make_board(o);
    send(silent, {0x84, 100, 0, 0, 0, 0}, 0.5);
    EXPECT_EQ(shown(silent, 9.5), (std::vector<std::string>{"12:34:56/24/2", "12:34:57/24/2", "12:35:0/24/2",
                                                            "12:35:1/24/2", "12:35:3/24/2", "12:35:4/24/2"}));
    EXPECT_TRUE(send(silent, {0x86, 1, 0, 0, 0, 0}, 7.0).empty());  // replies too
    EXPECT_FALSE(send(silent, {0x86, 1, 0, 0, 0, 0}, 7.6).empty());
}

TEST(Board, BadPacketsAndLostTerminatorsSpoilSomePackets) {
    auto o = options_at();
    o.bad_packet_rate = 0.05;
    o.lost_terminator_rate = 0.05;
    Board board = make_board(o);
    send(board, {0x84, 1, 1, 0, 0, 0}, 0.5);
    const auto out = run_until(board, 10.5);
    int spoilt = 0;
    for (const auto& p : out) {
        const bool good_sample = p.size == 4 && p.bytes[0] >= 0x82 && p.bytes[0] <= 0x85 &&
                                 p.bytes[1] < 0x80 && p.bytes[2] < 0x80 && p.bytes[3] >= 0xF0;
        const bool good_time = p.size == 6 && p.bytes[0] == 0x81 && p.bytes[5] == 0xF0;
        if (p.channel != 0) {
            EXPECT_TRUE(good_sample);  // recorded samples went out whole
        }
        if (!good_sample && !good_time) {
            ++spoilt;
            EXPECT_EQ(p.channel, 0);
        }
    }
    // About 10 % of 4010 packets (a garbled packet may still look whole).
    EXPECT_GT(spoilt, 250);
    EXPECT_LT(spoilt, 550);
}

TEST(Board, SamplesDependOnSeedAndBoardTimeOnly) {
    auto o = options_at();
    o.signals = {SignalComponent{1, SignalKind::noise, 100, 0}, SignalComponent{1, SignalKind::offset, 50, 0}};
    auto values = [](const SimulatorOptions& options, double start_at) {
        Board board = make_board(options);
        send(board, {0x84, 2, 0, 0, 0, 0}, start_at);
        std::vector<std::int32_t> v;
        for (const auto& p : run_until(board, 3.999)) {
            if (p.channel != 0 && p.board_second >= *options.start_time + 2) v.push_back(p.value);
        }
        return v;
    };
    const auto a = values(o, 0.5);
    const auto b = values(o, 1.5);  // started a second later: same values for the same second
    ASSERT_EQ(a.size(), 100u);
    EXPECT_EQ(a, b);
    o.seed = 2;
    EXPECT_NE(values(o, 0.5), a);
    EXPECT_NEAR(std::accumulate(a.begin(), a.end(), 0.0) / static_cast<double>(a.size()), 50, 40);
}

TEST(Board, QuakeBurstReachesItsPeakThenDecays) {
    auto o = options_at("2003/02/03 12:34:56");
    o.signals = {SignalComponent{1, SignalKind::noise, 0, 0}};
    o.quakes = {QuakeSpec{1, 12 * 3600 + 35 * 60, 10000, 30}};
    Board board = make_board(o);
    send(board, {0x84, 2, 0, 0, 0, 0}, 0.5);
    std::vector<int> peak_per_second(40, 0);
    for (const auto& p : run_until(board, 40.5)) {
        if (p.channel != 1) continue;
        const auto s = static_cast<std::size_t>(p.board_second - *o.start_time);
        peak_per_second[s] = std::max(peak_per_second[s], std::abs(p.value));
    }
    for (int s = 0; s < 4; ++s) EXPECT_EQ(peak_per_second[s], 0) << s;    // before the onset
    EXPECT_LT(peak_per_second[5], 3000);                                  // first arrival
    const int strongest = *std::max_element(peak_per_second.begin(), peak_per_second.end());
    EXPECT_GT(strongest, 6000);
    EXPECT_LE(strongest, 10000);
    EXPECT_LT(peak_per_second[32], strongest / 10);                       // coda
    EXPECT_EQ(peak_per_second[36], 0);                                    // over
}

TEST(Board, RepeatedQuakeComesBackEachPeriodAcrossMidnight) {
    SimulatorOptions o;
    o.signals = {SignalComponent{1, SignalKind::noise, 0, 0}};
    o.quakes = {QuakeSpec{1, 30, 1000, 20, 300}};  // at hh:m0:30 and hh:m5:30, 20 s long
    const SignalGenerator generator(o);
    auto value = [&](const std::string& time) { return std::abs(generator.value(0, *parse_board_date_time(time), 10, 50)); };
    for (const std::string minute : {"2003/02/03 12:35:", "2003/02/03 23:55:", "2003/02/04 00:00:"})
        EXPECT_TRUE(value(minute + "29") == 0 && value(minute + "35") > 0 && value(minute + "55") == 0) << minute;
}

TEST(Board, TextBoards) {
    auto o = options_at();
    o.family = Family::infiltec;
    o.infiltec_rate = 5;
    o.signals = {SignalComponent{1, SignalKind::offset, -45, 0}};
    Board infiltec = make_board(o);
    EXPECT_TRUE(send(infiltec, start_200_100_off_2, 0.5).empty());
    const auto lines = as_bytes(run_until(infiltec, 2.9));
    std::string expected;
    for (int i = 0; i < 10; ++i) expected += "-45\r";
    EXPECT_EQ(std::string(lines.begin(), lines.end()), expected);  // 5 lines a second

    o.family = Family::lx1500;
    o.lx1500_rate = 25;
    o.signals = {SignalComponent{1, SignalKind::offset, 0, 0}};
    Board lx = make_board(o);
    EXPECT_TRUE(run_until(lx, 2.5).empty());  // waits for its start
    send(lx, {'G', '0', 'T', '1'}, 2.6);
    const auto text = as_bytes(run_until(lx, 4.99));
    const std::string sent(text.begin(), text.end());
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 'S'), 49);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 'A'), 1);
    EXPECT_EQ(sent.substr(0, 12), "32768S32768S");
    send(lx, {'S', 'T', 'B', 'Y'}, 5.0);
    EXPECT_TRUE(run_until(lx, 6.5).empty());
}

TEST(Board, SpeedFactorAndCatchUp) {
    auto o = options_at();
    o.speed_factor = 60;
    Board board = make_board(o);
    send(board, {0x84, 2, 0, 0, 0, 0}, 0.5);
    EXPECT_EQ(split(as_bytes(run_until(board, 1.999))).time_packets.size(), 60u);
    EXPECT_EQ(format_board_date_time(board.current_second()), "2003/02/03 12:35:55");
    // A caller that lagged for a minute gets no flood, and the clock ran on.
    std::vector<OutputPacket> later;
    board.advance(62.0, later);
    EXPECT_LT(later.size(), 1000u);
    EXPECT_EQ(format_board_date_time(board.current_second()), "2003/02/03 13:35:56");
}

}  // namespace
}  // namespace tw::boardsim
