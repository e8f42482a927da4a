#include "app/station.h"

#include "config/settings_file.h"

namespace tw::app {

Station::Station(std::filesystem::path folder, Services services)
    : io(services),
      event_list(folder / files::event_list, services.clock),
      error_report(services.clock, services.pump),
      folder_(std::move(folder)) {}

bool Station::save_settings() {
    std::string error;
    if (config::save_settings(path(files::settings), settings, &error)) return true;
    io.dialogs.message_box("The settings were not saved: " + error, "Error.",
                           platform::DialogIcon::critical);
    return false;
}

}  // namespace tw::app
