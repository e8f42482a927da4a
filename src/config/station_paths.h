#pragma once
// Places named in the settings. A relative path names a place inside the
// station folder, whoever started the program and from wherever.

#include "config/settings.h"

#include <filesystem>
#include <string_view>

namespace tw::config {

// `setting` as a path: absolute as written, relative inside the station
// folder; empty stays empty.
std::filesystem::path station_path(const std::filesystem::path& station_folder,
                                   std::string_view setting);

// The folder event files go to: `events_folder`, or "events" in the station
// folder when the setting is empty.
std::filesystem::path events_folder_path(const GeneralSettings& general,
                                         const std::filesystem::path& station_folder);

// The folder whose "datalog" the Review window and --extract read:
// `review_path`, or the station folder when the setting is empty.
std::filesystem::path review_folder_path(const GeneralSettings& general,
                                         const std::filesystem::path& station_folder);

}  // namespace tw::config
