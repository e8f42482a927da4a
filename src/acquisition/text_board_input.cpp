#include "acquisition/text_board_input.h"

#include <charconv>
#include <cmath>

namespace tw::acquisition {

namespace {

constexpr int seconds_per_day = 86400;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string_view to_string(TextPassOutcome outcome) {
    switch (outcome) {
        case TextPassOutcome::nothing: return "no packet";
        case TextPassOutcome::time_packet: return "time packet";
        case TextPassOutcome::sample_packet: return "sample packet";
        case TextPassOutcome::bad_line: return "text line without a usable value";
        case TextPassOutcome::bad_clock: return "unreadable PC time";
    }
    return "unknown outcome";
}

std::optional<int> parse_time_of_day(std::string_view text) {
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') return std::nullopt;
    for (std::size_t i : {0u, 1u, 3u, 4u, 6u, 7u})
        if (!is_digit(text[i])) return std::nullopt;
    const int h = (text[0] - '0') * 10 + (text[1] - '0');
    const int m = (text[3] - '0') * 10 + (text[4] - '0');
    const int s = (text[6] - '0') * 10 + (text[7] - '0');
    if (h > 23 || m > 59 || s > 59) return std::nullopt;
    return h * 3600 + m * 60 + s;
}

std::string format_time_of_day(int seconds_of_day) {
    int t = seconds_of_day % seconds_per_day;
    if (t < 0) t += seconds_per_day;
    const int parts[3] = {t / 3600, t / 60 % 60, t % 60};
    std::string out = "00:00:00";
    for (int i = 0; i < 3; ++i) {
        out[static_cast<std::size_t>(i) * 3] = static_cast<char>('0' + parts[i] / 10);
        out[static_cast<std::size_t>(i) * 3 + 1] = static_cast<char>('0' + parts[i] % 10);
    }
    return out;
}

std::optional<double> leading_number(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\n' || line[i] == '\r')) ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
        negative = line[i] == '-';
        ++i;
    }
    // from_chars would also take "inf" and "nan": insist on a digit first.
    const bool starts_with_digit =
        i < line.size() && (is_digit(line[i]) ||
                            (line[i] == '.' && i + 1 < line.size() && is_digit(line[i + 1])));
    if (!starts_with_digit) return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(line.data() + i, line.data() + line.size(), value,
                                           std::chars_format::fixed);
    if (ec != std::errc()) return std::nullopt;  // out of range for a double
    (void)end;
    return negative ? -value : value;
}

TextBoardInput::TextBoardInput(config::BoardFamily family) : family_(family) {}

void TextBoardInput::reset() {
    last_emitted_second_ = -1;
    text_board_buffer_.clear();
    text_samples_this_second_ = 0;
    text_new_second_ = false;
}

std::string TextBoardInput::last_emitted_second() const {
    return last_emitted_second_ < 0 ? std::string() : format_time_of_day(last_emitted_second_);
}

TextPass TextBoardInput::run_pass(std::string_view pc_time, std::size_t bytes_waiting,
                                  const ReadPort& read_port) {
    const std::optional<int> seconds = parse_time_of_day(pc_time);
    if (!seconds) {
        TextPass pass;
        pass.outcome = TextPassOutcome::bad_clock;
        return pass;
    }
    return run_pass(*seconds, bytes_waiting, read_port);
}

TextPass TextBoardInput::run_pass(int pc_seconds_of_day, std::size_t bytes_waiting,
                                  const ReadPort& read_port) {
    // The text waiting in the port is late: 8 characters a value, about 53
    // values a second. The built time trails the PC clock by that backlog.
    const long long lag = static_cast<long long>(bytes_waiting / 8) / 53;
    long long t = (static_cast<long long>(pc_seconds_of_day) - lag) % seconds_per_day;
    if (t < 0) t += seconds_per_day;

    // Time never runs backwards, except across midnight: a step back of more
    // than half a day is the day turning over, even when the pass that would
    // have seen 23:59:59 did not run.
    if (last_emitted_second_ >= 0 && t < last_emitted_second_ &&
        last_emitted_second_ - t <= seconds_per_day / 2)
        t = last_emitted_second_;

    if (t != last_emitted_second_) {
        last_emitted_second_ = static_cast<int>(t);
        text_new_second_ = true;
        TextPass pass;
        pass.outcome = TextPassOutcome::time_packet;
        pass.bytes = {0x81, static_cast<std::uint8_t>(t % 60),
                      static_cast<std::uint8_t>(t / 60 % 60), static_cast<std::uint8_t>(t / 3600),
                      0x00, 0xFF};
        pass.size = 6;
        return pass;
    }

    if (read_port) text_board_buffer_ += read_port(read_chunk);

    std::size_t end = std::string::npos;
    if (family_ == config::lx1500)
        end = text_board_buffer_.find_first_of("SA");
    else
        end = text_board_buffer_.find('\r');

    TextPass pass;
    if (end != std::string::npos) {
        const std::string line = text_board_buffer_.substr(0, end + 1);
        text_board_buffer_.erase(0, end + 1);
        pass = build_sample(line);
    }
    if (text_board_buffer_.size() > max_buffer_chars)
        text_board_buffer_.erase(0, text_board_buffer_.size() - max_buffer_chars);
    return pass;
}

TextPass TextBoardInput::build_sample(std::string_view line) {
    TextPass pass;
    pass.outcome = TextPassOutcome::sample_packet;
    std::optional<double> number = leading_number(line);
    double value = number ? *number : 0;
    if (family_ == config::lx1500 && number) value -= 32768;
    value = std::round(value);
    // A line without a number, or with one outside 16 bits (wrapping it would
    // make up a wrong sample), still stands for one sample of the board: a
    // zero in its place keeps every later sample at its time.
    if (!number || !(value >= -32768 && value <= 32767)) {
        pass.outcome = TextPassOutcome::bad_line;
        value = 0;
    }
    const auto word = static_cast<std::uint16_t>(static_cast<std::int32_t>(value));
    pass.bytes = {0x82, static_cast<std::uint8_t>(word & 0xFF), static_cast<std::uint8_t>(word >> 8),
                  0xFC};
    pass.size = 4;

    if (text_new_second_) {
        pass.previous_second_samples = text_samples_this_second_;
        text_samples_this_second_ = 0;
        text_new_second_ = false;
    }
    text_samples_this_second_ += 1;
    return pass;
}

}  // namespace tw::acquisition
