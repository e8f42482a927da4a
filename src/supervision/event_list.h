#pragma once
// The event list: the program's log, "evtfile.dat" in the station folder.
// One time-stamped line per message, CR LF line ends; each append opens and
// closes the file so that nothing stays open between messages.

#include "platform/clock.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::supervision {

class EventList {
public:
    // A file longer than this is restarted at the next append.
    static constexpr std::uintmax_t restart_size = 64000;
    static constexpr std::string_view restarted_line = "Event list exceeded 64k cleared.";
    static constexpr std::string_view cleared_line = "Event list.";

    EventList(std::filesystem::path file, const platform::Clock& clock);

    // Appends "YYYY/MM/DD HH:MM:SS " + text. Returns false (and keeps the
    // reason in last_error()) when the file could not be written.
    bool append(std::string_view text);
    // Every line of the file, without line ends; empty when it is missing.
    std::vector<std::string> read_lines() const;
    // Deletes the file and recreates it holding only "Event list.".
    bool clear();

    const std::filesystem::path& file() const { return file_; }
    const std::string& last_error() const { return last_error_; }

    // Called with each line written (time stamp included), e.g. by the open
    // event list window or to echo the log on standard error.
    void set_line_listener(std::function<void(const std::string&)> listener) {
        listener_ = std::move(listener);
    }

    // "YYYY/MM/DD HH:MM:SS" with fixed patterns whatever the locale.
    static std::string time_stamp(const platform::DateTime& when);

private:
    bool write_lines(const std::vector<std::string>& lines, bool truncate);

    std::filesystem::path file_;
    const platform::Clock& clock_;
    std::function<void(const std::string&)> listener_;
    std::string last_error_;
};

// The file name of the event a list line names: the text from the 21st
// character up to the next space ("030203.123456.z1").
std::string event_file_name_of_line(std::string_view line);

}  // namespace tw::supervision
