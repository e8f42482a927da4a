#pragma once
// The service manager that runs the program unattended (systemd), told how
// the station is doing: ready, alive, its status line, stopping.

#include <string>

namespace tw::platform {

class ServiceManager {
public:
    virtual ~ServiceManager() = default;
    // Sends state lines such as "READY=1", "WATCHDOG=1", "STATUS=...",
    // "STOPPING=1". Does nothing when no service manager listens.
    virtual void notify(const std::string& state) = 0;
};

}  // namespace tw::platform
