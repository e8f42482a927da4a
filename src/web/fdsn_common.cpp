#include "web/fdsn_common.h"

#include "stream/channel_codes.h"

#include <array>
#include <charconv>
#include <cmath>

namespace tw::web {

namespace {

bool digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

int days_in_month(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Glob match of one pattern, iteratively (no recursion on '*').
bool glob(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || upper(pattern[p]) == upper(text[t]))) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool is_pattern_character(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '*' || c == '?' || c == ',' || c == '-' || c == ' ';
}

}  // namespace

std::optional<std::int64_t> read_fdsn_time(std::string_view text) {
    if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) text.remove_suffix(1);
    int year, month, day, hour = 0, minute = 0, second = 0, micro = 0;
    if (text.size() < 10 || !digits(text, 0, 4, year) || text[4] != '-' ||
        !digits(text, 5, 2, month) || text[7] != '-' || !digits(text, 8, 2, day))
        return std::nullopt;
    if (text.size() > 10) {
        if (text.size() < 19 || text[10] != 'T' || !digits(text, 11, 2, hour) || text[13] != ':' ||
            !digits(text, 14, 2, minute) || text[16] != ':' || !digits(text, 17, 2, second))
            return std::nullopt;
        if (text.size() > 19) {
            const std::size_t count = text.size() - 20;
            if (text[19] != '.' || count < 1 || count > 6 || !digits(text, 20, count, micro))
                return std::nullopt;
            for (std::size_t i = count; i < 6; ++i) micro *= 10;
        }
    }
    if (year < 1900 || year > 2500 || month < 1 || month > 12 || day < 1 ||
        day > days_in_month(year, month) || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return stream::civil_time_us(year, month, day, hour, minute, second, micro);
}

std::string fdsn_time_text(std::int64_t time_us) {
    const auto t = stream::time_parts(time_us);
    char text[40];
    int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month,
                          t.day, t.hour, t.minute, t.second);
    if (t.microsecond != 0) std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), ".%06d", t.microsecond);
    return text;
}

bool code_matches(std::string_view patterns, std::string_view code) {
    std::size_t at = 0;
    while (at <= patterns.size()) {
        const std::size_t comma = std::min(patterns.find(',', at), patterns.size());
        std::string_view pattern = patterns.substr(at, comma - at);
        while (!pattern.empty() && pattern.front() == ' ') pattern.remove_prefix(1);
        while (!pattern.empty() && pattern.back() == ' ') pattern.remove_suffix(1);
        if (pattern == "--") pattern = "";
        if (glob(pattern, code)) return true;
        at = comma + 1;
    }
    return false;
}

std::string number_text(double value) {
    if (!std::isfinite(value)) return "0";
    std::array<char, 32> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    if (ec != std::errc()) return "0";
    return std::string(buffer.data(), end);
}

SelectionResult read_selection(const Query& query, const std::vector<std::string_view>& others) {
    SelectionResult result;
    auto& s = result.selection;
    auto fail = [&](std::string why) {
        result.error = std::move(why);
        return result;
    };
    struct Code {
        std::string_view name, short_name;
        std::string* value;
    };
    const Code codes[] = {{"network", "net", &s.network},
                          {"station", "sta", &s.station},
                          {"location", "loc", &s.location},
                          {"channel", "cha", &s.channel}};
    for (const auto& p : query.parameters) {
        bool known = false;
        for (const auto& c : codes) {
            if (p.name != c.name && p.name != c.short_name) continue;
            known = true;
            if (p.value.empty() || p.value.size() > 256)
                return fail("parameter " + p.name + " needs one or more codes");
            for (char ch : p.value)
                if (!is_pattern_character(ch))
                    return fail("parameter " + p.name + " may hold letters, digits, '*', '?', '-' "
                                "and commas only");
            *c.value = p.value;
        }
        if (known) continue;
        if (p.name == "starttime" || p.name == "start" || p.name == "endtime" || p.name == "end") {
            const auto t = read_fdsn_time(p.value);
            if (!t)
                return fail("parameter " + p.name + "='" + p.value.substr(0, 40) +
                            "' is not a time like 2024-03-05T12:00:00");
            (p.name[0] == 's' ? s.start : s.end) = t;
        } else if (p.name == "nodata") {
            if (p.value != "204" && p.value != "404") return fail("nodata must be 204 or 404");
            s.nodata = p.value == "204" ? 204 : 404;
        } else {
            bool allowed = false;
            for (auto other : others) allowed = allowed || p.name == other;
            if (!allowed) return fail("unknown parameter '" + p.name.substr(0, 40) + "'");
        }
    }
    if (s.start && s.end && *s.end <= *s.start) return fail("endtime must come after starttime");
    return result;
}

}  // namespace tw::web
