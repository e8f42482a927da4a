#include "app/housekeeping.h"

#include "app/acquisition_control.h"

namespace tw::app {

void housekeeping_tick(Station& station) {
    auto& flags = station.run_flags;
    const int saved_location = flags.error_location;

    // Clock display while idle: the PC clock with milliseconds.
    supervision::refresh_pc_clock_texts(station.io.clock, station.pc_clock);
    station.panel.realtime = station.pc_clock.date_time + station.pc_clock.millis;

    // Silent board: no sample for a while asks for a restart, which the pass
    // run from here carries out even though the board sends nothing. A lost
    // port is tried again here, once a second.
    flags.error_location = 206;
    station.acquisition.tick();

    // Automatic start after an unattended restart of the program.
    flags.error_location = 211;
    if (station.settings.general.auto_start == 2 && station.panel.start_enabled &&
        !acquisition_active(station)) {
        start_acquisition(station);
    }

    flags.error_location = saved_location;
    station.panel.notify();
}

}  // namespace tw::app
