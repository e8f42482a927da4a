#include "stream/seedlink_command.h"

#include "stream/channel_codes.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <vector>

namespace tw::stream {

namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = upper(c);
    return out;
}

bool is_code_or_wildcard(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '?' || c == '-';
}

bool is_pattern_character(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '?' || c == '*' || c == '_' ||
           c == '-';
}

// At most 16 words: no valid command has more, and a line of many short
// words costs no more than that.
std::vector<std::string_view> split_words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size() && words.size() <= 16) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        std::size_t end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
        if (end > at) words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

std::optional<std::uint64_t> parse_number(std::string_view text, int base, std::size_t most) {
    if (text.empty() || text.size() > most) return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<Selector> parse_selector(std::string_view text) {
    Selector s;
    std::string p = upper(text);
    std::string_view v = p;
    if (!v.empty() && v[0] == '!') {
        s.negative = true;
        v.remove_prefix(1);
    }
    if (const auto dot = v.find('.'); dot != std::string_view::npos) {
        const std::string_view type = v.substr(dot + 1);
        if (type.size() != 1 || std::string_view("DECOTL").find(type[0]) == std::string_view::npos)
            return std::nullopt;
        s.type = type[0];
        v = v.substr(0, dot);
    }
    for (char c : v)
        if (!is_code_or_wildcard(c)) return std::nullopt;
    auto blank = [](char c) { return c == '-' ? ' ' : c; };
    if (v.size() == 5) {
        s.location = {blank(v[0]), blank(v[1])};
        s.channel = {blank(v[2]), blank(v[3]), blank(v[4])};
    } else if (v.size() == 3) {
        s.any_location = true;
        s.channel = {blank(v[0]), blank(v[1]), blank(v[2])};
    } else {
        return std::nullopt;
    }
    return s;
}

// SELECT [!]STREAM[.FORMAT][:filter] of protocol 4.0. A selector in the
// older form (BHZ, 00BHZ.D, --BHZ) is taken as the reference client library
// turns it into the new one, and a lone type letter after the dot as the
// subformat of miniSEED 2.
std::optional<Selector> parse_selector_v4(std::string_view text, std::string* reason) {
    Selector s;
    s.by_pattern = true;
    std::string p = upper(text);
    std::string_view v = p;
    if (!v.empty() && v[0] == '!') {
        s.negative = true;
        v.remove_prefix(1);
    }
    if (const auto colon = v.find(':'); colon != std::string_view::npos) {
        // Records go out as they are packed: only the native filter exists.
        if (s.negative || v.substr(colon + 1) != "NATIVE") {
            *reason = "only the filter 'native' is offered, and not after '!'";
            return std::nullopt;
        }
        v = v.substr(0, colon);
    }
    std::string_view format;
    if (const auto dot = v.find('.'); dot != std::string_view::npos) {
        format = v.substr(dot + 1);
        v = v.substr(0, dot);
        if (format.empty() || format.size() > 2) {
            *reason = "a format pattern has one or two characters";
            return std::nullopt;
        }
    }
    for (char c : std::string(v) + std::string(format))
        if (!is_pattern_character(c)) {
            *reason = "a stream pattern holds letters, digits, '_', '*' and '?'";
            return std::nullopt;
        }
    if (v.empty()) {
        *reason = "no stream pattern";
        return std::nullopt;
    }
    std::string stream(v);
    if (stream.find('_') == std::string::npos && stream.find('*') == std::string::npos) {
        std::size_t blanks = 0;
        while (blanks < stream.size() && stream[blanks] == '-') ++blanks;
        const std::string code = stream.substr(blanks);
        if (code.size() == 3)
            stream = std::string(blanks ? "" : "*") + "_" + code[0] + "_" + code[1] + "_" + code[2];
        else if (code.size() == 4 || code.size() == 5)
            stream = code.substr(0, code.size() - 3) + "_" + code[code.size() - 3] + "_" +
                     code[code.size() - 2] + "_" + code[code.size() - 1];
    }
    // B_S_SS without a location, as the client's documentation writes it
    // ("IU_KONO:B_H_E"): every location.
    if (std::count(stream.begin(), stream.end(), '_') == 2 && stream.front() != '_') stream = "*_" + stream;
    s.stream_pattern = stream;
    s.format_pattern = format.size() == 1 && std::string_view("DECOTL").find(format[0]) != std::string_view::npos
                           ? "?" + std::string(format)
                           : std::string(format);
    return s;
}

bool is_station_pattern(std::string_view text, std::size_t most) {
    if (text.empty() || text.size() > most) return false;
    for (char c : text)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '?')) return false;
    return true;
}

bool is_station_id_pattern(std::string_view text) {
    if (text.empty() || text.size() > 64) return false;
    for (char c : text)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '?' || c == '*' || c == '_'))
            return false;
    return true;
}

}  // namespace

