#include "input_file.h"

#include "file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrin {

std::variant<std::unique_ptr<InputFile>, FileError> InputFile::Open(const std::filesystem::path& path,
                                                                    std::int64_t reach)
{
    std::unique_ptr<InputFile> file(new InputFile());
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return FileError{path, ErrnoReason(errno)};
    }
    struct stat info {
    };
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return FileError{path, ErrnoReason(error)};
    }
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        return FileError{path, ErrnoReason(EISDIR)};
    }
    if (S_ISREG(info.st_mode) && info.st_size > 0) {
        void* mapped = ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped != MAP_FAILED) {
            ::madvise(mapped, static_cast<std::size_t>(info.st_size), MADV_SEQUENTIAL);
            file->mapping = mapped;
            file->data = static_cast<const char*>(mapped);
            file->size = info.st_size;
        }
    }
    ::close(fd);
    if (file->mapping == nullptr) {
        // Pipes, devices and files that cannot be mapped are read whole instead.
        auto content = ReadWholeFile(path);
        if (auto* error = std::get_if<FileError>(&content)) {
            return *error;
        }
        file->owned = std::move(std::get<std::string>(content));
        file->data = file->owned.data();
        file->size = static_cast<std::int64_t>(file->owned.size());
    }
    file->MakeTail(reach);
    return file;
}

InputFile::~InputFile()
{
    if (mapping != nullptr) {
        ::munmap(mapping, static_cast<std::size_t>(size));
    }
}

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
