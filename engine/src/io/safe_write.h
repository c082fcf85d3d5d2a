// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/file_error.h"

#include <filesystem>
#include <optional>
#include <string_view>

namespace kestrin {

// Replaces the file's content as one step: the old content survives any failure. A file with one name
// that the program may give its owner and mode is replaced through a temporary file in the same folder
// and a rename; a file with several names, or owned by someone else, is rewritten in place with its
// space reserved first and its old bytes put back if the write fails. A symbolic link is followed (a
// dangling one creates the file it names); a device or a pipe is written as it is. A file the user may
// not write is refused as writing it would be. The data reach the disk (fsync) before it returns.
[[nodiscard]] std::optional<FileError> ReplaceFile(const std::filesystem::path& path,
                                                   std::string_view content);

// Appends the content in one piece, creating the file when missing. The space is reserved first, and
// when the write still fails part way the file is cut back to its old length (or removed when this
// call created it), so it never ends in half a block. The data reach the disk before it returns.
[[nodiscard]] std::optional<FileError> AppendToFile(const std::filesystem::path& path,
                                                    std::string_view content);

} // namespace kestrin
