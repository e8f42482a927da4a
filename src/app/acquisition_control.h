#pragma once
// What the START and STOP buttons do (and the automatic start, and the
// headless runner).

#include "app/station.h"

namespace tw::app {

// START: the pre-start checks, the preparation of the board and the first
// pass. Returns when the board samples (the run then goes on by itself, on
// the port's events and the housekeeping tick) or when it could not start.
acquisition::StartOutcome start_acquisition(Station& station);

// STOP: stops the board at once; the STOP path runs as soon as nothing of
// the run is in progress. Does nothing while no run is on.
void stop_acquisition(Station& station);

// True while a run is on (preparing or running).
bool acquisition_active(const Station& station);

}  // namespace tw::app
