#include "datalog/file_ops.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tw::datalog {

int FileOps::open(const char* path, int flags, int mode) {
    int fd;
    do {
        // A link planted under a track's name is never followed.
        fd = ::open(path, flags | O_CLOEXEC | O_NOFOLLOW, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

long FileOps::write(int fd, const void* data, std::size_t size) {
    ssize_t n;
    do {
        n = ::write(fd, data, size);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

int FileOps::sync(int fd) {
    return ::fdatasync(fd);
}

FileOps& posix_file_ops() {
    static FileOps ops;  // no state: the same calls for every station
    return ops;
}

}  // namespace tw::datalog
