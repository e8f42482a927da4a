#include "events/event_file.h"

#include "config/number_text.h"
#include "config/tables.h"
#include "events/event_texts.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tw::events {

namespace {

template <std::size_t N>
std::string table_entry(const std::array<std::string_view, N>& table, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= N) return {};
    return std::string(table[static_cast<std::size_t>(index)]);
}

// t followed by blanks, cut to n characters.
std::string pad(std::string_view t, std::size_t n) {
    std::string out(t.substr(0, std::min(t.size(), n)));
    out.resize(n, ' ');
    return out;
}

void add_line(std::string& out, std::string_view a, std::string_view b = {}) {
    out.append(a);
    out.append(b);
    out.append("\r\n");
}

void add_count_line(std::string& out, const HeaderFields& f) {
    if (f.cut_from_track) {
        add_line(out, "Number of Samples: ", std::to_string(f.samples));
    } else {
        add_line(out, "Number of Samples: %%%%%%%%%% ");
    }
}

void add_track_range_lines(std::string& out, bool eighteen) {
    if (eighteen) {
        add_line(out, "A/D Converter Bits: 18 ");
        add_line(out, "Data Minimum: -131072 ");
        add_line(out, "Data Maximum: 131071 ");
    } else {
        add_line(out, "A/D Converter Bits: 16 ");
        add_line(out, "Data Minimum: -32768 ");
        add_line(out, "Data Maximum: 32767 ");
    }
}

bool write_all(int fd, const char* data, std::size_t size, int& saved_errno) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            saved_errno = errno;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int error_number_of_errno(int errno_value) {
    switch (errno_value) {
        case ENOENT:
        case ENOTDIR:
            return 76;  // path not found
        case EACCES:
        case EPERM:
            return 70;  // permission denied
        case EROFS:
        case EISDIR:
            return 75;  // path/file access error
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return 61;  // disk full
        case EMFILE:
        case ENFILE:
            return 67;  // too many files
        default:
            return 57;  // device I/O error
    }
}

FileError file_error(std::string_view what, const std::filesystem::path& path, int errno_value) {
    FileError e;
    e.error_number = error_number_of_errno(errno_value);
    e.detail = std::string(what) + " " + path.string() + ": " + std::strerror(errno_value);
    return e;
}

HeaderFields header_fields(const config::Settings& settings, int channel,
                           std::string_view start_text, std::string_view lock_state,
                           std::string_view board_reply) {
    const config::ChannelSettings& cs = settings.channel(channel);
    const config::GeneralSettings& g = settings.general;
    HeaderFields f;
    f.event_format = g.event_format;
    f.start_text = start_text;
    f.rate = config::sps_value(cs.sps_code);
    f.ad_type = g.ad_type;
    f.lock_state = lock_state;
    f.sync_source_text = settings.sync_source_text;
    f.location = g.location;
    f.coordinates = g.coordinates;
    f.elevation = g.elevation;
    f.axis_code = cs.axis_code;
    f.sensor_type = cs.sensor_type;
    f.measure_unit = cs.measure_unit;
    f.data_output_factor = cs.data_output_factor;
    f.mag_corr_terms = cs.mag_corr_terms;
    f.board_reply = board_reply;
    return f;
}

CoordinateParts split_coordinates(std::string_view coordinates) {
    const auto n = coordinates.find('N');
    if (n == std::string_view::npos) return {{}, std::string(coordinates)};
    return {std::string(coordinates.substr(0, n + 1)), std::string(coordinates.substr(n + 1))};
}

std::string plain_ascii_longitude(std::string_view coordinates) {
    const auto n = coordinates.find('N');
    std::string lon;
    if (n == std::string_view::npos) {
        lon = coordinates;
    } else if (n + 2 < coordinates.size()) {
        lon = coordinates.substr(n + 2);
    }
    if (lon.size() > 1) lon.pop_back();
    return lon;
}

