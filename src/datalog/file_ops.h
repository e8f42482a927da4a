#pragma once
// The file operations through which the track files write. The real ones are
// the POSIX calls; a test replaces them to play a full disk or a failing
// device without needing one.

#include <cstddef>

namespace tw::datalog {

class FileOps {
public:
    virtual ~FileOps() = default;

    // open(2) without following a final symbolic link (ELOOP then): a
    // descriptor, or -1 with errno set.
    virtual int open(const char* path, int flags, int mode);
    // write(2): the bytes written, which may be fewer than `size` (a disk
    // that filled up in the middle), or -1 with errno set.
    virtual long write(int fd, const void* data, std::size_t size);
    // fdatasync(2): 0 once the written bytes are on the device, or -1 with
    // errno set.
    virtual int sync(int fd);
};

// The POSIX file operations (stateless, shared).
FileOps& posix_file_ops();

}  // namespace tw::datalog
