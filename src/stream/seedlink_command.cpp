#include "stream/seedlink_command.h"

#include "stream/channel_codes.h"

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

std::vector<std::string_view> split_words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size() && words.size() <= 8) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        std::size_t end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
        if (end > at) words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

std::optional<std::uint32_t> parse_sequence(std::string_view text) {
    if (text.empty() || text.size() > 6) return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
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

bool is_station_pattern(std::string_view text, std::size_t most) {
    if (text.empty() || text.size() > most) return false;
    for (char c : text)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '?')) return false;
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

bool Selector::matches(const Record& record) const {
    if (type != '\0' && type != record.type) return false;
    auto same = [](char pattern, char c) { return pattern == '?' || pattern == c; };
    if (!any_location)
        for (std::size_t i = 0; i < 2; ++i)
            if (!same(location[i], record.location[i])) return false;
    for (std::size_t i = 0; i < 3; ++i)
        if (!same(channel[i], record.seed_channel[i])) return false;
    return true;
}

std::optional<std::int64_t> parse_protocol_time(std::string_view text) {
    std::array<int, 6> parts{};
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
    if (n != parts.size() || at != end) return std::nullopt;
    const auto [year, month, day, hour, minute, second] = parts;
    static constexpr int month_days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (year < 1900 || year > 2999 || month < 1 || month > 12 || day < 1 ||
        day > month_days[month - 1] || (month == 2 && day == 29 && !leap) || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60)
        return std::nullopt;
    return civil_time_us(year, month, day, hour, minute, second);
}

ParsedCommand parse_command(std::string_view line) {
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
    auto refuse = [&] {
        result.status = ParseStatus::bad_arguments;
        return result;
    };

    if (name == "HELLO" || name == "CAT" || name == "BYE" || name == "END") {
        if (args != 0) return refuse();
        c.kind = name == "HELLO" ? CommandKind::hello
                 : name == "CAT" ? CommandKind::cat
                 : name == "BYE" ? CommandKind::bye
                                 : CommandKind::end;
    } else if (name == "STATION") {
        c.kind = CommandKind::station;
        if (args < 1 || args > 2) return refuse();
        c.station = upper(words[1]);
        if (!is_station_pattern(c.station, 5)) return refuse();
        if (args == 2) {
            c.network = upper(words[2]);
            if (!is_station_pattern(c.network, 2)) return refuse();
        }
    } else if (name == "SELECT") {
        c.kind = CommandKind::select;
        if (args > 1) return refuse();
        if (args == 1) {
            c.selector = parse_selector(words[1]);
            if (!c.selector) return refuse();
        }
    } else if (name == "DATA" || name == "FETCH") {
        c.kind = name == "DATA" ? CommandKind::data : CommandKind::fetch;
        if (args > 2) return refuse();
        if (args >= 1) {
            c.sequence = parse_sequence(words[1]);
            if (!c.sequence) return refuse();
        }
        if (args == 2) {
            c.begin_us = parse_protocol_time(words[2]);
            if (!c.begin_us) return refuse();
        }
    } else if (name == "TIME") {
        c.kind = CommandKind::time;
        if (args < 1 || args > 2) return refuse();
        c.begin_us = parse_protocol_time(words[1]);
        if (!c.begin_us) return refuse();
        if (args == 2) {
            c.end_us = parse_protocol_time(words[2]);
            if (!c.end_us || *c.end_us <= *c.begin_us) return refuse();
        }
    } else if (name == "INFO") {
        c.kind = CommandKind::info;
        if (args != 1) return refuse();
        c.info_level = upper(words[1]);
    } else {
        result.status = ParseStatus::unknown_command;
    }
    return result;
}

}  // namespace tw::stream
