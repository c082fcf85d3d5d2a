// SPDX-License-Identifier: MIT
// What makes two paths name one file: the links on a path followed to the end, and a file's identity
// (its device and inode, or the absolute path a new file would get), which the clash check compares.

#include "io/file_identity.h"

#include "io/write_calls.h"

#include <cerrno>
#include <sys/stat.h>

namespace kestrin {

std::variant<std::filesystem::path, FileError> FollowLinks(const std::filesystem::path& path)
{
    std::filesystem::path current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {
        };
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return current;
        }
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(current, error);
        if (error) {
            return FileError{path, error.message()};
        }
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return FileError{path, ErrnoReason(ELOOP)};
}

std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& path)
{
    struct stat info {
    };
    if (::stat(path.c_str(), &info) == 0) {
        return FileIdentity{info.st_dev, info.st_ino, {}};
    }
    if (errno != ENOENT) {
        return std::nullopt;
    }
    const auto followed = FollowLinks(path);
    const auto* target = std::get_if<std::filesystem::path>(&followed);
    if (target == nullptr) {
        return std::nullopt;
    }
    std::error_code error;
    std::filesystem::path future =
        std::filesystem::weakly_canonical(std::filesystem::absolute(*target), error);
    if (error || future.empty()) {
        return std::nullopt;
    }
    return FileIdentity{0, 0, std::move(future)};
}

} // namespace kestrin
