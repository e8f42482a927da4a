#include "app/housekeeping.h"

namespace tw::app {

void housekeeping_tick(Station& station) {
    // Clock display while idle: the PC clock with milliseconds.
    supervision::refresh_pc_clock_texts(station.io.clock, station.pc_clock);
    station.panel.realtime = station.pc_clock.date_time + station.pc_clock.millis;
    station.panel.notify();
}

}  // namespace tw::app
