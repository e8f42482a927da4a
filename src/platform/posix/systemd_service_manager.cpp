#include "platform/posix/systemd_service_manager.h"

#include <systemd/sd-daemon.h>

namespace tw::platform {

void SystemdServiceManager::notify(const std::string& state) {
    // A service manager that went away is no reason to stop the station.
    sd_notify(0, state.c_str());
}

}  // namespace tw::platform
