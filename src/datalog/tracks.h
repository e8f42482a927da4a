#pragma once
// Continuous datalogging: every channel whose logging is on is written around
// the clock into its day track files (see track_format.h for the files).
//
// The acquisition run calls this at four points:
// - track_boundary_check() once per pass of its loop, before the next packet
//   is read: at a segment boundary every open segment is flushed into its day
//   track and a new one is started (START group in the day index);
// - track_append_sample() for every conditioned sample;
// - track_close_all() at STOP: the last segments are flushed and STOP groups
//   written;
// - track_restart() when the board is re-initialised inside a run.
//
// Writing is buffered in memory. The segment buffer file receives the
// waiting samples whenever 64 KiB have gathered and is synchronised to the
// device at least every `sync_interval_ms` (checked at each new board second
// and by sync_if_due()), so a power cut loses only the last seconds. At every
// boundary and at STOP the files on disk are complete.
//
// A file that cannot be written (a full disk, a failing device) is reported
// through the error report with the file and the reason, once per episode;
// logging goes on and resumes by itself when the disk takes data again. The
// index never points past the end of its track: a START group is written only
// after the track's size has been taken, a track that could not take a whole
// segment is cut back to its last whole sample, and an index group that could
// not be written whole is removed again.

#include "config/settings.h"
#include "datalog/file_ops.h"
#include "datalog/track_format.h"
#include "platform/clock.h"
#include "platform/disk.h"
#include "supervision/error_report.h"
#include "supervision/event_list.h"

#include <array>
#include <concepts>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::datalog {

// What the tracks need from the station.
struct TracksContext {
    const config::Settings& settings;
    std::filesystem::path datalog_folder;  // "datalog" in the station folder
    std::filesystem::path station_folder;  // its file system's free space is watched
    supervision::EventList& event_list;
    supervision::ErrorReport& error_report;
    const platform::Disk& disk;
    const platform::Clock& clock;          // monotonic time for the periodic sync
    FileOps* file_ops = nullptr;           // nullptr: the real files
};

// The board time as the boundary test needs it (the board clock's state).
struct TrackTime {
    std::string_view board_date_time;  // "YYYY/MM/DD HH:MM:SS" of the last time packet
    double seconds_of_day = 0;         // of the same packet
    bool time_base_ready = false;      // the board's first second boundary has been seen
};

// Any board time record with those three fields (the board clock's BoardTime).
template <class T>
concept BoardTimeRecord = requires(const T& t) {
    { t.board_date_time } -> std::convertible_to<std::string_view>;
    { t.seconds_of_day } -> std::convertible_to<double>;
    { t.time_base_ready } -> std::convertible_to<bool>;
};

class Tracks {
public:
    // The buffer file is synchronised to the device at least this often.
    static constexpr std::int64_t sync_interval_ms = 2000;
    // Waiting samples are written to the buffer file once this many bytes
    // have gathered.
    static constexpr std::size_t write_chunk = 64 * 1024;
    // While the disk refuses data, at most this many bytes per channel wait
    // in memory (about 40 minutes at 200 samples per second, 18-bit); beyond
    // that the segment takes no more samples until the next boundary, so
    // that no sample is written at a position that belies its time.
    static constexpr std::size_t max_waiting = 8 * 1024 * 1024;
    // The daily warning is given at or below this many free kilobytes.
    static constexpr std::uint64_t low_space_kilobytes = 100000;
    // Failures are reported at most once per this many milliseconds.
    static constexpr std::int64_t report_gap_ms = 60000;
    // Place name and step codes handed to the error report.
    static constexpr std::string_view error_place = "START";
    static constexpr int step_boundary = 306;
    static constexpr int step_append = 315;
    static constexpr int step_close = 331;
    static constexpr int step_restart = 307;

    explicit Tracks(TracksContext context);
    // Writes what waits in memory into the buffer files, which stay on disk
    // as an interrupted segment (no flush into the day track, no STOP group).
    ~Tracks();
    Tracks(const Tracks&) = delete;
    Tracks& operator=(const Tracks&) = delete;

    // START: every segment name is emptied and the last boundary minute is
    // -1, so the first pass with the time base ready opens new segments.
    void start_run();

    // Once per loop pass. A boundary falls on the first pass after START
    // once the time base is ready, and then whenever the minute of day is a
    // multiple of the flush period (counted from midnight) other than the
    // minute of the last boundary.
    void track_boundary_check(const TrackTime& time);
    template <BoardTimeRecord T>
    void track_boundary_check(const T& board_time) {
        track_boundary_check(TrackTime{board_time.board_date_time, board_time.seconds_of_day,
                                       static_cast<bool>(board_time.time_base_ready)});
    }

    // One conditioned sample of channel 1..4. Logged when the channel's
    // logging is on, a segment is open and the time base is ready (as seen
    // by the last boundary check).
    void track_append_sample(int channel, std::int32_t conditioned_sample) {
        if (channel < 1 || channel > 4) return;
        Segment& segment = segments_[static_cast<std::size_t>(channel - 1)];
        if (!segment.accepting || !time_base_ready_ ||
            context_.settings.channels[static_cast<std::size_t>(channel - 1)].logging_enabled <= 0)
            return;
        std::uint8_t bytes[4];
        encode_track_sample(conditioned_sample, segment.width, bytes);
        segment.waiting.insert(segment.waiting.end(), bytes, bytes + segment.width);
        if (segment.waiting.size() >= write_chunk) write_chunk_out(channel);
    }

