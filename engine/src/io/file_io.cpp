#include "io/file_io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace kestrin {
namespace {

// Closes a descriptor when it goes out of scope.
class Descriptor
{
public:
    explicit Descriptor(int descriptor) : fd(descriptor) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    [[nodiscard]] int Get() const { return fd; }
    // Closes now and reports the result: a delayed write error may only show here.
    [[nodiscard]] int Close()
    {
        const int result = ::close(fd);
        fd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int fd;
};

// Writes everything, retrying short writes; returns 0 or an errno value. offset < 0 writes at the
// descriptor's own position.
int WriteAll(int fd, std::string_view content, off_t offset = -1)
{
    while (!content.empty()) {
        const ssize_t written = offset < 0 ? ::write(fd, content.data(), content.size())
                                           : ::pwrite(fd, content.data(), content.size(), offset);
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
    if (length == 0 || ::fallocate(fd, FALLOC_FL_KEEP_SIZE, offset, static_cast<off_t>(length)) == 0) {
        return 0;
    }
    return errno == EOPNOTSUPP || errno == ENOSYS ? 0 : errno;
}

// Makes a rename or a new name in the folder last through a crash, as fsync does for a file's data.
void SyncFolder(const std::filesystem::path& file)
{
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Opening a pipe for writing waits for a reader; without O_NONBLOCK a pipe nobody reads would hang the
// run. Once open, the descriptor blocks again so that writes are whole.
int OpenForWriting(const std::filesystem::path& path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_WRONLY | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd >= 0) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    return fd;
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

// Writes a new file beside the target and renames it over the target. Returns 0 or an errno value;
// on failure the target is as it was and no temporary file remains.
int WriteThroughRename(const std::filesystem::path& target, std::string_view content, const struct stat* old)
{
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    static std::atomic<unsigned> made{0};
    std::random_device entropy;
    std::filesystem::path temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = folder / ("." + target.filename().string() + "." + std::to_string(::getpid()) + "." +
                              std::to_string(made++) + "." + std::to_string(entropy() % 100000) + ".tmp");
        // The system applies the umask to 0666, as for any new file.
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return errno;
        }
    }
    if (fd < 0) {
        return EEXIST;
    }
    Descriptor file(fd);
    if (old != nullptr) {
        [[maybe_unused]] const int owner = ::fchown(file.Get(), old->st_uid, old->st_gid);
        ::fchmod(file.Get(), old->st_mode & 07777);
    }
    int error = Reserve(file.Get(), 0, content.size());
    if (error == 0) {
        error = WriteAll(file.Get(), content);
    }
    if (error == 0 && ::fsync(file.Get()) != 0) {
        error = errno;
    }
    if (error == 0) {
        error = file.Close();
    }
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        return error;
    }
    SyncFolder(target);
    return 0;
}

// Rewrites a file in place: its space reserved first, its old bytes kept to be put back when the
// write fails after all. Returns 0 or an errno value.
int OverwriteInPlace(const std::filesystem::path& target, std::string_view content)
{
    bool readable = true;
    int fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) {
        readable = false; // a file the user may write but not read: no copy of the old bytes is possible
        fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    }
    if (fd < 0) {
        return errno;
    }
    Descriptor file(fd);
    struct stat info {
    };
    if (::fstat(file.Get(), &info) != 0) {
        return errno;
    }
    const auto oldSize = static_cast<std::size_t>(info.st_size);
    if (const int error = Reserve(file.Get(), 0, std::max(oldSize, content.size())); error != 0) {
        return error;
    }
    std::string old;
    if (readable) {
        old.resize(oldSize);
        std::size_t got = 0;
        while (got < oldSize) {
            const ssize_t read =
                ::pread(file.Get(), old.data() + got, oldSize - got, static_cast<off_t>(got));
            if (read < 0 && errno == EINTR) {
                continue;
            }
            if (read <= 0) {
                return read < 0 ? errno : EIO;
            }
            got += static_cast<std::size_t>(read);
        }
    }
    int error = WriteAll(file.Get(), content, 0);
    if (error == 0 && ::ftruncate(file.Get(), static_cast<off_t>(content.size())) != 0) {
        error = errno;
    }
    if (error == 0 && ::fsync(file.Get()) != 0) {
        error = errno;
    }
    if (error != 0) {
        if (readable) {
            [[maybe_unused]] const int restored = WriteAll(file.Get(), old, 0);
            [[maybe_unused]] const int cut = ::ftruncate(file.Get(), static_cast<off_t>(oldSize));
            ::fsync(file.Get());
        }
        return error;
    }
    return file.Close();
}

