#include "config/time_stamp.h"

#include <cstdio>

namespace tw::config {

namespace {

// Days since 1970/01/01 of a civil date (proleptic Gregorian).
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civil_from_days(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

bool is_leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && is_leap(y) ? 29 : days[m - 1];
}

// Reads exactly `digits` decimal digits at `pos`.
bool read_digits(std::string_view text, std::size_t pos, std::size_t digits, int& value) {
    if (pos + digits > text.size()) return false;
    value = 0;
    for (std::size_t i = pos; i < pos + digits; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

std::string two_digits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

}  // namespace

std::string time_text(int hours, int minutes, int seconds) {
    return two_digits(hours) + ":" + two_digits(minutes) + ":" + two_digits(seconds);
}

std::optional<int> time_text_seconds(std::string_view text) {
    int h = 0, m = 0, s = 0;
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') return std::nullopt;
    if (!read_digits(text, 0, 2, h) || !read_digits(text, 3, 2, m) || !read_digits(text, 6, 2, s))
        return std::nullopt;
    if (h > 23 || m > 59 || s > 59) return std::nullopt;
    return h * 3600 + m * 60 + s;
}

std::optional<std::int64_t> stamp_seconds(std::string_view text) {
    int y = 0, mo = 0, d = 0;
    if (text.size() != 10 && text.size() != 19) return std::nullopt;
    if (text[4] != '/' || text[7] != '/') return std::nullopt;
    if (!read_digits(text, 0, 4, y) || !read_digits(text, 5, 2, mo) || !read_digits(text, 8, 2, d))
        return std::nullopt;
    if (mo < 1 || mo > 12 || d < 1 || d > days_in_month(y, mo)) return std::nullopt;
    int tod = 0;
    if (text.size() == 19) {
        if (text[10] != ' ') return std::nullopt;
        const auto t = time_text_seconds(text.substr(11));
        if (!t) return std::nullopt;
        tod = *t;
    }
    return days_from_civil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 + tod;
}

std::string stamp_text(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t tod = seconds % 86400;
    if (tod < 0) {
        tod += 86400;
        days -= 1;
    }
    int y = 0, m = 0, d = 0;
    civil_from_days(days, y, m, d);
    char text[32];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d ", y % 10000, m, d);
    const int t = static_cast<int>(tod);
    return text + time_text(t / 3600, t / 60 % 60, t % 60);
}

std::string date_text(const platform::DateTime& when) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d", when.year % 10000, when.month % 100,
                  when.day % 100);
    return text;
}

}  // namespace tw::config
