#pragma once
// Reading a day index back (see track_format.h for its lines): the groups
// in file order, what is damaged in it, the rewrite of dates written day
// first, and the map of the recorded stretches of the day track that the
// groups describe.

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace tw::datalog {

// One group of a day index: "START :", "SPS   :", "POSIT :" or "STOP  :",
// "POSIT :". Values are what follows the first colon.
struct IndexGroup {
    enum class Kind { start, stop };
    Kind kind = Kind::start;
    std::string time;           // "YYYY/MM/DD HH:MM:SS"
    std::int64_t seconds = 0;   // the same as config::stamp_seconds
    double sps = 0;             // START groups only
    std::uint64_t position = 0;
    int line = 0;               // line number (1-based) of its first line
};

struct IndexReading {
    std::vector<IndexGroup> groups;     // the sound groups, in file order
    std::vector<std::string> problems;  // each damaged place that was left out
};

// Reads an index group by group. Lines may end in CR LF or LF. A date
// written day first ("03/02/2003 10:00:00") is read as its rewrite would
// give it. A group with a cut or unreadable line (letters in a number, a
// time that is no time, a last line without its line end), a group whose
// time or position lies before the one of the group ahead of it, and lines
// that belong to no group are left out, each named in `problems`
// ("0203.ll1 line 7: ...") with `name` as the file's name.
IndexReading read_track_index(std::string_view text, std::string_view name);

// A START or STOP line whose date is written day first, with "/" or "-" as
// its 10th character, becomes the first 7 characters + the year
// (characters 14-17) + "/" + the month (11-12) + "/" + the day (8-9) + " "
// + the time (its last 8 characters). Every other line is returned as it
// is.
std::string year_first_line(std::string_view line);

// Rewrites the dates of an index that are written day first (see
// year_first_line). The new index is written beside the old one as "$" +
// its name, synchronised, and renamed over it, so that a crash leaves the
// old or the new index, never none. An index that needs no change is not
// touched. Returns false with the reason in `error` when the rewrite
// failed; the old index is then left as it was.
bool rewrite_index_dates(const std::filesystem::path& index, bool* rewritten, std::string* error);

// A segment of the day track: its START time and the position of its
// first sample.
struct TrackSegment {
    std::int64_t seconds = 0;
    std::uint64_t position = 0;
};

// Samples recorded back to back: one segment or several written one after
// the other by one acquisition run at one rate. The samples are read one
// after the other from `begin` up to `end` (whole samples); a time is
// placed by the last segment that starts at or before it.
struct RecordedRun {
    double sps = 0;
    std::uint64_t begin = 0;
    std::uint64_t end = 0;  // exclusive
    std::vector<TrackSegment> segments;

    std::int64_t start_seconds() const { return segments.front().seconds; }
};

// Consecutive START groups of one run are joined when the second's POSIT
// lies within this many bytes of where the first's samples would reach by
// its time.
inline constexpr std::uint64_t join_tolerance_bytes = 1000;

// The recorded runs of a day track of `track_size` bytes with `width`
// bytes per sample, in time order. A run ends at a STOP group, at a START
// group it cannot be joined to (another rate, a position out of the
// tolerance), or at the end of the track; it is cut where the next run
// begins in time. Positions past the end of the track and a track that
// ends inside a sample are named in `problems`.
std::vector<RecordedRun> recorded_runs(const std::vector<IndexGroup>& groups,
                                       std::uint64_t track_size, int width,
                                       std::string_view track_name,
                                       std::vector<std::string>& problems);

// Where a time lies in the runs of a day.
struct RunPosition {
    const RecordedRun* run = nullptr;  // none: nothing recorded then
    std::uint64_t offset = 0;          // byte of the sample nearest the time
    double time = 0;                   // that sample's time (seconds)
    std::uint64_t samples = 0;         // samples from there to the run's end
    // With no run: when recording begins again in this day (infinity when
    // it does not).
    double next_start = std::numeric_limits<double>::infinity();
};
RunPosition locate_time(const std::vector<RecordedRun>& runs, double seconds, int width);

}  // namespace tw::datalog
