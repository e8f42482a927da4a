#pragma once
// Event files: the header in one of the three formats (PSN ASCII 1.0, PSN
// ASCII 2.0, the plain ASCII form with a one-line header), the pre-event
// section taken from the channel's pre-event ring, one line per sample, and
// the final sample count written over the placeholder of the header once the
// file is closed. Also the per-channel event counter file "numevt.dat".

#include "config/settings.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tw::events {

// Values of `event_format`.
inline constexpr int psn_ascii_1 = 0;
inline constexpr int psn_ascii_2 = 1;
inline constexpr int plain_ascii = 2;

// The ten characters the final sample count replaces.
inline constexpr std::string_view sample_count_placeholder = "%%%%%%%%%%";

// Why a file operation failed: the program's error number (61 disk full,
// 70 permission denied, 76 path not found, 57 device I/O error, ...) and
// what failed on which file.
struct FileError {
    int error_number = 0;
    std::string detail;
};
// The program's error number for an errno value.
int error_number_of_errno(int errno_value);
FileError file_error(std::string_view what, const std::filesystem::path& path, int errno_value);

// Everything a header shows.
struct HeaderFields {
    int event_format = psn_ascii_1;  // a value outside 0..2 writes PSN 1.0
    std::string start_text;          // "YYYY/MM/DD HH:MM:SS"
    double rate = 0;                 // samples per second
    int ad_type = 0;                 // 1: the 18-bit board
    std::string lock_state;          // "NL" or "L"
    std::string sync_source_text;    // "DCF" or "GPS"
    std::string location;
    std::string coordinates;  // "14.39N 12.33E"
    std::string elevation;
    int axis_code = 0;
    int sensor_type = 0;
    int measure_unit = 0;
    double data_output_factor = 0;
    std::array<std::string, 5> mag_corr_terms;
    std::string board_reply;  // "ORDA V.1.80"
    // A stretch cut from the day tracks: its sample count is known and
    // written at once ("Number of Samples: 6000", ten digits in the one-line
    // header), the PSN 1.0 start time ends in ".0 ", the range lines follow
    // the board in both PSN versions with a trailing blank and no plus sign,
    // and PSN 2.0 writes "Sensor description: ".
    bool cut_from_track = false;
    std::uint64_t samples = 0;  // the count written when cut_from_track
};

// The fields of channel k's live event header.
HeaderFields header_fields(const config::Settings& settings, int channel,
                           std::string_view start_text, std::string_view lock_state,
                           std::string_view board_reply);

// Latitude: `coordinates` up to and including the first "N"; longitude: what
// follows it. Without "N" the latitude is empty and the longitude the whole
// text.
struct CoordinateParts {
    std::string latitude;
    std::string longitude;
};
CoordinateParts split_coordinates(std::string_view coordinates);
// The longitude of the one-line header: the separator after the "N" is
// skipped and the hemisphere letter dropped ("14.39N 12.33E" gives 12.33).
std::string plain_ascii_longitude(std::string_view coordinates);

// The header's bytes, CR LF line ends, the sample count as the placeholder.
std::string event_header(const HeaderFields& fields);
// The ten characters written over the placeholder: the signed number text
// padded with blanks for the PSN formats (" 12345    "), ten digits for the
// plain ASCII form ("0000012345").
std::string sample_count_text(int event_format, std::uint64_t samples);

// The pre-event section. `n` is pre_event_samples (limited to the ring), `p`
// the channel's ring_position (the next position to write, 1..n; the
// triggering sample sits at p - 1). The samples are positions p+1..n, then
// 1..p-1 (n - 1 samples ending with the triggering sample), of which the
// first `skip - 1` are dropped.
std::vector<std::int32_t> pre_event_section(std::span<const std::int32_t> ring, int n, int p,
                                            int skip);
