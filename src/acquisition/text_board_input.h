#pragma once
// Input of the line-oriented boards (Infiltec, N.E. LX1500).
//
// These boards send one value per text line and no time at all. Each pass
// turns their text into at most one packet of the common format, so that the
// dispatch after the input step is the same for every board family:
// - once per PC second a time packet 0x81, s, m, h, 0x00, 0xFF;
// - otherwise, when a whole value has arrived, a sample packet of channel 1,
//   0x82, low, high, 0xFC, whose data bytes use all 8 bits.
// The built packet goes straight to dispatch (decode_packet), never through
// the PacketAssembler: its data bytes may be 0xF0 or above.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "config/tables.h"

namespace tw::acquisition {

enum class TextPassOutcome {
    nothing,        // no new second and no whole value yet
    time_packet,    // packet() is a time packet
    sample_packet,  // packet() is a sample packet of channel 1
    bad_line,       // a line without a usable number: packet() is a zero sample in its
                    // place, to be counted as bad
    bad_clock,      // the PC time text could not be read; nothing done
};
std::string_view to_string(TextPassOutcome outcome);

struct TextPass {
    TextPassOutcome outcome = TextPassOutcome::nothing;
    std::array<std::uint8_t, 6> bytes{};
    std::size_t size = 0;
    // Set on the first sample after a new second: the samples converted in
    // the previous second, which the `true_sps` label shows.
    std::optional<double> previous_second_samples;

    std::span<const std::uint8_t> packet() const { return {bytes.data(), size}; }
};

class TextBoardInput {
public:
    // Reads at most `max_chars` characters from the port, without waiting.
    using ReadPort = std::function<std::string(std::size_t max_chars)>;

    static constexpr std::size_t read_chunk = 8;
    // Text kept while no line end arrives; older characters are dropped. A
    // value line has at most a few characters, so anything longer is noise.
    static constexpr std::size_t max_buffer_chars = 256;

    // `family` is infiltec (values end at CR) or lx1500 (values end at "S" or
    // "A" and are offset by 32768); any other family is treated as infiltec.
    explicit TextBoardInput(config::BoardFamily family);

    // One pass. `pc_seconds_of_day` is the PC time of day (0..86399),
    // `bytes_waiting` the port's count of bytes waiting (it sets the lag by
    // which the built time trails the PC clock). The port is read only when
    // no new second is due.
    TextPass run_pass(int pc_seconds_of_day, std::size_t bytes_waiting,
                      const ReadPort& read_port);
    // The same with the PC time as "HH:MM:SS"; an unreadable text gives
    // bad_clock and changes nothing.
    TextPass run_pass(std::string_view pc_time, std::size_t bytes_waiting,
                      const ReadPort& read_port);

    // "HH:MM:SS" of the last time packet built, empty before the first.
    std::string last_emitted_second() const;
    const std::string& text_board_buffer() const { return text_board_buffer_; }
    double text_samples_this_second() const { return text_samples_this_second_; }
    bool text_new_second() const { return text_new_second_; }

    // Forgets all state (a new run).
    void reset();

private:
    TextPass build_sample(std::string_view line);

    config::BoardFamily family_;
    int last_emitted_second_ = -1;  // seconds of day, -1 none yet
    std::string text_board_buffer_;
    double text_samples_this_second_ = 0;
    bool text_new_second_ = false;
};

// "HH:MM:SS" (hours 0..23) to seconds of day; nullopt for anything else.
std::optional<int> parse_time_of_day(std::string_view text);
// Seconds of day (taken modulo one day) to "HH:MM:SS".
std::string format_time_of_day(int seconds_of_day);

// The number at the start of a text line: blanks, tabs, CR and LF are
// skipped, then an optional sign, digits and an optional fraction. nullopt
// when the line does not start with a number.
std::optional<double> leading_number(std::string_view line);

}  // namespace tw::acquisition
