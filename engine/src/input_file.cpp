#include "input_file.h"

#include "file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrin {

std::variant<std::unique_ptr<InputFile>, FileError> InputFile::Open(const std::filesystem::path& path,
                                                                    std::int64_t reach)
{
    std::unique_ptr<InputFile> file(new InputFile());
    const auto failure = [&](int error) { return FileError{path, ErrnoReason(error)}; };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return failure(errno);
    }
    struct stat info {
    };
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return failure(error);
    }
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        return failure(EISDIR);
    }
    if (S_ISCHR(info.st_mode)) {
        // A terminal or a device such as /dev/zero has no end to count to.
        ::close(fd);
        return FileError{path, "is a device, not a file"};
    }
    // The file is read into memory rather than mapped: a mapped file that another program shortens
    // during the run would end the program, and thousands of mappings hit the system's limit.
    std::size_t capacity =
        S_ISREG(info.st_mode) ? static_cast<std::size_t>(info.st_size) + 1 : std::size_t{1} << 16;
    std::unique_ptr<char[]> bytes(new char[capacity]);
    std::size_t length = 0;
    while (true) {
        if (length == capacity) {
            // The file grew, or is a pipe: make room and go on.
            capacity *= 2;
            std::unique_ptr<char[]> larger(new char[capacity]);
            std::memcpy(larger.get(), bytes.get(), length);
            bytes = std::move(larger);
        }
        const ssize_t got = ::read(fd, bytes.get() + length, capacity - length);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            ::close(fd);
            return failure(error);
        }
        if (got == 0) {
            break;
        }
        length += static_cast<std::size_t>(got);
    }
    ::close(fd);
    file->owned = std::move(bytes);
    file->data = file->owned.get();
    file->size = static_cast<std::int64_t>(length);
    file->MakeTail(reach);
    return file;
}

InputFile::~InputFile() = default;

void InputFile::MakeTail(std::int64_t reach)
{
    tailStart = std::max<std::int64_t>(0, size - reach);
    const auto kept = static_cast<std::size_t>(size - tailStart);
    tail.assign(kept + static_cast<std::size_t>(2 * reach) + 1, '\0');
    if (kept > 0) {
        std::memcpy(tail.data(), data + tailStart, kept);
    }
}

} // namespace kestrin
