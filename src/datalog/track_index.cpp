#include "datalog/track_index.h"

#include "config/time_stamp.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

namespace tw::datalog {

namespace {

struct Line {
    std::string text;
    int number = 0;
    bool cut = false;  // the file ends before its line end
};

std::vector<Line> split_lines(std::string_view text) {
    std::vector<Line> lines;
    int number = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto end = text.find('\n', at);
        Line line;
        line.number = ++number;
        if (end == std::string_view::npos) {
            line.text = text.substr(at);
            line.cut = true;
            at = text.size();
        } else {
            line.text = text.substr(at, end - at);
            if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
            at = end + 1;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// What follows the first colon; nullopt when the line has none.
std::optional<std::string_view> value_of(std::string_view line) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    return line.substr(colon + 1);
}

std::optional<std::uint64_t> whole_number(std::string_view text) {
    text = trimmed(text);
    if (text.empty() || text.size() > 19) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

// "20", ".5", ".016666", "2.5"; a positive rate.
std::optional<double> rate_number(std::string_view text) {
    text = trimmed(text);
    double value = 0;
    double scale = 0;  // 0 before the point
    bool digits = false;
    for (const char c : text) {
        if (c == '.' && scale == 0) {
            scale = 1;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            if (scale == 0) {
                value = value * 10 + (c - '0');
            } else {
                scale /= 10;
                value += (c - '0') * scale;
            }
        } else {
            return std::nullopt;
        }
    }
    if (!digits || !(value > 0) || value > 100000) return std::nullopt;
    return value;
}

bool label_is(std::string_view line, std::string_view label) {
    return line.substr(0, std::min(line.size(), label.size())) == label;
}

}  // namespace

std::string year_first_line(std::string_view line) {
    const bool dated = label_is(line, "START") || label_is(line, "STOP ");
    if (!dated || line.size() < 26 || (line[9] != '/' && line[9] != '-')) return std::string(line);
    std::string out(line.substr(0, 7));
    out += line.substr(13, 4);
    out += '/';
    out += line.substr(10, 2);
    out += '/';
    out += line.substr(7, 2);
    out += ' ';
    out += line.substr(line.size() - 8);
    return out;
}

IndexReading read_track_index(std::string_view text, std::string_view name) {
    IndexReading reading;
    const std::vector<Line> lines = split_lines(text);
    auto problem = [&](int line, const std::string& what) {
        reading.problems.push_back(std::string(name) + " line " + std::to_string(line) + ": " +
                                   what);
    };
    auto is_group_start = [](const std::string& line) {
        return label_is(line, "START") || label_is(line, "STOP");
    };
    // The group ahead, for the order check.
    std::optional<IndexGroup> last;

    std::size_t i = 0;
    while (i < lines.size()) {
        const Line& first = lines[i];
        if (trimmed(first.text).empty() && !first.cut) {
            ++i;
            continue;
        }
        if (!is_group_start(first.text)) {
            problem(first.number, "'" + first.text + "' belongs to no group; left out");
            ++i;
            continue;
        }
        const bool start = label_is(first.text, "START");
        const std::size_t size = start ? 3 : 2;
        // The group's lines, and where the next group begins when it is bad.
        auto skip_group = [&](const std::string& what) {
            problem(first.number, what + "; that group is left out");
            ++i;
            while (i < lines.size() && !is_group_start(lines[i].text)) ++i;
        };
        if (i + size > lines.size()) {
            skip_group("the index ends inside this group");
            continue;
        }
        bool cut = false;
        for (std::size_t k = i; k < i + size; ++k) cut = cut || lines[k].cut;
        if (cut) {
            skip_group("the last line is cut");
            continue;
        }
        IndexGroup group;
        group.kind = start ? IndexGroup::Kind::start : IndexGroup::Kind::stop;
        group.line = first.number;
        const std::string dated = year_first_line(first.text);
        const auto time = value_of(dated);
        const auto seconds = time ? config::stamp_seconds(trimmed(*time)) : std::nullopt;
        if (!seconds) {
            skip_group("'" + first.text + "' holds no date and time");
            continue;
        }
        group.time = std::string(trimmed(*time));
        group.seconds = *seconds;
        const Line& posit = lines[i + size - 1];
        if (start) {
            const Line& sps = lines[i + 1];
            const auto rate = label_is(sps.text, "SPS") ? value_of(sps.text) : std::nullopt;
            const auto value = rate ? rate_number(*rate) : std::nullopt;
            if (!value) {
                skip_group("'" + sps.text + "' is no sampling rate");
                continue;
            }
            group.sps = *value;
        }
        const auto position = label_is(posit.text, "POSIT") ? value_of(posit.text) : std::nullopt;
        const auto offset = position ? whole_number(*position) : std::nullopt;
        if (!offset) {
            skip_group("'" + posit.text + "' is no position");
            continue;
        }
        group.position = *offset;
        if (last) {
            // Positions only grow; a STOP names the last byte, so it may lie
            // one before the position of an empty segment.
            const std::uint64_t floor_position =
                group.kind == IndexGroup::Kind::stop && last->position > 0 ? last->position - 1
                                                                           : last->position;
            if (group.seconds < last->seconds || group.position < floor_position) {
                skip_group("'" + first.text + "' at " + std::to_string(group.position) +
                           " lies before the group ahead of it (" + last->time + " at " +
                           std::to_string(last->position) + ")");
                continue;
            }
        }
        last = group;
        reading.groups.push_back(std::move(group));
        i += size;
    }
    return reading;
}

bool rewrite_index_dates(const std::filesystem::path& index, bool* rewritten, std::string* error) {
    if (rewritten) *rewritten = false;
    std::ifstream in(index, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot read " + index.string() + ": " + std::strerror(errno);
        return false;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.close();
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        auto end = text.find('\n', at);
        const bool has_end = end != std::string::npos;
        if (!has_end) end = text.size();
        std::string_view line(text.data() + at, end - at);
        std::string_view line_end = has_end ? "\n" : "";
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
            line_end = has_end ? "\r\n" : "\r";
        }
        out += year_first_line(line);
        out += line_end;
        at = has_end ? end + 1 : end;
    }
    if (out == text) return true;

    const auto copy = index.parent_path() / ("$" + index.filename().string());
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + " " + copy.string() + ": " + std::strerror(errno);
        ::unlink(copy.c_str());
        return false;
    };
    const int fd = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                          0666);
    if (fd < 0) return fail("cannot create");
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(fd, out.data() + done, out.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return fail("cannot write");
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return fail("cannot write");
    }
    if (::close(fd) != 0) return fail("cannot write");
    if (::rename(copy.c_str(), index.c_str()) != 0) return fail("cannot rename");
    if (rewritten) *rewritten = true;
    return true;
}

