// SPDX-License-Identifier: MIT
// The files a run writes: nothing half written whatever fails, under faults no real disk gives on demand
// (injected through the table of write calls), with links, owners, pipes, long names, leftovers of killed
// runs, concurrent runs and held signals.

#include "io/file_io.h"
#include "io/temporary_files.h"
#include "io/write_calls.h"
#include "test_support.h"
#include "write_faults.h"

#include "kestrin/run_analysis.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kestrin {
namespace {

namespace fs = std::filesystem;
using testing::InChild;
using testing::InjectedWriteFaults;
using testing::Names;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteCall;
using testing::WriteFault;

// The writes a run makes, each on files that hold "old" before it.
enum Scenario { NewReport, ReportWithOneName, ReportWithTwoNames, Table, NewTable, scenarioCount };

struct Files {
    fs::path target;
    std::vector<std::string> names; // the files before the write
};

Files Prepare(const TempDir& dir, Scenario scenario)
{
    const bool table = scenario == Table || scenario == NewTable;
    Files setup{dir.Path() / (table ? "t.tbl" : "report.txt"), {}};
    if (scenario != NewReport && scenario != NewTable) {
        dir.Write(setup.target.filename(), "old");
        setup.names.push_back(setup.target.filename());
    }
    if (scenario == ReportWithTwoNames) {
        fs::create_hard_link(setup.target, dir.Path() / "second.txt");
        setup.names.push_back("second.txt");
    }
    return setup;
}

std::optional<FileError> Write(Scenario scenario, const fs::path& target, std::string_view content)
{
    return scenario == Table || scenario == NewTable ? AppendToFile(target, content)
                                                     : ReplaceFile(target, content);
}

TEST(WriteFaults, EveryFailingCallLeavesEveryFileAsItWas)
{
    constexpr unsigned all = (1u << scenarioCount) - 1;
    constexpr unsigned renamed = 1u << NewReport | 1u << ReportWithOneName;
    const struct {
        const char* name;
        std::vector<WriteFault> faults; // none: a real limit on the file size, with SIGXFSZ as it was
        unsigned fails;                 // the scenarios whose write must fail; the others must write whole
    } cases[] = {
        {"file size limit", {}, all},
        {"fallocate: disk full", {{WriteCall::Fallocate, ENOSPC}}, all},
        {"write: disk full", {{WriteCall::Write, ENOSPC}}, all},
        {"short write, then disk full", {{WriteCall::Write, 0, 0, true}, {WriteCall::Write, ENOSPC, 1}}, all},
        {"short write", {{WriteCall::Write, 0, 0, true}}, 0},
        {"write: EINTR", {{WriteCall::Write, EINTR}}, 0},
        {"fsync: I/O error", {{WriteCall::Fsync, EIO}}, all},
        {"close: I/O error", {{WriteCall::Close, EIO}}, renamed}, // after fsync a close loses nothing
        {"rename: I/O error", {{WriteCall::Rename, EIO}}, renamed},
        {"ftruncate: I/O error", {{WriteCall::Ftruncate, EIO}}, 1u << ReportWithTwoNames},
        {"fchown: I/O error", {{WriteCall::Fchown, EIO}}, 1u << ReportWithOneName},
        {"fchmod: I/O error", {{WriteCall::Fchmod, EIO}}, 1u << ReportWithOneName},
        {"fcntl F_GETFL: bad descriptor", {{WriteCall::Fcntl, EBADF}}, 1u << Table | 1u << NewTable},
        {"fcntl F_SETFL: bad descriptor", {{WriteCall::Fcntl, EBADF, 1}}, 1u << Table | 1u << NewTable},
        // Refused the old owner or mode, the report is rewritten in place, which keeps them.
        {"fchown: not permitted", {{WriteCall::Fchown, EPERM}}, 0},
        {"fchmod: not permitted", {{WriteCall::Fchmod, EPERM}}, 0},
    };
    const std::string content(10000, 'n');
    for (const auto& c : cases) {
        for (int s = 0; s < scenarioCount; ++s) {
            const auto scenario = static_cast<Scenario>(s);
            SCOPED_TRACE(std::string(c.name) + ", scenario " + std::to_string(s));
            TempDir dir;
            const Files setup = Prepare(dir, scenario);
            // A failure names the file and the reason of the call that failed.
            const FileError expected{setup.target,
                                     ErrnoReason(c.faults.empty() ? EFBIG : c.faults.back().error)};
            bool failed = false;
            bool told = false;
            bool fired = true;
            if (c.faults.empty()) { // in a child: the limit is the process's
                const int status = InChild(
                    [&] {
                        const auto error = Write(scenario, setup.target, content);
                        return error ? (*error == expected ? 0 : 2) : 1;
                    },
                    {.fileSize = 4096});
                failed = status != 1;
                told = status == 0;
            } else {
                InjectedWriteFaults faults(c.faults);
                const auto error = Write(scenario, setup.target, content);
                failed = error.has_value();
                told = error == expected;
                fired = faults.AllFired();
            }
            if ((c.fails >> s & 1u) != 0) {
                EXPECT_TRUE(fired);
                EXPECT_TRUE(failed);
                EXPECT_TRUE(told);
                EXPECT_EQ(Names(dir.Path()), setup.names);
                for (const auto& name : setup.names) {
                    EXPECT_EQ(ReadFile(dir.Path() / name), "old") << name;
                }
            } else {
                EXPECT_FALSE(failed);
                const bool appended = scenario == Table;
                EXPECT_EQ(ReadFile(setup.target), appended ? "old" + content : content);
                EXPECT_EQ(Names(dir.Path()).size(), std::max<std::size_t>(setup.names.size(), 1));
            }
        }
    }
}

// A run whose table append fails says nothing of the codes it would have written: the block is not there.
TEST(WriteFaults, AFailedAppendNamesNoRepeatedCode)
{
    TempDir dir;
    const RunSettings settings{.inputFiles = {dir.Write("in.txt", "abab")},
                               .outputTable = dir.Write("t.tbl", "80=x\r\n"),
                               .writeTableRanges = "&H80-&HFF"};
    InjectedWriteFaults faults({{WriteCall::Write, ENOSPC}});
    testing::RecordingObserver observer;
    const RunOutcome outcome = RunAnalysis(settings, observer);
    EXPECT_TRUE(faults.AllFired());
    EXPECT_EQ(outcome.errors.size(), 1u);
    EXPECT_FALSE(outcome.repeatedCode.has_value());
    EXPECT_EQ(ReadFile(*settings.outputTable), "80=x\r\n");
}

// A replace through a rename has the folder synced after the rename, or a crash may bring the old
// report back; its temporary file has a short name of its own, whatever the length of the report's.
TEST(WriteFaults, TheFolderIsSyncedAfterTheRenameOfAShortTemporaryName)
{
    for (const std::size_t length : {std::size_t{10}, std::size_t{236}, std::size_t{255}}) {
        for (const bool existing : {false, true}) {
            SCOPED_TRACE(std::to_string(length) + (existing ? " existing" : " new"));
            TempDir dir;
            const fs::path report = dir.Path() / std::string(length, 'r');
            if (existing) {
                dir.Write(report.filename(), "old");
            }
            InjectedWriteFaults faults;
            ASSERT_FALSE(ReplaceFile(report, "new").has_value());
            EXPECT_EQ(ReadFile(report), "new");
            const auto& calls = faults.Calls();
            const auto renamed = std::find_if(
                calls.begin(), calls.end(), [](const auto& call) { return call.call == WriteCall::Rename; });
            ASSERT_NE(renamed, calls.end());
            EXPECT_TRUE(std::any_of(renamed, calls.end(), [](const auto& call) {
                return call.call == WriteCall::Fsync && call.onFolder;
            }));
            const std::string temporary = fs::path(calls.front().path).filename();
            EXPECT_EQ(temporary.rfind(".kestrin-", 0), 0u) << temporary;
            EXPECT_LE(temporary.size(), 40u);
        }
    }
}

// A failed append that cannot be cut back (as on an append-only file) tells how much of it is left.
TEST(WriteFaults, AFailedCutBackTellsTheBytesLeft)
{
    TempDir dir;
    const auto table = dir.Write("t.tbl", "old");
    const std::string block(1000, 'b');
    InjectedWriteFaults faults(
        {{WriteCall::Write, 0, 0, true}, {WriteCall::Write, ENOSPC, 1}, {WriteCall::Ftruncate, EPERM, 0}});
    const auto error = AppendToFile(table, block);
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(faults.AllFired());
    EXPECT_EQ(error->reason, ErrnoReason(ENOSPC));
    EXPECT_EQ(error->cutBackReason, ErrnoReason(EPERM));
    EXPECT_EQ(error->bytesLeft, 500u);
    EXPECT_EQ(ReadFile(table), "old" + block.substr(0, 500));
}

// A pipe or a FIFO, also behind /dev/fd/N, is written directly: no temporary file, no rename. After any
// write, the signals are handled as before it, ignored SIGPIPE and SIGXFSZ included.
TEST(WriteFaults, APipeIsWrittenDirectlyAndTheSignalDispositionsComeBack)
{
    TempDir dir;
    constexpr std::array signals{SIGPIPE, SIGXFSZ, SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    const auto dispositions = [&] {
        std::vector<void (*)(int)> handlers;
        for (const int signal : signals) {
            struct sigaction now {
            };
            ::sigaction(signal, nullptr, &now);
            handlers.push_back(now.sa_handler);
        }
        return handlers;
    };
    const auto before = dispositions();
    ASSERT_EQ(before[0], SIG_DFL);
    const auto fifo = dir.Path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int fifoReader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_FALSE(ReplaceFile("/dev/fd/" + std::to_string(ends[1]), "to the pipe").has_value());
    ASSERT_FALSE(AppendToFile(fifo, "to the fifo").has_value());
    std::string got(64, '\0');
    EXPECT_EQ(std::string_view(got.data(), static_cast<std::size_t>(::read(ends[0], got.data(), 64))),
              "to the pipe");
    EXPECT_EQ(std::string_view(got.data(), static_cast<std::size_t>(::read(fifoReader, got.data(), 64))),
              "to the fifo");
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"fifo"});
    EXPECT_FALSE(ReplaceFile(dir.Path() / "report.txt", "new").has_value());
    EXPECT_FALSE(AppendToFile(dir.Path() / "t.tbl", "new").has_value());
    EXPECT_EQ(dispositions(), before);
    ::close(fifoReader);
    ::close(ends[0]);
    ::close(ends[1]);
}

