#include "app/acquisition_control.h"

namespace tw::app {

acquisition::StartOutcome start_acquisition(Station& station) {
    if (acquisition_active(station)) return acquisition::StartOutcome::already_running;
    if (!station.acquisition.prestart_checks()) return acquisition::StartOutcome::refused;
    return station.acquisition.start();
}

void stop_acquisition(Station& station) {
    station.acquisition.stop();
}

bool acquisition_active(const Station& station) {
    return station.acquisition.phase() != acquisition::RunPhase::idle;
}

}  // namespace tw::app
