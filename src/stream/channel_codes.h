#pragma once
// Names of the station's data in the field's standard form: network,
// station and location codes from the command line, and a channel code per
// board channel from its sample rate and sensor axis.
//
// Channel code = band + instrument + orientation:
//   band        H 80 or more samples per second, B 10 to 79, M 2 to 9,
//               L 1, V 0.1 and 0.5, U one per minute;
//   instrument  H (a seismometer);
//   orientation Z, N or E from the channel's axis, else its digit 1..4.
// Two channels never share a code: when two acquire at the same band on the
// same axis (two vertical sensors), the later one is named by its digit
// instead (channels 1 and 3 on Z at 50 per second: BHZ and BH3).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tw::stream {

struct StreamCodes {
    std::string network = "XX";  // 1 or 2 characters
    std::string station;         // 1 to 5 characters
    std::string location;        // empty or 1 to 2 characters
};

// What is wrong with the codes (empty when they are good): each is made of
// upper-case letters and digits (lower-case ones are taken as upper-case by
// normalize_codes) and fits its field.
std::string check_codes(const StreamCodes& codes);
// The codes in upper case.
StreamCodes normalize_codes(StreamCodes codes);

// Band letter of a sample rate in samples per second; '\0' for a rate of 0
// or less.
char band_code(double rate);
// Orientation letter of an axis_code (1 N, 2 E, 3 Z); the channel's digit
// 1..4 for any other axis.
char orientation_code(int axis_code, int channel);
// The three-letter channel code; empty when the rate gives no band.
std::string channel_code(double rate, int axis_code, int channel);

// The codes of the four channels (empty for one that does not acquire),
// each distinct. rates[k] and axes[k] are those of channel k+1.
std::array<std::string, 4> channel_codes(const std::array<double, 4>& rates,
                                         const std::array<int, 4>& axes);

// Day file of the archive, relative to its root:
// "YEAR/NET/STA/CHAN.D/NET.STA.LOC.CHAN.D.YEAR.DAY", DAY the day of the
// year in three digits.
std::string day_file_path(const StreamCodes& codes, std::string_view channel, int year,
                          int day_of_year);

// Microseconds since 1970/01/01 00:00:00 of a board time: the second of
// its time packet and the sample's place in that second.
std::int64_t sample_time_us(std::int64_t board_second, double second_fraction);

// Microseconds since 1970 of a calendar date and time (no time zone); the
// fields are taken as they are (no range check).
std::int64_t civil_time_us(int year, int month, int day, int hour, int minute, int second,
                           int microsecond = 0);

// Calendar parts of a time in microseconds since 1970.
struct TimeParts {
    int year = 1970, month = 1, day = 1, day_of_year = 1;
    int hour = 0, minute = 0, second = 0;
    int microsecond = 0;
};
TimeParts time_parts(std::int64_t time_us);
// The day number of a time (days since 1970), which changes at midnight.
std::int64_t day_number(std::int64_t time_us);
// "YYYY/MM/DD HH:MM:SS.ffff": the form the protocol's documents use.
std::string protocol_time_text(std::int64_t time_us);

}  // namespace tw::stream