// A signal that ends the program stops a write that a pipe's reader holds up, and the write fails with
// the reason; a regular file is still written whole first (FileSafety.SignalsDuringTheWritesWait...).
TEST(WriteFaults, ASignalEndsAWriteThatAPipeHoldsUp)
{
    const int status = InChild([] {
        int ends[2];
        if (::pipe(ends) != 0) {
            return 2;
        }
        // SIGINT in 50 ms, while the write waits on a reader that never reads; the limit of the child
        // ends it if the write ignores the signal.
        timer_t timer{};
        sigevent event{};
        event.sigev_notify = SIGEV_SIGNAL;
        event.sigev_signo = SIGINT;
        const itimerspec when{{0, 0}, {0, 50'000'000}};
        if (::timer_create(CLOCK_MONOTONIC, &event, &timer) != 0 ||
            ::timer_settime(timer, 0, &when, nullptr) != 0) {
            return 2;
        }
        const SignalDeferral outer; // as the run holds one over both of its writes
        const auto error = ReplaceFile("/dev/fd/" + std::to_string(ends[1]), std::string(1 << 20, 'x'));
        return error && error->reason == ErrnoReason(EINTR) ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

// Leftovers of killed runs are removed by the next replace of the same report: its own prefix and
// form, regular files of this user, over a minute old, that no live run holds locked. Nothing else.
TEST(WriteFaults, AReplaceRemovesOnlyItsOwnOldLeftovers)
{
    TempDir dir;
    const auto report = dir.Write("report.txt", "old");
    const std::string own = fs::path(TemporaryName(report)).filename();
    const std::string prefix = own.substr(0, own.size() - 10);
    const std::string other = fs::path(TemporaryName(dir.Path() / "other.txt")).filename();
    const std::vector<std::string> kept = {
        prefix + "fresh1.tmp",    prefix + "x.tmp",      prefix + "old!!!.tmp", prefix + "link01.tmp", other,
        ".report.txt.12.0.x.tmp", ".report.txt.1.2.tmp", prefix + "live01.tmp"};
    const std::time_t old = std::time(nullptr) - 120;
    const auto make = [&](const std::string& name, bool aged) {
        dir.Write(name, "leftover");
        if (aged) {
            const timespec times[2] = {{old, 0}, {old, 0}};
            ::utimensat(AT_FDCWD, (dir.Path() / name).c_str(), times, 0);
        }
    };
    make(prefix + "gone01.tmp", true);
    make(".report.txt.1234.0.56789.tmp", true); // of an earlier version
    make(prefix + "fresh1.tmp", false);
    for (std::size_t i = 1; i < kept.size(); ++i) {
        if (i != 3) {
            make(kept[i], true);
        }
    }
    fs::create_symlink(prefix + "gone01.tmp", dir.Path() / kept[3]);
    std::vector<std::string> expected = kept;
    if (::geteuid() == 0) { // a leftover of another user stays
        make(prefix + "nobody.tmp", true);
        ASSERT_TRUE(testing::GiveToNobody({dir.Path() / (prefix + "nobody.tmp")}));
        expected.push_back(prefix + "nobody.tmp");
    }
    const int live = ::open((dir.Path() / kept.back()).c_str(), O_RDONLY); // a run stopped for minutes
    ASSERT_EQ(::flock(live, LOCK_EX), 0);
    ASSERT_FALSE(ReplaceFile(report, "new").has_value());
    ::close(live);
    expected.push_back("report.txt");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(dir.Path()), expected);
}

// A run that made a table and failed removes it, maybe while another run, which opened it meanwhile, waits
// for its lock: that run then appends to the name again, not to the removed file, where its block would be
// lost. (The first run's removal is played by the lock call of the second.)
TEST(WriteFaults, AnAppendAfterAFailedRunRemovedTheFileIsNotLost)
{
    TempDir dir;
    static fs::path removed;
    removed = dir.Write("t.tbl", "");
    WriteCalls& calls = ActiveWriteCalls();
    calls.flock = [](int fd, int operation) {
        if (!removed.empty()) {
            ::unlink(removed.c_str());
            removed.clear();
        }
        return ::flock(fd, operation);
    };
    const auto error = AppendToFile(dir.Path() / "t.tbl", "block");
    calls = SystemWriteCalls();
    EXPECT_FALSE(error.has_value());
    EXPECT_EQ(ReadFile(dir.Path() / "t.tbl"), "block");
}

// In-place writes and appends hold the file's lock: a run that finds it taken waits, then says the
// file is busy and changes nothing; concurrent runs never mix their bytes.
TEST(WriteFaults, ConcurrentRunsTakeTurnsOnAFile)
{
    TempDir dir;
    const auto report = dir.Write("report.txt", "old");
    fs::create_hard_link(report, dir.Path() / "second.txt"); // rewritten in place
    const auto table = dir.Write("t.tbl", "old");
    for (const auto& path : {report, table}) {
        const int holder = ::open(path.c_str(), O_RDONLY);
        ASSERT_EQ(::flock(holder, LOCK_EX), 0);
        const auto error = path == table ? AppendToFile(path, "new") : ReplaceFile(path, "new");
        ::close(holder);
        ASSERT_TRUE(error.has_value());
        EXPECT_TRUE(error->busy);
        EXPECT_EQ(ReadFile(path), "old");
    }

    constexpr int runs = 12;
    const auto contentOf = [](int run) {
        return std::string(static_cast<std::size_t>(1000 + 997 * run), static_cast<char>('a' + run));
    };
    std::vector<pid_t> children;
    for (int run = 0; run < runs; ++run) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(10);
            ::_exit(ReplaceFile(report, contentOf(run)) || AppendToFile(table, contentOf(run)) ? 1 : 0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status)) << status;
    }
    const std::string written = ReadFile(report);
    ASSERT_FALSE(written.empty());
    EXPECT_TRUE(written == contentOf(written[0] - 'a')) << "the report is mixed of two runs";
    const std::string appended = ReadFile(table);
    std::string_view blocks = appended;
    ASSERT_EQ(blocks.substr(0, 3), "old");
    for (blocks.remove_prefix(3); !blocks.empty();) {
        const std::string block = contentOf(blocks[0] - 'a');
        ASSERT_TRUE(blocks.substr(0, block.size()) == block) << "a block is mixed with another";
        blocks.remove_prefix(block.size());
    }
}

