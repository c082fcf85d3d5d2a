// SPDX-License-Identifier: MIT
// What makes two paths name one file: the links on a path followed to the end, and a file's identity
// (its device and inode, or the absolute path a new file would get), which the clash check compares.

#include "io/file_identity.h"

#include "io/write_calls.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

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
        // As the system's rule for links in sticky folders: someone else's link there may lead anywhere.
        struct stat folder {
        };
        const std::filesystem::path parent = current.has_parent_path() ? current.parent_path() : ".";
        if (::stat(parent.c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) != 0 &&
            (folder.st_mode & S_IWOTH) != 0 && info.st_uid != ::geteuid() && info.st_uid != folder.st_uid) {
            return FileError{path, ErrnoReason(EACCES)};
        }
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(current, error);
        if (error) {
            return FileError{path, error.message()};
        }
        const std::filesystem::path next = target.is_absolute() ? target : current.parent_path() / target;
        // The system reaches a file through the link that its text does not name (a removed file's
        // "/tmp/t.tbl (deleted)"): the link itself leads there.
        struct stat reached {
        }, named{};
        if (::stat(current.c_str(), &reached) == 0 && ::lstat(next.c_str(), &named) != 0 && errno == ENOENT) {
            return current;
        }
        current = next;
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
