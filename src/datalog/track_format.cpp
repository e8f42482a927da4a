#include "datalog/track_format.h"

#include "config/number_text.h"
#include "config/tables.h"

namespace tw::datalog {

namespace {

bool digits(std::string_view text, std::size_t from, std::size_t count, int& value) {
    value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

std::string position_text(std::uint64_t position) {
    return " " + std::to_string(position);
}

}  // namespace

int track_sample_width(int ad_type) {
    return ad_type == config::orda20 ? 4 : 2;
}

bool is_board_date_time(std::string_view text) {
    // "YYYY/MM/DD HH:MM:SS"
    if (text.size() != 19 || text[4] != '/' || text[7] != '/' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':')
        return false;
    int year, month, day, hour, minute, second;
    return digits(text, 0, 4, year) && digits(text, 5, 2, month) && digits(text, 8, 2, day) &&
           digits(text, 11, 2, hour) && digits(text, 14, 2, minute) &&
           digits(text, 17, 2, second) && month >= 1 && month <= 12 && day >= 1 && day <= 31 &&
           hour <= 23 && minute <= 59 && second <= 59;
}

std::string day_name_of(std::string_view board_date_time) {
    if (!is_board_date_time(board_date_time)) return {};
    std::string day;
    day += board_date_time.substr(5, 2);
    day += board_date_time.substr(8, 2);
    return day;
}

std::string track_file_name(std::string_view day, TrackFile kind, int channel) {
    std::string name(day);
    switch (kind) {
    case TrackFile::buffer: name += ".ch"; break;
    case TrackFile::track: name += ".lg"; break;
    case TrackFile::index: name += ".ll"; break;
    }
    name += static_cast<char>('0' + channel);
    return name;
}

std::string sps_text(double samples_per_second) {
    return config::signed_number_text(samples_per_second);
}

std::string index_start_group(std::string_view board_date_time, double samples_per_second,
                              std::uint64_t position) {
    std::string group = "START :";
    group += board_date_time;
    group += "\r\nSPS   :";
    group += sps_text(samples_per_second);
    group += "\r\nPOSIT :";
    group += position_text(position);
    group += "\r\n";
    return group;
}

std::string index_stop_group(std::string_view board_date_time, std::uint64_t track_size) {
    std::string group = "STOP  :";
    group += board_date_time;
    group += "\r\nPOSIT :";
    group += position_text(track_size > 0 ? track_size - 1 : 0);
    group += "\r\n";
    return group;
}

}  // namespace tw::datalog