// Reads take at most this much at a time, so that a cancel is seen soon even on a slow disk.
constexpr std::size_t readChunk = std::size_t{1} << 20;
// How long a read waits on a silent pipe before it looks at the cancel flag again.
constexpr int pipeWaitMilliseconds = 20;

// A folder or a device has no end to read to: the error that refuses it, or nothing.
std::optional<FileError> RefuseEndless(const std::filesystem::path& path, const struct stat& info)
{
    if (S_ISDIR(info.st_mode)) {
        return FileError{path, ErrnoReason(EISDIR)};
    }
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
        // A terminal or a device such as /dev/zero has no end to read to.
        return FileError{path, "is a device, not a file"};
    }
    return std::nullopt;
}

// The signal handling of SignalDeferral belongs to the whole process, and so do these.
constexpr int heldSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int ignoredSignals[] = {SIGPIPE, SIGXFSZ};
std::mutex deferralMutex;
int deferralDepth = 0;
struct sigaction savedHeld[std::size(heldSignals)];
struct sigaction savedIgnored[std::size(ignoredSignals)];
volatile std::sig_atomic_t heldSignal = 0;

extern "C" void HoldSignal(int signal)
{
    if (heldSignal == 0) {
        heldSignal = signal;
    }
}

} // namespace

std::string ErrnoReason(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

std::variant<FileBytes, FileError> ReadFileBytes(const std::filesystem::path& path, const ReadWatch& watch)
{
    const auto failure = [&](int error) { return FileError{path, ErrnoReason(error)}; };
    // Without O_NONBLOCK, opening a pipe waits for a writer, and nothing could stop that wait.
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.Get() < 0) {
        return failure(errno);
    }
    struct stat info {
    };
    if (::fstat(file.Get(), &info) != 0) {
        return failure(errno);
    }
    if (const auto refused = RefuseEndless(path, info)) {
        return *refused;
    }
    const bool regular = S_ISREG(info.st_mode);
    if (regular) {
        ::fcntl(file.Get(), F_SETFL, ::fcntl(file.Get(), F_GETFL) & ~O_NONBLOCK);
    }
    // One byte more than the size, so that a file that grows while it is read is noticed.
    std::size_t capacity = regular ? static_cast<std::size_t>(info.st_size) + 1 : std::size_t{1} << 16;
    FileBytes bytes;
    bytes.data = AllocateLargeBytes(capacity);
    while (watch.cancel == nullptr || !watch.cancel->load(std::memory_order_relaxed)) {
        if (bytes.size == capacity) {
            capacity *= 2;
            auto larger = AllocateLargeBytes(capacity);
            std::memcpy(larger.get(), bytes.data.get(), bytes.size);
            bytes.data = std::move(larger);
        }
        if (!regular) {
            // A pipe says when it has bytes or has lost its writer; until then the cancel flag is looked at.
            pollfd ready{file.Get(), POLLIN, 0};
            const int events = ::poll(&ready, 1, pipeWaitMilliseconds);
            if (events < 0 && errno != EINTR) {
                return failure(errno);
            }
            if (events <= 0) {
                continue;
            }
        }
        const ssize_t got =
            ::read(file.Get(), bytes.data.get() + bytes.size, std::min(readChunk, capacity - bytes.size));
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            return failure(errno);
        }
        if (got == 0) {
            return bytes;
        }
        bytes.size += static_cast<std::size_t>(got);
        if (watch.bytesRead != nullptr) {
            watch.bytesRead->store(static_cast<std::int64_t>(bytes.size), std::memory_order_relaxed);
        }
    }
    return bytes;
}

