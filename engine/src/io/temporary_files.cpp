// SPDX-License-Identifier: MIT
// The temporary files through which a report is replaced: short names of their own beside the report,
// and the removal of those that killed runs left behind. The name ties a leftover to its report by a
// hash of the report's name, since the name itself may take all of the 255 bytes a name may have.

#include "io/temporary_files.h"

#include "io/write_calls.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrin {
namespace {

constexpr std::string_view randomLetters = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr std::size_t randomLength = 6;
constexpr std::string_view temporarySuffix = ".tmp";
constexpr std::chrono::seconds leftoverAge{60};

// FNV-1a over the name's bytes: the same in every build, so that a later run finds an earlier one's files.
std::uint64_t NameHash(std::string_view name)
{
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const char byte : name) {
        hash = (hash ^ static_cast<unsigned char>(byte)) * 0x100000001b3u;
    }
    return hash;
}

std::filesystem::path FolderOf(const std::filesystem::path& target)
{
    return target.has_parent_path() ? target.parent_path() : ".";
}

// Whether the name has the form the program's earlier versions gave their temporary files:
// "." + the target's name + ".PID.N.RANDOM.tmp", three numbers.
bool IsEarlierLeftoverName(std::string_view name, std::string_view target)
{
    if (name.size() <= target.size() + 2 || name[0] != '.' || name.substr(1, target.size()) != target ||
        !name.ends_with(temporarySuffix)) {
        return false;
    }
    std::string_view numbers = name.substr(target.size() + 1);
    numbers.remove_suffix(temporarySuffix.size());
    int count = 0;
    while (!numbers.empty() && numbers[0] == '.' && count < 3) {
        numbers.remove_prefix(1);
        const std::size_t digits = std::min(numbers.find_first_not_of("0123456789"), numbers.size());
        if (digits == 0) {
            return false;
        }
        numbers.remove_prefix(digits);
        ++count;
    }
    return count == 3 && numbers.empty();
}

bool IsLeftoverName(std::string_view name, std::string_view prefix)
{
    if (name.size() != prefix.size() + randomLength + temporarySuffix.size() ||
        name.substr(0, prefix.size()) != prefix ||
        name.substr(name.size() - temporarySuffix.size()) != temporarySuffix) {
        return false;
    }
    return name.substr(prefix.size(), randomLength).find_first_not_of(randomLetters) ==
           std::string_view::npos;
}

} // namespace

std::string TemporaryPrefix(const std::filesystem::path& target)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::uint64_t hash = NameHash(target.filename().native());
    std::string prefix = ".kestrin-";
    for (int shift = 60; shift >= 0; shift -= 4) {
        prefix += digits[(hash >> shift) & 0xF];
    }
    return prefix + "-";
}

std::filesystem::path TemporaryName(const std::filesystem::path& target)
{
    static std::random_device entropy;
    std::string name = TemporaryPrefix(target);
    std::uniform_int_distribution<std::size_t> pick(0, randomLetters.size() - 1);
    for (std::size_t i = 0; i < randomLength; ++i) {
        name += randomLetters[pick(entropy)];
    }
    return FolderOf(target) / (name + std::string(temporarySuffix));
}

int RemoveLeftovers(const std::filesystem::path& target)
{
    const std::filesystem::path folder = FolderOf(target);
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) {
        return 0;
    }
    const std::string prefix = TemporaryPrefix(target);
    const std::string targetName = target.filename().native();
    const auto oldest = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() - leftoverAge);
    int removed = 0;
    while (const dirent* entry = ::readdir(listing)) {
        struct stat info {
        };
        if ((!IsLeftoverName(entry->d_name, prefix) && !IsEarlierLeftoverName(entry->d_name, targetName)) ||
            ::fstatat(::dirfd(listing), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || info.st_mtime >= oldest) {
            continue;
        }
        // A live run holds the lock of its file: only a file whose lock can be had is a leftover.
        const int fd =
            ::openat(::dirfd(listing), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ActiveWriteCalls().unlink((folder / entry->d_name).c_str()) == 0) {
            ++removed;
        }
        ::close(fd);
    }
    ::closedir(listing);
    return removed;
}

} // namespace kestrin