// The report file is written as the user may write it: a file they may not write is refused, and one
// they may write keeps its owner, even where a rename would be allowed.
TEST(FileSafety, ReportFileKeepsItsPermissionsAndOwner)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "making files of another owner needs root";
    }
    TempDir dir;
    fs::permissions(dir.Path(), fs::perms::all); // any user may make and rename files here
    const auto readOnly = dir.Write("read-only.txt", "old");
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const auto shared = dir.Write("shared.txt", "old");
    fs::permissions(shared, fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec &
                                ~fs::perms::others_exec);

    const int refused = InChild(
        [&] {
            const auto error = ReplaceFile(readOnly, "new");
            return error && error->reason == ErrnoReason(EACCES) ? 0 : 1;
        },
        {.unprivileged = true});
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(ReadFile(readOnly), "old");

    const int written = InChild([&] { return ReplaceFile(shared, "new") ? 1 : 0; }, {.unprivileged = true});
    EXPECT_EQ(written, 0);
    EXPECT_EQ(ReadFile(shared), "new");
    struct stat info {
    };
    ASSERT_EQ(::stat(shared.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 0u); // still root's

    // The user's own file in a folder they may not write to: written in place; a new file there fails.
    const auto locked = dir.Path() / "locked";
    fs::create_directory(locked);
    const auto mine = dir.Write("locked/mine.txt", "old");
    ASSERT_TRUE(testing::GiveToNobody({mine, locked}));
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    const int inLocked =
        InChild([&] { return !ReplaceFile(mine, "new") && ReplaceFile(locked / "new.txt", "new") ? 0 : 1; },
                {.unprivileged = true});
    EXPECT_EQ(inLocked, 0);
    EXPECT_EQ(ReadFile(mine), "new");
    EXPECT_EQ(Names(locked), (std::vector<std::string>{"mine.txt"}));
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"locked", "read-only.txt", "shared.txt"}));
}

