#pragma once
// Board date and time as whole seconds of the civil calendar.
//
// The board keeps a plain wall clock: no time zones, no daylight-saving
// jumps. A board time is the number of seconds since 1970/01/01 00:00:00 of
// that calendar, so the date is time / 86400 and the time of day time % 86400
// (both floored).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw::boardsim {

inline constexpr std::int64_t seconds_per_day = 86400;

std::int64_t days_from_civil(int year, int month, int day);
struct CivilDate {
    int year = 1970;
    int month = 1;
    int day = 1;
};
CivilDate civil_from_days(std::int64_t days);

// Floored day number and second of the day of a board time.
std::int64_t day_of(std::int64_t board_seconds);
int time_of_day(std::int64_t board_seconds);

// "YYYY/MM/DD HH:MM:SS".
std::string format_board_date_time(std::int64_t board_seconds);
// "HH:MM:SS" (a time of day in seconds, 0..86399).
std::string format_time_of_day(int seconds_of_day);

// "YYYY/MM/DD HH:MM:SS" with a valid date and time; nothing otherwise.
std::optional<std::int64_t> parse_board_date_time(std::string_view text);
// "HH:MM:SS" with hours 0-23, minutes and seconds 0-59; nothing otherwise.
std::optional<int> parse_time_of_day(std::string_view text);

}  // namespace tw::boardsim
