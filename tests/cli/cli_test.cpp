// kestrin-cli as a user runs it: a child process with its arguments, files, output and exit status.

#include "cli_options.h"
#include "literal_model.h"
#include "test_support.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kestrin {
namespace {

using testing::MaskElapsed;
using testing::ReadFile;
using testing::TempDir;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs kestrin-cli in `folder` with the arguments, standard input from /dev/null; when a signal is given,
// sends it after `delay`.
Result RunCli(const std::vector<std::string>& arguments, const std::filesystem::path& folder, int signal = 0,
              std::chrono::microseconds delay = {})
{
    int out[2];
    int err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) {
        throw std::runtime_error("pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    std::vector<std::string> words{KESTRIN_CLI_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, KESTRIN_CLI_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned != 0) {
        throw std::runtime_error("cannot start kestrin-cli");
    }
    Result result;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    char buffer[65536];
    const auto killAt = std::chrono::steady_clock::now() + delay;
    while (open > 0) {
        if (signal != 0 && std::chrono::steady_clock::now() >= killAt) {
            ::kill(child, signal);
            signal = 0;
        }
        ::poll(fds, 2, signal != 0 ? 1 : -1);
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP)) != 0) {
                const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
                if (got <= 0) {
                    ::close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                } else {
                    (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(got));
                }
            }
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

TEST(CommandLine, OptionValuesAreAlwaysTheNextWord)
{
    const auto parsed = ParseCommandLine({"--begin", "--", "--end=-->", "-c", "custom", "--top", "-1", "-l",
                                          "-3", "-n", "7", "-i", "--", "-file"});
    ASSERT_TRUE(parsed.commandLine) << parsed.error;
    const RunSettings& settings = parsed.commandLine->settings;
    EXPECT_EQ(settings.beginComment, "--");
    EXPECT_EQ(settings.endComment, "-->");
    EXPECT_EQ(settings.commentStyle, CommentStyle::Custom);
    EXPECT_TRUE(settings.useComments);
    EXPECT_EQ(settings.topResults, "7"); // a repeated option keeps its last value
    EXPECT_EQ(settings.sampleLengths, "-3");
    EXPECT_TRUE(settings.readInsideComments);
    EXPECT_EQ(settings.inputFiles, (std::vector<std::filesystem::path>{"-file"}));
    EXPECT_FALSE(settings.exclusionTable.has_value());

    const auto grouped = ParseCommandLine({"-qyi", "a"});
    ASSERT_TRUE(grouped.commandLine) << grouped.error;
    EXPECT_TRUE(grouped.commandLine->quiet && grouped.commandLine->answerYes);
    EXPECT_TRUE(grouped.commandLine->settings.readInsideComments);

    const auto styles =
        ParseCommandLine({"-c", "table", "-c", "cpp", "-x", "ex.tbl", "--threads", "1000", "a"});
    ASSERT_TRUE(styles.commandLine) << styles.error;
    EXPECT_EQ(styles.commandLine->settings.commentStyle, CommentStyle::Cpp);
    EXPECT_EQ(styles.commandLine->settings.exclusionTable, std::filesystem::path("ex.tbl"));
    // More threads than cores gain nothing.
    EXPECT_LE(styles.commandLine->settings.threads, std::max(1u, std::thread::hardware_concurrency()));
}

TEST(CommandLine, BadCommandLinesAreRefused)
{
    const std::vector<std::vector<std::string>> bad = {
        {},                      // no FILE
        {"-l"},                  // missing value
        {"a", "--top"},          // missing value at the end
        {"--frobnicate", "a"},   // unknown option
        {"-c", "pascal", "a"},   // unknown style
        {"--threads", "x", "a"}, // not a number
        {"-q"},                  // flags but no FILE
        {"-l3", "a"},            // a value glued to its option
        {"-l=3", "a"},
        {"-qn", "0", "a"}, // a value option inside a group of flags
        {"-qt", "t.tbl", "a"},
        {"-t", "", "a"}, // an empty file name
        {"-o", "", "a"},
        {"a", ""},
    };
    for (const auto& words : bad) {
        const auto parsed = ParseCommandLine(words);
        EXPECT_FALSE(parsed.commandLine.has_value()) << ::testing::PrintToString(words);
        EXPECT_FALSE(parsed.error.empty());
    }
    // A file whose name starts with "-" is told where it goes.
    for (const std::string word : {"-dash.txt", "--dash.txt"}) {
        const auto parsed = ParseCommandLine({word});
        EXPECT_NE(parsed.error.find("goes after \"--\""), std::string::npos) << parsed.error;
    }
}