std::string event_header(const HeaderFields& f) {
    const std::string rate2 = fixed_number_text(f.rate, 2, 0);
    const std::string axis = table_entry(config::axis_names, f.axis_code);
    const CoordinateParts coo = split_coordinates(f.coordinates);
    const bool eighteen = f.ad_type == config::orda20;
    std::string h;
    h.reserve(1024);

    if (f.event_format == plain_ascii) {
        std::string start = f.start_text + ".000";
        h += start.substr(0, std::min<std::size_t>(start.size(), 23));
        h += ' ';
        h += f.cut_from_track ? sample_count_text(plain_ascii, f.samples)
                              : std::string(sample_count_placeholder);
        h += ' ';
        h += fixed_number_text(f.rate, 3, 0);
        h += ' ';
        h += f.lock_state.substr(0, std::min<std::size_t>(f.lock_state.size(), 1));
        h += ' ';
        h += f.sync_source_text;
        h += f.cut_from_track && eighteen ? " 18" : " 16";
        h += ' ' + pad(f.location, 16);
        h += ' ' + pad(coo.latitude, 7);
        h += ' ' + pad(plain_ascii_longitude(f.coordinates), 7);
        h += ' ' + fixed_number_text(config::number_scan(f.elevation), 4, 0);
        h += ' ' + pad(axis, 1);
        h += ' ' + pad(f.mag_corr_terms[0], 8);
        h += ' ' + pad(table_entry(config::sensor_types, f.sensor_type), 13);
        h += ' ' + pad(config::signed_number_text(f.data_output_factor), 13);
        h += ' ' + pad(table_entry(config::unit_names, f.measure_unit), 2);
        h += "\r\n";
        return h;
    }

    if (f.event_format == psn_ascii_2) {
        add_line(h, "! PSN ASCII Event File Format 2.0 ");
        add_line(h, "Start Time: ", f.start_text + ".000 ");
        add_count_line(h, f);
        add_line(h, "SPS: ", rate2);
        add_line(h, "Lock Indicator: ", f.lock_state);
        add_line(h, "Time Reference Type: ", f.sync_source_text);
        add_line(h, "Comment: ");
        if (f.cut_from_track) {
            add_track_range_lines(h, eighteen);
        } else if (eighteen) {
            add_line(h, "A/D Converter Bits: 18 ");
            add_line(h, "Data Minimum: -131072");
            add_line(h, "Data Maximum: 131071");
        } else {
            add_line(h, "A/D Converter Bits: 16 ");
            add_line(h, "Data Minimum: -32768");
            add_line(h, "Data Maximum: +32767");
        }
        add_line(h, "! Sensor Information: ");
        add_line(h, "Sensor Location: ", f.location);
        add_line(h, f.cut_from_track ? "Sensor description: " : "Sensor Description: ");
        add_line(h, "Sensor Latitude: ", coo.latitude);
        add_line(h, "Sensor Longitude: ", coo.longitude);
        add_line(h, "Sensor Elevation: ", f.elevation);
        add_line(h, "Sensor Orientation: ", axis);
        add_line(h, "Sensor Incident: 90");
        add_line(h, "Sensor Azimuth: 90");
        add_line(h, "Sensor Type: ", table_entry(config::sensor_types, f.sensor_type));
        add_line(h, "Sensor Measurement Unit: ", table_entry(config::unit_names, f.measure_unit));
        add_line(h, "Sensor Sensitivity: ", config::signed_number_text(f.data_output_factor));
        add_line(h, "Sensor ID: ");
        add_line(h, "Magnitude Correction: ", f.mag_corr_terms[0]);
        add_line(h, "Component Name: ");
        add_line(h, "Network Affiliation: ");
        add_line(h, "Datalogger: ", f.board_reply);
        add_line(h, "Data:");
        return h;
    }

    // PSN 1.0 (also for a format number outside the list). It always
    // declares 16 bits, also for the 18-bit board.
    add_line(h, "! PSN ASCII Event File Format 1.0 ");
    add_line(h, "Start Time: ", f.start_text + (f.cut_from_track ? ".0 " : ".000 "));
    add_count_line(h, f);
    add_line(h, "SPS: ", rate2);
    add_line(h, "Comment: ");
    if (f.cut_from_track) {
        add_track_range_lines(h, eighteen);
    } else {
        add_line(h, "A/D Converter Bits: 16 ");
        add_line(h, "Data Minimum: -32768");
        add_line(h, "Data Maximum: +32767");
    }
    add_line(h, "! Sensor Information: ");
    add_line(h, "Sensor Location: ", f.location);
    add_line(h, "Sensor Latitude: ", coo.latitude);
    add_line(h, "Sensor Longitude: ", coo.longitude);
    add_line(h, "Sensor Orientation: ", axis);
    add_line(h, "! Event Information: ");
    add_line(h, "Event Latitude: ");
    add_line(h, "Event Longitude: ");
    add_line(h, "Event Time: ");
    add_line(h, "Event Magnitude: ");
    add_line(h, "Event Depth: ");
    add_line(h, "! WinQuake Information: ");
    add_line(h, "Magnitude Correction: ", f.mag_corr_terms[0]);
    add_line(h, "Mb Magnitude Correction: ", f.mag_corr_terms[1]);
    add_line(h, "Ms Period: ", f.mag_corr_terms[2]);
    add_line(h, "Mb Period: ", f.mag_corr_terms[3]);
    add_line(h, "Md Duration: ", f.mag_corr_terms[4]);
    add_line(h, "PS Pick Information: ");
    add_line(h, "! SDR Information: ");
    add_line(h, "Lock Indicator: ", f.lock_state);
    add_line(h, "Data:");
    return h;
}

