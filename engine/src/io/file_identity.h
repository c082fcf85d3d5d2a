// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/file_error.h"

#include <filesystem>
#include <optional>
#include <sys/types.h>
#include <variant>

namespace kestrin {

// The path a path leads to once every symbolic link on it is followed, also when the last link names
// a file that does not exist yet (the file a write would create). A loop of links gives an error, and so
// does a link that the system would not follow either: one in a sticky folder that anyone may write to
// (the system's temporary folder), whose owner is neither the user nor the folder's owner. A link that
// leads to a file by no name the system gives (/proc/self/fd/N of a removed file) is the end itself.
[[nodiscard]] std::variant<std::filesystem::path, FileError> FollowLinks(const std::filesystem::path& path);

// What tells two names of one file apart from two files: the device and the inode of an existing file,
// or, for a file that does not exist yet, the absolute path it would be created at.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    std::filesystem::path future; // set when the file does not exist

    bool operator==(const FileIdentity&) const = default;
};
[[nodiscard]] std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& path);

} // namespace kestrin