TEST(FileSafety, ReportFileIsReplacedWholeThroughLinksAndOtherNames)
{
    TempDir dir;
    const auto link = dir.Path() / "report.txt";
    fs::create_symlink("reports/latest.txt", link); // names a file that does not exist yet
    fs::create_directory(dir.Path() / "reports");
    ASSERT_FALSE(ReplaceFile(link, "a first report, longer than the next").has_value());
    fs::permissions(link, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_FALSE(ReplaceFile(link, "one").has_value());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(dir.Path() / "reports" / "latest.txt"), "one");
    EXPECT_EQ(fs::status(link).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    // A file with a second name (a hard link to the file, not to the symbolic link): every name, and
    // the link, sees the new report, whichever name is written.
    fs::create_hard_link(dir.Path() / "reports" / "latest.txt", dir.Path() / "second.txt");
    ASSERT_FALSE(ReplaceFile(dir.Path() / "second.txt", "two").has_value());
    EXPECT_EQ(ReadFile(link), "two");
    ASSERT_FALSE(ReplaceFile(link, "three").has_value());
    EXPECT_EQ(ReadFile(dir.Path() / "second.txt"), "three");
    EXPECT_EQ(fs::hard_link_count(dir.Path() / "second.txt"), 2u);

    const auto tableLink = dir.Path() / "t.tbl";
    fs::create_symlink("reports/t.tbl", tableLink);
    ASSERT_FALSE(AppendToFile(tableLink, "\r\n80=ab\r\n").has_value());
    EXPECT_TRUE(fs::is_symlink(tableLink));
    EXPECT_EQ(ReadFile(dir.Path() / "reports" / "t.tbl"), "\r\n80=ab\r\n");

    fs::create_symlink("loop", dir.Path() / "loop");
    EXPECT_TRUE(ReplaceFile(dir.Path() / "loop", "x").has_value());
    EXPECT_TRUE(ReplaceFile(dir.Path() / "reports", "x").has_value()); // a folder
    EXPECT_EQ(Names(dir.Path()),
              (std::vector<std::string>{"loop", "report.txt", "reports", "second.txt", "t.tbl"}));
}

// A signal that asks the program to end waits until the writes are whole, then ends it as it would have.
TEST(FileSafety, SignalsDuringTheWritesWaitForWholeFiles)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        TempDir dir;
        const auto table = dir.Write("t.tbl", "80=ab\r\n");
        const auto report = dir.Write("report.txt", "old");
        const std::string block = "\r\n" + std::string(1 << 20, 'y') + "\r\n";
        const int status = InChild([&] {
            const SignalDeferral signals;
            ::raise(signal);
            const bool failed = AppendToFile(table, block) || ReplaceFile(report, "new");
            return failed ? 1 : 0;
        });
        EXPECT_EQ(status, 128 + signal);
        EXPECT_EQ(ReadFile(table), "80=ab\r\n" + block);
        EXPECT_EQ(ReadFile(report), "new");
        EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"report.txt", "t.tbl"}));
    }
}

