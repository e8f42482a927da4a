#pragma once
// Texts of the event files, the event summary and the message files. Every
// function here is independent of the C locale.

#include "config/number_text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw::events {

// The fixed-pattern numbers of the event texts ("#00000.#00" is (5, 3)).
using config::fixed_number_text;

// Seconds since 1970/01/01 00:00:00 (no time zone) of "YYYY/MM/DD HH:MM:SS"
// (exactly that form, a real date, hours 0-23); nullopt otherwise.
std::optional<std::int64_t> time_stamp_seconds(std::string_view text);
// The inverse: "YYYY/MM/DD HH:MM:SS".
std::string time_stamp_text(std::int64_t seconds);

// Start Time of an event triggered in the board second `board_date_time`:
// that second plus (1 - 60 x pre_event_minutes) seconds, the shift rounded
// to whole seconds. A board time that is not a time stamp is kept as it is.
std::string event_start_text(std::string_view board_date_time, double pre_event_minutes);

// "YYMMDD.HHMMSS." + extension of a Start Time: 2003/02/03 12:34:56 with z1
// gives 030203.123456.z1.
std::string event_file_name(std::string_view start_text, std::string_view extension);

// The event list line of an ended event:
// name " " start " L:" samples "00000000" " Max SLTA:" ratio "0.0"
// " Max Amplit:" amplitude "000000".
std::string event_summary(std::string_view file_name, std::string_view start_text,
                          double event_samples, double max_ratio, double max_amplitude);
// The line of "sendsms.txt": no file name, "Max Amplit.:".
std::string sms_line(std::string_view start_text, double event_samples, double max_ratio,
                     double max_amplitude);
// The line of "sendmail.txt": as the SMS line with a blank after "Max SLTA:".
std::string mail_line(std::string_view start_text, double event_samples, double max_ratio,
                      double max_amplitude);

}  // namespace tw::events
