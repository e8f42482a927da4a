#include "stream/channel_codes.h"

#include <cmath>
#include <cstdio>

namespace tw::stream {

namespace {

constexpr std::int64_t us_per_second = 1000000;
constexpr std::int64_t us_per_day = 86400 * us_per_second;

bool is_code_character(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string check_one(std::string_view name, const std::string& value, std::size_t least,
                      std::size_t most) {
    if (value.size() < least || value.size() > most) {
        return std::string(name) + " code '" + value + "' must have " +
               (least == most ? std::to_string(most)
                              : std::to_string(least) + " to " + std::to_string(most)) +
               " characters";
    }
    for (char c : value)
        if (!is_code_character(c))
            return std::string(name) + " code '" + value + "' may hold only letters and digits";
    return {};
}

// Floor division for the days before 1970 as well.
std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

bool is_leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

}  // namespace

std::string check_codes(const StreamCodes& codes) {
    const StreamCodes c = normalize_codes(codes);
    if (auto e = check_one("network", c.network, 1, 2); !e.empty()) return e;
    if (auto e = check_one("station", c.station, 1, 5); !e.empty()) return e;
    if (!c.location.empty())
        if (auto e = check_one("location", c.location, 1, 2); !e.empty()) return e;
    return {};
}

StreamCodes normalize_codes(StreamCodes codes) {
    codes.network = upper(std::move(codes.network));
    codes.station = upper(std::move(codes.station));
    codes.location = upper(std::move(codes.location));
    return codes;
}

char band_code(double rate) {
    if (!(rate > 0)) return '\0';
    if (rate >= 80) return 'H';
    if (rate >= 10) return 'B';
    if (rate >= 2) return 'M';
    if (rate >= 1) return 'L';
    // 0.1 and 0.5 samples per second; one a minute is 1/60.
    if (rate >= 0.05) return 'V';
    return 'U';
}

char orientation_code(int axis_code, int channel) {
    switch (axis_code) {
    case 1: return 'N';
    case 2: return 'E';
    case 3: return 'Z';
    default: return static_cast<char>('0' + (channel >= 1 && channel <= 4 ? channel : 1));
    }
}

std::string channel_code(double rate, int axis_code, int channel) {
    const char band = band_code(rate);
    if (band == '\0') return {};
    return {band, 'H', orientation_code(axis_code, channel)};
}

std::array<std::string, 4> channel_codes(const std::array<double, 4>& rates,
                                         const std::array<int, 4>& axes) {
    std::array<std::string, 4> codes;
    for (int k = 1; k <= 4; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        std::string code = channel_code(rates[i], axes[i], k);
        // A channel's digit is its own, so the fallback is always free.
        for (std::size_t j = 0; j < i && !code.empty(); ++j)
            if (codes[j] == code) code[2] = static_cast<char>('0' + k);
        codes[i] = code;
    }
    return codes;
}

std::string day_file_path(const StreamCodes& codes, std::string_view channel, int year,
                          int day_of_year) {
    char tail[16];
    std::snprintf(tail, sizeof tail, ".D.%04d.%03d", year, day_of_year);
    const std::string chan(channel);
    return std::to_string(year) + "/" + codes.network + "/" + codes.station + "/" + chan + ".D/" +
           codes.network + "." + codes.station + "." + codes.location + "." + chan + tail;
}

std::int64_t sample_time_us(std::int64_t board_second, double second_fraction) {
    double f = second_fraction;
    if (!(f >= 0)) f = 0;  // also NaN
    if (f >= 1) f = 0.999999;
    return board_second * us_per_second + std::llround(f * us_per_second);
}

std::int64_t civil_time_us(int year, int month, int day, int hour, int minute, int second,
                           int microsecond) {
    // Days since 1970/01/01 of the date (proleptic Gregorian calendar).
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = floor_div(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = era * 146097 + doe - 719468;
    return ((days * 24 + hour) * 60 + minute) * 60 * us_per_second + second * us_per_second +
           microsecond;
}

std::int64_t day_number(std::int64_t time_us) { return floor_div(time_us, us_per_day); }

TimeParts time_parts(std::int64_t time_us) {
    TimeParts t;
    const std::int64_t days = day_number(time_us);
    const std::int64_t in_day = time_us - days * us_per_day;
    const std::int64_t seconds = in_day / us_per_second;
    t.microsecond = static_cast<int>(in_day % us_per_second);
    t.hour = static_cast<int>(seconds / 3600);
    t.minute = static_cast<int>(seconds / 60 % 60);
    t.second = static_cast<int>(seconds % 60);
    // Civil date of a day count (proleptic Gregorian calendar).
    const std::int64_t z = days + 719468;
    const std::int64_t era = floor_div(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
    static constexpr int before_month[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    t.day_of_year = before_month[t.month - 1] + t.day + (t.month > 2 && is_leap(t.year) ? 1 : 0);
    return t;
}

std::string protocol_time_text(std::int64_t time_us) {
    const TimeParts t = time_parts(time_us);
    char text[32];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d.%04d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.microsecond / 100);
    return text;
}

}  // namespace tw::stream
