#pragma once

#include "kestrin/file_error.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace kestrin {

// The whole content of a file as bytes, or why it could not be read.
[[nodiscard]] std::variant<std::string, FileError> ReadWholeFile(const std::filesystem::path& path);

// Replaces the file with the content through a temporary file in the same folder and a rename, so the
// old file stays as it was when anything fails; the new file keeps the old one's mode. A symbolic link
// is followed, and a device, a pipe or a file with several names is written in place instead.
[[nodiscard]] std::optional<FileError> ReplaceFile(const std::filesystem::path& path,
                                                   std::string_view content);

// Appends the content in one piece, creating the file when missing. When the write fails part way the
// file is cut back to its old length, so it never ends in half a block.
[[nodiscard]] std::optional<FileError> AppendToFile(const std::filesystem::path& path,
                                                    std::string_view content);

// The text of an errno value.
[[nodiscard]] std::string ErrnoReason(int error);

} // namespace kestrin
