// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace kestrin::testing {

// The system calls of the file writes that a test can make fail (write stands for pwrite too).
enum class WriteCall {
    Open,
    Write,
    Fsync,
    Close,
    Rename,
    Unlink,
    Fallocate,
    Ftruncate,
    Flock,
    Fchown,
    Fchmod,
    Fcntl
};

// One injected fault: the `nth` call (from 0) of its kind fails with `error`; with `shortWrite`, a write
// writes half of its bytes instead, as a write interrupted part way does.
struct WriteFault {
    WriteCall call = WriteCall::Write;
    int error = 0;
    int nth = 0;
    bool shortWrite = false;
};

// A call made while faults were injected, for tests of the order of the calls.
struct WriteCallRecord {
    WriteCall call;
    bool onFolder = false; // fsync: the descriptor is a folder's
    std::string path;      // open, rename (its target), unlink
};

// While one lives, the file writes' system calls go through it: the faults fire, each once, and every
// call is recorded. The system's calls are back when it ends. One at a time.
class InjectedWriteFaults
{
public:
    explicit InjectedWriteFaults(std::vector<WriteFault> faults = {});
    InjectedWriteFaults(const InjectedWriteFaults&) = delete;
    InjectedWriteFaults& operator=(const InjectedWriteFaults&) = delete;
    ~InjectedWriteFaults();

    // Whether every fault fired.
    [[nodiscard]] bool AllFired() const;
    [[nodiscard]] const std::vector<WriteCallRecord>& Calls() const { return calls; }

    // What the wrappers of the calls use: the fault that fires on this call, or null; the call is recorded.
    const WriteFault* Take(WriteCallRecord record);

private:
    std::vector<WriteFault> faults;
    std::vector<bool> fired;
    std::vector<int> made; // calls made, per kind
    std::vector<WriteCallRecord> calls;
};

// How a child process is held in.
struct ChildLimits {
    bool unprivileged = false;       // run as "nobody" when this process is root
    rlim_t fileSize = RLIM_INFINITY; // writes past this many bytes fail, as on a full disk
    unsigned seconds = 5;            // the child is ended by SIGALRM when it takes longer
};

// Runs body in a child process; returns its exit status, or 128 plus the signal that ended it.
int InChild(const std::function<int()>& body, ChildLimits limits = {});

// When this process is root, gives the files (links themselves) to "nobody", whom InChild runs as with
// `unprivileged`; false when that fails.
[[nodiscard]] bool GiveToNobody(const std::vector<std::filesystem::path>& paths);

// The names in a folder, sorted, to see that no temporary file stays behind.
[[nodiscard]] std::vector<std::string> Names(const std::filesystem::path& folder);

} // namespace kestrin::testing
