#pragma once

#include "platform/launcher.h"

namespace tw::platform {

// Starts programs with posix_spawnp and an argument vector; no shell ever
// sees the arguments. Finished children are reaped at the next start.
class SpawnLauncher : public Launcher {
public:
    bool start(const std::string& program, const std::vector<std::string>& arguments,
               std::string* error) override;
};

}  // namespace tw::platform