std::variant<FileLook, FileError> LookAtFile(const std::filesystem::path& path)
{
    struct stat info {
    };
    if (::stat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode)) {
        return FileLook{};
    }
    // Opened as the read opens it, so that a missing or unreadable file fails with the same reason.
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0) {
        return FileError{path, ErrnoReason(errno)};
    }
    if (const auto refused = RefuseEndless(path, info)) {
        return *refused;
    }
    return FileLook{S_ISREG(info.st_mode),
                    S_ISREG(info.st_mode) ? static_cast<std::int64_t>(info.st_size) : 0};
}

std::string SampleFileBytes(const std::filesystem::path& path)
{
    constexpr std::size_t blocks = 64;
    constexpr std::size_t blockSize = std::size_t{1} << 14;
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {
    };
    if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return {};
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    const std::size_t stride = size <= blocks * blockSize ? blockSize : size / blocks;
    std::string sample;
    for (std::size_t offset = 0; offset < size && sample.size() < blocks * blockSize; offset += stride) {
        const std::size_t old = sample.size();
        sample.resize(old + std::min(blockSize, size - offset));
        const ssize_t got =
            ::pread(file.Get(), sample.data() + old, sample.size() - old, static_cast<off_t>(offset));
        sample.resize(old + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
    return sample;
}

std::variant<std::filesystem::path, FileError> FollowLinks(const std::filesystem::path& path)
{
    std::filesystem::path current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {
        };
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return current;
        }
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(current, error);
        if (error) {
            return FileError{path, error.message()};
        }
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return FileError{path, ErrnoReason(ELOOP)};
}

std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& path)
{
    struct stat info {
    };
    if (::stat(path.c_str(), &info) == 0) {
        return FileIdentity{info.st_dev, info.st_ino, {}};
    }
    if (errno != ENOENT) {
        return std::nullopt;
    }
    const auto followed = FollowLinks(path);
    const auto* target = std::get_if<std::filesystem::path>(&followed);
    if (target == nullptr) {
        return std::nullopt;
    }
    std::error_code error;
    std::filesystem::path future =
        std::filesystem::weakly_canonical(std::filesystem::absolute(*target), error);
    if (error || future.empty()) {
        return std::nullopt;
    }
    return FileIdentity{0, 0, std::move(future)};
}

std::optional<FileError> ReplaceFile(const std::filesystem::path& path, std::string_view content)
{
    const SignalDeferral signals;
    const auto failure = [&](int error) { return FileError{path, ErrnoReason(error)}; };
    if (path.empty()) {
        return failure(ENOENT);
    }
    const auto followed = FollowLinks(path);
    if (const auto* error = std::get_if<FileError>(&followed)) {
        return *error;
    }
    const auto& target = std::get<std::filesystem::path>(followed);

    struct stat old {
    };
    if (::stat(target.c_str(), &old) != 0) {
        if (errno != ENOENT) {
            return failure(errno);
        }
        const int error = WriteThroughRename(target, content, nullptr);
        return error == 0 ? std::nullopt : std::optional(failure(error));
    }
    if (S_ISDIR(old.st_mode)) {
        return failure(EISDIR);
    }
    if (!S_ISREG(old.st_mode)) {
        // A device or a pipe is written as it is: there is no old content to keep.
        Descriptor file(OpenForWriting(target, 0));
        if (file.Get() < 0) {
            return failure(errno);
        }
        int error = WriteAll(file.Get(), content);
        if (error == 0) {
            error = file.Close();
        }
        return error == 0 ? std::nullopt : std::optional(failure(error));
    }
    // The rename would succeed where writing is refused: refuse as writing would.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        return failure(errno);
    }
    int error = EPERM;
    if (old.st_nlink == 1 && CanTakeOwnership(old)) {
        error = WriteThroughRename(target, content, &old);
    }
    // Other names of the file must see the new report, a file of another owner must keep its owner, and
    // a folder the user may not write to still holds a file the user may write.
    if (error == EPERM || error == EACCES) {
        error = OverwriteInPlace(target, content);
    }
    return error == 0 ? std::nullopt : std::optional(failure(error));
}

