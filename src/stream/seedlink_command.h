#pragma once
// The commands a client sends to the station's server, one per line, and
// what they ask for. Parsing is pure: a line in, a command or the reason it
// was refused out (the server answers ERROR or closes the connection).

#include "stream/record.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw::stream {

// Longest command line taken, without its line end. The longest valid one,
// "TIME" with two times, has 48 characters.
inline constexpr std::size_t max_command_length = 255;

enum class CommandKind { hello, cat, bye, station, end, select, data, fetch, time, info };

enum class ParseStatus {
    ok,
    empty,             // a blank line: ignored
    too_long,          // more than max_command_length characters
    bad_character,     // a byte that no command holds (control or 8-bit)
    unknown_command,
    bad_arguments,     // a known command with arguments it does not take
};
std::string_view to_string(ParseStatus status);

// A stream selector: location and channel patterns ('?' matches any one
// character, '-' a blank), and the record type, '\0' for any.
struct Selector {
    bool negative = false;    // "!": records that match are left out
    bool any_location = false;  // given as CCC: every location
    std::array<char, 2> location{' ', ' '};
    std::array<char, 3> channel{'?', '?', '?'};
    char type = '\0';         // D E C O T L

    bool matches(const Record& record) const;
};

struct Command {
    CommandKind kind = CommandKind::hello;
    std::string station;   // STATION: station pattern
    std::string network;   // STATION: network, empty for the default one
    std::optional<Selector> selector;  // SELECT; none: clear the selectors
    std::optional<std::uint32_t> sequence;  // DATA, FETCH
    std::optional<std::int64_t> begin_us;   // DATA, FETCH, TIME
    std::optional<std::int64_t> end_us;     // TIME
    std::string info_level;  // INFO, in upper case
};

struct ParsedCommand {
    ParseStatus status = ParseStatus::ok;
    Command command;
};

// One line without its line end. Command words are not case-sensitive.
ParsedCommand parse_command(std::string_view line);

// "YYYY,MM,DD,hh,mm,ss" as microseconds since 1970; nullopt for anything
// else or an impossible date or time.
std::optional<std::int64_t> parse_protocol_time(std::string_view text);

}  // namespace tw::stream
