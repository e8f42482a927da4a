#pragma once
// What the FDSN services share: times, code patterns, the selection
// parameters and the texts of numbers (never the locale's).

#include "web/query.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::web {

// "2024-03-05T12:00:00", with ".ffffff" (up to 6 digits) and "Z" allowed, or
// "2024-03-05": microseconds since 1970; none for any other text or an
// impossible date.
std::optional<std::int64_t> read_fdsn_time(std::string_view text);
// "2024-03-05T12:00:00" (".ffffff" added when there are microseconds).
std::string fdsn_time_text(std::int64_t time_us);

// True when `code` matches one of the comma-separated `patterns` ("BH?,HH*",
// '*' any run, '?' one character, letters in any case). For locations "--"
// stands for the empty code.
bool code_matches(std::string_view patterns, std::string_view code);

// The shortest text that reads back as `value`, "." as the decimal point.
std::string number_text(double value);

// The selection every query takes.
struct Selection {
    std::string network = "*";
    std::string station = "*";
    std::string location = "*";
    std::string channel = "*";
    std::optional<std::int64_t> start;
    std::optional<std::int64_t> end;
    int nodata = 204;  // status when nothing matches: 204 or 404
};

// Reads the selection from `query`; every other parameter must be one of
// `others` (its value is then the caller's to read). `error` says what is
// wrong, for a 400 answer.
struct SelectionResult {
    Selection selection;
    std::string error;
};
SelectionResult read_selection(const Query& query, const std::vector<std::string_view>& others);

}  // namespace tw::web
