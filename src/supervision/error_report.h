#pragma once
// The error report: counts run-time errors of the long-running procedures,
// lists them in the error list box, and holds the caller until the next
// second of the PC clock (or while the user holds the program).

#include "platform/clock.h"
#include "platform/event_pump.h"

#include <deque>
#include <functional>
#include <string>

namespace tw::supervision {

// Short description of an error number (the numbers the program reports).
std::string error_description(int error_number);

// Well-known error numbers.
namespace error_number {
inline constexpr int overflow = 6;
inline constexpr int subscript_out_of_range = 9;
inline constexpr int division_by_zero = 11;
inline constexpr int type_mismatch = 13;
inline constexpr int file_not_found = 53;
inline constexpr int file_already_open = 55;
inline constexpr int device_io_error = 57;
inline constexpr int disk_full = 61;
inline constexpr int permission_denied = 70;
inline constexpr int path_file_access_error = 75;
inline constexpr int path_not_found = 76;
inline constexpr int port_not_available = 8002;
}  // namespace error_number

// What the error list box shows; the window renders it when notified.
struct ErrorListModel {
    static constexpr std::size_t max_lines = 14;
    std::deque<std::string> lines;  // oldest first
    bool visible = false;
    std::function<void()> changed;
    void notify() const {
        if (changed) changed();
    }
};

class ErrorReport {
public:
    enum class Choice { go_on = 0, hold = 1, restart_count = 2 };

    ErrorReport(const platform::Clock& clock, platform::EventPump& pump);

    // Reports one error. `detail` (may be empty) is added to the description
    // so the line says what failed ("Type mismatch: line 3 'SPS= x'").
    // Returns after the PC clock's second has changed, or, while the user
    // holds the program, when another button is pressed.
    void report(int error_number, int step_code, const std::string& place,
                const std::string& detail = {});

    // The error list box buttons.
    void restart_pressed() { choice_ = Choice::go_on; }       // restart
    void break_pressed() { choice_ = Choice::hold; }          // break
    void wipe_pressed();                                      // wiperrors
    void close_pressed();                                     // Command1
    void box_closed() { model_.visible = false; }

    Choice choice() const { return choice_; }
    double count() const { return count_; }
    ErrorListModel& model() { return model_; }
    const ErrorListModel& model_view() const { return model_; }

    // Without a user to read the box (printing the settings) a report does
    // not pause.
    void set_pause_enabled(bool enabled) { pause_enabled_ = enabled; }

    // Also echo each line to a sink (standard error when headless).
    void set_echo(std::function<void(const std::string&)> echo) { echo_ = std::move(echo); }

    // Composes the list line (exposed for tests).
    std::string compose_line(int error_number, int step_code, const std::string& place,
                             const std::string& detail) const;

private:
    void wait_for_next_second();

    const platform::Clock& clock_;
    platform::EventPump& pump_;
    Choice choice_ = Choice::go_on;
    double count_ = 0;
    ErrorListModel model_;
    std::function<void(const std::string&)> echo_;
    bool pause_enabled_ = true;
};

}  // namespace tw::supervision