    // STOP: every open segment is flushed into its day track and the STOP
    // group ("STOP  :" + board_date_time, "POSIT :" + last byte) is appended
    // to its index. Segment names stay as they are until the next START.
    void track_close_all(std::string_view board_date_time);
    template <BoardTimeRecord T>
    void track_close_all(const T& board_time) {
        track_close_all(std::string_view(board_time.board_date_time));
    }

    // The board or the acquisition is re-initialised inside a run (a board
    // that fell silent, a port that came back): the open segments end here,
    // flushed into their day tracks with their STOP groups at the time of the
    // last time packet, and new segments start at the first time packet
    // after the restart, with START groups at its time.
    void track_restart(const TrackTime& time);
    template <BoardTimeRecord T>
    void track_restart(const T& board_time) {
        track_restart(TrackTime{board_time.board_date_time, board_time.seconds_of_day,
                                static_cast<bool>(board_time.time_base_ready)});
    }

    // Writes and synchronises the waiting samples of every open segment when
    // the last synchronisation is `sync_interval_ms` or more ago. Called at
    // every new board second by the boundary check; the housekeeping tick
    // calls it too, so a silent board does not hold samples back.
    void sync_if_due();

    // Appends the segment buffer file to the day track (whole samples of
    // the channel's width, in order), synchronises the track, deletes the
    // buffer and returns the track's size in bytes. A failure is reported;
    // the track then keeps what it took, cut back to whole samples.
    std::uint64_t flush_segment_buffer(const std::filesystem::path& buffer,
                                       const std::filesystem::path& track, int channel);

    // State, for the windows and tests.
    const std::string& segment_name(int channel) const {
        return segments_.at(static_cast<std::size_t>(channel - 1)).name;
    }
    bool segment_open(int channel) const {
        return segments_.at(static_cast<std::size_t>(channel - 1)).open;
    }
    int last_boundary_minute() const { return last_boundary_minute_; }
    // File failures seen since construction (reported or not).
    int failure_count() const { return failure_count_; }

private:
    struct Segment {
        std::string name;          // MMDD of the segment; empty when none
        bool open = false;         // the segment's buffer belongs to this run
        bool accepting = false;    // open and not stopped by a refusing disk
        int fd = -1;               // buffer file, -1 until it could be opened
        int width = 2;             // bytes per sample, fixed for the segment
        std::vector<std::uint8_t> waiting;  // samples not yet in the buffer file
        std::uint64_t unsynced = 0;         // bytes written since the last sync
    };
    struct FlushResult {
        std::uint64_t size = 0;  // the track's size afterwards
        bool ok = true;
    };

    std::filesystem::path file_path(std::string_view day, TrackFile kind, int channel) const;
    Segment& segment(int channel) { return segments_[static_cast<std::size_t>(channel - 1)]; }
    void open_segment(int channel, const std::string& day, const TrackTime& time);
    // Ends the channel's open segment: waiting samples and the buffer file go
    // into the day track. Returns the track's size.
    std::uint64_t close_segment(int channel, int step);
    FlushResult flush_into_track(const std::filesystem::path& buffer,
                                 const std::filesystem::path& track, int width,
                                 const std::vector<std::uint8_t>& tail, int step);
    bool append_index(const std::filesystem::path& index, const std::string& text, int step);
    void write_chunk_out(int channel);
    bool write_waiting(int channel, int step);
    void sync_all(int step);
    // Ends the channel's open segment without a flush: the buffer file keeps
    // what it holds, as after an interrupted run.
    void release(int channel, int step);
    void warn_if_disk_low();
    // A failed operation: `error` is the errno value, `what` names the
    // operation and the file. The report is delivered at the end of the
    // public call, once the files are in a consistent state again.
    void fail(int error, int step, const std::string& what);
    void fail_text(int error_number, int step, const std::string& detail);
    void deliver_report();

    TracksContext context_;
    FileOps& ops_;
    std::array<Segment, 4> segments_{};
    int last_boundary_minute_ = -1;
    bool time_base_ready_ = false;
    // After a restart, no segment starts before a time packet newer than the
    // one seen at the restart.
    bool awaiting_new_second_ = false;
    double restart_seconds_of_day_ = -1;
    double last_seconds_of_day_ = -1;
    std::int64_t last_sync_ms_ = 0;
    int failure_count_ = 0;
    // A failure was seen and no write has succeeded since: further failures
    // of the same episode are not reported again.
    bool failing_ = false;
    bool reported_once_ = false;
    std::int64_t last_report_ms_ = 0;
    bool bad_time_reported_ = false;
    struct PendingReport {
        int error_number = 0;
        int step = 0;
        std::string detail;
    };
    std::optional<PendingReport> pending_report_;
};

}  // namespace tw::datalog