TEST(KestrinCli, PrintsTheReportAsTheReportFileHoldsIt)
{
    TempDir dir;
    dir.Write("script.txt", "the cat\r\nthe dog\r\n// note\r\n");
    const auto result = RunCli({"-l", "2-3", "-n", "4", "-c", "cpp", "-o", "report.txt", "-t", "out.tbl",
                                "-r", "&H80-&H8F", "--ignore-return", "-q", "./script.txt"},
                               dir.Path());
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(ReadFile(dir.Path() / "report.txt"), result.out + "\r\n");
    EXPECT_EQ(result.out.substr(0, result.out.find("\r\n")), "Filename:./script.txt");
    EXPECT_EQ(ReadFile(dir.Path() / "out.tbl").substr(0, 2), "\r\n");
}

TEST(KestrinCli, ExitStatusTellsHowTheRunEnded)
{
    TempDir dir;
    dir.Write("in.txt", "abcabc");
    dir.Write("out.tbl", "keep\r\n");
    dir.Write("script.txt", "a script, not a report");
    struct Case {
        std::vector<std::string> arguments;
        int status;
        bool printsReport;
        std::string inError;
    };
    const Case cases[] = {
        {{"in.txt"}, 0, true, ""},
        {{"-l", "201", "in.txt", "-t", "out.tbl"}, 1, false, "over 200"}, // no terminal: No
        {{"-l", "201", "-y", "in.txt"}, 0, true, ""},
        {{"-l", "1-11", "in.txt"}, 0, true, "11 sample lengths"},
        {{"-l", "0", "in.txt"}, 2, false, "-l/--lengths holds only the sample length 0"},
        {{"-o", "in.txt", "in.txt", "-t", "out.tbl"}, 2, false, "is the input file"},
        {{"-o", "out.tbl", "-t", "out.tbl", "in.txt"}, 2, false, "is the output table (-t)"},
        {{"-o", "script.txt", "in.txt", "-t", "out.tbl"}, 2, false, "not a report"},
        {{"--bogus", "in.txt"}, 2, false, "bogus"},
        {{"in.txt", "missing.txt", "-t", "out.tbl"}, 3, false, "missing.txt: No such file or directory"},
        {{"-x", "missing.tbl", "in.txt"}, 3, false, "missing.tbl"},
        {{"-o", "no/such/folder/report.txt", "-t", "no/such/out.tbl", "in.txt"}, 3, true, "no/such/out.tbl"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const auto result = RunCli(c.arguments, dir.Path());
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(!result.out.empty(), c.printsReport);
        EXPECT_NE(result.err.find(c.inError), std::string::npos) << result.err;
        EXPECT_EQ(ReadFile(dir.Path() / "out.tbl"), "keep\r\n");
        EXPECT_EQ(ReadFile(dir.Path() / "in.txt"), "abcabc");
        EXPECT_EQ(ReadFile(dir.Path() / "script.txt"), "a script, not a report");
    }
    const auto help = RunCli({"--help"}, dir.Path());
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--lengths"), std::string::npos);
    const auto version = RunCli({"--version"}, dir.Path());
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "kestrin-cli " KESTRIN_VERSION "\n"); // the version CMake's project holds
}

