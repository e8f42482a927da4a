#include "events/event_texts.h"

#include "config/time_stamp.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace tw::events {

std::optional<std::int64_t> time_stamp_seconds(std::string_view text) {
    // A whole stamp: a date alone is not an event time.
    if (text.size() != 19) return std::nullopt;
    return config::stamp_seconds(text);
}

std::string time_stamp_text(std::int64_t seconds) { return config::stamp_text(seconds); }

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
