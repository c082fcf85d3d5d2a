// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "large_memory.h"

#include "kestrin/file_error.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>

namespace kestrin {

// The whole content of a file, read once.
struct FileBytes {
    LargeBytes data; // a large file's bytes lie on huge pages, which are much quicker to fill
    std::size_t size = 0;

    [[nodiscard]] std::string_view View() const { return {data.get(), size}; }
};

// How a long read is watched from another thread: a set `cancel` stops it between chunks of at most a
// MiB, and a pipe is waited on 20 ms at a time, so that a silent writer does not hold up a cancel;
// `bytesRead` follows the bytes read so far.
struct ReadWatch {
    const CancelFlag* cancel = nullptr;
    std::atomic<std::int64_t>* bytesRead = nullptr;
};

// Reads a file that has an end: a regular file or a pipe, through links. A directory or a device (a
// terminal, /dev/zero) is refused with the reason, as is anything that cannot be opened or read. When
// the watch's cancel flag is set, the read stops early and the bytes are incomplete.
[[nodiscard]] std::variant<FileBytes, FileError> ReadFileBytes(const std::filesystem::path& path,
                                                               const ReadWatch& watch = {});

// What a look at a file before reading it tells: whether it is a regular file, and then its size.
struct FileLook {
    bool regular = false;
    std::int64_t size = 0;
};

// Looks at a file without reading it and gives the error ReadFileBytes would give for a file that is
// missing, a folder, a device or unreadable. A pipe is not opened: that would let its writer start
// before anyone reads.
[[nodiscard]] std::variant<FileLook, FileError> LookAtFile(const std::filesystem::path& path);

// Up to about a MiB of a regular file's bytes, taken in blocks spread evenly over it (the whole file when
// it is smaller): enough to know which byte values are common. Empty for anything else, or when the
// file cannot be read (the read proper reports that).
[[nodiscard]] std::string SampleFileBytes(const std::filesystem::path& path);

} // namespace kestrin