std::string sample_count_text(int event_format, std::uint64_t samples) {
    if (event_format == plain_ascii) {
        return fixed_number_text(static_cast<double>(samples), 10, 0).substr(0, 10);
    }
    return pad(config::signed_number_text(static_cast<double>(samples)), 10);
}

std::vector<std::int32_t> pre_event_section(std::span<const std::int32_t> ring, int n, int p,
                                            int skip) {
    const int capacity = static_cast<int>(ring.size());
    n = std::clamp(n, 0, capacity);
    p = std::clamp(p, 1, std::max(capacity, 1));
    std::vector<std::int32_t> out;
    out.reserve(static_cast<std::size_t>(std::max(n, p)));
    int remaining_skip = skip;
    auto take = [&](int position) {
        if (remaining_skip > 1) {
            --remaining_skip;
            return;
        }
        out.push_back(ring[static_cast<std::size_t>(position - 1)]);
    };
    for (int i = p + 1; i <= n; ++i) take(i);
    for (int i = 1; i <= p - 1; ++i) take(i);
    return out;
}

int pre_event_skip(double rate, std::string_view millis_text) {
    if (!(rate >= 10)) return 0;
    const double f = config::number_scan(millis_text);
    // Evaluated in exactly this order: at 50 per second and f = 0.4 the
    // product is 28.999999999999996, so the skip is 28.
    const double k0 = std::floor(((1 / rate) * (rate - 1) - f) * rate);
    if (!std::isfinite(k0)) return 0;
    return static_cast<int>(std::clamp(k0, -1.0e9, 1.0e9));
}