std::string_view to_string(ParseStatus status) {
    switch (status) {
    case ParseStatus::ok: return "ok";
    case ParseStatus::empty: return "empty line";
    case ParseStatus::too_long: return "line too long";
    case ParseStatus::bad_character: return "bad character";
    case ParseStatus::unknown_command: return "unknown command";
    case ParseStatus::bad_arguments: return "bad arguments";
    }
    return "unknown";
}

bool glob_matches(std::string_view pattern, std::string_view text, bool prefix) {
    // Backtracking over the last '*' only: linear in practice, and the
    // patterns are short (one command line at most).
    std::size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p, ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++, mark = t;
        } else if (p == pattern.size() && prefix) {
            return true;
        } else if (star != std::string_view::npos) {
            p = star + 1, t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::string stream_id_of(const Record& record) {
    std::string id;
    for (char c : record.location)
        if (c != ' ') id += c;
    for (char c : record.seed_channel) {
        id += '_';
        id += c;
    }
    return id;
}

bool Selector::matches(const Record& record) const {
    if (by_pattern) {
        if (!glob_matches(stream_pattern, stream_id_of(record))) return false;
        const char format[2] = {'2', record.type};
        return format_pattern.empty() ||
               glob_matches(format_pattern, std::string_view(format, 2), true);
    }
    if (type != '\0' && type != record.type) return false;
    auto same = [](char pattern, char c) { return pattern == '?' || pattern == c; };
    if (!any_location)
        for (std::size_t i = 0; i < 2; ++i)
            if (!same(location[i], record.location[i])) return false;
    for (std::size_t i = 0; i < 3; ++i)
        if (!same(channel[i], record.seed_channel[i])) return false;
    return true;
}

namespace {

bool valid_civil(int year, int month, int day, int hour, int minute, int second) {
    static constexpr int month_days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return !(year < 1900 || year > 2999 || month < 1 || month > 12 || day < 1 ||
             day > month_days[month - 1] || (month == 2 && day == 29 && !leap) || hour < 0 ||
             hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60);
}

}  // namespace

std::optional<std::int64_t> parse_protocol_time(std::string_view text) {
    std::array<int, 6> parts{1900, 1, 1, 0, 0, 0};
    std::size_t n = 0;
    const char* at = text.data();
    const char* end = text.data() + text.size();
    while (n < parts.size()) {
        const auto [next, ec] = std::from_chars(at, end, parts[n]);
        if (ec != std::errc() || next == at || next - at > 4) return std::nullopt;
        ++n;
        at = next;
        if (at == end) break;
        if (*at != ',') return std::nullopt;
        ++at;
    }
    // A date alone, or a date and time to the second.
    if (n < 3 || at != end) return std::nullopt;
    const auto [year, month, day, hour, minute, second] = parts;
    if (!valid_civil(year, month, day, hour, minute, second)) return std::nullopt;
    return civil_time_us(year, month, day, hour, minute, second);
}

std::optional<std::int64_t> parse_iso_time(std::string_view text) {
    if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) text.remove_suffix(1);
    std::array<int, 6> parts{1900, 1, 1, 0, 0, 0};
    static constexpr char separators[] = {'-', '-', 'T', ':', ':'};
    const char* at = text.data();
    const char* end = text.data() + text.size();
    std::size_t n = 0;
    int microsecond = 0;
    while (n < parts.size()) {
        const auto [next, ec] = std::from_chars(at, end, parts[n]);
        if (ec != std::errc() || next - at != (n == 0 ? 4 : 2)) return std::nullopt;
        ++n;
        at = next;
        if (at == end) break;
        if (n == parts.size() || (*at != separators[n - 1] && !(n == 3 && *at == 't')))
            break;
        ++at;
    }
    if (n == parts.size() && at != end && *at == '.') {
        ++at;
        int digits = 0;
        for (; at != end && *at >= '0' && *at <= '9'; ++at, ++digits)
            if (digits < 6) microsecond = microsecond * 10 + (*at - '0');
        if (digits == 0) return std::nullopt;
        for (; digits < 6; ++digits) microsecond *= 10;
    }
    if (n < 3 || at != end) return std::nullopt;
    const auto [year, month, day, hour, minute, second] = parts;
    if (!valid_civil(year, month, day, hour, minute, second)) return std::nullopt;
    return civil_time_us(year, month, day, hour, minute, second, microsecond);
}

