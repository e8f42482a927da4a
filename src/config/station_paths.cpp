#include "config/station_paths.h"

namespace tw::config {

std::filesystem::path station_path(const std::filesystem::path& station_folder,
                                   std::string_view setting) {
    if (setting.empty()) return {};
    const std::filesystem::path path{std::string(setting)};
    return path.is_absolute() ? path : station_folder / path;
}

std::filesystem::path events_folder_path(const GeneralSettings& general,
                                         const std::filesystem::path& station_folder) {
    if (general.events_folder.empty()) return station_folder / "events";
    return station_path(station_folder, general.events_folder);
}

std::filesystem::path review_folder_path(const GeneralSettings& general,
                                         const std::filesystem::path& station_folder) {
    if (general.review_path.empty()) return station_folder;
    return station_path(station_folder, general.review_path);
}

}  // namespace tw::config
