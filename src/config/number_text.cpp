#include "config/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <system_error>

namespace tw::config {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Hexadecimal digits after "&H", up to the first other character. The value
// is unsigned; a text of absurd length saturates to infinity.
double scan_hex(std::string_view digits) {
    double value = 0;
    for (char c : digits) {
        const int d = hex_digit_value(c);
        if (d < 0) break;
        value = value * 16 + d;
    }
    return value;
}

// Converts a text already reduced to the form [-]digits[.digits][e[+-]digits]
// with at least one digit in the mantissa. Out-of-range magnitudes give
// infinity (too large) or zero (too small) instead of failing.
double convert_decimal(const std::string& text) {
    double value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc()) return value;
    if (ec != std::errc::result_out_of_range) return 0;
    // Decide between overflow and underflow from the decimal exponent of the
    // first significant digit.
    const bool negative = text[0] == '-';
    long long position = 0;  // exponent of the first significant digit + 1
    bool seen_point = false;
    bool seen_significant = false;
    long long leading_fraction_zeros = 0;
    long long integer_digits = 0;
    std::size_t i = negative ? 1 : 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            seen_point = true;
        } else if (is_digit(c)) {
            if (!seen_significant && c == '0') {
                if (seen_point) ++leading_fraction_zeros;
            } else {
                if (!seen_significant && seen_point) position = -leading_fraction_zeros;
                seen_significant = true;
                if (!seen_point) ++integer_digits;
            }
        } else {
            break;
        }
    }
    if (!seen_significant) return 0;
    if (integer_digits > 0) position = integer_digits;
    long long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool exponent_negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            exponent_negative = text[i] == '-';
            ++i;
        }
        for (; i < text.size() && is_digit(text[i]); ++i) {
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[i] - '0');
        }
        if (exponent_negative) exponent = -exponent;
    }
    const double magnitude =
        position + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -magnitude : magnitude;
}

void append_padded(std::string& out, std::int64_t value, int width) {
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, value);
    for (auto n = r.ptr - digits; n < width; ++n) out += '0';
    out.append(digits, r.ptr);
}

}  // namespace

double number_scan(std::string_view text) {
    std::string packed;
    packed.reserve(text.size());
    for (char c : text) {
        if (!is_blank(c)) packed.push_back(c);
    }
    if (packed.size() >= 2 && packed[0] == '&' && (packed[1] == 'H' || packed[1] == 'h')) {
        return scan_hex(std::string_view(packed).substr(2));
    }

    std::string number;
    std::size_t i = 0;
    if (i < packed.size() && (packed[i] == '+' || packed[i] == '-')) {
        if (packed[i] == '-') number.push_back('-');
        ++i;
    }
    bool any_digit = false;
    for (; i < packed.size() && is_digit(packed[i]); ++i) {
        number.push_back(packed[i]);
        any_digit = true;
    }
    if (i < packed.size() && packed[i] == '.') {
        number.push_back('.');
        ++i;
        for (; i < packed.size() && is_digit(packed[i]); ++i) {
            number.push_back(packed[i]);
            any_digit = true;
        }
    }
    if (!any_digit) return 0;
    if (i < packed.size() && (packed[i] == 'e' || packed[i] == 'E')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < packed.size() && (packed[j] == '+' || packed[j] == '-')) {
            exponent.push_back(packed[j]);
            ++j;
        }
        bool exponent_digit = false;
        for (; j < packed.size() && is_digit(packed[j]); ++j) {
            exponent.push_back(packed[j]);
            exponent_digit = true;
        }
        if (exponent_digit) number += exponent;
    }
    return convert_decimal(number);
}

double round_half_even(double value) {
    if (!std::isfinite(value)) return value;
    const double floor_value = std::floor(value);
    const double difference = value - floor_value;
    if (difference < 0.5) return floor_value;
    if (difference > 0.5) return floor_value + 1;
    // Exactly half way: take the even neighbour.
    return std::fmod(floor_value, 2.0) == 0 ? floor_value : floor_value + 1;
}