std::optional<FileError> AppendToFile(const std::filesystem::path& path, std::string_view content)
{
    const SignalDeferral signals;
    const auto failure = [&](int error) { return FileError{path, ErrnoReason(error)}; };
    if (path.empty()) {
        return failure(ENOENT);
    }
    const auto followed = FollowLinks(path);
    if (const auto* error = std::get_if<FileError>(&followed)) {
        return *error;
    }
    const auto& target = std::get<std::filesystem::path>(followed);
    struct stat before {
    };
    const bool existed = ::stat(target.c_str(), &before) == 0;
    Descriptor file(OpenForWriting(target, O_APPEND | O_CREAT));
    if (file.Get() < 0) {
        return failure(errno);
    }
    struct stat info {
    };
    if (::fstat(file.Get(), &info) != 0) {
        return failure(errno);
    }
    const bool regular = S_ISREG(info.st_mode);
    const auto undo = [&] {
        if (!regular) {
            return;
        }
        if (existed) {
            [[maybe_unused]] const int cut = ::ftruncate(file.Get(), info.st_size);
        } else {
            ::unlink(target.c_str());
        }
    };
    int error = regular ? Reserve(file.Get(), info.st_size, content.size()) : 0;
    if (error == 0) {
        error = WriteAll(file.Get(), content);
    }
    if (error == 0 && regular && ::fsync(file.Get()) != 0) {
        error = errno;
    }
    if (error != 0) {
        undo();
        return failure(error);
    }
    if (const int closed = file.Close(); closed != 0) {
        return failure(closed);
    }
    if (!existed) {
        SyncFolder(target);
    }
    return std::nullopt;
}

SignalDeferral::SignalDeferral()
{
    const std::lock_guard lock(deferralMutex);
    if (deferralDepth++ > 0) {
        return;
    }
    heldSignal = 0;
    struct sigaction hold {
    };
    hold.sa_handler = HoldSignal;
    sigfillset(&hold.sa_mask);
    for (std::size_t i = 0; i < std::size(heldSignals); ++i) {
        ::sigaction(heldSignals[i], nullptr, &savedHeld[i]);
        if (savedHeld[i].sa_handler != SIG_IGN) { // an ignored signal stays ignored
            ::sigaction(heldSignals[i], &hold, nullptr);
        }
    }
    struct sigaction ignore {
    };
    ignore.sa_handler = SIG_IGN;
    for (std::size_t i = 0; i < std::size(ignoredSignals); ++i) {
        ::sigaction(ignoredSignals[i], &ignore, &savedIgnored[i]);
    }
}

SignalDeferral::~SignalDeferral()
{
    int held = 0;
    {
        const std::lock_guard lock(deferralMutex);
        if (--deferralDepth > 0) {
            return;
        }
        for (std::size_t i = 0; i < std::size(heldSignals); ++i) {
            ::sigaction(heldSignals[i], &savedHeld[i], nullptr);
        }
        for (std::size_t i = 0; i < std::size(ignoredSignals); ++i) {
            ::sigaction(ignoredSignals[i], &savedIgnored[i], nullptr);
        }
        held = heldSignal;
        heldSignal = 0;
    }
    if (held != 0) {
        ::raise(held);
    }
}

} // namespace kestrin