// A pipe is read to its end (devices and folders are refused: see the unreadable files of the shared
// case tests).
TEST(FileSafety, APipeIsReadToItsEnd)
{
    TempDir dir;
    const auto fifo = dir.Path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The reader and the writer each have the time limit of a child.
    const int status = InChild([&] {
        if (::fork() == 0) {
            ::alarm(5);
            std::FILE* out = std::fopen(fifo.c_str(), "w");
            std::fputs("piped", out);
            std::fclose(out);
            ::_exit(0);
        }
        const auto piped = ReadFileBytes(fifo);
        return std::holds_alternative<FileBytes>(piped) && std::get<FileBytes>(piped).View() == "piped" ? 0
                                                                                                        : 1;
    });
    EXPECT_EQ(status, 0);
}

// Two files on different file systems may have one inode number (the roots of /proc and /sys both
// have 1 wherever Linux mounts them, for any user); they are two files.
TEST(FileIdentity, OneInodeNumberOnTwoFileSystemsIsTwoFilesNeedsProcAndSysMounted)
{
    struct stat proc {
    }, sys{};
    ASSERT_EQ(::stat("/proc", &proc), 0);
    ASSERT_EQ(::stat("/sys", &sys), 0);
    ASSERT_EQ(proc.st_ino, sys.st_ino);
    ASSERT_NE(proc.st_dev, sys.st_dev);
    EXPECT_NE(IdentifyFile("/proc"), IdentifyFile("/sys"));
    const RunSettings settings{.inputFiles = {"/sys"}, .reportFile = fs::path("/proc")};
    EXPECT_FALSE(FindFileClash(settings).has_value());
}

