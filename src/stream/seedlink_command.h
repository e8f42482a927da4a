#pragma once
// The commands a client sends to the station's server, one per line, and
// what they ask for. Parsing is pure: a line in, a command or the reason it
// was refused out (the server answers ERROR or closes the connection).
//
// Two grammars: protocol 3.1 (six-digit hexadecimal sequence numbers,
// "YYYY,MM,DD,hh,mm,ss" times, STATION STA [NET], SELECT LLCCC.T) and
// protocol 4.0 (decimal 64-bit sequence numbers, ISO times, STATION NET_STA
// and SELECT LOC_B_S_SS[.FS] with the wildcards '*' and '?').

#include "stream/record.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::stream {

// Longest command line taken, without its line end: 255 characters with
// the CR LF. The longest valid one, "DATA" with a sequence number and two
// ISO times, has about 80 characters.
inline constexpr std::size_t max_command_length = 253;

enum class CommandKind {
    hello, cat, bye, station, end, endfetch, select, data, fetch, time, info,
    capabilities, batch, slproto, useragent, auth,
};

enum class ParseStatus {
    ok,
    empty,             // a blank line: ignored
    too_long,          // more than max_command_length characters
    bad_character,     // a byte that no command holds (control or 8-bit)
    unknown_command,
    bad_arguments,     // a known command with arguments it does not take
};
std::string_view to_string(ParseStatus status);

// A stream selector. In protocol 3.1: location and channel patterns ('?'
// matches any one character, '-' a blank) and the record type, '\0' for
// any. In protocol 4.0: patterns over the stream id "LOC_B_S_SS" and over
// the format and subformat ("2D"), the latter anchored at its start only.
struct Selector {
    bool negative = false;    // "!": records that match are left out
    bool any_location = false;  // given as CCC: every location
    std::array<char, 2> location{' ', ' '};
    std::array<char, 3> channel{'?', '?', '?'};
    char type = '\0';         // D E C O T L
    bool by_pattern = false;  // protocol 4.0: the two patterns below
    std::string stream_pattern;
    std::string format_pattern;

    bool matches(const Record& record) const;
};

struct Command {
    CommandKind kind = CommandKind::hello;
    std::string station;   // STATION: station pattern (4.0: "NET_STA" pattern)
    std::string network;   // STATION in 3.1: network, empty for the default one
    std::optional<Selector> selector;  // SELECT; none: clear the selectors
    std::optional<std::uint64_t> sequence;  // DATA, FETCH
    bool all = false;                       // DATA ALL (4.0)
    std::optional<std::int64_t> begin_us;   // DATA, FETCH, TIME
    std::optional<std::int64_t> end_us;     // TIME, DATA (4.0)
    std::string info_level;  // INFO, in upper case
    std::vector<std::string> words;  // the other arguments (CAPABILITIES, SLPROTO, INFO patterns)
};

struct ParsedCommand {
    ParseStatus status = ParseStatus::ok;
    Command command;
    std::string reason;  // what is wrong with the arguments
};

// One line without its line end, in the grammar of protocol 3 or 4. Command
// words are not case-sensitive.
ParsedCommand parse_command(std::string_view line, int protocol = 3);

// "YYYY,MM,DD,hh,mm,ss" as microseconds since 1970; nullopt for anything
// else or an impossible date or time.
std::optional<std::int64_t> parse_protocol_time(std::string_view text);
// "YYYY-MM-DDThh:mm:ss[.ffffff][Z]" as microseconds since 1970.
std::optional<std::int64_t> parse_iso_time(std::string_view text);

// Whether `text` matches `pattern` of '*' (any run of characters) and '?'
// (any one character), over the whole text or (prefix) its start only.
bool glob_matches(std::string_view pattern, std::string_view text, bool prefix = false);
// Stream id "LOC_B_S_SS" of a record, and its format and subformat ("2D").
std::string stream_id_of(const Record& record);

}  // namespace tw::stream
