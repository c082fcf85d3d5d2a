// SPDX-License-Identifier: MIT
// File faults as the hosts show them, and the look at whether a file can be an input file.

#include "kestrin/file_error.h"

#include "io/file_io.h"

namespace kestrin {

std::string Describe(const FileError& error)
{
    return error.path.string() + ": " + error.reason;
}

std::optional<FileError> CheckInputFile(const std::filesystem::path& path)
{
    auto look = LookAtFile(path);
    if (auto* error = std::get_if<FileError>(&look)) {
        return std::move(*error);
    }
    return std::nullopt;
}

} // namespace kestrin
