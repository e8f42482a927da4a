#pragma once
// Runs a started-up station without windows until SIGINT, SIGTERM or the end
// of --run-for, then takes the normal STOP path.

#include "app/station.h"

#include <functional>
#include <memory>
#include <optional>

class QObject;

namespace tw::app {

// From now on SIGINT and SIGTERM call `stop` from the event loop (the signal
// handler itself only writes a byte to a pipe). The watch lasts as long as
// the returned object; nullptr when no pipe could be made.
std::unique_ptr<QObject> watch_stop_signals(std::function<void()> stop);

// Returns the exit status.
int run_headless(Station& station, std::optional<double> run_for_seconds,
                 double status_every_seconds);

}  // namespace tw::app
