#include "supervision/error_report.h"

#include "config/number_text.h"

namespace tw::supervision {

std::string error_description(int number) {
    switch (number) {
    case 5: return "Invalid procedure call or argument";
    case 6: return "Overflow";
    case 7: return "Out of memory";
    case 9: return "Subscript out of range";
    case 11: return "Division by zero";
    case 13: return "Type mismatch";
    case 52: return "Bad file name or number";
    case 53: return "File not found";
    case 55: return "File already open";
    case 57: return "Device I/O error";
    case 61: return "Disk full";
    case 62: return "Input past end of file";
    case 70: return "Permission denied";
    case 71: return "Disk not ready";
    case 75: return "Path/File access error";
    case 76: return "Path not found";
    case 8002: return "Invalid port number";
    case 8005: return "Port already open";
    default: return "Application-defined or object-defined error";
    }
}

ErrorReport::ErrorReport(const platform::Clock& clock, platform::EventPump& pump)
    : clock_(clock), pump_(pump) {}

void ErrorReport::wipe_pressed() {
    model_.lines.clear();
    choice_ = Choice::restart_count;
    model_.notify();
}

void ErrorReport::close_pressed() {
    choice_ = Choice::restart_count;
    model_.visible = false;
    model_.notify();
}

std::string ErrorReport::compose_line(int error_number, int step_code, const std::string& place,
                                      const std::string& detail) const {
    const auto now = clock_.now();
    std::string description = error_description(error_number);
    if (!detail.empty()) description += ": " + detail;
    return "Count:" + config::signed_number_text(count_) + " / " + "Error:" +
           std::to_string(error_number) + "/" + description + " / " + place + " / " +
           config::signed_number_text(step_code) + " / " + clock_.short_time_text(now) + " " +
           clock_.short_date_text(now);
}

void ErrorReport::report(int error_number, int step_code, const std::string& place,
                         const std::string& detail) {
    if (choice_ == Choice::restart_count) {
        count_ = 0;
        choice_ = Choice::go_on;
    }
    count_ += 1;
    if (count_ > 99999) count_ = 0;
    if (error_number > 0) {
        const std::string line = compose_line(error_number, step_code, place, detail);
        model_.visible = true;
        model_.lines.push_back(line);
        while (model_.lines.size() > ErrorListModel::max_lines) model_.lines.pop_front();
        model_.notify();
        if (echo_) echo_(line);
    }
    if (pause_enabled_) wait_for_next_second();
}

void ErrorReport::wait_for_next_second() {
    const auto start = clock_.now();
    auto same_second = [&] {
        const auto now = clock_.now();
        return now.second == start.second && now.minute == start.minute && now.hour == start.hour;
    };
    // Hold while the user keeps the program held; otherwise until the PC
    // clock's time text (whole seconds) changes.
    while (choice_ == Choice::hold || same_second()) {
        pump_.process_events(50);
    }
}

}  // namespace tw::supervision
