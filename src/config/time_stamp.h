#pragma once
// Time stamp texts with fixed patterns, whatever the PC's locale:
// "YYYY/MM/DD HH:MM:SS" stamps every file line, event and track. The
// difference of two stamps and a stamp plus some seconds are computed here.

#include "platform/clock.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw::config {

// "HH:MM:SS" of a time of day (values taken as they are, two digits each).
std::string time_text(int hours, int minutes, int seconds);
// Seconds since midnight of "HH:MM:SS"; nullopt unless the text is exactly
// that form with hours 0-23, minutes and seconds 0-59.
std::optional<int> time_text_seconds(std::string_view text);
// Seconds since 1970/01/01 00:00:00 (no time zone) of "YYYY/MM/DD HH:MM:SS"
// or of a date alone "YYYY/MM/DD"; nullopt for anything else or an
// impossible date.
std::optional<std::int64_t> stamp_seconds(std::string_view text);
// The inverse of stamp_seconds: "YYYY/MM/DD HH:MM:SS".
std::string stamp_text(std::int64_t seconds);
// "YYYY/MM/DD" of a PC date.
std::string date_text(const platform::DateTime& when);

}  // namespace tw::config