ShortPreEvent short_pre_event(std::int64_t available, double rate, std::string_view millis_text) {
    ShortPreEvent out;
    if (available <= 0) return out;
    out.keep = static_cast<int>(std::min<std::int64_t>(available, 1'000'000'000));
    if (!(rate > 0) || !std::isfinite(rate)) return out;
    // Samples of the trigger's second before the triggering one.
    const double before_in_second = std::nearbyint(config::number_scan(millis_text) * rate);
    const double older = static_cast<double>(available - 1) - before_in_second;
    if (!(older >= 0)) return out;
    const double seconds = std::floor(older / rate);
    out.seconds_before = static_cast<int>(std::min(seconds, 1.0e6));
    out.keep = static_cast<int>(
        std::min<double>(before_in_second + std::nearbyint(seconds * rate) + 1, out.keep));
    return out;
}

EventFile::~EventFile() {
    if (fd_ >= 0) ::close(fd_);
}

namespace {

// "030203.123257.z2" is taken: "030203.123257_2.z2", "_3", ... keep the
// time and the extension readable.
std::filesystem::path numbered_name(const std::filesystem::path& path, int number) {
    const std::string name = path.filename().string();
    const auto dot = name.rfind('.');
    const bool has_extension = dot != std::string::npos && dot > name.find('.');
    const std::string stem = has_extension ? name.substr(0, dot) : name;
    const std::string extension = has_extension ? name.substr(dot) : std::string();
    return path.parent_path() / (stem + "_" + std::to_string(number) + extension);
}

bool is_symbolic_link(const std::filesystem::path& path) {
    std::error_code ignored;
    return std::filesystem::is_symlink(std::filesystem::symlink_status(path, ignored));
}

}  // namespace

bool EventFile::open(const std::filesystem::path& path, std::string header) {
    close();
    path_ = path;
    failed_ = false;
    error_ = {};
    notice_.clear();
    lines_on_disk_ = 0;
    bytes_on_disk_ = 0;
    pending_lines_ = 0;
    header_size_ = 0;
    // A new file of our own: never an earlier event's file, and never through
    // a link planted under the name.
    for (int number = 1; number <= max_same_name; ++number) {
        const auto candidate = number == 1 ? path : numbered_name(path, number);
        fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd_ >= 0) {
            path_ = candidate;
            break;
        }
        const int saved_errno = errno;
        if (saved_errno != EEXIST) {
            failed_ = true;
            error_ = file_error("cannot create", candidate, saved_errno);
            return false;
        }
        if (is_symbolic_link(candidate) && notice_.empty()) {
            notice_ = candidate.string() + " is a symbolic link: not followed, the event is written beside it";
        }
    }
    if (fd_ < 0) {
        failed_ = true;
        error_ = file_error("cannot create", path, EEXIST);
        return false;
    }
    const auto at = header.find(sample_count_placeholder);
    placeholder_offset_ = at == std::string::npos ? 0 : at;
    // The header goes to the file at once: a run killed during the event
    // leaves a file that says what it holds.
    int saved_errno = 0;
    if (!write_all(fd_, header.data(), header.size(), saved_errno)) {
        failed_ = true;
        error_ = file_error("cannot write", path_, saved_errno);
        return true;
    }
    header_size_ = header.size();
    bytes_on_disk_ = header.size();
    buffer_.clear();
    if (buffer_.capacity() < block_size + 64) buffer_.reserve(block_size + 64);
    return true;
}

void EventFile::append_sample(std::int32_t value) {
    if (fd_ < 0 || failed_) return;
    char text[16];
    char* p = text;
    if (value >= 0) *p++ = ' ';
    p = std::to_chars(p, text + sizeof text - 2, value).ptr;
    *p++ = '\r';
    *p++ = '\n';
    buffer_.append(text, p);
    ++pending_lines_;
    if (buffer_.size() >= block_size) flush();
}

void EventFile::append_line(std::string_view text) {
    if (fd_ < 0 || failed_) return;
    buffer_.append(text);
    buffer_.append("\r\n");
    ++pending_lines_;
    if (buffer_.size() >= block_size) flush();
}

bool EventFile::flush() {
    if (fd_ < 0 || failed_) return !failed_;
    if (buffer_.empty()) return true;
    std::size_t written = 0;
    int saved_errno = 0;
    while (written < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + written, buffer_.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            saved_errno = n < 0 ? errno : ENOSPC;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    if (written < buffer_.size()) {
        // A full disk: the file keeps every whole line that reached it, and
        // nothing more is written to it.
        const std::string_view taken(buffer_.data(), written);
        const auto last_end = taken.rfind('\n');
        const std::size_t kept = last_end == std::string_view::npos ? 0 : last_end + 1;
        if (kept < written) {
            [[maybe_unused]] const int cut =
                ::ftruncate(fd_, static_cast<off_t>(bytes_on_disk_ + kept));
        }
        bytes_on_disk_ += kept;
        lines_on_disk_ += static_cast<std::uint64_t>(
            std::count(taken.begin(), taken.begin() + static_cast<std::ptrdiff_t>(kept), '\n'));
        failed_ = true;
        error_ = file_error("cannot write", path_, saved_errno);
        buffer_.clear();
        pending_lines_ = 0;
        return false;
    }
    bytes_on_disk_ += buffer_.size();
    lines_on_disk_ += pending_lines_;
    pending_lines_ = 0;
    buffer_.clear();
    return true;
}

bool EventFile::close() {
    if (fd_ < 0) return true;
    flush();
    if (::close(fd_) != 0 && !failed_) {
        failed_ = true;
        error_ = file_error("cannot close", path_, errno);
    }
    fd_ = -1;
    return !failed_;
}

bool patch_sample_count(const std::filesystem::path& path, std::size_t offset,
                        std::string_view text, FileError* error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = file_error("cannot reopen", path, errno);
        return false;
    }
    bool ok = true;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::pwrite(fd, text.data() + done, text.size() - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            if (error) *error = file_error("cannot patch", path, errno);
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && ok) {
        if (error) *error = file_error("cannot patch", path, errno);
        ok = false;
    }
    return ok;
}

namespace {

bool write_file(const std::filesystem::path& path, const std::string& bytes, const char* mode,
                FileError* error) {
    std::FILE* out = std::fopen(path.c_str(), mode);
    if (!out) {
        if (error) *error = file_error("cannot write", path, errno);
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    int saved_errno = errno;
    if (std::fclose(out) != 0 && ok) {
        ok = false;
        saved_errno = errno;
    }
    if (!ok && error) *error = file_error("cannot write", path, saved_errno);
    return ok;
}

}  // namespace

int update_event_counter(const std::filesystem::path& path, int channel,
                         const std::array<std::string, 4>& start_texts, FileError* error) {
    const std::size_t k = static_cast<std::size_t>(std::clamp(channel, 1, 4) - 1);
    auto date_of = [](const std::string& text) { return text.substr(0, std::min<std::size_t>(text.size(), 10)); };
    std::array<std::string, 4> dates;
    std::array<double, 4> counts{};
    std::string out;

    std::ifstream in(path, std::ios::binary);
    if (in) {
        std::array<std::string, 8> lines;
        std::string line;
        for (auto& l : lines) {
            if (!std::getline(in, line)) break;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            l = line;
        }
        for (std::size_t c = 0; c < 4; ++c) {
            dates[c] = lines[2 * c];
            counts[c] = config::number_scan(lines[2 * c + 1]);
        }
        const std::string date = date_of(start_texts[k]);
        if (dates[k] != date) {
            counts[k] = 0;
            dates[k] = date;
        } else {
            counts[k] += 1;
        }
        for (std::size_t c = 0; c < 4; ++c) {
            add_line(out, dates[c]);
            add_line(out, config::signed_number_text(counts[c]));
        }
    } else {
        for (std::size_t c = 0; c < 4; ++c) {
            add_line(out, date_of(start_texts[c]));
            add_line(out, "0");
        }
    }
    in.close();
    if (!write_file(path, out, "wb", error)) return -1;
    return static_cast<int>(std::clamp(counts[k], 0.0, 2.0e9));
}

bool append_text_line(const std::filesystem::path& path, std::string_view line, FileError* error) {
    std::string bytes(line);
    bytes += "\r\n";
    return write_file(path, bytes, "ab", error);
}

}  // namespace tw::events
