// Wire encoding, command parsing and the command line of the board simulator.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "boardsim/board_time.h"
#include "boardsim/command_parser.h"
#include "boardsim/encoder.h"
#include "boardsim/options.h"

namespace tw::boardsim {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <std::size_t N>
Bytes bytes_of(const std::array<std::uint8_t, N>& a) {
    return Bytes(a.begin(), a.end());
}

// The program's decoding rule, written out independently of the encoder.
std::int32_t reference_decode(const std::array<std::uint8_t, 4>& p, bool eighteen_bit) {
    const int t = p[3];
    const std::int32_t low = p[1] + 128 * (t & 1);
    const std::int32_t high = p[2] + 64 * (t & 2);
    if (!eighteen_bit) return static_cast<std::int16_t>(static_cast<std::uint16_t>(high * 256 + low));
    return high * 256 + low + 65536 * ((t & 4) ? 1 : 0) - 131072 * ((t & 8) ? 1 : 0);
}

TEST(Encoder, SamplePacketsMatchTheKnownWireBytes) {
    EXPECT_EQ(bytes_of(encode_sample_16(0, -1)), (Bytes{0x82, 0x7F, 0x7F, 0xF3}));
    EXPECT_EQ(bytes_of(encode_sample_16(3, 16384)), (Bytes{0x85, 0x00, 0x40, 0xF0}));
    EXPECT_EQ(bytes_of(encode_sample_18(1, -1)), (Bytes{0x83, 0x7F, 0x7F, 0xFF}));
    EXPECT_EQ(bytes_of(encode_sample_18(1, 65536)), (Bytes{0x83, 0x00, 0x00, 0xF4}));
    EXPECT_EQ(bytes_of(encode_sample_18(0, -131072)), (Bytes{0x82, 0x00, 0x00, 0xF8}));
}

TEST(Encoder, EveryValueDecodesBackForBothWidths) {
    for (std::int32_t v = -32768; v <= 32767; ++v) {
        const auto p = encode_sample_16(v & 3, v);
        ASSERT_EQ(reference_decode(p, false), v);
        ASSERT_TRUE(p[0] == 0x82 + (v & 3) && p[1] < 0x80 && p[2] < 0x80 && p[3] >= 0xF0) << v;
    }
    for (std::int32_t v = -131072; v <= 131071; v += 7) {
        const auto p = encode_sample_18(2, v);
        ASSERT_EQ(reference_decode(p, true), v);
        ASSERT_TRUE(p[1] < 0x80 && p[2] < 0x80) << v;
    }
    EXPECT_EQ(reference_decode(encode_sample_18(2, 131071), true), 131071);
    // Out of range values are clamped.
    EXPECT_EQ(std::pair(reference_decode(encode_sample_16(0, 40000), false),
                        reference_decode(encode_sample_16(0, -40000), false)), std::pair(32767, -32768));
    EXPECT_EQ(std::pair(reference_decode(encode_sample_18(0, 200000), true),
                        reference_decode(encode_sample_18(0, -200000), true)), std::pair(131071, -131072));
}

TEST(Encoder, TimePacketEepromRepliesAndTextBoardLines) {
    EXPECT_EQ(bytes_of(encode_time_packet(56, 34, 12, 0x18)), (Bytes{0x81, 56, 34, 12, 0x18, 0xF0}));
    EXPECT_EQ(bytes_of(encode_time_packet(60, 0, 0, 0)), (Bytes{0x81, 60, 0, 0, 0, 0xF0}));
    EXPECT_EQ(encode_eeprom_reply(0xA1, false), (Bytes{0x86, 0xA1}));
    EXPECT_EQ(encode_eeprom_reply(0x02, true), (Bytes{0x86, 0x02, 0xF0}));
    // A value that is itself a terminator ends the packet.
    EXPECT_EQ(encode_eeprom_reply(0xFF, true), (Bytes{0x86, 0xFF}));

    EXPECT_EQ(encode_infiltec_line(123) + encode_infiltec_line(-45), "123\r-45\r");
    EXPECT_EQ(encode_lx1500_line(0, 'S') + encode_lx1500_line(-32768, 'A') + encode_lx1500_line(99999, 'S'),
              "32768S0A65535S");
}

TEST(Encoder, DivisorGivesRateOnBothBases) {
    for (const char* version : {"V140", "V131"}) EXPECT_EQ(rate_base(version), 200) << version;
    for (const char* version : {"V160", "V180"}) EXPECT_EQ(rate_base(version), 100) << version;
    const struct { int divisor, base; double rate; } cases[] = {
        {1, 200, 200}, {2, 200, 100}, {100, 200, 2}, {1, 100, 100}, {50, 100, 2}, {0, 200, 0}};
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(channel_rate(c.divisor, c.base), c.rate) << c.divisor;
}

std::vector<Command> parse(CommandParser& parser, const Bytes& bytes, double now = 0) {
    std::vector<Command> out;
    parser.feed(bytes, now, out);
    return out;
}
std::vector<CommandType> types(CommandParser& parser, const Bytes& bytes, double now = 0) {
    std::vector<CommandType> out;
    for (const auto& c : parse(parser, bytes, now)) out.push_back(c.type);
    return out;
}
Bytes text(const std::string& t) { return Bytes(t.begin(), t.end()); }

TEST(CommandParser, SkipsPreamblesNoiseAndStaleFragmentsAndJoinsSplitCommands) {
    CommandParser parser(false);
    Bytes stream = text("@@@@@@@");
    stream.insert(stream.end(), {0x81, 0, 0, 0, 0, 0});
    stream.insert(stream.end(), {0x00, 0x7F, 0xF0, 'x'});  // noise
    stream.insert(stream.end(), {'D', 'U', 'M', 'M', 'Y', 0x84, 1, 2, 0xC8, 0, 0});
    stream.insert(stream.end(), {0x85, 0xFF, 0xFF, 0xFF, 0x02, 0x00});
    const auto commands = parse(parser, stream);
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(std::tuple(commands[0].type, commands[1].type, commands[2].type),
              std::tuple(CommandType::identify, CommandType::start_stop, CommandType::write_trim));
    EXPECT_EQ(commands[1].bytes, (Bytes{0x84, 1, 2, 0xC8, 0, 0}));  // parameters may have bit 7

    EXPECT_TRUE(parse(parser, {0x86, 0x01}, 0.0).empty());
    EXPECT_EQ(types(parser, {0, 0, 0, 0}, 0.1), std::vector{CommandType::read_eeprom});
    // A stray command byte followed by nothing for a while does not eat the
    // next real command.
    EXPECT_TRUE(parse(parser, {0x83}, 1.0).empty());
    EXPECT_EQ(types(parser, {0x40, 0x81, 0, 0, 0, 0, 0}, 2.0), std::vector{CommandType::identify});

    CommandParser lx(true);
    EXPECT_EQ(types(lx, text("xxG0T1STBYzzG0")), (std::vector{CommandType::lx_go, CommandType::lx_standby}));
    EXPECT_EQ(types(lx, text("T1DONE")), (std::vector{CommandType::lx_go, CommandType::lx_done}));
}

TEST(BoardTime, FormatsAndParsesDatesAndTimes) {
    const auto t = parse_board_date_time("2003/02/03 12:34:56");
    ASSERT_TRUE(t);
    EXPECT_EQ(format_board_date_time(*t), "2003/02/03 12:34:56");
    EXPECT_EQ(format_board_date_time(*t + 11 * 3600 + 25 * 60 + 4), "2003/02/04 00:00:00");
    EXPECT_EQ(format_board_date_time(*parse_board_date_time("2004/02/28 23:59:59") + 1),
              "2004/02/29 00:00:00");
    for (const char* bad : {"2003/02/29 00:00:00", "2003/02/03 24:00:00", "2003-02-03 12:34:56"})
        EXPECT_FALSE(parse_board_date_time(bad)) << bad;
    EXPECT_EQ(parse_time_of_day("23:59:59"), 86399);
    EXPECT_FALSE(parse_time_of_day("12:60:00"));
}

ParsedCommandLine parse_line(std::vector<std::string> args) { return parse_command_line(args); }

TEST(CommandLine, ParsesEveryKindOfOption) {
    const auto p = parse_line({"--family", "orda20", "--link=/tmp/x", "--speed", "14400", "--trim",
                               "0a0B0c01", "--serial", "12345678", "--start", "2003/02/03 12:34:56",
                               "--speed-factor", "60", "--signal", "1:sine:500:1.5", "--signal",
                               "2:noise:3", "--quake", "3:\"12:35:00\":20000:90:1", "--spike", "1:12:36:00:9000", "--seed", "7",
                               "--drift-ppm", "-50", "--sync-every", "60", "--dcf-daylight",
                               "--line-active", "2", "--time-jump", "12:40:00:-30", "--bad-time",
                               "12:41:00", "--bad-packets", "0.01", "--lost-terminators", "0.02",
                               "--silent-at", "12:42:00:10", "--silent-after", "5:2.5",
                               "--unplug-after", "10:3", "--log", "l.txt", "--record", "r.txt"});
    ASSERT_EQ(p.error, "");
    const auto& o = p.options;
    EXPECT_EQ(o.family, Family::orda20);
    EXPECT_EQ(o.resolved_version() + " " + o.link_path + " " + o.record_path, "V180 /tmp/x r.txt");
    EXPECT_EQ(o.accepted_speeds(), std::vector<int>{14400});
    EXPECT_EQ(o.trim, (std::array<std::uint8_t, 4>{0x0A, 0x0B, 0x0C, 0x01}));
    EXPECT_EQ(o.serial, (std::array<std::uint8_t, 4>{0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(format_board_date_time(*o.start_time), "2003/02/03 12:34:56");
    ASSERT_TRUE(o.signals.size() == 2 && o.quakes.size() == 2 && o.time_jumps.size() == 1);
    EXPECT_EQ(std::tuple(o.quakes[1].spike, o.quakes[1].duration_s, o.quakes[0].spike), std::tuple(true, 1., false));
    EXPECT_EQ(o.signals[0].kind, SignalKind::sine);
    EXPECT_EQ(std::tuple(o.speed_factor, o.signals[0].frequency_hz, o.silent_after->duration_s),
              std::tuple(60., 1.5, 2.5));
    EXPECT_EQ(std::tuple(o.quakes[0].onset, o.quakes[0].duration_s, o.quakes[0].frequency_hz),
              std::tuple(12 * 3600 + 35 * 60, 90., 1.));
    EXPECT_EQ(std::tuple(o.seed, o.drift_ppm, o.time_jumps[0].seconds, o.unplug_after->after_s),
              std::tuple(std::uint64_t{7}, -50., -30, 10.));
    EXPECT_TRUE(o.dcf_daylight && o.line_active[1] && !o.line_active[0]);

    EXPECT_EQ(parse_line({"--family", "infiltec"}).options.accepted_speeds(), std::vector<int>{9600});
    EXPECT_TRUE(parse_line({"--speed", "any"}).options.accepted_speeds().empty());
    EXPECT_EQ(parse_line({}).options.accepted_speeds(), (std::vector<int>{14400, 38400}));
    EXPECT_TRUE(parse_line({"--help"}).help);
}

TEST(CommandLine, BadOptionsGiveAClearMessage) {
    const std::vector<std::vector<std::string>> bad{
        {"--family", "orda30"},   {"--speed", "12345"},         {"--trim", "FFFF"},
        {"--trim", "GGFFFF02"},   {"--start", "2003/13/01 00:00:00"}, {"--speed-factor", "0"},
        {"--signal", "5:noise:1"}, {"--signal", "1:square:3"},  {"--quake", "1:25:00:00:100"}, {"--spike", "1:12:00:00"},
        {"--bad-packets", "1.5"}, {"--time-jump", "12:00:00"},  {"--silent-after", "5"},
        {"--version", "140"},     {"--frobnicate"},             {"--log"},
        {"--drift-ppm", "1e9"},   {"--sync-every", "0"},        {"--infiltec-rate", "-1"},
    };
    for (const auto& args : bad) EXPECT_FALSE(parse_line(args).error.empty()) << args[0];
    EXPECT_EQ(parse_line({"--speed", "12345"}).error,
              "--speed needs 9600, 14400, 19200, 38400 or any, not '12345'");
}

}  // namespace
}  // namespace tw::boardsim
