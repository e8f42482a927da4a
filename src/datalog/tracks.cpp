#include "datalog/tracks.h"

#include "config/tables.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace tw::datalog {

namespace {

constexpr int file_mode = 0666;  // narrowed by the umask
constexpr std::size_t copy_block = 64 * 1024;

// The error report's number for an errno value.
int error_number_of(int error) {
    namespace en = supervision::error_number;
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return en::disk_full;
    case EACCES:
    case EPERM:
    case EROFS: return en::permission_denied;
    case ENOENT:
    case ENOTDIR: return en::path_not_found;
    case EIO: return en::device_io_error;
    default: return en::path_file_access_error;
    }
}

std::uint64_t descriptor_size(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_size < 0) return 0;
    return static_cast<std::uint64_t>(info.st_size);
}

void close_descriptor(int fd) {
    if (fd >= 0) ::close(fd);
}

}  // namespace

Tracks::Tracks(TracksContext context)
    : context_(std::move(context)),
      ops_(context_.file_ops ? *context_.file_ops : posix_file_ops()) {
    last_sync_ms_ = context_.clock.monotonic_ms();
}

Tracks::~Tracks() {
    for (int channel = 1; channel <= 4; ++channel)
        if (segment(channel).open) release(channel, step_close);
    // Nobody is left to read a report now.
    pending_report_.reset();
}

std::filesystem::path Tracks::file_path(std::string_view day, TrackFile kind, int channel) const {
    return context_.datalog_folder / track_file_name(day, kind, channel);
}

void Tracks::start_run() {
    for (int channel = 1; channel <= 4; ++channel) {
        // A run that was never stopped leaves its buffer as a crash would.
        if (segment(channel).open) release(channel, step_boundary);
        segment(channel).name.clear();
    }
    last_boundary_minute_ = -1;
    time_base_ready_ = false;
    awaiting_new_second_ = false;
    last_seconds_of_day_ = -1;
    last_sync_ms_ = context_.clock.monotonic_ms();
    bad_time_reported_ = false;
    deliver_report();
}

void Tracks::track_boundary_check(const TrackTime& time) {
    time_base_ready_ = time.time_base_ready;
    if (time.seconds_of_day != last_seconds_of_day_) {
        last_seconds_of_day_ = time.seconds_of_day;
        sync_if_due();
    }
    if (!time_base_ready_) return;
    if (awaiting_new_second_) {
        if (time.seconds_of_day == restart_seconds_of_day_) return;
        awaiting_new_second_ = false;
    }
    const double seconds = time.seconds_of_day;
    if (!(seconds >= 0 && seconds < 86400)) return;  // also NaN
    const int minute = static_cast<int>(seconds / 60);
    const int period_index = std::clamp(context_.settings.general.flush_period, 0,
                                        static_cast<int>(config::flush_period_minutes.size()) - 1);
    const int period = config::flush_period_minutes[static_cast<std::size_t>(period_index)];
    const bool boundary = last_boundary_minute_ == -1 ||
                          (minute % period == 0 && minute != last_boundary_minute_);
    if (!boundary) return;

    const std::string day = day_name_of(time.board_date_time);
    if (day.empty()) {
        // Without a date the files cannot be named: wait for a good one.
        if (!bad_time_reported_) {
            bad_time_reported_ = true;
            fail_text(supervision::error_number::type_mismatch, step_boundary,
                      "board date and time '" + std::string(time.board_date_time) +
                          "' is not YYYY/MM/DD HH:MM:SS; no track segment started");
        }
        deliver_report();
        return;
    }
    last_boundary_minute_ = minute;
    if (minute == 0) warn_if_disk_low();

    for (int channel = 1; channel <= 4; ++channel) {
        // An open segment is always flushed, even when its channel is no
        // longer logged, so that no recorded sample is left behind.
        if (segment(channel).open) close_segment(channel, step_boundary);
        segment(channel).name.clear();
        const auto& settings = context_.settings.channel(channel);
        if (settings.logging_enabled > 0 && settings.sps_code > 0)
            open_segment(channel, day, time);
    }
    deliver_report();
}

