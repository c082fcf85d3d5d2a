// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace kestrin {

// A file that could not be read or written, with the system's reason.
struct FileError {
    std::filesystem::path path;
    std::string reason; // from std::error_code::message() or errno
    // Another run of the program was writing the file and still held it after a short wait.
    bool busy = false;
    // An append that failed part way and could not be cut back: how many of its bytes stay at the end
    // of the file, and the system's reason why the cut-back failed (empty when it did not fail).
    std::uint64_t bytesLeft = 0;
    std::string cutBackReason;

    bool operator==(const FileError&) const = default;
};

// "path: reason", the form every message about a file uses.
[[nodiscard]] std::string Describe(const FileError& error);

// Why a run could not read this file as an input, in the words the run itself would use: it is missing,
// may not be read, is a folder or is a device. Nothing when a run can read it (a pipe included). The
// file is looked at, never read, so that a host can refuse it when the user chooses it.
[[nodiscard]] std::optional<FileError> CheckInputFile(const std::filesystem::path& path);

} // namespace kestrin
