#pragma once
// --simulate: the built-in board simulator stands in for the board.

#include "boardsim/options.h"

#include <filesystem>
#include <optional>
#include <string>

namespace tw::app {

struct SimulationPlan {
    boardsim::SimulatorOptions options;
    // The board family the station uses for this run (ad_type): the one
    // named on the command line, else the one of the settings.
    int ad_type = 1;
    // The family was named on the command line (the station then uses it).
    bool family_named = false;
};

// The simulator for a station folder. `family` is "" (the family of the
// settings file, or of a new one) or orda10, orda20, infiltec, lx1500. The
// simulated board carries the trimming and serial number the settings
// register, so that a station meets it as its own board. The settings file
// is only read, never written.
SimulationPlan plan_simulation(const std::filesystem::path& station_folder,
                               const std::string& family);

}  // namespace tw::app
