#pragma once
// Event files cut from the day tracks: a stretch of `minutes` from a start
// time, one file per channel, in the events folder under the name and with
// the header a live event file of that start would get, and a count in the
// event counter file.
//
// Every line of the file lies at its time: line k holds the sample of
// start + k / SPS. Where nothing was recorded (before the day's first
// segment, between a STOP and the next START, after the last run, a day
// without tracks inside the stretch) the line is "0". The stretch may run
// into the next day's tracks.

#include "config/settings.h"
#include "events/event_file.h"
#include "supervision/error_report.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::datalog {

struct ExtractionContext {
    const config::Settings& settings;
    std::filesystem::path datalog_folder;  // the tracks: review_path + "datalog"
    std::filesystem::path events_folder;
    std::filesystem::path counter_file;    // "numevt.dat"
    std::string lock_state;                // "NL" or "L", for the header
    std::string board_reply;               // the Datalogger line
    // Errors of the files are reported here with the place name "EXTRACT".
    supervision::ErrorReport* error_report = nullptr;
    // Lines written so far of the total, every progress_lines lines and at
    // the end.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

inline constexpr std::string_view extraction_place = "EXTRACT";
inline constexpr int extraction_step = 700;
inline constexpr std::uint64_t progress_lines = 1 << 18;
inline constexpr int max_extraction_minutes = 480;

struct ExtractionResult {
    bool written = false;
    std::filesystem::path file;     // the event file written
    std::uint64_t samples = 0;      // its lines
    std::uint64_t zero_lines = 0;   // of them, lines where nothing was recorded
    // Why nothing was written: the message shown to the user.
    std::string refusal;
    // Damage found in the indexes and tracks, and the time filled with "0".
    std::vector<std::string> notices;
};

// Cuts `minutes` (1..480) from `start` ("YYYY/MM/DD HH:MM:SS") out of the
// tracks of `channel` (1..4). A missing track or index, a year mismatch, a
// change of rate inside the stretch and a stretch with nothing recorded
// write nothing (the refusal says why). A file that cannot be completed is
// deleted and its error reported.
ExtractionResult extract_channel(const ExtractionContext& context, int channel,
                                 std::string_view start, int minutes);

// The messages of the refusals.
namespace extraction_text {
std::string track_missing(int channel);
std::string index_missing(int channel);
std::string next_day_index_missing(int channel);
std::string year_mismatch();
std::string rate_changed();
}  // namespace extraction_text

}  // namespace tw::datalog
