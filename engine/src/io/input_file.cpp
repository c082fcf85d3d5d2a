// SPDX-License-Identifier: MIT
// An input file in memory, read whole, with the filler after its end that the last windows read.

#include "io/input_file.h"

#include <algorithm>
#include <cstring>

namespace kestrin {

std::variant<std::unique_ptr<InputFile>, FileError>
InputFile::Open(const std::filesystem::path& path, std::int64_t reach, const ReadWatch& watch)
{
    // The file is read into memory rather than mapped: a mapped file that another program shortens
    // during the run would end the program, and thousands of mappings hit the system's limit.
    auto read = ReadFileBytes(path, watch);
    if (auto* error = std::get_if<FileError>(&read)) {
        return *error;
    }
    FileBytes& bytes = std::get<FileBytes>(read);
    std::unique_ptr<InputFile> file(new InputFile());
    file->owned = std::move(bytes.data);
    file->data = file->owned.get();
    file->size = static_cast<std::int64_t>(bytes.size);
    file->MakeTail(reach);
    return file;
}

std::unique_ptr<InputFile> InputFile::FromBytes(LargeBytes bytes, std::int64_t size, std::int64_t reach)
{
    std::unique_ptr<InputFile> file(new InputFile());
    file->owned = std::move(bytes);
    file->data = file->owned.get();
    file->size = size;
    file->MakeTail(reach);
    return file;
}

InputFile::~InputFile() = default;

void InputFile::MakeTail(std::int64_t reach)
{
    tailStart = std::max<std::int64_t>(0, size - reach);
    const auto kept = static_cast<std::size_t>(size - tailStart);
    tail.assign(kept + static_cast<std::size_t>(2 * reach) + 1, '\0');
    if (kept > 0) {
        std::memcpy(tail.data(), data + tailStart, kept);
    }
}

} // namespace kestrin
