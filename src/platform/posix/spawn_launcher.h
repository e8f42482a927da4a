#pragma once

#include "platform/launcher.h"

namespace tw::platform {

// Starts programs with posix_spawnp and an argument vector; no shell ever
// sees the arguments. Its own finished children are reaped at the next start
// (children started elsewhere in the program are left alone).
class SpawnLauncher : public Launcher {
public:
    bool start(const std::string& program, const std::vector<std::string>& arguments,
               std::string* error) override;

private:
    std::vector<int> children_;
};

}  // namespace tw::platform
