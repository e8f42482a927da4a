#include "acquisition/text_board_input.h"

#include <gtest/gtest.h>

#include "acquisition/packet_decoder.h"

namespace tw::acquisition {
namespace {

// A line board's input on a port that hands out its text at most `max`
// characters at a time.
struct TextBoard {
    explicit TextBoard(config::BoardFamily family, std::string text = "") : input(family), text(std::move(text)) {}
    TextPass pass(std::string_view pc = "10:00:00", std::size_t waiting = 0) {
        return input.run_pass(pc, waiting, [this](std::size_t max) {
            std::string out = text.substr(0, max);
            text.erase(0, out.size());
            return out;
        });
    }
    // Runs passes within one PC second and returns the decoded sample values.
    std::vector<std::int32_t> samples(int passes) {
        std::vector<std::int32_t> values;
        for (int i = 0; i < passes; ++i) {
            const TextPass p = pass();
            if (p.outcome != TextPassOutcome::sample_packet && p.outcome != TextPassOutcome::bad_line) continue;
            const DecodedPacket d = decode_packet(Packet{p.packet()}, false);
            EXPECT_EQ(std::pair(d.status, d.sample.channel), std::pair(DecodeStatus::ok, 0));
            values.push_back(d.sample.value);
        }
        return values;
    }
    TextBoardInput input;
    std::string text;
};

TEST(TextBoardInput, InfiltecLinesBecomeOneSamplePerPassAndLx1500ValuesEndAtSOrAAndAreOffset) {
    TextBoard infiltec(config::infiltec, "123\r\n-45\r\n-16\r");
    const TextPass first = infiltec.pass();
    ASSERT_EQ(first.outcome, TextPassOutcome::time_packet);
    EXPECT_EQ(std::vector<std::uint8_t>(first.packet().begin(), first.packet().end()),
              (std::vector<std::uint8_t>{0x81, 0, 0, 10, 0x00, 0xFF}));
    EXPECT_EQ(infiltec.text.size(), 14u);  // nothing read in a new-second pass
    // -16 is 0xFFF0: a data byte that looks like a terminator, decoded as is.
    EXPECT_EQ(infiltec.samples(5), (std::vector<std::int32_t>{123, -45, -16}));

    TextBoard lx(config::lx1500, "32768S0A65535S 33000A");
    lx.pass();
    EXPECT_EQ(lx.samples(8), (std::vector<std::int32_t>{0, -32768, 32767, 232}));
}

TEST(TextBoardInput, GarbledLinesStandForZeroSamples) {
    TextBoard board(config::infiltec);
    board.pass();
    // Each unreadable line is one sample of the board: a zero in its place.
    for (const char* line : {"abc\r", "\r", "99999\r", "-40000\r", "inf\r"}) {
        board.text = line;
        const TextPass pass = board.pass();
        EXPECT_EQ(pass.outcome, TextPassOutcome::bad_line) << line;
        EXPECT_EQ(decode_packet(Packet{pass.packet()}, false).sample.value, 0) << line;
    }
    // A stream without line ends keeps a bounded tail; decoding resumes after
    // the next line end.
    for (int i = 0; i < 1000; ++i) {
        board.text = "12345678";
        EXPECT_EQ(board.pass().outcome, TextPassOutcome::nothing);
    }
    EXPECT_EQ(board.input.text_board_buffer().size(), TextBoardInput::max_buffer_chars);
    board.text = "\r7\r";
    EXPECT_EQ(board.samples(2), (std::vector<std::int32_t>{0, 7}));
    EXPECT_EQ(board.pass("24:00:00").outcome, TextPassOutcome::bad_clock);
}

TEST(TextBoardInput, BuiltSecondsLagNeverRunBackwardsAndWrapAtMidnight) {
    TextBoard board(config::infiltec);
    const auto second_of = [&](std::string_view pc, std::size_t waiting) {
        return board.pass(pc, waiting).outcome == TextPassOutcome::time_packet ? board.input.last_emitted_second()
                                                                               : "-";
    };
    // 848 bytes waiting = 106 values = two seconds behind.
    EXPECT_EQ(second_of("00:00:01", 848), "23:59:59");
    EXPECT_EQ(second_of("00:00:01", 0), "00:00:01");  // midnight passed
    EXPECT_EQ(second_of("00:00:01", 0), "-");
    EXPECT_EQ(second_of("00:00:00", 0), "-");  // PC clock stepped back: held
    EXPECT_EQ(board.input.last_emitted_second(), "00:00:01");
    EXPECT_EQ(second_of("23:59:58", 0), "23:59:58");  // a day later
    // The pass at 23:59:59 did not run: the day still turns over.
    EXPECT_EQ(second_of("00:00:02", 0), "00:00:02");
}

TEST(TextBoardInput, FirstSampleOfASecondReportsThePreviousSecondsCount) {
    TextBoard board(config::infiltec, "1\r2\r3\r4\r");
    board.pass();
    EXPECT_EQ(board.pass().previous_second_samples, 0.0);
    EXPECT_FALSE(board.pass().previous_second_samples);
    board.pass();
    EXPECT_EQ(board.pass("10:00:01").outcome, TextPassOutcome::time_packet);
    EXPECT_TRUE(board.input.text_new_second());
    EXPECT_EQ(board.pass("10:00:01").previous_second_samples, 3.0);
    EXPECT_EQ(board.input.text_samples_this_second(), 1.0);
}

}  // namespace
}  // namespace tw::acquisition
