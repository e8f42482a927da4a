#pragma once

#include "platform/disk.h"

namespace tw::platform {

class StatvfsDisk : public Disk {
public:
    std::optional<std::uint64_t> free_bytes(const std::filesystem::path& path) const override;
};

}  // namespace tw::platform
