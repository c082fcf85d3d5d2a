// SPDX-License-Identifier: MIT
// The files a run writes: no other file of the run destroyed, nothing half written whatever fails.

#include "io/file_io.h"
#include "test_support.h"
#include "write_faults.h"

#include "kestrin/report.h"
#include "kestrin/run_analysis.h"
#include "kestrin/table_file.h"

#include <csignal>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrin {
namespace {

namespace fs = std::filesystem;
using testing::InChild;
using testing::Names;
using testing::ReadFile;
using testing::RecordingObserver;
using testing::TempDir;

TEST(FileSafety, AReportFileThatIsAnotherFileOfTheRunIsRefused)
{
    TempDir dir;
    const auto in = dir.Write("in.txt", "script");
    const auto ex = dir.Write("ex.tbl", "80=ab\r\n");
    const auto table = dir.Write("t.tbl", "81=cd\r\n");
    const auto other = dir.Write("other.txt", "an old report");
    fs::create_symlink("in.txt", dir.Path() / "link.txt");
    fs::create_hard_link(in, dir.Path() / "hard.txt");
    const auto at = [&](const char* name) { return dir.Path() / name; };
    struct Case {
        fs::path report;
        std::optional<fs::path> exclusion;
        std::optional<fs::path> outputTable;
        std::optional<FileRole> clash;
    };
    const Case cases[] = {
        {in, std::nullopt, std::nullopt, FileRole::InputFile},
        {at("link.txt"), std::nullopt, std::nullopt, FileRole::InputFile},
        {at("hard.txt"), std::nullopt, std::nullopt, FileRole::InputFile},
        {ex, ex, std::nullopt, FileRole::ExclusionTable},
        {table, std::nullopt, table, FileRole::OutputTable},
        {at("new.tbl"), std::nullopt, at("new.tbl"), FileRole::OutputTable}, // neither exists yet
        {at("sub/../new.tbl"), std::nullopt, at("new.tbl"), FileRole::OutputTable},
        {other, table, table, std::nullopt}, // the output table may be the exclusion table
        {at("new.txt"), ex, table, std::nullopt},
    };
    fs::create_directory(at("sub"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.report.string());
        const RunSettings settings{.inputFiles = {in},
                                   .exclusionTable = c.exclusion,
                                   .reportFile = c.report,
                                   .outputTable = c.outputTable};
        const auto clash = FindFileClash(settings);
        ASSERT_EQ(clash.has_value(), c.clash.has_value());
        if (!c.clash) {
            continue;
        }
        EXPECT_EQ(clash->otherRole, *c.clash);
        EXPECT_EQ(clash->path, c.report);

        RecordingObserver observer;
        const auto outcome = RunAnalysis(settings, observer);
        EXPECT_EQ(outcome.status, RunStatus::Refused);
        EXPECT_EQ(outcome.refusal, clash);
        EXPECT_TRUE(observer.events.empty());
        EXPECT_EQ(ReadFile(in), "script");
        EXPECT_EQ(ReadFile(ex), "80=ab\r\n");
        EXPECT_EQ(ReadFile(table), "81=cd\r\n");
        EXPECT_FALSE(fs::exists(at("new.tbl")));
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
            const auto error = WriteReportFile(readOnly, "new");
            return error && error->reason == ErrnoReason(EACCES) ? 0 : 1;
        },
        {.unprivileged = true});
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(ReadFile(readOnly), "old");

    const int written =
        InChild([&] { return WriteReportFile(shared, "new") ? 1 : 0; }, {.unprivileged = true});
    EXPECT_EQ(written, 0);
    EXPECT_EQ(ReadFile(shared), "new\r\n");
    struct stat info {
    };
    ASSERT_EQ(::stat(shared.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 0u); // still root's

    // The user's own file in a folder they may not write to: written in place; a new file there fails.
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    const auto locked = dir.Path() / "locked";
    fs::create_directory(locked);
    const auto mine = dir.Write("locked/mine.txt", "old");
    ASSERT_EQ(::chown(mine.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    ASSERT_EQ(::chown(locked.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    const int inLocked = InChild(
        [&] { return !WriteReportFile(mine, "new") && WriteReportFile(locked / "new.txt", "new") ? 0 : 1; },
        {.unprivileged = true});
    EXPECT_EQ(inLocked, 0);
    EXPECT_EQ(ReadFile(mine), "new\r\n");
    EXPECT_EQ(Names(locked), (std::vector<std::string>{"mine.txt"}));
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"locked", "read-only.txt", "shared.txt"}));
}

TEST(FileSafety, ReportFileIsReplacedWholeThroughLinksAndOtherNames)
{
    TempDir dir;
    const auto link = dir.Path() / "report.txt";
    fs::create_symlink("reports/latest.txt", link); // names a file that does not exist yet
    fs::create_directory(dir.Path() / "reports");
    ASSERT_FALSE(WriteReportFile(link, "a first report, longer than the next").has_value());
    fs::permissions(link, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_FALSE(WriteReportFile(link, "one").has_value());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(dir.Path() / "reports" / "latest.txt"), "one\r\n");
    EXPECT_EQ(fs::status(link).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    // A file with a second name (a hard link to the file, not to the symbolic link): every name, and
    // the link, sees the new report, whichever name is written.
    fs::create_hard_link(dir.Path() / "reports" / "latest.txt", dir.Path() / "second.txt");
    ASSERT_FALSE(WriteReportFile(dir.Path() / "second.txt", "two").has_value());
    EXPECT_EQ(ReadFile(link), "two\r\n");
    ASSERT_FALSE(WriteReportFile(link, "three").has_value());
    EXPECT_EQ(ReadFile(dir.Path() / "second.txt"), "three\r\n");
    EXPECT_EQ(fs::hard_link_count(dir.Path() / "second.txt"), 2u);

    const auto tableLink = dir.Path() / "t.tbl";
    fs::create_symlink("reports/t.tbl", tableLink);
    ASSERT_FALSE(AppendToFile(tableLink, "\r\n80=ab\r\n").has_value());
    EXPECT_TRUE(fs::is_symlink(tableLink));
    EXPECT_EQ(ReadFile(dir.Path() / "reports" / "t.tbl"), "\r\n80=ab\r\n");

    fs::create_symlink("loop", dir.Path() / "loop");
    EXPECT_TRUE(WriteReportFile(dir.Path() / "loop", "x").has_value());
    EXPECT_TRUE(WriteReportFile(dir.Path() / "reports", "x").has_value()); // a folder
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
            const bool failed = AppendToFile(table, block) || WriteReportFile(report, "new");
            return failed ? 1 : 0;
        });
        EXPECT_EQ(status, 128 + signal);
        EXPECT_EQ(ReadFile(table), "80=ab\r\n" + block);
        EXPECT_EQ(ReadFile(report), "new\r\n");
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

} // namespace
} // namespace kestrin
