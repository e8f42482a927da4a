#include "supervision/event_list.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

namespace tw::supervision {

EventList::EventList(std::filesystem::path file, const platform::Clock& clock)
    : file_(std::move(file)), clock_(clock) {}

std::string EventList::time_stamp(const platform::DateTime& when) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", when.year % 10000,
                  when.month % 100, when.day % 100, when.hour % 100, when.minute % 100,
                  when.second % 100);
    return text;
}

bool EventList::write_lines(const std::vector<std::string>& lines, bool truncate) {
    std::FILE* out = std::fopen(file_.c_str(), truncate ? "wb" : "ab");
    if (!out) {
        last_error_ = "cannot write " + file_.string() + ": " + std::strerror(errno);
        return false;
    }
    bool ok = true;
    for (const auto& line : lines) {
        ok = ok && std::fwrite(line.data(), 1, line.size(), out) == line.size() &&
             std::fwrite("\r\n", 1, 2, out) == 2;
    }
    const int saved_errno = errno;
    ok = (std::fclose(out) == 0) && ok;
    if (!ok) {
        last_error_ = "cannot write " + file_.string() + ": " + std::strerror(saved_errno);
    }
    return ok;
}

bool EventList::append(std::string_view text) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file_, ec);
    std::vector<std::string> lines;
    bool truncate = false;
    if (!ec && size > restart_size) {
        lines.emplace_back(restarted_line);
        truncate = true;
    }
    std::string line = time_stamp(clock_.now());
    line += ' ';
    line += text;
    lines.push_back(line);
    const bool ok = write_lines(lines, truncate);
    if (listener_) {
        for (const auto& written : lines) listener_(written);
    }
    return ok;
}

std::vector<std::string> EventList::read_lines() const {
    std::vector<std::string> lines;
    std::ifstream in(file_, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
    }
    return lines;
}

bool EventList::clear() {
    std::error_code ec;
    std::filesystem::remove(file_, ec);
    return write_lines({std::string(cleared_line)}, true);
}

std::string event_file_name_of_line(std::string_view line) {
    if (line.size() <= 20) return {};
    std::string_view rest = line.substr(20);
    return std::string(rest.substr(0, rest.find(' ')));
}

}  // namespace tw::supervision