void Tracks::open_segment(int channel, const std::string& day, const TrackTime& time) {
    const auto buffer = file_path(day, TrackFile::buffer, channel);
    const auto track = file_path(day, TrackFile::track, channel);
    const auto index = file_path(day, TrackFile::index, channel);

    std::error_code ignored;
    std::filesystem::create_directories(context_.datalog_folder, ignored);

    // A buffer of the same day left by an interrupted segment is dropped.
    if (::unlink(buffer.c_str()) != 0 && errno != ENOENT && errno != ENOTDIR)
        fail(errno, step_boundary, "cannot delete " + buffer.string());

    const int track_fd = ops_.open(track.c_str(), O_WRONLY | O_CREAT, file_mode);
    if (track_fd < 0) {
        fail(errno, step_boundary, "cannot open " + track.string());
        return;
    }
    const std::uint64_t position = descriptor_size(track_fd);
    close_descriptor(track_fd);

    const auto& settings = context_.settings.channel(channel);
    if (!append_index(index,
                      index_start_group(time.board_date_time, config::sps_value(settings.sps_code),
                                        position),
                      step_boundary))
        return;  // no segment without its START group; the next boundary tries again

    Segment& s = segment(channel);
    s.name = day;
    s.open = true;
    s.accepting = true;
    s.width = track_sample_width(context_.settings.general.ad_type);
    s.waiting.clear();
    s.waiting.reserve(write_chunk + 4);
    s.unsynced = 0;
    s.fd = ops_.open(buffer.c_str(), O_WRONLY | O_CREAT | O_TRUNC, file_mode);
    // A buffer that cannot be created yet is tried again at the next write;
    // the samples wait in memory meanwhile.
    if (s.fd < 0) fail(errno, step_boundary, "cannot create " + buffer.string());
}

std::uint64_t Tracks::close_segment(int channel, int step) {
    Segment& s = segment(channel);
    write_waiting(channel, step);
    close_descriptor(s.fd);
    s.fd = -1;
    const auto result = flush_into_track(file_path(s.name, TrackFile::buffer, channel),
                                         file_path(s.name, TrackFile::track, channel), s.width,
                                         s.waiting, step);
    s.waiting.clear();
    if (s.waiting.capacity() > 2 * write_chunk) s.waiting.shrink_to_fit();
    s.open = false;
    s.accepting = false;
    s.unsynced = 0;
    return result.size;
}

void Tracks::release(int channel, int step) {
    Segment& s = segment(channel);
    if (write_waiting(channel, step) && s.fd >= 0 && s.unsynced > 0) ops_.sync(s.fd);
    close_descriptor(s.fd);
    s.fd = -1;
    s.waiting.clear();
    s.open = false;
    s.accepting = false;
    s.unsynced = 0;
}

void Tracks::track_close_all(std::string_view board_date_time) {
    for (int channel = 1; channel <= 4; ++channel) {
        Segment& s = segment(channel);
        if (!s.open) continue;
        const std::uint64_t size = close_segment(channel, step_close);
        append_index(file_path(s.name, TrackFile::index, channel),
                     index_stop_group(board_date_time, size), step_close);
    }
    time_base_ready_ = false;
    deliver_report();
}

void Tracks::track_restart(const TrackTime& time) {
    bool closed_any = false;
    for (int channel = 1; channel <= 4; ++channel) {
        Segment& s = segment(channel);
        if (s.open) {
            // Every segment's index ends with its STOP group, also when the
            // run goes on: a reader then knows where the gap begins.
            const std::uint64_t size = close_segment(channel, step_restart);
            append_index(file_path(s.name, TrackFile::index, channel),
                         index_stop_group(time.board_date_time, size), step_restart);
            closed_any = true;
        }
        s.name.clear();
    }
    if (closed_any || last_boundary_minute_ != -1) {
        last_boundary_minute_ = -1;
        awaiting_new_second_ = true;
        restart_seconds_of_day_ = time.seconds_of_day;
    }
    deliver_report();
}

std::uint64_t Tracks::flush_segment_buffer(const std::filesystem::path& buffer,
                                           const std::filesystem::path& track, int channel) {
    int width = track_sample_width(context_.settings.general.ad_type);
    if (channel >= 1 && channel <= 4) {
        Segment& s = segment(channel);
        if (s.open) width = s.width;
    }
    const auto size = flush_into_track(buffer, track, width, {}, step_boundary).size;
    deliver_report();
    return size;
}