// A signal that ends the command leaves the table as it was or with one whole block more, the report file
// as it was or whole, and no temporary file.
TEST(KestrinCli, ASignalLeavesEveryFileWholeAndNoTemporaryFile)
{
    TempDir dir;
    std::mt19937 random(7);
    std::string script(300000, ' ');
    for (char& c : script) {
        c = static_cast<char>('a' + random() % 26);
    }
    dir.Write("script.txt", script);
    const std::string oldTable = "80=ab\r\n";
    const std::vector<std::string> arguments{"-q",    "-l", "1-3",        "-n", "30000",      "-t",
                                             "t.tbl", "-r", "&H0-&H7FFF", "-o", "report.txt", "script.txt"};
    dir.Write("t.tbl", oldTable);
    const auto started = std::chrono::steady_clock::now();
    const auto whole = RunCli(arguments, dir.Path());
    ASSERT_EQ(whole.status, 0) << whole.err;
    const auto duration = std::chrono::steady_clock::now() - started;
    const std::string withBlock = ReadFile(dir.Path() / "t.tbl");
    ASSERT_GT(withBlock.size(), oldTable.size() + 100000);
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE(round);
        dir.Write("t.tbl", oldTable);
        dir.Write("report.txt", "Filename:old");
        // Most signals come near the end, where the files are written.
        const auto delay =
            std::chrono::duration_cast<std::chrono::microseconds>(duration * (60 + 2 * round) / 100);
        const auto ended = RunCli(arguments, dir.Path(), round % 2 == 0 ? SIGTERM : SIGINT, delay);
        const std::string table = ReadFile(dir.Path() / "t.tbl");
        EXPECT_TRUE(table == oldTable || table == withBlock) << table.size();
        const std::string report = ReadFile(dir.Path() / "report.txt");
        EXPECT_TRUE(report == "Filename:old" || MaskElapsed(report) == MaskElapsed(whole.out + "\r\n"));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3) << ended.status;
    }
}

// The whole command against the literal model, on random files and settings.
TEST(KestrinCli, MatchesTheLiteralModelOnRandomRuns)
{
    std::mt19937 random(20261206);
    const auto pick = [&](const std::vector<std::string>& options) {
        return options[random() % options.size()];
    };
    const std::string alphabets[] = {"ab", "abc /*\r\n", std::string("a\0\xFF\t ", 5), "xyz<$>\r\n//"};
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        TempDir dir;
        RunSettings settings;
        std::vector<std::string> arguments{"-q", "-y", "--threads", std::to_string(1 + round % 3)};
        const std::string& alphabet = alphabets[random() % std::size(alphabets)];
        const int files = 1 + static_cast<int>(random() % 3);
        for (int f = 0; f < files; ++f) {
            std::string content(random() % 200, ' ');
            for (char& c : content) {
                c = alphabet[random() % alphabet.size()];
            }
            const auto path = dir.Write("f" + std::to_string(f), content);
            settings.inputFiles.push_back(path);
        }
        settings.sampleLengths = pick({"1", "2-4", "1,3,3", "0,2", "5-7", "12"});
        settings.topResults = pick({"25", "3", "2.5", "abc", "-1", "0", "&H10", "1000"});
        arguments.insert(arguments.end(), {"-l", settings.sampleLengths, "-n", settings.topResults});
        if (random() % 2 == 0) {
            const std::string style = pick({"c", "cpp", "table", "custom"});
            settings.useComments = true;
            settings.commentStyle = style == "c"       ? CommentStyle::C
                                    : style == "cpp"   ? CommentStyle::Cpp
                                    : style == "table" ? CommentStyle::Thingy
                                                       : CommentStyle::Custom;
            settings.beginComment = pick({"", "a", "ab", "//"});
            settings.endComment = pick({"", "b", "\r\n", " "});
            settings.readInsideComments = random() % 2 == 0;
            arguments.insert(arguments.end(),
                             {"-c", style, "--begin", settings.beginComment, "--end", settings.endComment});
            if (settings.readInsideComments) {
                arguments.push_back("-i");
            }
        }
        settings.ignoreSpace = random() % 2 == 0;
        settings.ignoreTab = random() % 2 == 0;
        if (settings.ignoreSpace) {
            arguments.push_back("--ignore-space");
        }
        if (settings.ignoreTab) {
            arguments.push_back("--ignore-tab");
        }
        for (const auto& path : settings.inputFiles) {
            arguments.push_back(path.string());
        }
        const auto expected = literal::RunLiteralModel(settings, true);
        const auto result = RunCli(arguments, dir.Path());
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(MaskElapsed(result.out), MaskElapsed(expected.report));
    }
}

} // namespace
} // namespace kestrin
