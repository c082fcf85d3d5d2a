// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <sys/types.h>

namespace kestrin {

// The system calls through which the file writes change files and set up the descriptors they write
// through, in one table. The program uses the system's own; a test may put others in their place to make a
// call fail where no real disk would (a failing fsync, rename or close, a short write, EINTR), as leveldb's
// Env and fmt's FMT_POSIX_CALL allow.
struct WriteCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*write)(int fd, const void* data, size_t size);
    ssize_t (*pwrite)(int fd, const void* data, size_t size, off_t offset);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*rename)(const char* from, const char* to);
    int (*unlink)(const char* path);
    int (*fallocate)(int fd, int mode, off_t offset, off_t length);
    int (*ftruncate)(int fd, off_t length);
    int (*flock)(int fd, int operation);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    int (*fchmod)(int fd, mode_t mode);
    int (*fcntl)(int fd, int command, int argument); // an int argument, as F_GETFL and F_SETFL take
};

// The table in use: the system's calls unless a test replaced them. Writes run on one thread at a time.
[[nodiscard]] WriteCalls& ActiveWriteCalls();

// The system's own calls, which a test puts back when it is done.
[[nodiscard]] const WriteCalls& SystemWriteCalls();

// Closes a descriptor when it goes out of scope.
class Descriptor
{
public:
    explicit Descriptor(int descriptor) : fd(descriptor) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor();
    [[nodiscard]] int Get() const { return fd; }
    // Closes now and reports the result, 0 or an errno value: a delayed write error may only show here.
    [[nodiscard]] int Close();

private:
    int fd;
};

// The text of an errno value.
[[nodiscard]] std::string ErrnoReason(int error);

} // namespace kestrin
