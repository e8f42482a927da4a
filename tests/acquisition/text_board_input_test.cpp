#include "acquisition/text_board_input.h"

#include <gtest/gtest.h>

#include "acquisition/packet_decoder.h"

namespace tw::acquisition {
namespace {

// A port that hands out its text at most `max` characters at a time.
struct ScriptedPort {
    std::string text;
    std::string read(std::size_t max) {
        std::string out = text.substr(0, max);
        text.erase(0, out.size());
        return out;
    }
    TextBoardInput::ReadPort reader() {
        return [this](std::size_t max) { return read(max); };
    }
};

// Runs passes within one PC second and returns the decoded sample values.
std::vector<std::int32_t> samples_from(TextBoardInput& input, ScriptedPort& port, int passes) {
    std::vector<std::int32_t> values;
    for (int i = 0; i < passes; ++i) {
        const TextPass pass = input.run_pass("10:00:00", 0, port.reader());
        if (pass.outcome != TextPassOutcome::sample_packet &&
            pass.outcome != TextPassOutcome::bad_line)
            continue;
        const DecodedPacket d = decode_packet(Packet{pass.packet()}, false);
        EXPECT_EQ(d.status, DecodeStatus::ok);
        EXPECT_EQ(d.sample.channel, 0);
        values.push_back(d.sample.value);
    }
    return values;
}

TEST(TextBoardInput, InfiltecLinesBecomeOneSamplePerPass) {
    TextBoardInput input(config::infiltec);
    ScriptedPort port{"123\r\n-45\r\n-16\r"};
    const TextPass first = input.run_pass("10:00:00", 0, port.reader());
    ASSERT_EQ(first.outcome, TextPassOutcome::time_packet);
    EXPECT_EQ(std::vector<std::uint8_t>(first.packet().begin(), first.packet().end()),
              (std::vector<std::uint8_t>{0x81, 0, 0, 10, 0x00, 0xFF}));
    EXPECT_EQ(port.text.size(), 14u);  // nothing read in a new-second pass
    // -16 is 0xFFF0: a data byte that looks like a terminator, decoded as is.
    EXPECT_EQ(samples_from(input, port, 5), (std::vector<std::int32_t>{123, -45, -16}));
}

TEST(TextBoardInput, Lx1500ValuesEndAtSOrAAndAreOffset) {
    TextBoardInput input(config::lx1500);
    ScriptedPort port{"32768S0A65535S 33000A"};
    input.run_pass("10:00:00", 0, port.reader());
    EXPECT_EQ(samples_from(input, port, 8), (std::vector<std::int32_t>{0, -32768, 32767, 232}));
}

TEST(TextBoardInput, GarbledLinesStandForZeroSamples) {
    TextBoardInput input(config::infiltec);
    ScriptedPort port;
    input.run_pass("10:00:00", 0, port.reader());
    // Each unreadable line is one sample of the board: a zero in its place.
    for (const char* line : {"abc\r", "\r", "99999\r", "-40000\r", "inf\r"}) {
        port.text = line;
        const TextPass pass = input.run_pass("10:00:00", 0, port.reader());
        EXPECT_EQ(pass.outcome, TextPassOutcome::bad_line) << line;
        EXPECT_EQ(decode_packet(Packet{pass.packet()}, false).sample.value, 0) << line;
    }
    // A stream without line ends keeps a bounded tail; decoding resumes after
    // the next line end.
    for (int i = 0; i < 1000; ++i) {
        port.text = "12345678";
        EXPECT_EQ(input.run_pass("10:00:00", 0, port.reader()).outcome, TextPassOutcome::nothing);
    }
    EXPECT_EQ(input.text_board_buffer().size(), TextBoardInput::max_buffer_chars);
    port.text = "\r7\r";
    EXPECT_EQ(samples_from(input, port, 2), (std::vector<std::int32_t>{0, 7}));
    EXPECT_EQ(input.run_pass("24:00:00", 0, port.reader()).outcome, TextPassOutcome::bad_clock);
}

TEST(TextBoardInput, BuiltSecondsLagNeverRunBackwardsAndWrapAtMidnight) {
    TextBoardInput input(config::infiltec);
    ScriptedPort port;
    const auto second_of = [&](std::string_view pc, std::size_t waiting) {
        const TextPass p = input.run_pass(pc, waiting, port.reader());
        return p.outcome == TextPassOutcome::time_packet ? input.last_emitted_second() : "-";
    };
    // 848 bytes waiting = 106 values = two seconds behind.
    EXPECT_EQ(second_of("00:00:01", 848), "23:59:59");
    EXPECT_EQ(second_of("00:00:01", 0), "00:00:01");  // midnight passed
    EXPECT_EQ(second_of("00:00:01", 0), "-");
    EXPECT_EQ(second_of("00:00:00", 0), "-");  // PC clock stepped back: held
    EXPECT_EQ(input.last_emitted_second(), "00:00:01");
    EXPECT_EQ(second_of("23:59:58", 0), "23:59:58");  // a day later
    // The pass at 23:59:59 did not run: the day still turns over.
    EXPECT_EQ(second_of("00:00:02", 0), "00:00:02");
}

TEST(TextBoardInput, FirstSampleOfASecondReportsThePreviousSecondsCount) {
    TextBoardInput input(config::infiltec);
    ScriptedPort port{"1\r2\r3\r4\r"};
    input.run_pass("10:00:00", 0, port.reader());
    EXPECT_EQ(input.run_pass("10:00:00", 0, port.reader()).previous_second_samples, 0.0);
    EXPECT_FALSE(input.run_pass("10:00:00", 0, port.reader()).previous_second_samples);
    input.run_pass("10:00:00", 0, port.reader());
    EXPECT_TRUE(input.run_pass("10:00:01", 0, port.reader()).outcome == TextPassOutcome::time_packet);
    EXPECT_TRUE(input.text_new_second());
    EXPECT_EQ(input.run_pass("10:00:01", 0, port.reader()).previous_second_samples, 3.0);
    EXPECT_EQ(input.text_samples_this_second(), 1.0);
}

}  // namespace
}  // namespace tw::acquisition
