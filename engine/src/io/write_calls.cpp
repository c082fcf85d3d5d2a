// SPDX-License-Identifier: MIT
// The table of system calls that the file writes go through, filled with the system's own, and the
// descriptor that closes itself through it. Tests replace entries of the table to inject faults
// (tests/support/write_faults.h).

#include "io/write_calls.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace kestrin {

const WriteCalls& SystemWriteCalls()
{
    static constexpr WriteCalls system{
        .open = [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
        .write = ::write,
        .pwrite = ::pwrite,
        .fsync = ::fsync,
        .close = ::close,
        .rename = ::rename,
        .unlink = ::unlink,
        .fallocate = ::fallocate,
        .ftruncate = ::ftruncate,
        .flock = ::flock,
        .fchown = ::fchown,
        .fchmod = ::fchmod,
        .fcntl = [](int fd, int command, int argument) { return ::fcntl(fd, command, argument); },
    };
    return system;
}

WriteCalls& ActiveWriteCalls()
{
    static WriteCalls active = SystemWriteCalls();
    return active;
}

Descriptor::~Descriptor()
{
    if (fd >= 0) {
        ActiveWriteCalls().close(fd);
    }
}

int Descriptor::Close()
{
    const int result = ActiveWriteCalls().close(fd);
    fd = -1;
    return result == 0 ? 0 : errno;
}

std::string ErrnoReason(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

} // namespace kestrin
