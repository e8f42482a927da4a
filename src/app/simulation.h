#pragma once
// --simulate: the built-in board simulator stands in for the board.

#include "boardsim/options.h"
#include "config/settings.h"

#include <filesystem>
#include <optional>
#include <string>

namespace tw::app {

// The simulated board's own small quake, so that a first run shows an event:
// on channel 1, every five minutes of the board's clock (12:00:00, 12:05:00,
// ...), its strong phase 8 s after the onset and well over the start
// amplitude of a new settings file (2000 counts), its coda gone after 40 s.
inline constexpr int simulated_quake_every_s = 300;
inline constexpr double simulated_quake_peak = 6000;
inline constexpr double simulated_quake_duration_s = 40;

struct SimulationPlan {
    boardsim::SimulatorOptions options;
    // The board family the station uses for this run (ad_type): the one
    // named on the command line, else the one of the settings.
    int ad_type = 1;
    // The family was named on the command line (the station then uses it).
    bool family_named = false;
    // The station folder has no settings file yet: the run gets one that
    // shows the simulated board at work (simulation_settings).
    bool new_station = false;
};

// The simulator for a station folder. `family` is "" (the family of the
// settings file, or of a new one) or orda10, orda20, infiltec, lx1500. The
// simulated board carries the trimming and serial number the settings
// register, so that a station meets it as its own board, and sends the
// small quake above. The settings file is only read, never written.
SimulationPlan plan_simulation(const std::filesystem::path& station_folder,
                               const std::string& family);

// The settings of a new station on the simulated board: the new-file values
// with every channel the board has at 50 samples per second (the text
// boards: channel 1 at their own rate), the drum of channel 1 on and its
// events recorded (one minute before and after), so that START shows a
// live trace and the simulated quake becomes an event.
config::Settings simulation_settings(const std::filesystem::path& station_folder, int ad_type);

// For a new station (plan.new_station): writes simulation_settings as the
// station's settings file before start-up reads it. False when it could not
// (start-up then names the folder or writes the usual new file).
bool write_simulation_settings(const std::filesystem::path& station_folder,
                               const SimulationPlan& plan);

// The event list line that says what those settings are.
std::string simulation_settings_note(const config::Settings& settings);

}  // namespace tw::app