// A /proc/self/fd/N name of a removed file is written through, as the system opens it: no file named
// "t.tbl (deleted)" appears beside it.
TEST(FileSafety, ALinkToARemovedFileIsWrittenThrough)
{
    TempDir dir;
    const auto table = dir.Write("t.tbl", "old");
    const int fd = ::open(table.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ::unlink(table.c_str());
    EXPECT_FALSE(AppendToFile("/proc/self/fd/" + std::to_string(fd), "new").has_value());
    EXPECT_TRUE(Names(dir.Path()).empty());
    char read[16];
    const ssize_t got = ::pread(fd, read, sizeof read, 0);
    EXPECT_EQ(std::string(read, static_cast<std::size_t>(std::max<ssize_t>(got, 0))), "oldnew");
    ::close(fd);
}

// In a sticky folder that anyone may write to, a link of another user is not followed, as the system would
// not: it could lead a write to any file of the user. Two users are needed, so root.
TEST(FileSafety, AnotherUsersLinkInAStickyFolderIsNotFollowedNeedsRoot)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a link of another user needs root to make";
    }
    TempDir dir;
    const auto mine = dir.Write("mine.tbl", "mine");
    const auto sticky = dir.Path() / "sticky";
    fs::create_directory(sticky);
    ASSERT_EQ(::chmod(sticky.c_str(), 01777), 0);
    fs::create_symlink(mine, sticky / "t.tbl");
    ASSERT_TRUE(testing::GiveToNobody({sticky / "t.tbl"}));
    for (const bool append : {true, false}) {
        const auto error = append ? AppendToFile(sticky / "t.tbl", "x") : ReplaceFile(sticky / "t.tbl", "x");
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->reason, ErrnoReason(EACCES));
    }
    EXPECT_EQ(ReadFile(mine), "mine");
    ASSERT_EQ(::lchown((sticky / "t.tbl").c_str(), 0, 0), 0); // the user's own link is followed
    EXPECT_FALSE(AppendToFile(sticky / "t.tbl", "+").has_value());
    EXPECT_EQ(ReadFile(mine), "mine+");
}

// A block device is refused as a character device is: it has no end that the run could wait for. Only
// root may make a device node (and open one); as any other user the test says so and skips.
TEST(FileReading, ABlockDeviceIsRefusedNeedsRoot)
{
    TempDir dir;
    const auto device = dir.Path() / "block";
    if (::geteuid() != 0) {
        GTEST_SKIP() << "making a block device node needs root";
    }
    ASSERT_EQ(::mknod(device.c_str(), S_IFBLK | 0600, makedev(7, 0)), 0) << std::strerror(errno);
    const auto read = ReadFileBytes(device);
    const auto look = LookAtFile(device);
    ASSERT_TRUE(std::holds_alternative<FileError>(read));
    ASSERT_TRUE(std::holds_alternative<FileError>(look));
    EXPECT_EQ(std::get<FileError>(read).reason, "is a device, not a file");
    EXPECT_EQ(std::get<FileError>(look).reason, "is a device, not a file");
}

} // namespace
} // namespace kestrin
