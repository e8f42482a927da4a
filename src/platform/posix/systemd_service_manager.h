#pragma once

#include "platform/service_manager.h"

namespace tw::platform {

// sd_notify(3) on the socket named by $NOTIFY_SOCKET; without it nothing is
// sent.
class SystemdServiceManager : public ServiceManager {
public:
    void notify(const std::string& state) override;
};

}  // namespace tw::platform
