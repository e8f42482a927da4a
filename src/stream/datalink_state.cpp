#include "stream/datalink_state.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <vector>

namespace tw::stream {

namespace {

constexpr std::string_view title = "TERRAWAVE DataLink positions";
// A station has at most a few dozen streams; a file far longer is not ours.
constexpr std::size_t max_file_bytes = 64 * 1024;

std::vector<std::string_view> lines_of(std::string_view text, bool* complete) {
    std::vector<std::string_view> lines;
    *complete = true;
    while (!text.empty()) {
        const auto end = text.find("\r\n");
        if (end == std::string_view::npos) {
            *complete = false;
            break;
        }
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end + 2);
    }
    return lines;
}

bool read_number(std::string_view text, std::int64_t& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

std::string format_datalink_state(const DataLinkState& state) {
    std::string text(title);
    text += "\r\nstation " + state.station + "\r\nserver " + state.server + "\r\n";
    for (const auto& [id, start_us] : state.acknowledged)
        text += id + " " + std::to_string(start_us) + "\r\n";
    text += "end " + std::to_string(state.acknowledged.size()) + "\r\n";
    return text;
}

StateFileStatus parse_datalink_state(std::string_view text, const std::string& station,
                                     const std::string& server, DataLinkState& state,
                                     DataLinkState* found) {
    state = {};
    bool complete = false;
    const auto lines = lines_of(text, &complete);
    if (!complete || lines.size() < 4 || lines[0] != title || !lines[1].starts_with("station ") ||
        !lines[2].starts_with("server ") || !lines.back().starts_with("end "))
        return StateFileStatus::damaged;
    DataLinkState read;
    read.station = std::string(lines[1].substr(8));
    read.server = std::string(lines[2].substr(7));
    std::int64_t count = -1;
    if (!read_number(lines.back().substr(4), count) || count != static_cast<std::int64_t>(lines.size() - 4))
        return StateFileStatus::damaged;
    for (std::size_t i = 3; i + 1 < lines.size(); ++i) {
        const auto space = lines[i].find(' ');
        std::int64_t start_us = 0;
        if (space == std::string_view::npos || space == 0 || !lines[i].substr(0, space).ends_with("/MSEED") ||
            !read_number(lines[i].substr(space + 1), start_us) ||
            !read.acknowledged.emplace(std::string(lines[i].substr(0, space)), start_us).second)
            return StateFileStatus::damaged;
    }
    if (found) *found = read;
    if (read.station != station) return StateFileStatus::other_station;
    if (read.server != server) return StateFileStatus::other_server;
    state = std::move(read);
    return StateFileStatus::ok;
}

StateFileStatus load_datalink_state(const std::filesystem::path& path, const std::string& station,
                                    const std::string& server, DataLinkState& state,
                                    std::string* why) {
    state = {};
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return StateFileStatus::missing;
    std::ifstream in(path, std::ios::binary);
    std::string text(max_file_bytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad() || !in.is_open()) {
        if (why) *why = "cannot read " + path.string() + ": " + std::strerror(errno);
        return StateFileStatus::unreadable;
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > max_file_bytes) {
        if (why) *why = path.string() + " is not a DataLink position file (too long)";
        return StateFileStatus::damaged;
    }
    DataLinkState found;
    const auto status = parse_datalink_state(text, station, server, state, &found);
    if (!why) return status;
    if (status == StateFileStatus::damaged) {
        *why = path.string() + " is damaged";
    } else if (status == StateFileStatus::other_station) {
        *why = path.string() + " belongs to station " + found.station + ", not " + station;
    } else if (status == StateFileStatus::other_server) {
        *why = path.string() + " holds the positions of server " + found.server + ", not " + server;
    }
    return status;
}

bool save_datalink_state(const std::filesystem::path& path, const DataLinkState& state,
                         bool durable, std::string* error) {
    const std::string text = format_datalink_state(state);
    const std::filesystem::path temporary = path.string() + ".new";
    auto fail = [&](const std::string& what) {
        if (error) *error = what + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    };
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return fail("cannot write " + temporary.string());
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            return fail("cannot write " + temporary.string());
        }
        done += static_cast<std::size_t>(n);
    }
    if (durable && ::fsync(fd) != 0) {
        ::close(fd);
        return fail("cannot write " + temporary.string());
    }
    if (::close(fd) != 0) return fail("cannot write " + temporary.string());
    if (::rename(temporary.c_str(), path.c_str()) != 0) return fail("cannot replace " + path.string());
    return true;
}

}  // namespace tw::stream
