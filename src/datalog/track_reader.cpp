#include "datalog/track_reader.h"

#include "config/time_stamp.h"
#include "datalog/track_format.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace tw::datalog {

namespace {

constexpr double seconds_per_day = 86400;

// Reads the whole of a small text file; false with errno set.
bool read_text(const std::filesystem::path& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    out.clear();
    char block[16384];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return false;
        }
        if (n == 0) break;
        out.append(block, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

// Whether the file exists: 1 yes, 0 no, -1 cannot tell (errno set).
int file_present(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) return S_ISREG(info.st_mode) ? 1 : 0;
    return errno == ENOENT || errno == ENOTDIR ? 0 : -1;
}

}  // namespace

std::int64_t day_number_of(double seconds) {
    return static_cast<std::int64_t>(std::floor(seconds / seconds_per_day));
}

std::string date_of_day(std::int64_t day_number) {
    return config::stamp_text(day_number * 86400).substr(0, 10);
}

DayTrack load_day_track(const std::filesystem::path& datalog_folder, std::string_view date,
                        int channel, int width, bool rewrite_dates) {
    DayTrack day;
    day.date = std::string(date);
    const std::string mmdd = day_name_of(day.date + " 00:00:00");
    day.track_path = datalog_folder / track_file_name(mmdd, TrackFile::track, channel);
    day.index_path = datalog_folder / track_file_name(mmdd, TrackFile::index, channel);
    auto unreadable = [&](const std::filesystem::path& path) {
        day.status = DayStatus::unreadable;
        day.reason = "cannot read " + path.string() + ": " + std::strerror(errno);
        return day;
    };
    switch (file_present(day.track_path)) {
    case 0: day.status = DayStatus::track_missing; return day;
    case -1: return unreadable(day.track_path);
    default: break;
    }
    switch (file_present(day.index_path)) {
    case 0: day.status = DayStatus::index_missing; return day;
    case -1: return unreadable(day.index_path);
    default: break;
    }

    std::string text;
    if (!read_text(day.index_path, text)) return unreadable(day.index_path);
    const std::string index_name = day.index_path.filename().string();
    IndexReading reading = read_track_index(text, index_name);
    day.problems = std::move(reading.problems);
    if (reading.groups.empty()) {
        day.problems.push_back(index_name + " holds no readable group");
    } else if (reading.groups.front().time.substr(0, 4) != day.date.substr(0, 4)) {
        day.status = DayStatus::year_mismatch;
        return day;
    }
    if (rewrite_dates) {
        std::string error;
        if (!rewrite_index_dates(day.index_path, &day.index_rewritten, &error))
            day.problems.push_back("the dates of " + index_name + " were not rewritten: " + error);
    }

    struct stat info {};
    if (::stat(day.track_path.c_str(), &info) != 0) return unreadable(day.track_path);
    day.track_size = static_cast<std::uint64_t>(std::max<off_t>(info.st_size, 0));
    day.runs = recorded_runs(reading.groups, day.track_size, width,
                             day.track_path.filename().string(), day.problems);
    return day;
}

TrackDays::TrackDays(std::filesystem::path datalog_folder, int channel, int width, bool rewrite_dates)
    : folder_(std::move(datalog_folder)), channel_(channel), width_(width), rewrite_dates_(rewrite_dates) {}

const DayTrack& TrackDays::day(std::int64_t day_number) {
    auto found = days_.find(day_number);
    if (found == days_.end()) {
        found = days_.emplace(day_number,
                              load_day_track(folder_, date_of_day(day_number), channel_, width_,
                                             rewrite_dates_))
                    .first;
    }
    return found->second;
}

std::vector<StretchPiece> plan_stretch(TrackDays& days, double from, double until) {
    std::vector<StretchPiece> pieces;
    auto gap = [&](double begin, double end) {
        if (!(end > begin)) return;
        if (!pieces.empty() && !pieces.back().recorded) {
            pieces.back().end = end;
            return;
        }
        StretchPiece piece;
        piece.time = begin;
        piece.end = end;
        pieces.push_back(piece);
    };
    double t = from;
    while (t < until) {
        const std::int64_t number = day_number_of(t);
        const double midnight = static_cast<double>(number + 1) * seconds_per_day;
        const DayTrack& day = days.day(number);
        if (day.status != DayStatus::ok) {
            gap(t, std::min(midnight, until));
            t = midnight;
            continue;
        }
        const RunPosition at = locate_time(day.runs, t, days.width());
        if (!at.run) {
            const double next = std::min(at.next_start, midnight);
            gap(t, std::min(next, until));
            t = next;
            continue;
        }
        const double sps = at.run->sps;
        // The samples that begin before `until`.
        const double room = std::ceil((until - at.time) * sps - 1e-9);
        const auto wanted = static_cast<std::uint64_t>(std::max(0.0, room));
        const std::uint64_t count = std::min(at.samples, wanted);
        if (count == 0) break;
        if (at.time > t + 0.5 / sps) gap(t, at.time);
        StretchPiece piece;
        piece.recorded = true;
        piece.time = at.time;
        piece.end = at.time + static_cast<double>(count) / sps;
        piece.day = &day;
        piece.sps = sps;
        piece.offset = at.offset;
        piece.samples = count;
        pieces.push_back(piece);
        t = piece.end;
    }
    return pieces;
}

bool read_track_samples(const std::filesystem::path& track, std::uint64_t offset,
                        std::size_t count, int width, std::vector<std::int32_t>& out,
                        std::string* error) {
    out.resize(count);
    if (count == 0) return true;
    const int fd = ::open(track.c_str(), O_RDONLY | O_CLOEXEC);
    auto fail = [&](const std::string& what) {
        if (error) *error = what;
        return false;
    };
    if (fd < 0) return fail("cannot read " + track.string() + ": " + std::strerror(errno));
    const std::size_t bytes = count * static_cast<std::size_t>(width);
    std::vector<std::uint8_t> raw(bytes);
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::pread(fd, raw.data() + done, bytes - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            const std::string reason = std::strerror(errno);
            ::close(fd);
            return fail("cannot read " + track.string() + ": " + reason);
        }
        if (n == 0) {
            ::close(fd);
            return fail(track.string() + " ends at byte " + std::to_string(offset + done) +
                        ", before the samples its index names");
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    const std::uint8_t* p = raw.data();
    if (width == 4) {
        for (std::size_t i = 0; i < count; ++i, p += 4) {
            out[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) |
                                               static_cast<std::uint32_t>(p[1]) << 8 |
                                               static_cast<std::uint32_t>(p[2]) << 16 |
                                               static_cast<std::uint32_t>(p[3]) << 24);
        }
    } else {
        for (std::size_t i = 0; i < count; ++i, p += 2) {
            out[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8));
        }
    }
    return true;
}

}  // namespace tw::datalog
