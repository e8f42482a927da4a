#pragma once
// Number texts of the settings file, the program's text files and the entry
// fields. Every function here is independent of the C locale.

#include <string>
#include <string_view>
#include <vector>

namespace tw::config {

// The number scan: blanks anywhere are skipped; then an optional sign,
// digits, an optional "." with digits and an optional exponent are read; the
// scan stops at the first other character. No digits gives 0. A text that
// starts with "&H" is read as hexadecimal digits.
double number_scan(std::string_view text);

// Rounds to the nearest integer, halves to the even neighbour.
double round_half_even(double value);

// Plain number form: integers as digits; otherwise at most 15 significant
// digits, "." as the point, no trailing zeros, no "0" before the point below
// 1 (one half is ".5"), exponent form ("1.5E-20") where 15 digits do not
// reach. Negative numbers carry "-".
std::string plain_number(double value);

// Signed number text: a blank for zero or positive values or "-" for
// negative ones, then the plain form of the magnitude.
std::string signed_number_text(double value);

// A number that is the whole text (blanks around it allowed):
// [+-] digits [. digits] [E [+-] digits], or with digits only after the
// point. False for anything else ("12a", "", "1e").
bool direct_number(std::string_view text, double& value);

// A number with a fixed pattern of digits: at least `min_integer_digits`
// digits before the point (zeros in front) and exactly `decimals` after it,
// rounded half away from zero at 15 significant digits. Patterns of the
// program: "0.0" is (1, 1), "000000" is (6, 0), "#00000.#00" is (5, 3),
// "#00" is (2, 0). Negative values get "-" in front; a value that rounds to
// zero has no sign. Infinite or undefined values give the plain zero text.
std::string fixed_number_text(double value, int min_integer_digits, int decimals);

// Text to put back into an entry field when the user leaves it: the number
// scan of `text` limited to max then min, written as "12.5", "0.5", "-0.5",
// " 0"; a non-empty template pads on the left ("00": 7 -> "07") or cuts to
// its length.
std::string normalize_numeric_text(std::string_view text, std::string_view templ, double min,
                                   double max);

// Splits a list-valued setting. `items` must hold N empty texts (items[0] is
// item 1). Digits, ".", "+" and "-" go into the current item; "," and ";"
// move to the next; other characters are skipped. A separator after the
// N-th item stops at once and returns "". Each collected item is limited to
// max and min; the result joins the plain forms with ";" and starts with "!"
// when fewer than N items were found.
std::string parse_number_list(std::string_view text, std::vector<std::string>& items, double max,
                              double min);

}  // namespace tw::config
