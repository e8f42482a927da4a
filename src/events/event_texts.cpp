#include "events/event_texts.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace tw::events {

namespace {

// Days since 1970/01/01 of a civil date (proleptic Gregorian calendar).
std::int64_t days_from_civil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * static_cast<unsigned>(m + (m > 2 ? -3 : 9)) + 2) / 5 +
                         static_cast<unsigned>(d) - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civil_from_days(std::int64_t z, std::int64_t& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y += m <= 2;
}

bool is_leap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(std::int64_t y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && is_leap(y) ? 29 : days[m - 1];
}

// Reads exactly `n` digits at `pos`.
bool read_digits(std::string_view text, std::size_t pos, std::size_t n, int& value) {
    if (pos + n > text.size()) return false;
    value = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

void append_padded(std::string& out, std::int64_t value, int width) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, value);
    for (auto n = r.ptr - digits; n < width; ++n) out += '0';
    out.append(digits, r.ptr);
}

}  // namespace

std::string fixed_number_text(double value, int min_integer_digits, int decimals) {
    if (!std::isfinite(value)) value = 0;
    // First to 15 significant digits, as the number is shown, then rounded.
    char sig[40];
    const auto s = std::to_chars(sig, sig + sizeof sig, value, std::chars_format::scientific, 14);
    double v15 = 0;
    std::from_chars(sig, s.ptr, v15);
    const double scaled = std::abs(v15) * std::pow(10.0, decimals);
    if (scaled >= 9.0e17) {
        // Beyond 64-bit integers: the digits of the value as it is.
        char big[64];
        const auto b = std::to_chars(big, big + sizeof big, std::abs(v15), std::chars_format::fixed,
                                     decimals);
        std::string out = v15 < 0 ? "-" : "";
        out.append(big, b.ptr);
        return out;
    }
    const auto units = static_cast<std::int64_t>(std::floor(scaled + 0.5));
    std::int64_t pow10 = 1;
    for (int i = 0; i < decimals; ++i) pow10 *= 10;
    std::string out;
    if (v15 < 0 && units != 0) out += '-';
    append_padded(out, units / pow10, min_integer_digits);
    if (decimals > 0) {
        out += '.';
        append_padded(out, units % pow10, decimals);
    }
    return out;
}

std::optional<std::int64_t> time_stamp_seconds(std::string_view text) {
    if (text.size() != 19 || text[4] != '/' || text[7] != '/' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!read_digits(text, 0, 4, y) || !read_digits(text, 5, 2, mo) ||
        !read_digits(text, 8, 2, d) || !read_digits(text, 11, 2, h) ||
        !read_digits(text, 14, 2, mi) || !read_digits(text, 17, 2, s)) {
        return std::nullopt;
    }
    if (mo < 1 || mo > 12 || d < 1 || d > days_in_month(y, mo) || h > 23 || mi > 59 || s > 59) {
        return std::nullopt;
    }
    return days_from_civil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
}

std::string time_stamp_text(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        days -= 1;
    }
    std::int64_t y = 0;
    int m = 0, d = 0;
    civil_from_days(days, y, m, d);
    std::string out;
    out.reserve(19);
    append_padded(out, y, 4);
    out += '/';
    append_padded(out, m, 2);
    out += '/';
    append_padded(out, d, 2);
    out += ' ';
    append_padded(out, rest / 3600, 2);
    out += ':';
    append_padded(out, rest / 60 % 60, 2);
    out += ':';
    append_padded(out, rest % 60, 2);
    return out;
}

std::string event_start_text(std::string_view board_date_time, double pre_event_minutes) {
    const auto t = time_stamp_seconds(board_date_time);
    const double shift = std::nearbyint(1 - 60 * pre_event_minutes);
    if (!t || !std::isfinite(shift)) return std::string(board_date_time);
    return time_stamp_text(*t + static_cast<std::int64_t>(shift));
}

std::string event_file_name(std::string_view start_text, std::string_view extension) {
    std::string name;
    if (start_text.size() >= 19) {
        name.reserve(14 + extension.size());
        name.append(start_text.substr(2, 2));
        name.append(start_text.substr(5, 2));
        name.append(start_text.substr(8, 2));
        name += '.';
        name.append(start_text.substr(11, 2));
        name.append(start_text.substr(14, 2));
        name.append(start_text.substr(17, 2));
    }
    name += '.';
    name.append(extension);
    return name;
}

namespace {

std::string event_numbers(std::string_view start_text, double event_samples, double max_ratio,
                          double max_amplitude, std::string_view slta_label,
                          std::string_view amplitude_label) {
    std::string line(start_text);
    line += " L:";
    line += fixed_number_text(event_samples, 8, 0);
    line += slta_label;
    line += fixed_number_text(max_ratio, 1, 1);
    line += amplitude_label;
    line += fixed_number_text(max_amplitude, 6, 0);
    return line;
}

}  // namespace

std::string event_summary(std::string_view file_name, std::string_view start_text,
                          double event_samples, double max_ratio, double max_amplitude) {
    std::string line(file_name);
    line += ' ';
    line += event_numbers(start_text, event_samples, max_ratio, max_amplitude, " Max SLTA:",
                          " Max Amplit:");
    return line;
}

std::string sms_line(std::string_view start_text, double event_samples, double max_ratio,
                     double max_amplitude) {
    return event_numbers(start_text, event_samples, max_ratio, max_amplitude, " Max SLTA:",
                         " Max Amplit.:");
}

std::string mail_line(std::string_view start_text, double event_samples, double max_ratio,
                      double max_amplitude) {
    return event_numbers(start_text, event_samples, max_ratio, max_amplitude, " Max SLTA: ",
                         " Max Amplit.:");
}

}  // namespace tw::events
