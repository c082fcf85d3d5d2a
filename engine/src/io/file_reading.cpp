// SPDX-License-Identifier: MIT
// Reading whole files into memory, and the looks at a file that come before: what may be read (a file
// with an end: a regular file or a pipe), its size, and a sample of its bytes for planning the count.

#include "io/file_reading.h"

#include "io/write_calls.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrin {
namespace {

// Reads take at most this much at a time, so that a cancel is seen soon even on a slow disk.
constexpr std::size_t readChunk = std::size_t{1} << 20;
// How long a read waits on a silent pipe before it looks at the cancel flag again.
constexpr int pipeWaitMilliseconds = 20;

// A folder or a device has no end to read to: the error that refuses it, or nothing.
std::optional<FileError> RefuseEndless(const std::filesystem::path& path, const struct stat& info)
{
    if (S_ISDIR(info.st_mode)) {
        return FileError{path, ErrnoReason(EISDIR)};
    }
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
        // A terminal or a device such as /dev/zero has no end to read to.
        return FileError{path, "is a device, not a file"};
    }
    return std::nullopt;
}

} // namespace

std::variant<FileBytes, FileError> ReadFileBytes(const std::filesystem::path& path, const ReadWatch& watch)
{
    const auto failure = [&](int error) { return FileError{path, ErrnoReason(error)}; };
    // Without O_NONBLOCK, opening a pipe waits for a writer, and nothing could stop that wait.
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.Get() < 0) {
        return failure(errno);
    }
    struct stat info {
    };
    if (::fstat(file.Get(), &info) != 0) {
        return failure(errno);
    }
    if (const auto refused = RefuseEndless(path, info)) {
        return *refused;
    }
    const bool regular = S_ISREG(info.st_mode);
    if (regular) {
        ::fcntl(file.Get(), F_SETFL, ::fcntl(file.Get(), F_GETFL) & ~O_NONBLOCK);
    }
    // One byte more than the size, so that a file that grows while it is read is noticed.
    std::size_t capacity = regular ? static_cast<std::size_t>(info.st_size) + 1 : std::size_t{1} << 16;
    FileBytes bytes;
    bytes.data = AllocateLargeBytes(capacity);
    while (watch.cancel == nullptr || !watch.cancel->IsSet()) {
        if (bytes.size == capacity) {
            capacity *= 2;
            auto larger = AllocateLargeBytes(capacity);
            std::memcpy(larger.get(), bytes.data.get(), bytes.size);
            bytes.data = std::move(larger);
        }
        if (!regular) {
            // A pipe says when it has bytes or has lost its writer; until then the cancel flag is looked at.
            pollfd ready{file.Get(), POLLIN, 0};
            const int events = ::poll(&ready, 1, pipeWaitMilliseconds);
            if (events < 0 && errno != EINTR) {
                return failure(errno);
            }
            if (events <= 0) {
                continue;
            }
        }
        const ssize_t got =
            ::read(file.Get(), bytes.data.get() + bytes.size, std::min(readChunk, capacity - bytes.size));
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            return failure(errno);
        }
        if (got == 0) {
            return bytes;
        }
        bytes.size += static_cast<std::size_t>(got);
        if (watch.bytesRead != nullptr) {
            watch.bytesRead->store(static_cast<std::int64_t>(bytes.size), std::memory_order_relaxed);
        }
    }
    return bytes;
}

std::variant<FileLook, FileError> LookAtFile(const std::filesystem::path& path)
{
    struct stat info {
    };
    if (::stat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode)) {
        return FileLook{};
    }
    // Opened as the read opens it, so that a missing or unreadable file fails with the same reason.
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0) {
        return FileError{path, ErrnoReason(errno)};
    }
    if (const auto refused = RefuseEndless(path, info)) {
        return *refused;
    }
    return FileLook{S_ISREG(info.st_mode),
                    S_ISREG(info.st_mode) ? static_cast<std::int64_t>(info.st_size) : 0};
}

std::string SampleFileBytes(const std::filesystem::path& path)
{
    constexpr std::size_t blocks = 64;
    constexpr std::size_t blockSize = std::size_t{1} << 14;
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {
    };
    if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return {};
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    const std::size_t stride = size <= blocks * blockSize ? blockSize : size / blocks;
    std::string sample;
    for (std::size_t offset = 0; offset < size && sample.size() < blocks * blockSize; offset += stride) {
        const std::size_t old = sample.size();
        sample.resize(old + std::min(blockSize, size - offset));
        const ssize_t got =
            ::pread(file.Get(), sample.data() + old, sample.size() - old, static_cast<off_t>(offset));
        sample.resize(old + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
    return sample;
}

} // namespace kestrin
