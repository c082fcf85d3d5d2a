#include "file_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace kestrin {
namespace {

// Closes a descriptor when it goes out of scope.
class Descriptor
{
public:
    explicit Descriptor(int descriptor) : fd(descriptor) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    [[nodiscard]] int Get() const { return fd; }
    // Closes now and reports the result: a delayed write error may only show here.
    [[nodiscard]] int Close()
    {
        const int result = ::close(fd);
        fd = -1;
        return result;
    }

private:
    int fd;
};

// Writes everything, retrying short writes; returns 0 or an errno value.
int WriteAll(int fd, std::string_view content)
{
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

} // namespace

std::string ErrnoReason(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

std::variant<std::string, FileError> ReadWholeFile(const std::filesystem::path& path)
{
    const auto failure = [&](int error) { return FileError{path, ErrnoReason(error)}; };
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        return failure(errno);
    }
    struct stat info {
    };
    if (::fstat(file.Get(), &info) != 0) {
        return failure(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return failure(EISDIR);
    }
    std::string content;
    if (S_ISREG(info.st_mode) && info.st_size > 0) {
        content.reserve(static_cast<std::size_t>(info.st_size));
    }
    char block[1 << 16];
    while (true) {
        const ssize_t got = ::read(file.Get(), block, sizeof block);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return failure(errno);
        }
        if (got == 0) {
            return content;
        }
        content.append(block, static_cast<std::size_t>(got));
    }
}

namespace {

// Writes the content straight into the file, emptied first: for devices, pipes and files with
// several names, which a rename would replace instead of write.
std::optional<FileError> WriteInPlace(const std::filesystem::path& path, std::string_view content)
{
    const auto failure = [&](int error) { return FileError{path, ErrnoReason(error)}; };
    Descriptor file(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CREAT | O_CLOEXEC, 0666));
    if (file.Get() < 0) {
        return failure(errno);
    }
    if (const int error = WriteAll(file.Get(), content); error != 0) {
        return failure(error);
    }
    if (file.Close() != 0) {
        return failure(errno);
    }
    return std::nullopt;
}

} // namespace

std::optional<FileError> ReplaceFile(const std::filesystem::path& path, std::string_view content)
{
    const auto failure = [&](int error) { return FileError{path, ErrnoReason(error)}; };
    // A symbolic link stays a link: the file it names is the one replaced.
    std::error_code ignored;
    std::filesystem::path target = std::filesystem::weakly_canonical(path, ignored);
    if (target.empty()) {
        target = path;
    }
    struct stat existing {
    };
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        return failure(EISDIR);
    }
    if (exists && (!S_ISREG(existing.st_mode) || existing.st_nlink > 1)) {
        return WriteInPlace(target, content);
    }

    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    Descriptor temporary(::mkstemp(pattern.data()));
    if (temporary.Get() < 0) {
        return failure(errno);
    }
    // mkstemp makes the file private; give it the old file's mode and owner, or what a plain create
    // would have given it.
    if (exists) {
        ::fchmod(temporary.Get(), existing.st_mode & 07777);
        [[maybe_unused]] const int owner = ::fchown(temporary.Get(), existing.st_uid, existing.st_gid);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(temporary.Get(), static_cast<mode_t>(0666 & ~mask));
    }

    int error = WriteAll(temporary.Get(), content);
    if (error == 0 && temporary.Close() != 0) {
        error = errno;
    }
    if (error == 0 && ::rename(pattern.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(pattern.c_str());
        return failure(error);
    }
    return std::nullopt;
}

std::optional<FileError> AppendToFile(const std::filesystem::path& path, std::string_view content)
{
    const auto failure = [&](int error) { return FileError{path, ErrnoReason(error)}; };
    Descriptor file(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (file.Get() < 0) {
        return failure(errno);
    }
    struct stat before {
    };
    if (::fstat(file.Get(), &before) != 0) {
        return failure(errno);
    }
    int error = WriteAll(file.Get(), content);
    if (error != 0) {
        // Take back the part of the block that did get written.
        if (S_ISREG(before.st_mode)) {
            [[maybe_unused]] const int ignored = ::ftruncate(file.Get(), before.st_size);
        }
        return failure(error);
    }
    if (file.Close() != 0) {
        return failure(errno);
    }
    return std::nullopt;
}

} // namespace kestrin