std::vector<RecordedRun> recorded_runs(const std::vector<IndexGroup>& groups,
                                       std::uint64_t track_size, int width,
                                       std::string_view track_name,
                                       std::vector<std::string>& problems) {
    const auto w = static_cast<std::uint64_t>(width);
    std::vector<RecordedRun> runs;
    bool open = false;
    auto past_end = [&](const IndexGroup& g) {
        problems.push_back("index line " + std::to_string(g.line) + ": position " +
                           std::to_string(g.position) + " lies past the end of " +
                           std::string(track_name) + " (" + std::to_string(track_size) +
                           " bytes)");
    };
    for (const IndexGroup& g : groups) {
        if (g.kind == IndexGroup::Kind::stop) {
            if (!open) continue;
            RecordedRun& run = runs.back();
            if (g.position >= track_size && !(g.position == 0 && track_size == 0)) past_end(g);
            run.end = std::clamp(g.position + 1, run.begin, std::max(run.begin, track_size));
            open = false;
            continue;
        }
        if (g.position > track_size) {
            past_end(g);
            continue;
        }
        if (open) {
            RecordedRun& run = runs.back();
            const TrackSegment& last = run.segments.back();
            if (run.sps == g.sps && g.position >= last.position) {
                const double reach = static_cast<double>(last.position) +
                                     std::round((g.seconds - last.seconds) * g.sps) *
                                         static_cast<double>(w);
                if (std::abs(reach - static_cast<double>(g.position)) <=
                    static_cast<double>(join_tolerance_bytes)) {
                    run.segments.push_back({g.seconds, g.position});
                    continue;
                }
            }
            run.end = std::max(run.begin, g.position);
        }
        RecordedRun run;
        run.sps = g.sps;
        run.begin = g.position;
        run.end = track_size;
        run.segments.push_back({g.seconds, g.position});
        runs.push_back(std::move(run));
        open = true;
    }

    for (std::size_t i = 0; i < runs.size(); ++i) {
        RecordedRun& run = runs[i];
        if (i + 1 < runs.size()) {
            // Bytes belong to one run only, and a run ends when the next
            // one begins in time.
            const RecordedRun& next = runs[i + 1];
            run.end = std::min(run.end, std::max(run.begin, next.begin));
            const TrackSegment& last = run.segments.back();
            const double fit = std::max(0.0, std::round((next.start_seconds() - last.seconds) * run.sps));
            const double limit = static_cast<double>(last.position) + fit * static_cast<double>(w);
            if (static_cast<double>(run.end) > limit)
                run.end = std::max(run.begin, static_cast<std::uint64_t>(limit));
        }
        const std::uint64_t whole = run.begin + (run.end - run.begin) / w * w;
        if (whole != run.end && run.end == track_size) {
            problems.push_back(std::string(track_name) + " ends inside a sample; its last " +
                               std::to_string(run.end - whole) + " bytes are left out");
        }
        run.end = whole;
    }
    std::erase_if(runs, [](const RecordedRun& run) { return run.end <= run.begin; });
    return runs;
}

RunPosition locate_time(const std::vector<RecordedRun>& runs, double seconds, int width) {
    RunPosition at;
    const auto w = static_cast<std::uint64_t>(width);
    for (const RecordedRun& run : runs) {
        const double half = 0.5 / run.sps;
        if (seconds + half < static_cast<double>(run.start_seconds())) {
            at.next_start = static_cast<double>(run.start_seconds());
            return at;
        }
        // The last segment that begins at or before the time.
        auto segment = std::upper_bound(run.segments.begin(), run.segments.end(), seconds + half,
                                        [](double t, const TrackSegment& s) {
                                            return t < static_cast<double>(s.seconds);
                                        });
        --segment;
        const double k = std::max(0.0, std::round((seconds - segment->seconds) * run.sps));
        const double offset = static_cast<double>(segment->position) + k * static_cast<double>(w);
        if (offset < static_cast<double>(run.end)) {
            at.run = &run;
            at.offset = static_cast<std::uint64_t>(offset);
            at.time = static_cast<double>(segment->seconds) + k / run.sps;
            at.samples = (run.end - at.offset) / w;
            return at;
        }
    }
    return at;
}

}  // namespace tw::datalog
