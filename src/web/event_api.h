#pragma once
// The events as the page shows them: the summaries of the event list
// (GET /api/events) and the samples of one event file (GET
// /api/event/NAME), read from the station's text formats.
//
// A file name from the event list or from a request is used only when it
// has the form the program gives event files ("240305.120013.ex1",
// "240305.120013_2.ex1"): six digits, a dot, six digits, an optional "_N",
// a dot and an extension of one to three letters or digits. Such a name
// has no separator and no dot step, so it can never leave the events folder.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::web {

// One event summary of the event list:
// "2024/03/05 12:03:21 240305.120013.ex1 2024/03/05 12:00:13 L:00009097 Max SLTA:15.0 Max Amplit:005725"
struct EventEntry {
    std::string logged;     // when the line was written (PC time)
    std::string file;       // the event file's name
    std::string start;      // "YYYY/MM/DD HH:MM:SS", board time of the first sample
    std::uint64_t samples = 0;
    double max_ratio = 0;
    std::int64_t max_amplitude = 0;
};

// The summary a list line holds; nullopt for the list's other lines
// (messages, warnings) and for a summary whose name is not an event file's.
std::optional<EventEntry> parse_event_summary(std::string_view line);
// The last `count` summaries of the list, newest first.
std::vector<EventEntry> last_events(const std::vector<std::string>& lines, std::size_t count);

bool is_event_file_name(std::string_view name);

// What the header of an event file says, in any of the three formats.
struct EventHeader {
    std::string start;      // "YYYY/MM/DD HH:MM:SS.fff" as written
    double rate = 0;        // samples per second; 0 when unknown
    std::uint64_t samples = 0;  // the count written in the header; 0 when none
};

// An event file's samples (counts), at most `max_samples` of them.
struct EventSamples {
    EventHeader header;
    std::vector<std::int32_t> samples;
    bool truncated = false;  // the file holds more than max_samples
};

// Reads the header only (the page's event list shows each event's length).
std::optional<EventHeader> read_event_header(const std::filesystem::path& file);
// Reads the whole file; nullopt with the reason in `error` when it cannot
// be read or is not an event file. A sample line that is not a number ends
// the samples (a file being written may end in half a line).
std::optional<EventSamples> read_event_file(const std::filesystem::path& file,
                                            std::size_t max_samples, std::string* error);

// The channel 1..4 whose extension the name carries; 0 when none does.
int channel_of_event_file(std::string_view name, const std::vector<std::string>& extensions);

// {"events":[{"file":..,"channel":..,"start":..,"samples":..,"rate":..,
//   "duration_seconds":..,"max_ratio":..,"max_amplitude":..,"logged":..,
//   "available":..}]}; `headers` gives each entry's file header, when found.
std::string events_json(const std::vector<EventEntry>& entries,
                        const std::vector<std::optional<EventHeader>>& headers,
                        const std::vector<std::string>& extensions);
// {"file":..,"start":"YYYY-MM-DDTHH:MM:SS.fffZ","rate":..,"truncated":..,"samples":[..]}
std::string event_samples_json(std::string_view name, const EventSamples& data);

}  // namespace tw::web