// A pre-event section soon after START, when only `available` samples (the
// triggering one included) were taken since then, fewer than the section
// would hold: the `keep` newest samples are written, and the first of them
// lies `seconds_before` whole seconds before the triggering sample's second,
// which makes the header's Start Time the time of the first sample. When
// not even the trigger's own second began after START, every available
// sample is kept and the Start Time is the trigger's second.
struct ShortPreEvent {
    int keep = 0;
    int seconds_before = 0;
};
ShortPreEvent short_pre_event(std::int64_t available, double rate, std::string_view millis_text);
// The alignment skip k0 of the section: at 10 samples per second and above,
// floor(((1 / rate) x (rate - 1) - f) x rate) with f the value of the
// triggering sample's `millis_text` (".400" is 0.4); 0 below 10.
int pre_event_skip(double rate, std::string_view millis_text);

// One open event file. The header is written when the file is opened; the
// sample lines are kept in a buffer and written in blocks (and whenever
// flush() is called). When a write fails the file keeps the whole lines that
// reached it and nothing more is written to it.
class EventFile {
public:
    EventFile() = default;
    EventFile(const EventFile&) = delete;
    EventFile& operator=(const EventFile&) = delete;
    ~EventFile();

    // Creates a new file at `path` and writes `header`. An existing file (an
    // earlier event of the same second, a file left by an earlier run, or a
    // planted link, which is never followed) is never overwritten: the event
    // goes to "<name>_2.<ext>", "_3", ... instead (path() says which, notice()
    // why). False when no file could be created (error()).
    bool open(const std::filesystem::path& path, std::string header);
    // One data line: the signed number text of the value.
    void append_sample(std::int32_t value);
    // One data line as it stands, CR LF added ("0" where a stretch cut from
    // the tracks holds nothing recorded).
    void append_line(std::string_view text);
    // Writes the buffer. False when this or an earlier write failed.
    bool flush();
    // Flushes and closes; false when anything failed. Closing a file that is
    // not open does nothing and returns true.
    bool close();

    bool is_open() const { return fd_ >= 0; }
    // A write failed since open(); error() says why.
    bool failed() const { return failed_; }
    const FileError& error() const { return error_; }
    // Set by open() when a symbolic link stood under the name.
    const std::string& notice() const { return notice_; }
    const std::filesystem::path& path() const { return path_; }
    // Sample lines known to be on disk (the header excluded).
    std::uint64_t lines_on_disk() const { return lines_on_disk_; }
    // The header reached the disk whole.
    bool header_on_disk() const { return header_size_ > 0; }
    // Offset of the placeholder in the file.
    std::size_t placeholder_offset() const { return placeholder_offset_; }

    // Buffer size that triggers a write.
    static constexpr std::size_t block_size = 64 * 1024;
    // Names tried for one event before giving up.
    static constexpr int max_same_name = 100;

private:
    int fd_ = -1;
    std::filesystem::path path_;
    std::string buffer_;
    std::uint64_t pending_lines_ = 0;
    std::uint64_t lines_on_disk_ = 0;
    std::uint64_t bytes_on_disk_ = 0;
    std::size_t header_size_ = 0;
    std::size_t placeholder_offset_ = 0;
    bool failed_ = false;
    FileError error_;
    std::string notice_;
};

// Writes `text` (ten characters) over the placeholder at `offset` of a closed
// file; nothing else of the file changes. False with the reason in `error`.
bool patch_sample_count(const std::filesystem::path& path, std::size_t offset,
                        std::string_view text, FileError* error);

// The event counter file, eight lines: for channels 1..4 a date
// "YYYY/MM/DD" and that day's event count. At an event start of channel k:
// an existing file gets k's count reset to 0 with the new date when the date
// differs, else increased by 1, and is rewritten with " N" counts; a missing
// file is created with each channel's date from `start_texts` (empty for a
// channel without an event yet) and "0" counts. Returns the channel's new
// count, or -1 with the reason in `error`.
int update_event_counter(const std::filesystem::path& path, int channel,
                         const std::array<std::string, 4>& start_texts, FileError* error);

// Appends one line (CR LF added) to a text file, creating it when missing.
bool append_text_line(const std::filesystem::path& path, std::string_view line, FileError* error);

}  // namespace tw::events
