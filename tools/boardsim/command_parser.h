#pragma once
// Turns the bytes the program writes to the board into commands.
//
// ORDA boards: a command is a group of six bytes starting with a command byte
// 0x81..0x86; its five parameter bytes are raw 8-bit values. Bytes met while
// no command is open are skipped, which drops the preambles (seven 0x40
// before identify, "DUMMY" before start) and line noise. A command left
// incomplete for longer than `partial_timeout_s` is dropped, so that a noise
// byte in 0x81..0x86 cannot swallow the next real command.
//
// LX1500: plain ASCII commands "G0T1", "STBY" and "DONE" without a
// terminator; anything else between them is skipped.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tw::boardsim {

enum class CommandType {
    identify,       // 0x81 + 5 bytes
    set_time_zone,  // 0x82, correction byte x 5
    set_clock,      // 0x83, seconds, minutes, hours, 0, 0
    start_stop,     // 0x84, divisors of channels 1-4, 0
    write_trim,     // 0x85, four trimming bytes, 0
    read_eeprom,    // 0x86, address, 0, 0, 0, 0
    lx_go,          // "G0T1"
    lx_standby,     // "STBY"
    lx_done,        // "DONE"
};
std::string_view to_string(CommandType type);

struct Command {
    CommandType type = CommandType::identify;
    std::vector<std::uint8_t> bytes;  // the command as received, preamble excluded
};

inline constexpr std::size_t orda_command_length = 6;

class CommandParser {
public:
    static constexpr double partial_timeout_s = 0.5;

    // `text_commands`: parse the LX1500 ASCII commands instead of ORDA ones.
    explicit CommandParser(bool text_commands) : text_commands_(text_commands) {}

    // Appends the commands completed by `bytes` (received at `now`, seconds
    // on any steady clock) to `out`, in order. Incomplete input is kept.
    void feed(std::span<const std::uint8_t> bytes, double now, std::vector<Command>& out);

private:
    void feed_orda(std::span<const std::uint8_t> bytes, double now, std::vector<Command>& out);
    void feed_text(std::span<const std::uint8_t> bytes, std::vector<Command>& out);

    bool text_commands_;
    std::vector<std::uint8_t> partial_;  // open ORDA command
    double partial_started_ = 0;
    std::string text_;                   // LX1500: text not yet matched
};

}  // namespace tw::boardsim
