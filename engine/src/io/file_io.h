#pragma once

#include "large_memory.h"

#include "kestrin/file_error.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
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
    const std::atomic<bool>* cancel = nullptr;
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

// The path a path leads to once every symbolic link on it is followed, also when the last link names
// a file that does not exist yet (the file a write would create). A loop of links gives an error.
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

// The text of an errno value.
[[nodiscard]] std::string ErrnoReason(int error);

// While one lives, the signals that end a program (SIGINT, SIGTERM, SIGHUP, SIGQUIT) are held back
// and the ones that a write itself can raise (SIGPIPE, SIGXFSZ) are ignored, so that the writes in its
// scope finish and clean up; a held-back signal is raised again, with the program's own disposition,
// when the last one ends.
class SignalDeferral
{
public:
    SignalDeferral();
    SignalDeferral(const SignalDeferral&) = delete;
    SignalDeferral& operator=(const SignalDeferral&) = delete;
    ~SignalDeferral();
};

} // namespace kestrin
