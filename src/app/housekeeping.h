#pragma once
// The once-a-second housekeeping of the main window (and of the headless
// runner): called by a 1000 ms timer, whether or not acquisition runs.

#include "app/station.h"

namespace tw::app {

void housekeeping_tick(Station& station);

}  // namespace tw::app
