#pragma once
// The settings file terrawv.ini: reader, writer and new-file values.

#include "config/settings.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tw::config {

// A line the reader could not use. The field it names keeps its value.
struct SettingsProblem {
    int line_number = 0;   // 1-based
    std::string line;      // the line as read, without its line end
    int error_number = 0;  // 6 overflow, 9 channel out of range, 13 type mismatch
    std::string reason;    // what was wrong, for the error report
};

struct LoadResult {
    bool created_new_file = false;
    std::string write_error;  // set when a new file could not be written
    // Set when the file exists but cannot be read: the new-file values are
    // used in memory and the file is left as it is.
    std::string read_error;
    std::vector<SettingsProblem> problems;
};

// The values a brand-new settings file gets. `program_folder` is the station
// folder; the default folders are built inside it with "/".
void apply_new_file_values(Settings& settings, const std::string& program_folder);

// Exactly the bytes save_settings writes: four channel sections, "[GENERAL]",
// the general lines, "[END GENERAL]", then the sections of the settings the
// classic file never had (none when all keep their defaults), each line ended
// by CR LF.
std::string format_settings(const Settings& settings);

// Reads a settings file's bytes into `settings` (service_mode set to 0 and
// every drum_scale to 1 first, then only the fields named by lines change),
// and sets sync_source_text; the sections after "[END GENERAL]" replace
// `settings.extra`. Never fails; returns the lines it could not use.
std::vector<SettingsProblem> parse_settings(std::string_view bytes, Settings& settings);

// Expansion of the list fields into their items (on load and on apply).
void expand_start_params(ChannelSettings& channel);
void expand_stop_params(ChannelSettings& channel);
void expand_magnitude_correction(ChannelSettings& channel);
// pre_event_samples, post_event_samples and max_event_samples from the
// channel's current sps_code; the last two are limited to one million.
void recompute_event_lengths(ChannelSettings& channel);

// Reads `path`; when it does not exist, gives every field its new-file value,
// writes the file and reads it back. When the new file cannot be written the
// new-file values stay in memory and write_error says why.
LoadResult load_settings(const std::filesystem::path& path, const std::string& program_folder,
                         Settings& settings);

// Overwrites the whole file. False with the reason in `error`.
bool save_settings(const std::filesystem::path& path, const Settings& settings,
                   std::string* error);

// Writes `bytes` as the whole of `path`, through a temporary file beside it
// that is renamed over it, so a failure or a crash never leaves a half-written
// file. The file keeps its permissions (0644 when new). False with the reason
// ("cannot write PATH: REASON") in `error`.
bool replace_file(const std::filesystem::path& path, std::string_view bytes, std::string* error);

}  // namespace tw::config
