#pragma once
// Replaying the day tracks through the trigger: the recorded samples of a
// stretch of time, read as the extraction reads them, go through the same
// detector and event logic as the live station (an EventRecorder in a dry
// run), with the station's settings or any others, and the events it would
// have recorded come back. Nothing is written.
//
// What the replay sees of the live run:
// - a track holds conditioned samples, and the detector's input is taken
//   to be that sample (the offset is already removed from it);
// - where nothing was recorded (a pause, a missing day) no sample goes into
//   the averages; the detector's state carries over the gap as it does
//   over a STOP and START, an open event ends at the last sample before it,
//   and the pre-event section begins again after it;
// - the detector runs from `warm_up` before the stretch (when recorded) so
//   that its long-term average has settled; events that start before the
//   stretch are not reported.

#include "config/settings.h"
#include "events/event_recorder.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::datalog {

struct RetriggerEvent {
    events::RecordedEvent event;
    std::int64_t start = 0;    // the Start Time in seconds
    double end = 0;            // after its last sample (seconds)
    bool cut = false;          // still open at the end of the stretch
};

struct RetriggerResult {
    std::vector<RetriggerEvent> events;  // in order of their start
    // Missing days, damaged indexes, rate changes, refused settings: one
    // line each, the replay goes on around them.
    std::vector<std::string> notices;
    std::string refusal;  // nothing could be replayed, and why
    std::uint64_t samples = 0;  // recorded samples replayed (warm-up included)
};

struct RetriggerRequest {
    std::filesystem::path datalog_folder;
    std::string start;  // "YYYY/MM/DD HH:MM:SS"
    int minutes = 0;
    std::vector<int> channels;  // 1..4
    // Longest warm-up before the stretch; the replay uses three long-term
    // windows of the slowest channel up to this.
    double max_warm_up_seconds = 3600;
};

// Replays the request with `settings` (the channels replayed record; the
// others are left out).
RetriggerResult retrigger(const config::Settings& settings, const RetriggerRequest& request);

// "1  2026/12/07 10:00:05  2026/12/07 10:01:12  trigger 10:00:35.120  ratio 8.12  amplitude 5234"
std::string retrigger_event_line(const RetriggerEvent& event);
// "3 events, 2 min 13 s in all" (with " on channels 1, 2")
std::string retrigger_summary(const RetriggerResult& result);

}  // namespace tw::datalog
