#pragma once
// Runs a started-up station without windows until SIGINT, SIGTERM or the end
// of --run-for, then takes the normal STOP path.

#include "app/station.h"

#include <optional>

namespace tw::app {

// Returns the exit status.
int run_headless(Station& station, std::optional<double> run_for_seconds,
                 double status_every_seconds);

}  // namespace tw::app
