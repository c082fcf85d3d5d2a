#pragma once

#include <filesystem>
#include <string>

namespace kestrin {

// A file that could not be read or written, with the system's reason.
struct FileError {
    std::filesystem::path path;
    std::string reason; // from std::error_code::message() or errno

    bool operator==(const FileError&) const = default;
};

// "path: reason", the form every message about a file uses.
[[nodiscard]] std::string Describe(const FileError& error);

} // namespace kestrin
