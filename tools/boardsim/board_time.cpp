#include "boardsim/board_time.h"

#include <array>
#include <charconv>

namespace tw::boardsim {

// Days since 1970/01/01 of a proleptic Gregorian date (the usual era-based
// conversion; valid far beyond any board's life).
std::int64_t days_from_civil(int year, int month, int day) {
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilDate civil_from_days(std::int64_t days) {
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    CivilDate date;
    date.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    date.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    date.year = static_cast<int>(yoe + era * 400 + (date.month <= 2 ? 1 : 0));
    return date;
}

std::int64_t day_of(std::int64_t board_seconds) {
    std::int64_t day = board_seconds / seconds_per_day;
    if (board_seconds % seconds_per_day < 0) --day;
    return day;
}

int time_of_day(std::int64_t board_seconds) {
    return static_cast<int>(board_seconds - day_of(board_seconds) * seconds_per_day);
}

namespace {

void append_digits(std::string& out, int value, int width) {
    std::array<char, 16> digits{};
    auto [end, ec] = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    const int length = static_cast<int>(end - digits.data());
    for (int i = length; i < width; ++i) out.push_back('0');
    out.append(digits.data(), end);
}

// Reads exactly `width` decimal digits at `pos`.
std::optional<int> digits_at(std::string_view text, std::size_t pos, std::size_t width) {
    if (pos + width > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t i = pos; i < pos + width; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

int days_in_month(int year, int month) {
    static constexpr std::array<int, 12> lengths{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : lengths[static_cast<std::size_t>(month - 1)];
}

}  // namespace

std::string format_time_of_day(int seconds_of_day) {
    std::string out;
    append_digits(out, seconds_of_day / 3600, 2);
    out.push_back(':');
    append_digits(out, seconds_of_day / 60 % 60, 2);
    out.push_back(':');
    append_digits(out, seconds_of_day % 60, 2);
    return out;
}

std::string format_board_date_time(std::int64_t board_seconds) {
    const CivilDate date = civil_from_days(day_of(board_seconds));
    std::string out;
    out.reserve(19);
    append_digits(out, date.year, 4);
    out.push_back('/');
    append_digits(out, date.month, 2);
    out.push_back('/');
    append_digits(out, date.day, 2);
    out.push_back(' ');
    out += format_time_of_day(time_of_day(board_seconds));
    return out;
}

std::optional<int> parse_time_of_day(std::string_view text) {
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') return std::nullopt;
    const auto h = digits_at(text, 0, 2);
    const auto m = digits_at(text, 3, 2);
    const auto s = digits_at(text, 6, 2);
    if (!h || !m || !s || *h > 23 || *m > 59 || *s > 59) return std::nullopt;
    return *h * 3600 + *m * 60 + *s;
}

std::optional<std::int64_t> parse_board_date_time(std::string_view text) {
    if (text.size() != 19 || text[4] != '/' || text[7] != '/' || text[10] != ' ') {
        return std::nullopt;
    }
    const auto year = digits_at(text, 0, 4);
    const auto month = digits_at(text, 5, 2);
    const auto day = digits_at(text, 8, 2);
    const auto tod = parse_time_of_day(text.substr(11));
    if (!year || !month || !day || !tod || *year < 1970 || *month < 1 || *month > 12 ||
        *day < 1 || *day > days_in_month(*year, *month)) {
        return std::nullopt;
    }
    return days_from_civil(*year, *month, *day) * seconds_per_day + *tod;
}

}  // namespace tw::boardsim
