#include "platform/posix/statvfs_disk.h"

#include <sys/statvfs.h>

namespace tw::platform {

std::optional<std::uint64_t> StatvfsDisk::free_bytes(const std::filesystem::path& path) const {
    struct statvfs info {};
    if (statvfs(path.c_str(), &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

}  // namespace tw::platform
