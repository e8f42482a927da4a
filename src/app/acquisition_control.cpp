#include "app/acquisition_control.h"

#include "events/start_checks.h"

namespace tw::app {

acquisition::StartOutcome start_acquisition(Station& station) {
    if (acquisition_active(station)) return acquisition::StartOutcome::already_running;
    // A window's exchange with the board (clock calibration, SET TIME) holds
    // the port until it is done.
    if (station.board_link.busy()) return acquisition::StartOutcome::refused;
    // Event file extensions: two channels writing the same file, or a name
    // that is no file name, refuse START before anything changes.
    if (const auto refusal = events::check_file_extensions(station.settings)) {
        station.io.dialogs.message_box(refusal->text, refusal->title,
                                       platform::DialogIcon::critical);
        return acquisition::StartOutcome::refused;
    }
    if (!station.acquisition.prestart_checks()) return acquisition::StartOutcome::refused;
    station.recorder.start_run();
    station.tracks.start_run();
    return station.acquisition.start();
}

void stop_acquisition(Station& station) {
    station.acquisition.stop();
}

bool acquisition_active(const Station& station) {
    return station.acquisition.phase() != acquisition::RunPhase::idle;
}

}  // namespace tw::app
