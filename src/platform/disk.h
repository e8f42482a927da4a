#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace tw::platform {

class Disk {
public:
    virtual ~Disk() = default;
    // Free bytes of the file system holding `path`; nullopt when unknown.
    virtual std::optional<std::uint64_t> free_bytes(const std::filesystem::path& path) const = 0;
};

}  // namespace tw::platform
