#pragma once
// Program start-up: the one sequence every front end (windows or headless)
// runs before the main window waits for the user.

#include "app/station.h"

#include <string>

namespace tw::app {

struct StartupOptions {
    // Stop after the settings are loaded (--print-settings).
    bool settings_only = false;
};

struct StartupResult {
    bool ok = true;
    // Why start-up stopped (ok false): names the folder and the reason.
    std::string error;
    // What the front end does next.
    bool show_logo = false;      // logo window for about three seconds
    bool open_trimming = false;  // service mode opens the clock trimming window
    bool show_fft_box = false;   // service mode shows the spectrum check box
};

// Station folder: --folder if given, else $TERRAWAVE_HOME, else
// ~/.local/share/terrawave.
std::filesystem::path resolve_station_folder(const std::string& folder_option);

StartupResult run_startup(Station& station, const StartupOptions& options = {});

// Detection of the PC's date and time text formats from how the locale
// writes the probe date 2000/12/31 and time 7:12:34.
std::string detect_time_format(const std::string& probe_time_text);
std::string detect_date_format(const std::string& probe_date_text);
// The warning shown when the PC's date format would mislead the program:
// the probe date 2000/12/31 as the locale writes it reads back as another
// date (a year of another calendar, an order that cannot be told). "" when
// it reads back right or not at all (the clock's date is then used).
std::string date_time_warning(const Station& station, const std::string& probe_date_text);

// The serial port test: opens and closes the configured port, moving to the
// next port number (with a message) when it cannot be opened.
void test_serial_port(Station& station);

}  // namespace tw::app
