// SPDX-License-Identifier: MIT
// Writing the report file and the output table so that no failure and no signal leaves a file half
// written: a replace goes through a temporary file and a rename, or rewrites a file with several names
// in place with its old bytes kept; an append reserves its space and is cut back when it fails. A pipe
// or a device is written directly. Every call that changes a file goes through ActiveWriteCalls().

#include "io/safe_write.h"

#include "io/file_identity.h"
#include "io/signal_deferral.h"
#include "io/temporary_files.h"
#include "io/write_calls.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kestrin {
namespace {

// How long an in-place write or an append waits for another run that holds the file's lock.
constexpr auto lockWait = std::chrono::seconds(2);
constexpr auto lockPoll = std::chrono::milliseconds(20);

FileError Failure(const std::filesystem::path& path, int error)
{
    // EWOULDBLOCK only comes from a lock that another run kept past the wait.
    return FileError{path, ErrnoReason(error), error == EWOULDBLOCK};
}

std::optional<FileError> FailureIf(const std::filesystem::path& path, int error)
{
    return error == 0 ? std::nullopt : std::optional(Failure(path, error));
}

// How a write treats a signal that ends the program. A regular file is written to its end, as the
// signal is held back until then; a pipe or a device may block for ever, so there the signal stops it.
enum class OnSignal { Continue, Stop };

// Writes everything, retrying short writes; returns 0 or an errno value. offset < 0 writes at the
// descriptor's own position.
int WriteAll(int fd, std::string_view content, off_t offset = -1, OnSignal onSignal = OnSignal::Continue)
{
    const WriteCalls& calls = ActiveWriteCalls();
    while (!content.empty()) {
        if (onSignal == OnSignal::Stop && SignalDeferral::SignalHeld()) {
            SignalDeferral::AnswerHeldSignal(); // the failed write ends the run, with its message
            return EINTR;
        }
        const ssize_t written = offset < 0 ? calls.write(fd, content.data(), content.size())
                                           : calls.pwrite(fd, content.data(), content.size(), offset);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (written == 0) {
            return EIO;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
        if (offset >= 0) {
            offset += written;
        }
    }
    return 0;
}

// Reserves the disk space of bytes [offset, offset + length) without changing the file's size, so that
// a full disk or a size limit shows before any byte is changed. File systems that cannot reserve are
// written without it.
int Reserve(int fd, off_t offset, std::size_t length)
{
    if (length == 0 ||
        ActiveWriteCalls().fallocate(fd, FALLOC_FL_KEEP_SIZE, offset, static_cast<off_t>(length)) == 0) {
        return 0;
    }
    return errno == EOPNOTSUPP || errno == ENOSYS ? 0 : errno;
}

// Takes the advisory lock that every in-place write and append of the program holds while it writes,
// so that two runs never mix their bytes in one file. Waits a little for a run that holds it; returns
// 0, EWOULDBLOCK when that run kept it, or an errno value. File systems without locks are written without.
int Lock(int fd)
{
    const auto giveUp = std::chrono::steady_clock::now() + lockWait;
    while (ActiveWriteCalls().flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS) {
            return 0;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return errno;
        }
        if (std::chrono::steady_clock::now() >= giveUp) {
            return EWOULDBLOCK;
        }
        std::this_thread::sleep_for(lockPoll);
    }
    return 0; // the lock goes with the descriptor's close
}

// Makes a rename or a new name in the folder last through a crash, as fsync does for a file's data.
void SyncFolder(const std::filesystem::path& file)
{
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    const Descriptor directory(
        ActiveWriteCalls().open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (directory.Get() >= 0) {
        ActiveWriteCalls().fsync(directory.Get());
    }
}

// Opening a pipe for writing waits for a reader; without O_NONBLOCK a pipe nobody reads would hang the
// run. Once open, the descriptor must block again (BlockAgain) so that writes are whole.
int OpenForWriting(const std::filesystem::path& path, int flags)
{
    return ActiveWriteCalls().open(path.c_str(), flags | O_WRONLY | O_CLOEXEC | O_NONBLOCK, 0666);
}

// Clears the O_NONBLOCK that OpenForWriting set. Returns 0 or an errno value.
int BlockAgain(int fd)
{
    const WriteCalls& calls = ActiveWriteCalls();
    const int flags = calls.fcntl(fd, F_GETFL, 0);
    return flags >= 0 && calls.fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 ? 0 : errno;
}

// Whether the path leads to a pipe, a FIFO or a device, through any link, also the system's own links
// of /dev/stdout and /dev/fd/N, whose text names no path. These are written as they are.
bool IsStream(const std::filesystem::path& path)
{
    struct stat info {
    };
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

// Writes a pipe or a device: there is no old content to keep and nothing to cut back.
std::optional<FileError> WriteStream(const std::filesystem::path& path, std::string_view content)
{
    Descriptor file(OpenForWriting(path, 0));
    if (file.Get() < 0) {
        return Failure(path, errno);
    }
    int error = BlockAgain(file.Get());
    if (error == 0) {
        error = WriteAll(file.Get(), content, -1, OnSignal::Stop);
    }
    if (error == 0) {
        error = file.Close();
    }
    return FailureIf(path, error);
}

// Whether a new file made by this program can be given the old file's owner and group.
bool CanTakeOwnership(const struct stat& old)
{
    if (::geteuid() == 0) {
        return true;
    }
    if (old.st_uid != ::geteuid()) {
        return false;
    }
    if (old.st_gid == ::getegid()) {
        return true;
    }
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    const int got = ::getgroups(count, groups.data());
    return std::find(groups.begin(), groups.begin() + std::max(got, 0), old.st_gid) !=
           groups.begin() + std::max(got, 0);
}

// Writes a new file beside the target and renames it over the target; with `old`, the new file takes
// the old one's owner, group and mode first. Returns 0 or an errno value (EPERM where the system
// refuses that owner or mode, for the caller to rewrite in place instead); on failure the target is as
// it was and no temporary file remains.
int WriteThroughRename(const std::filesystem::path& target, std::string_view content, const struct stat* old)
{
    const WriteCalls& calls = ActiveWriteCalls();
    std::filesystem::path temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = TemporaryName(target);
        // The system applies the umask to 0666, as for any new file.
        fd = calls.open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return errno;
        }
    }
    if (fd < 0) {
        return EEXIST;
    }
    // Held until the close: the cleanup of leftovers leaves a file alone while a live run holds it, however
    // long the run takes to write (a slow disk, a stopped process).
    (void)calls.flock(fd, LOCK_EX | LOCK_NB);
    Descriptor file(fd);
    int error = 0;
    if (old != nullptr && (calls.fchown(file.Get(), old->st_uid, old->st_gid) != 0 ||
                           calls.fchmod(file.Get(), old->st_mode & 07777) != 0)) {
        error = errno;
    }
    if (error == 0) {
        error = Reserve(file.Get(), 0, content.size());
    }
    if (error == 0) {
        error = WriteAll(file.Get(), content);
    }
    if (error == 0 && calls.fsync(file.Get()) != 0) {
        error = errno;
    }
    if (error == 0) {
        error = file.Close();
    }
    if (error == 0 && calls.rename(temporary.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        calls.unlink(temporary.c_str());
        return error;
    }
    SyncFolder(target);
    return 0;
}

// Reads the whole old content of an open file, to put it back if the write fails.
int ReadOld(int fd, std::size_t size, std::string& old)
{
    old.resize(size);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t read = ::pread(fd, old.data() + got, size - got, static_cast<off_t>(got));
        if (read < 0 && errno == EINTR) {
            continue;
        }
        if (read <= 0) {
            return read < 0 ? errno : EIO;
        }
        got += static_cast<std::size_t>(read);
    }
    return 0;
}

// Rewrites a file in place under its lock: its space reserved first, its old bytes kept to be put back
// when the write fails after all. Returns 0 or an errno value. Once fsync has taken the new bytes to the
// disk, the close cannot lose them, and its result is not looked at.
int OverwriteInPlace(const std::filesystem::path& target, std::string_view content)
{
    const WriteCalls& calls = ActiveWriteCalls();
    bool readable = true;
    int fd = calls.open(target.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0 && errno == EACCES) {
        readable = false; // a file the user may write but not read: no copy of the old bytes is possible
        fd = calls.open(target.c_str(), O_WRONLY | O_CLOEXEC, 0);
    }
    if (fd < 0) {
        return errno;
    }
    const Descriptor file(fd);
    struct stat info {
    };
    if (const int locked = Lock(file.Get()); locked != 0) {
        return locked;
    }
    if (::fstat(file.Get(), &info) != 0) {
        return errno;
    }
    const auto oldSize = static_cast<std::size_t>(info.st_size);
    if (const int error = Reserve(file.Get(), 0, std::max(oldSize, content.size())); error != 0) {
        return error;
    }
    std::string old;
    if (readable) {
        if (const int error = ReadOld(file.Get(), oldSize, old); error != 0) {
            return error;
        }
    }
    int error = WriteAll(file.Get(), content, 0);
    if (error == 0 && calls.ftruncate(file.Get(), static_cast<off_t>(content.size())) != 0) {
        error = errno;
    }
    if (error == 0 && calls.fsync(file.Get()) != 0) {
        error = errno;
    }
    if (error != 0 && readable) {
        [[maybe_unused]] const int restored = WriteAll(file.Get(), old, 0);
        [[maybe_unused]] const int cut = calls.ftruncate(file.Get(), static_cast<off_t>(oldSize));
        calls.fsync(file.Get());
    }
    return error;
}

// Cuts a failed append back to the file's old length, or removes the file when the append made it.
// A cut-back that fails is told with the bytes it leaves.
FileError UndoAppend(const std::filesystem::path& path, const std::filesystem::path& target, int fd,
                     off_t oldSize, bool created, int error)
{
    FileError failure = Failure(path, error);
    const WriteCalls& calls = ActiveWriteCalls();
    if (created ? calls.unlink(target.c_str()) == 0 : calls.ftruncate(fd, oldSize) == 0) {
        return failure;
    }
    failure.cutBackReason = ErrnoReason(errno);
    struct stat now {
    };
    if (::fstat(fd, &now) == 0 && now.st_size > oldSize) {
        failure.bytesLeft = static_cast<std::uint64_t>(now.st_size - oldSize);
    }
    return failure;
}

// Replaces the file at the end of the links of `path`, which is not a pipe or a device.
std::optional<FileError> ReplaceAtTarget(const std::filesystem::path& path,
                                         const std::filesystem::path& target, std::string_view content)
{
    RemoveLeftovers(target);

    struct stat old {
    };
    if (::stat(target.c_str(), &old) != 0) {
        return FailureIf(path, errno != ENOENT ? errno : WriteThroughRename(target, content, nullptr));
    }
    if (S_ISDIR(old.st_mode)) {
        return Failure(path, EISDIR);
    }
    if (!S_ISREG(old.st_mode)) {
        return WriteStream(target, content);
    }
    // The rename would succeed where writing is refused: refuse as writing would.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        return Failure(path, errno);
    }
    int error = EPERM;
    if (old.st_nlink == 1 && CanTakeOwnership(old)) {
        error = WriteThroughRename(target, content, &old);
    }
    // Other names of the file must see the new report, a file of another owner must keep its owner (also
    // where the file system refuses to give it to the new file), and a folder the user may not write to
    // still holds a file the user may write.
    if (error == EPERM || error == EACCES) {
        error = OverwriteInPlace(target, content);
    }
    return FailureIf(path, error);
}

