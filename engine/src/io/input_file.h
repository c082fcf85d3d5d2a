// SPDX-License-Identifier: MIT
#pragma once

#include "io/file_reading.h"
#include "large_memory.h"

#include "kestrin/file_error.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace kestrin {

// One input file held in memory for a whole run, read once. Reads beyond its end see NUL filler, so that
// every window of a run is a plain sequence of bytes in memory and an entry of the count table can point at
// its text instead of copying it.
class InputFile
{
public:
    // reach: how far past the end a read may go (the longest window plus the longer delimiter). A read
    // that the watch cancels gives a file with only the bytes read so far.
    [[nodiscard]] static std::variant<std::unique_ptr<InputFile>, FileError>
    Open(const std::filesystem::path& path, std::int64_t reach, const ReadWatch& watch = {});
    // Bytes made in memory, held as a file of `size` bytes.
    [[nodiscard]] static std::unique_ptr<InputFile> FromBytes(LargeBytes bytes, std::int64_t size,
                                                              std::int64_t reach);
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    [[nodiscard]] std::int64_t Size() const { return size; }

    // The bytes from the 0-based position on, at least `length` of them, NUL past the end of the file.
    // position + length must not exceed Size() + 2 * reach.
    [[nodiscard]] const char* At(std::int64_t position, std::int64_t length) const
    {
        if (position + length <= size) {
            return data + position;
        }
        return tail.data() + (position - tailStart);
    }

    // The byte at a position, 0 past the end.
    [[nodiscard]] unsigned char ByteAt(std::int64_t position) const
    {
        return position < size ? static_cast<unsigned char>(data[position]) : 0;
    }

    // The file's own bytes (without filler).
    [[nodiscard]] const char* Data() const { return data; }

    // Where the copy of the file's last bytes and the NUL filler after them starts in memory.
    [[nodiscard]] const char* FillerStart() const { return tail.data(); }

    // The position that a pointer returned by At() stands for, or -1 when it points elsewhere.
    [[nodiscard]] std::int64_t PositionOf(const char* text) const
    {
        // Unsigned distances: a pointer below the block wraps round to a huge distance.
        const auto at = reinterpret_cast<std::uintptr_t>(text);
        if (const std::uintptr_t offset = at - reinterpret_cast<std::uintptr_t>(data);
            offset < static_cast<std::uintptr_t>(size)) {
            return static_cast<std::int64_t>(offset);
        }
        if (const std::uintptr_t offset = at - reinterpret_cast<std::uintptr_t>(tail.data());
            offset < tail.size()) {
            return tailStart + static_cast<std::int64_t>(offset);
        }
        return -1;
    }

private:
    InputFile() = default;
    void MakeTail(std::int64_t reach);

    const char* data = nullptr;
    std::int64_t size = 0;
    LargeBytes owned;           // the content
    std::int64_t tailStart = 0; // first file position copied into the tail
    std::vector<char> tail;     // the last bytes of the file followed by NUL filler
};

} // namespace kestrin
