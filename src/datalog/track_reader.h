#pragma once
// Reading a channel's day tracks back over a stretch of time: the day
// tracks and their indexes found by date, the recorded runs and the gaps of
// the stretch in time order (across midnight into the next day's files),
// and the samples themselves.

#include "datalog/track_index.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tw::datalog {

enum class DayStatus {
    ok,
    track_missing,  // no MMDD.lg<n>
    index_missing,  // no MMDD.ll<n>
    year_mismatch,  // the index was written in another year (the names carry none)
    unreadable,     // the folder or a file cannot be read; `reason` says why
};

// One day of a channel.
struct DayTrack {
    std::string date;  // "YYYY/MM/DD"
    std::filesystem::path track_path;
    std::filesystem::path index_path;
    DayStatus status = DayStatus::ok;
    std::string reason;
    std::uint64_t track_size = 0;
    std::vector<RecordedRun> runs;
    // Damage found in the index or the track (what was left out).
    std::vector<std::string> problems;
    // The index had dates written day first and was rewritten.
    bool index_rewritten = false;
};

// Finds and reads the day track of `date` ("YYYY/MM/DD") for channel 1..4
// in the datalog folder, `width` bytes per sample. The year check compares
// the year of the index's first group with the year of `date`. An index
// with dates written day first is rewritten (rewrite_index_dates) when
// `rewrite_dates` is set; a rewrite that fails is named in `problems` and
// the index is read all the same.
DayTrack load_day_track(const std::filesystem::path& datalog_folder, std::string_view date,
                        int channel, int width, bool rewrite_dates = true);

// "YYYY/MM/DD" and day numbers (days since 1970/01/01) of times in seconds.
std::int64_t day_number_of(double seconds);
std::string date_of_day(std::int64_t day_number);

// The day tracks of one channel, each read once when first asked for.
class TrackDays {
public:
    // `rewrite_dates`: as load_day_track's (a replay that writes nothing
    // reads such an index as it is).
    TrackDays(std::filesystem::path datalog_folder, int channel, int width, bool rewrite_dates = true);
    const DayTrack& day(std::int64_t day_number);
    int width() const { return width_; }
    int channel() const { return channel_; }

private:
    std::filesystem::path folder_;
    int channel_;
    int width_;
    bool rewrite_dates_;
    std::map<std::int64_t, DayTrack> days_;  // map: references stay valid
};

// A piece of a stretch: samples recorded back to back, or a time in which
// nothing was recorded.
struct StretchPiece {
    bool recorded = false;
    double time = 0;  // of the first sample, or where the gap begins (seconds)
    double end = 0;   // after the last sample, or where the gap ends
    const DayTrack* day = nullptr;
    double sps = 0;
    std::uint64_t offset = 0;   // byte of the first sample in the day track
    std::uint64_t samples = 0;  // recorded samples of the piece
};

// The pieces that cover the time from `from` to `until` (seconds), in time
// order; days whose tracks are missing or of another year count as gaps.
std::vector<StretchPiece> plan_stretch(TrackDays& days, double from, double until);

// Reads `count` samples from byte `offset` of a day track; false with the
// reason when the file cannot be read or holds fewer.
bool read_track_samples(const std::filesystem::path& track, std::uint64_t offset,
                        std::size_t count, int width, std::vector<std::int32_t>& out,
                        std::string* error);

}  // namespace tw::datalog