Tracks::FlushResult Tracks::flush_into_track(const std::filesystem::path& buffer,
                                             const std::filesystem::path& track, int width,
                                             const std::vector<std::uint8_t>& tail, int step) {
    FlushResult result;
    const int track_fd = ops_.open(track.c_str(), O_WRONLY | O_CREAT | O_APPEND, file_mode);
    if (track_fd < 0) {
        const int error = errno;
        std::error_code ignored;
        const auto size = std::filesystem::file_size(track, ignored);
        result.size = ignored ? 0 : static_cast<std::uint64_t>(size);
        result.ok = false;
        ::unlink(buffer.c_str());
        fail(error, step, "cannot open " + track.string() + "; the segment in " +
                              buffer.string() + " is lost");
        return result;
    }
    const std::uint64_t original = descriptor_size(track_fd);
    std::uint64_t appended = 0;
    std::uint64_t segment_bytes = tail.size();
    int error = 0;
    std::string what;

    // Writes all of data, counting what the track took.
    auto append = [&](const std::uint8_t* data, std::size_t size) {
        std::size_t done = 0;
        while (done < size) {
            const long n = ops_.write(track_fd, data + done, size - done);
            if (n <= 0) {
                error = n < 0 ? errno : ENOSPC;
                what = "cannot append to " + track.string();
                return false;
            }
            done += static_cast<std::size_t>(n);
            appended += static_cast<std::uint64_t>(n);
        }
        return true;
    };

    int buffer_fd;
    do {
        buffer_fd = ::open(buffer.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    } while (buffer_fd < 0 && errno == EINTR);
    if (buffer_fd >= 0) {
        segment_bytes += descriptor_size(buffer_fd);
        std::vector<std::uint8_t> block(copy_block);
        off_t offset = 0;
        for (;;) {
            const ssize_t n = ::read(buffer_fd, block.data(), block.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                error = errno;
                what = "cannot read " + buffer.string();
                break;
            }
            if (n == 0 || !append(block.data(), static_cast<std::size_t>(n))) break;
            // The copied block's space is given back at once, so that a
            // nearly full disk needs room for one block, not for the whole
            // segment twice. The buffer is deleted after the copy anyway;
            // where holes are not supported this does nothing.
            [[maybe_unused]] const int punched = ::fallocate(
                buffer_fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, offset, n);
            offset += n;
        }
        close_descriptor(buffer_fd);
    } else if (errno != ENOENT) {
        error = errno;
        what = "cannot open " + buffer.string();
    }
    // Samples the buffer file refused follow its contents directly.
    if (error == 0 && !tail.empty()) append(tail.data(), tail.size());

    // Only whole samples stay: a partial one would shift every later
    // position of the segment.
    const std::uint64_t kept = appended / static_cast<std::uint64_t>(width) *
                               static_cast<std::uint64_t>(width);
    if (kept != appended &&
        ::ftruncate(track_fd, static_cast<off_t>(original + kept)) != 0 && error == 0) {
        error = errno;
        what = "cannot cut " + track.string() + " back to whole samples";
    }
    if (appended > 0 && ops_.sync(track_fd) != 0 && error == 0) {
        error = errno;
        what = "cannot synchronise " + track.string();
    }
    result.size = descriptor_size(track_fd);
    close_descriptor(track_fd);
    ::unlink(buffer.c_str());
    if (error == 0 && appended > 0) failing_ = false;
    if (error != 0) {
        result.ok = false;
        fail(error, step,
             what + " (" + std::to_string(kept) + " of " + std::to_string(segment_bytes) +
                 " bytes of the segment in " + buffer.filename().string() + " kept)");
    }
    return result;
}

bool Tracks::append_index(const std::filesystem::path& index, const std::string& text, int step) {
    const int fd = ops_.open(index.c_str(), O_WRONLY | O_CREAT | O_APPEND, file_mode);
    if (fd < 0) {
        fail(errno, step, "cannot open " + index.string());
        return false;
    }
    const std::uint64_t original = descriptor_size(fd);
    std::size_t done = 0;
    while (done < text.size()) {
        const long n = ops_.write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            // Half a group would be misread: the index goes back to what it was.
            if (done > 0) {
                [[maybe_unused]] const int cut = ::ftruncate(fd, static_cast<off_t>(original));
            }
            close_descriptor(fd);
            fail(error, step, "cannot write " + index.string());
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (ops_.sync(fd) != 0) {
        fail(errno, step, "cannot synchronise " + index.string());
    } else {
        failing_ = false;
    }
    close_descriptor(fd);
    return true;
}

void Tracks::write_chunk_out(int channel) {
    Segment& s = segment(channel);
    if (failing_) {
        // The disk refused data lately: the periodic sync tries again, so
        // that a full disk does not cost a system call per sample.
        if (s.waiting.size() >= max_waiting) s.accepting = false;
        return;
    }
    write_waiting(channel, step_append);
    deliver_report();
}

bool Tracks::write_waiting(int channel, int step) {
    Segment& s = segment(channel);
    if (s.waiting.empty()) return true;
    if (s.fd < 0) {
        const auto buffer = file_path(s.name, TrackFile::buffer, channel);
        s.fd = ops_.open(buffer.c_str(), O_WRONLY | O_CREAT | O_TRUNC, file_mode);
        if (s.fd < 0) {
            if (s.waiting.size() >= max_waiting) s.accepting = false;
            fail(errno, step, "cannot create " + buffer.string());
            return false;
        }
    }
    std::size_t done = 0;
    int error = 0;
    while (done < s.waiting.size()) {
        const long n = ops_.write(s.fd, s.waiting.data() + done, s.waiting.size() - done);
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    s.unsynced += done;
    if (error == 0) {
        s.waiting.clear();
        failing_ = false;
        return true;
    }
    s.waiting.erase(s.waiting.begin(), s.waiting.begin() + static_cast<std::ptrdiff_t>(done));
    std::string what = "cannot write " + file_path(s.name, TrackFile::buffer, channel).string();
    if (s.waiting.size() >= max_waiting && s.accepting) {
        s.accepting = false;
        what += "; channel " + std::to_string(channel) + " logs nothing until the next segment";
    }
    fail(error, step, what);
    return false;
}

void Tracks::sync_if_due() {
    const std::int64_t now = context_.clock.monotonic_ms();
    if (now - last_sync_ms_ < sync_interval_ms) return;
    last_sync_ms_ = now;
    sync_all(step_append);
    deliver_report();
}

void Tracks::sync_all(int step) {
    for (int channel = 1; channel <= 4; ++channel) {
        Segment& s = segment(channel);
        if (!s.open || !write_waiting(channel, step)) continue;
        if (s.fd >= 0 && s.unsynced > 0) {
            if (ops_.sync(s.fd) != 0)
                fail(errno, step,
                     "cannot synchronise " + file_path(s.name, TrackFile::buffer, channel).string());
            else
                s.unsynced = 0;
        }
    }
}

void Tracks::warn_if_disk_low() {
    const auto free = context_.disk.free_bytes(context_.station_folder);
    if (!free) return;  // unknown: nothing to warn about
    const std::uint64_t kilobytes = *free / 1000;
    if (kilobytes <= low_space_kilobytes)
        context_.event_list.append("Warning! Disk space low: " + std::to_string(kilobytes));
}

void Tracks::fail(int error, int step, const std::string& what) {
    const std::string why = error == ELOOP
                                ? "it is a symbolic link, which the program does not follow"
                                : std::system_category().message(error);
    fail_text(error_number_of(error), step, what + ": " + why);
}

void Tracks::fail_text(int error_number, int step, const std::string& detail) {
    ++failure_count_;
    const std::int64_t now = context_.clock.monotonic_ms();
    const bool report = !failing_ && !pending_report_ &&
                        (!reported_once_ || now - last_report_ms_ >= report_gap_ms);
    failing_ = true;
    if (!report) return;
    reported_once_ = true;
    last_report_ms_ = now;
    pending_report_ = PendingReport{error_number, step, detail};
}

void Tracks::deliver_report() {
    if (!pending_report_) return;
    const PendingReport report = std::move(*pending_report_);
    pending_report_.reset();
    context_.error_report.report(report.error_number, report.step, std::string(error_place),
                                 report.detail);
}

}  // namespace tw::datalog