std::string plain_number(double value) {
    if (!std::isfinite(value) || value == 0) return "0";
    const bool negative = value < 0;
    const double magnitude = std::fabs(value);

    // Fifteen significant digits in scientific form: "d.dddddddddddddde+XX".
    // Next to the largest double, 15 digits round up past it and would not
    // read back; 14 digits stay below.
    const int precision = magnitude > 1.79769313486231e308 ? 13 : 14;
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                      std::chars_format::scientific, precision);
    const std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t e_pos = scientific.find('e');
    std::string digits;
    for (char c : scientific.substr(0, e_pos)) {
        if (is_digit(c)) digits.push_back(c);
    }
    int exponent = 0;
    std::from_chars(scientific.data() + e_pos + 1 + (scientific[e_pos + 1] == '+' ? 1 : 0),
                    scientific.data() + scientific.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string text = negative ? "-" : "";
    if (exponent < -4 || exponent >= 15) {
        // Exponent form: mantissa, "E", sign and at least two exponent digits.
        text += digits[0];
        if (digits.size() > 1) {
            text += '.';
            text.append(digits, 1, std::string::npos);
        }
        text += 'E';
        text += exponent < 0 ? '-' : '+';
        const int exponent_magnitude = exponent < 0 ? -exponent : exponent;
        if (exponent_magnitude < 10) text += '0';
        text += std::to_string(exponent_magnitude);
    } else if (exponent < 0) {
        // Below 1: no "0" before the point.
        text += '.';
        text.append(static_cast<std::size_t>(-exponent - 1), '0');
        text += digits;
    } else {
        const auto integer_count = static_cast<std::size_t>(exponent + 1);
        if (digits.size() <= integer_count) {
            text += digits;
            text.append(integer_count - digits.size(), '0');
        } else {
            text.append(digits, 0, integer_count);
            text += '.';
            text.append(digits, integer_count, std::string::npos);
        }
    }
    return text;
}

std::string signed_number_text(double value) {
    if (value < 0) return "-" + plain_number(-value);
    return " " + plain_number(value);
}

bool direct_number(std::string_view text, double& value) {
    auto space_or_tab = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && space_or_tab(text.front())) text.remove_prefix(1);
    while (!text.empty() && space_or_tab(text.back())) text.remove_suffix(1);
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    bool digits = false;
    while (i < text.size() && is_digit(text[i])) ++i, digits = true;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && is_digit(text[i])) ++i, digits = true;
    }
    if (!digits) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        bool exponent_digits = false;
        while (i < text.size() && is_digit(text[i])) ++i, exponent_digits = true;
        if (!exponent_digits) return false;
    }
    if (i != text.size()) return false;
    value = number_scan(text);
    return true;
}

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

std::string normalize_numeric_text(std::string_view text, std::string_view templ, double min,
                                   double max) {
    double v = number_scan(text);
    if (v > max) v = max;
    if (v < min) v = min;
    std::string s = signed_number_text(v);
    if (v > 0) s.erase(0, 1);
    if (v > -1 && v < 0) s = "-0" + s.substr(1);
    if (v > 0 && v < 1) s = "0" + s;
    if (!templ.empty()) {
        if (s.size() <= templ.size()) {
            s = std::string(templ.substr(s.size())) + s;
        } else {
            s.resize(templ.size());
        }
    }
    return s;
}

std::string parse_number_list(std::string_view text, std::vector<std::string>& items, double max,
                              double min) {
    const std::size_t n = items.size();
    if (n == 0) return "";
    for (auto& item : items) item.clear();

    std::size_t k = 1;
    for (char c : text) {
        if (is_digit(c) || c == '.' || c == '+' || c == '-') {
            items[k - 1].push_back(c);
        } else if (k == n) {
            // Anything after the last item ends the list: the items keep what
            // was collected, unlimited, and the result is empty.
            return "";
        } else if (c == ',' || c == ';') {
            ++k;
        }
    }

    std::string result;
    for (std::size_t i = 1; i <= k; ++i) {
        std::string& item = items[i - 1];
        const double value = number_scan(item);
        if (value > max) {
            item = plain_number(max);
        } else if (value < min) {
            item = plain_number(min);
        }
        std::string plain = plain_number(number_scan(item));
        std::replace(plain.begin(), plain.end(), ',', '.');
        if (i > 1) result += ';';
        result += plain;
    }
    if (k != n) result.insert(0, "!");
    return result;
}

}  // namespace tw::config
