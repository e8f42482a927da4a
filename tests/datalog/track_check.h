#pragma once
// Reads day track files back for tests: parses a day index strictly and
// cuts the day track into the segments its groups describe.

#include "fakes/test_files.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace tw::datalog::check {

using tw::testing::read_file;

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
    const bool ok = text.size() == 19 && std::sscanf(text.c_str(), "%4d/%2d/%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s) == 6;
    return ok && y == 2024 ? board_seconds(mo, d, h, mi, s) : -1;
}

struct Group {
    std::string start;  // START time
    std::string sps;    // SPS value text
    std::uint64_t position = 0;
    std::optional<std::string> stop;  // STOP group that follows, if any
    std::optional<std::uint64_t> stop_position;
};

// One segment of a day track: its group and its bytes.
struct Segment {
    std::string day;
    Group group;
    std::uint64_t begin = 0;
    std::uint64_t end = 0;  // one past the last byte
};

// The segments of one day's files, in order. `problem` is set when the index
// is not made of CR LF ended START/SPS/POSIT groups, each optionally followed
// by a STOP/POSIT group, or points past the end of its track or backwards.
inline std::vector<Segment> day_segments(const std::filesystem::path& index_file,
                                         const std::filesystem::path& track_file,
                                         std::string& problem) {
    static const std::regex group_pattern(
        "START :(\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d)\r\nSPS   :([^\r\n]*)\r\nPOSIT : (\\d+)\r\n"
        "(STOP  :([^\r\n]*)\r\nPOSIT : (\\d+)\r\n)?");
    const std::string text = read_file(index_file);
    const std::string name = index_file.filename().string();
    std::vector<Group> groups;
    for (auto at = text.cbegin(); at != text.cend();) {
        std::smatch m;
        if (!std::regex_search(at, text.cend(), m, group_pattern, std::regex_constants::match_continuous) ||
            seconds_of_stamp(m[1]) < 0) {
            problem = name + ": bad group at byte " + std::to_string(at - text.cbegin());
            return {};
        }
        Group group{m[1], m[2], std::stoull(m[3]), std::nullopt, std::nullopt};
        if (m[4].matched) group.stop = m[5], group.stop_position = std::stoull(m[6]);
        groups.push_back(group);
        at = m[0].second;
    }
    const std::uint64_t size = read_file(track_file).size();
    std::vector<Segment> segments;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const Group& group = groups[i];
        const bool last = i + 1 == groups.size();
        Segment segment{index_file.stem().string(), group, group.position, last ? size : groups[i + 1].position};
        if (group.stop_position) {
            // An empty track and a one-byte track both give a stop position
            // of 0; the next group's position tells them apart.
            segment.end = size == 0 ? 0 : *group.stop_position + 1;
            if (!last && segment.end > groups[i + 1].position && *group.stop_position == 0)
                segment.end = groups[i + 1].position;
        }
        if (segment.begin > segment.end || segment.end > size ||
            (!last && segment.end > groups[i + 1].position)) {
            problem = name + ": group " + std::to_string(i + 1) + " points outside its track (" +
                      std::to_string(segment.begin) + ".." + std::to_string(segment.end) + " of " +
                      std::to_string(size) + ")";
            return segments;
        }
        segments.push_back(segment);
    }
    return segments;
}

// The samples of a byte range of a track, little-endian, `width` bytes each.
inline std::vector<std::int32_t> decode_samples(const std::string& track, std::uint64_t begin,
                                                std::uint64_t end, int width) {
    std::vector<std::int32_t> samples;
    const auto* bytes = reinterpret_cast<const unsigned char*>(track.data());
    const auto w = static_cast<std::uint64_t>(width);
    for (std::uint64_t at = begin; at + w <= end; at += w) {
        std::uint32_t v = 0;
        for (std::uint64_t b = w; b-- > 0;) v = v << 8 | bytes[at + b];
        samples.push_back(width == 2 ? static_cast<std::int16_t>(v) : static_cast<std::int32_t>(v));
    }
    return samples;
}

}  // namespace tw::datalog::check
