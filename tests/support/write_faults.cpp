// SPDX-License-Identifier: MIT
// Fault injection for the file writes: replaces the entries of the engine's table of write calls with
// wrappers that fail on demand, and runs code in a child process with a file-size cap and a time limit.

#include "write_faults.h"

#include "io/write_calls.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace kestrin::testing {
namespace {

InjectedWriteFaults* active = nullptr;

const WriteCalls& System()
{
    return SystemWriteCalls();
}

// Fails the call as the fault says: -1 with errno set.
int Fail(const WriteFault& fault)
{
    errno = fault.error;
    return -1;
}

ssize_t WriteWith(const WriteFault* fault, int fd, const void* data, size_t size, off_t offset)
{
    if (fault != nullptr && !fault->shortWrite) {
        return Fail(*fault);
    }
    const size_t part = fault != nullptr ? std::max<size_t>(size / 2, 1) : size;
    return offset < 0 ? System().write(fd, data, part) : System().pwrite(fd, data, part, offset);
}

// The wrapper of a call that a fault fails or the system makes; with pathAt, the path in that argument is
// recorded.
template <WriteCall kind, auto member, int pathAt = -1> struct Plain;
template <WriteCall kind, typename... Args, int (*WriteCalls::*member)(Args...), int pathAt>
struct Plain<kind, member, pathAt> {
    static int Call(Args... args)
    {
        WriteCallRecord record{kind};
        if constexpr (pathAt >= 0) {
            record.path = std::get<pathAt>(std::tie(args...));
        }
        const WriteFault* fault = active->Take(std::move(record));
        return fault != nullptr ? Fail(*fault) : (System().*member)(args...);
    }
};

constexpr WriteCalls injected{
    .open = Plain<WriteCall::Open, &WriteCalls::open, 0>::Call,
    .write = [](int fd, const void* data,
                size_t size) { return WriteWith(active->Take({WriteCall::Write}), fd, data, size, -1); },
    .pwrite =
        [](int fd, const void* data, size_t size, off_t offset) {
            return WriteWith(active->Take({WriteCall::Write}), fd, data, size, offset);
        },
    .fsync =
        [](int fd) {
            struct stat info {
            };
            const bool folder = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
            const WriteFault* fault = active->Take({WriteCall::Fsync, folder});
            return fault != nullptr ? Fail(*fault) : System().fsync(fd);
        },
    .close =
        [](int fd) {
            const WriteFault* fault = active->Take({WriteCall::Close});
            const int closed = System().close(fd); // a failing close still frees the descriptor
            return fault != nullptr ? Fail(*fault) : closed;
        },
    .rename = Plain<WriteCall::Rename, &WriteCalls::rename, 1>::Call,
    .unlink = Plain<WriteCall::Unlink, &WriteCalls::unlink, 0>::Call,
    .fallocate = Plain<WriteCall::Fallocate, &WriteCalls::fallocate>::Call,
    .ftruncate = Plain<WriteCall::Ftruncate, &WriteCalls::ftruncate>::Call,
    .flock = Plain<WriteCall::Flock, &WriteCalls::flock>::Call,
    .fchown = Plain<WriteCall::Fchown, &WriteCalls::fchown>::Call,
    .fchmod = Plain<WriteCall::Fchmod, &WriteCalls::fchmod>::Call,
    .fcntl = Plain<WriteCall::Fcntl, &WriteCalls::fcntl>::Call,
};

} // namespace

InjectedWriteFaults::InjectedWriteFaults(std::vector<WriteFault> planned)
    : faults(std::move(planned)), fired(faults.size(), false), made(static_cast<int>(WriteCall::Fcntl) + 1, 0)
{
    if (active != nullptr) {
        throw std::logic_error("faults are already injected");
    }
    active = this;
    ActiveWriteCalls() = injected;
}

InjectedWriteFaults::~InjectedWriteFaults()
{
    ActiveWriteCalls() = SystemWriteCalls();
    active = nullptr;
}

bool InjectedWriteFaults::AllFired() const
{
    return std::all_of(fired.begin(), fired.end(), [](bool f) { return f; });
}

const WriteFault* InjectedWriteFaults::Take(WriteCallRecord record)
{
    const int nth = made[static_cast<std::size_t>(record.call)]++;
    const WriteCall call = record.call;
    calls.push_back(std::move(record));
    for (std::size_t i = 0; i < faults.size(); ++i) {
        if (faults[i].call == call && faults[i].nth == nth && !fired[i]) {
            fired[i] = true;
            return &faults[i];
        }
    }
    return nullptr;
}

int InChild(const std::function<int()>& body, ChildLimits limits)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(limits.seconds);
        if (limits.fileSize != RLIM_INFINITY) {
            std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of ending the process
            const rlimit limit{limits.fileSize, limits.fileSize};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (limits.unprivileged && ::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (nobody == nullptr || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0) {
                ::_exit(99);
            }
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool GiveToNobody(const std::vector<std::filesystem::path>& paths)
{
    const passwd* nobody = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
    return ::geteuid() != 0 ||
           (nobody != nullptr && std::all_of(paths.begin(), paths.end(), [&](const auto& path) {
                return ::lchown(path.c_str(), nobody->pw_uid, nobody->pw_gid) == 0;
            }));
}

std::vector<std::string> Names(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace kestrin::testing
