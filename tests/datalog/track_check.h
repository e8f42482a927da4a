#pragma once
// Reads day track files back for tests: parses a day index strictly and
// cuts the day track into the segments its groups describe.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace tw::datalog::check {

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Board seconds counted from 2024/01/01 00:00:00.
inline std::int64_t board_seconds(int month, int day, int hour, int minute, int second) {
    using namespace std::chrono;
    const auto days_in = (sys_days{year{2024} / month / day} - sys_days{year{2024} / 1 / 1}).count();
    return days_in * 86400 + hour * 3600 + minute * 60 + second;
}

// "YYYY/MM/DD HH:MM:SS" of a board second counted from 2024/01/01 00:00:00.
inline std::string stamp(std::int64_t t) {
    using namespace std::chrono;
    const year_month_day date{sys_days{year{2024} / 1 / 1} + days{t / 86400}};
    const int of_day = static_cast<int>(t % 86400);
    char text[32];
    std::snprintf(text, sizeof text, "%04d/%02u/%02u %02d:%02d:%02d", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), of_day / 3600, of_day / 60 % 60,
                  of_day % 60);
    return text;
}

// The inverse of stamp(); -1 for a text that is no stamp.
inline std::int64_t seconds_of_stamp(const std::string& text) {
    int y, mo, d, h, mi, s;
    if (text.size() != 19 ||
        std::sscanf(text.c_str(), "%4d/%2d/%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s) != 6 ||
        y != 2024)
        return -1;
    return board_seconds(mo, d, h, mi, s);
}

struct Group {
    std::string start;  // START time
    std::string sps;    // SPS value text
    std::uint64_t position = 0;
    std::optional<std::string> stop;          // STOP group that follows, if any
    std::optional<std::uint64_t> stop_position;
};

struct Index {
    std::vector<Group> groups;
    std::string problem;  // empty when every line is well-formed and in order
};

// Parses a day index: START/SPS/POSIT groups, each optionally followed by a
// STOP/POSIT group, every line CR LF ended.
inline Index parse_index(const std::string& text) {
    Index index;
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto end = text.find("\r\n", at);
        if (end == std::string::npos) {
            index.problem = "last line without CR LF";
            return index;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    auto number = [&](const std::string& value, std::uint64_t& out) {
        if (value.size() < 2 || value[0] != ' ') return false;
        out = 0;
        for (std::size_t i = 1; i < value.size(); ++i) {
            if (value[i] < '0' || value[i] > '9') return false;
            out = out * 10 + static_cast<std::uint64_t>(value[i] - '0');
        }
        return true;
    };
    for (std::size_t i = 0; i < lines.size();) {
        const std::string& line = lines[i];
        if (line.rfind("START :", 0) == 0 && i + 2 < lines.size() &&
            lines[i + 1].rfind("SPS   :", 0) == 0 && lines[i + 2].rfind("POSIT :", 0) == 0) {
            Group group;
            group.start = line.substr(7);
            group.sps = lines[i + 1].substr(7);
            if (seconds_of_stamp(group.start) < 0 ||
                !number(lines[i + 2].substr(7), group.position)) {
                index.problem = "bad START group at line " + std::to_string(i + 1);
                return index;
            }
            index.groups.push_back(group);
            i += 3;
        } else if (line.rfind("STOP  :", 0) == 0 && i + 1 < lines.size() &&
                   lines[i + 1].rfind("POSIT :", 0) == 0 && !index.groups.empty() &&
                   !index.groups.back().stop) {
            std::uint64_t position = 0;
            if (!number(lines[i + 1].substr(7), position)) {
                index.problem = "bad STOP group at line " + std::to_string(i + 1);
                return index;
            }
            index.groups.back().stop = line.substr(7);
            index.groups.back().stop_position = position;
            i += 2;
        } else {
            index.problem = "unexpected line " + std::to_string(i + 1) + ": " + line;
            return index;
        }
    }
    return index;
}

// One segment of a day track: its group and its bytes.
struct Segment {
    std::string day;
    Group group;
    std::uint64_t begin = 0;
    std::uint64_t end = 0;  // one past the last byte
};

// The segments of one day's files, in order. `problem` is set when the index
// is malformed or points past the end of its track or backwards.
inline std::vector<Segment> day_segments(const std::filesystem::path& index_file,
                                         const std::filesystem::path& track_file,
                                         std::string& problem) {
    std::vector<Segment> segments;
    const Index index = parse_index(read_file(index_file));
    if (!index.problem.empty()) {
        problem = index_file.filename().string() + ": " + index.problem;
        return segments;
    }
    std::error_code error;
    const auto size_or = std::filesystem::file_size(track_file, error);
    const std::uint64_t size = error ? 0 : size_or;
    for (std::size_t i = 0; i < index.groups.size(); ++i) {
        const Group& group = index.groups[i];
        Segment segment{index_file.stem().string(), group, group.position, size};
        if (group.stop_position) {
            // An empty track and a one-byte track both give a stop position
            // of 0; the next group's position tells them apart.
            segment.end = size == 0 ? 0 : *group.stop_position + 1;
            if (i + 1 < index.groups.size() && segment.end > index.groups[i + 1].position &&
                *group.stop_position == 0)
                segment.end = index.groups[i + 1].position;
        } else if (i + 1 < index.groups.size()) {
            segment.end = index.groups[i + 1].position;
        }
        if (segment.begin > segment.end || segment.end > size ||
            (i + 1 < index.groups.size() && segment.end > index.groups[i + 1].position)) {
            problem = index_file.filename().string() + ": group " + std::to_string(i + 1) +
                      " points outside its track (" + std::to_string(segment.begin) + ".." +
                      std::to_string(segment.end) + " of " + std::to_string(size) + ")";
            return segments;
        }
        segments.push_back(segment);
    }
    return segments;
}

// The samples of a byte range of a track.
inline std::vector<std::int32_t> decode_samples(const std::string& track, std::uint64_t begin,
                                                std::uint64_t end, int width) {
    std::vector<std::int32_t> samples;
    for (std::uint64_t at = begin; at + static_cast<std::uint64_t>(width) <= end;
         at += static_cast<std::uint64_t>(width)) {
        const auto* p = reinterpret_cast<const unsigned char*>(track.data() + at);
        if (width == 2) {
            samples.push_back(static_cast<std::int16_t>(p[0] | (p[1] << 8)));
        } else {
            samples.push_back(static_cast<std::int32_t>(
                static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24)));
        }
    }
    return samples;
}

}  // namespace tw::datalog::check