ParsedCommand parse_command(std::string_view line, int protocol) {
    ParsedCommand result;
    if (line.size() > max_command_length) {
        result.status = ParseStatus::too_long;
        return result;
    }
    for (char c : line) {
        const auto b = static_cast<unsigned char>(c);
        if ((b < 0x20 && c != '\t') || b >= 0x7F) {
            result.status = ParseStatus::bad_character;
            return result;
        }
    }
    const auto words = split_words(line);
    if (words.empty()) {
        result.status = ParseStatus::empty;
        return result;
    }
    const std::string name = upper(words[0]);
    const std::size_t args = words.size() - 1;
    Command& c = result.command;
    const bool v4 = protocol >= 4;
    auto refuse = [&](std::string why) {
        result.status = ParseStatus::bad_arguments;
        result.reason = std::move(why);
        return result;
    };
    auto word = [&](std::size_t i) { return upper(words[i]); };

    if (name == "HELLO" || name == "CAT" || name == "BYE" || name == "END" || name == "ENDFETCH" ||
        name == "BATCH") {
        if (args != 0) return refuse(name + " takes no arguments");
        c.kind = name == "HELLO"   ? CommandKind::hello
                 : name == "CAT"   ? CommandKind::cat
                 : name == "BYE"   ? CommandKind::bye
                 : name == "END"   ? CommandKind::end
                 : name == "BATCH" ? CommandKind::batch
                                   : CommandKind::endfetch;
    } else if (name == "CAPABILITIES" || name == "SLPROTO" || name == "USERAGENT" || name == "AUTH") {
        c.kind = name == "CAPABILITIES" ? CommandKind::capabilities
                 : name == "SLPROTO"    ? CommandKind::slproto
                 : name == "USERAGENT"  ? CommandKind::useragent
                                        : CommandKind::auth;
        for (std::size_t i = 1; i < words.size(); ++i) c.words.emplace_back(words[i]);
        if (c.kind == CommandKind::slproto && args != 1) return refuse("SLPROTO takes one version");
    } else if (name == "STATION") {
        c.kind = CommandKind::station;
        if (v4 && args == 1) {
            c.station = word(1);
            if (!is_station_id_pattern(c.station)) return refuse("a station id is NET_STA");
        } else {
            // Protocol 3.1's STATION STA [NET], also taken in 4.0.
            if (args < 1 || args > 2) return refuse("STATION takes a station and a network");
            c.station = word(1);
            if (!is_station_pattern(c.station, 5)) return refuse("bad station code");
            if (args == 2) {
                c.network = word(2);
                if (!is_station_pattern(c.network, 2)) return refuse("bad network code");
            }
            if (v4) c.station = (c.network.empty() ? std::string("*") : c.network) + "_" + c.station;
        }
    } else if (name == "SELECT") {
        c.kind = CommandKind::select;
        if (args > 1) return refuse("one pattern per SELECT");
        if (v4 && args == 0) return refuse("SELECT needs a pattern");
        if (args == 1) {
            c.selector = v4 ? parse_selector_v4(words[1], &result.reason) : parse_selector(words[1]);
            if (!c.selector) return refuse(result.reason.empty() ? "bad selector" : result.reason);
        }
    } else if (name == "DATA" || name == "FETCH") {
        c.kind = name == "DATA" ? CommandKind::data : CommandKind::fetch;
        if (v4 && c.kind == CommandKind::data) {
            if (args > 3) return refuse("DATA [seq|ALL [start [end]]]");
            if (args >= 1) {
                if (word(1) == "ALL") {
                    c.all = true;
                } else {
                    c.sequence = parse_number(words[1], 10, 20);
                    if (!c.sequence) return refuse("a sequence number is a decimal 64-bit number");
                }
            }
            if (args >= 2) {
                c.begin_us = parse_iso_time(words[2]);
                if (!c.begin_us) return refuse("a time is YYYY-MM-DDThh:mm:ss.ffffffZ");
            }
            if (args == 3) {
                c.end_us = parse_iso_time(words[3]);
                if (!c.end_us || *c.end_us <= *c.begin_us) return refuse("the end time is not after the start");
            }
        } else {
            if (args > 2) return refuse(name + " [seq [start]]");
            if (args >= 1) {
                c.sequence = parse_number(words[1], 16, 6);
                if (!c.sequence) return refuse("a sequence number has up to six hexadecimal digits");
            }
            if (args == 2) {
                c.begin_us = parse_protocol_time(words[2]);
                if (!c.begin_us) return refuse("a time is YYYY,MM,DD,hh,mm,ss");
            }
        }
    } else if (name == "TIME") {
        c.kind = CommandKind::time;
        if (args < 1 || args > 2) return refuse("TIME start [end]");
        c.begin_us = parse_protocol_time(words[1]);
        if (!c.begin_us) return refuse("a time is YYYY,MM,DD,hh,mm,ss");
        if (args == 2) {
            c.end_us = parse_protocol_time(words[2]);
            if (!c.end_us || *c.end_us <= *c.begin_us) return refuse("the end time is not after the start");
        }
    } else if (name == "INFO") {
        c.kind = CommandKind::info;
        if (args < 1 || args > (v4 ? 3u : 1u)) return refuse("INFO level");
        c.info_level = word(1);
        for (std::size_t i = 2; i < words.size(); ++i) c.words.push_back(word(i));
    } else {
        result.status = ParseStatus::unknown_command;
    }
    return result;
}

}  // namespace tw::stream