// Appends to the file at the end of the links of `path`, which is not a pipe or a device.
std::optional<FileError> AppendAtTarget(const std::filesystem::path& path,
                                        const std::filesystem::path& target, std::string_view content)
{
    bool existed = false;
    std::optional<Descriptor> opened;
    struct stat info {
    };
    // A run that made the file and then failed removes it, maybe while this one waits for the lock on it: a
    // block appended to a file that the name no longer leads to would be lost, so the name is opened again.
    for (int attempt = 0;; ++attempt) {
        struct stat before {
        };
        existed = ::stat(target.c_str(), &before) == 0;
        opened.emplace(OpenForWriting(target, O_APPEND | O_CREAT));
        if (opened->Get() < 0) {
            return Failure(path, errno);
        }
        if (::fstat(opened->Get(), &info) != 0) {
            return Failure(path, errno);
        }
        if (!S_ISREG(info.st_mode)) {
            const int error = BlockAgain(opened->Get());
            return FailureIf(path, error != 0 ? error : WriteAll(opened->Get(), content, -1, OnSignal::Stop));
        }
        // The length is taken under the lock: a run that held it may have appended its own block meanwhile.
        if (const int locked = Lock(opened->Get()); locked != 0 || ::fstat(opened->Get(), &info) != 0) {
            return Failure(path, locked != 0 ? locked : errno);
        }
        struct stat named {
        };
        if (::stat(target.c_str(), &named) == 0 && named.st_dev == info.st_dev &&
            named.st_ino == info.st_ino) {
            break;
        }
        if (attempt == 100) {
            return Failure(path, ENOENT);
        }
    }
    const Descriptor& file = *opened;
    const bool created = !existed && info.st_size == 0;
    // Only now, so that a failure still removes a file that this call created.
    int error = BlockAgain(file.Get());
    if (error == 0) {
        error = Reserve(file.Get(), info.st_size, content.size());
    }
    if (error == 0) {
        error = WriteAll(file.Get(), content);
    }
    if (error == 0 && ActiveWriteCalls().fsync(file.Get()) != 0) {
        error = errno;
    }
    if (error != 0) {
        return UndoAppend(path, target, file.Get(), info.st_size, created, error);
    }
    if (created) {
        SyncFolder(target);
    }
    return std::nullopt; // the close after fsync cannot lose the block (see OverwriteInPlace)
}

// Writes `content` to `target`, the file at the end of the links of the name `named`.
using WriteAtTarget = std::optional<FileError> (*)(const std::filesystem::path& named,
                                                   const std::filesystem::path& target,
                                                   std::string_view content);

// The steps both writes share, with signals deferred throughout: an empty name is refused, a pipe or a
// device is written as it is, and a file is written by `write` at the end of its links.
std::optional<FileError> WriteThroughLinks(const std::filesystem::path& path, std::string_view content,
                                           WriteAtTarget write)
{
    const SignalDeferral signals;
    if (path.empty()) {
        return Failure(path, ENOENT);
    }
    if (IsStream(path)) {
        return WriteStream(path, content);
    }
    const auto followed = FollowLinks(path);
    if (const auto* error = std::get_if<FileError>(&followed)) {
        return *error;
    }
    return write(path, std::get<std::filesystem::path>(followed), content);
}

} // namespace

std::optional<FileError> ReplaceFile(const std::filesystem::path& path, std::string_view content)
{
    return WriteThroughLinks(path, content, ReplaceAtTarget);
}

std::optional<FileError> AppendToFile(const std::filesystem::path& path, std::string_view content)
{
    return WriteThroughLinks(path, content, AppendAtTarget);
}

} // namespace kestrin
