#include "app/housekeeping.h"

#include "app/acquisition_control.h"

namespace tw::app {

void housekeeping_tick(Station& station) {
    auto& flags = station.run_flags;
    const int saved_location = flags.error_location;

    // Clocks while idle: the PC clock with milliseconds, the board clock as
    // last seen, and the open time setting window. While the board runs its
    // time packets refresh them.
    if (flags.acquisition_running != 1) {
        station.board_clock.refresh_clock_displays();
        station.time_setting.refresh_idle();
    }
    // The watchdog and alarm bits of the parallel port in the open
    // hardware setup window.
    if (station.actions_open) station.hardware_setup.refresh_port_bits();

    // Silent board: no sample for a while asks for a restart, which the pass
    // run from here carries out even though the board sends nothing. A lost
    // port is tried again here, once a second.
    flags.error_location = 206;
    station.acquisition.tick();

    // What the event files and the day tracks hold waiting goes to disk, so
    // that a silent board or a crash loses at most the last seconds.
    flags.error_location = 208;
    station.recorder.flush_open_files();
    station.tracks.sync_if_due();
    station.stream.tick();

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
