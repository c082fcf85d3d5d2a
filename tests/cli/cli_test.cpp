// SPDX-License-Identifier: MIT
// kestrin-cli's command line, and the command as a user runs it: a child process with its arguments,
// files, terminal, output and exit status.

#include "case_tables.h"
#include "cli_messages.h"
#include "cli_options.h"
#include "literal_model.h"
#include "result_formats.h"
#include "test_support.h"
#include "write_faults.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <random>
#include <span>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace kestrin {
namespace {

using testing::InChild;
using testing::MaskElapsed;
using testing::ReadFile;
using testing::TempDir;

// Every field of a command line on a line of its own, named after the option that sets it.
std::string Describe(const CommandLine& line)
{
    std::ostringstream out;
    out << std::boolalpha << testing::Describe(line.settings) << "yes=" << line.answerYes
        << "\nquiet=" << line.quiet << "\nforce=" << line.force
        << "\nformat=" << std::array{"report", "tsv", "json"}[static_cast<std::size_t>(line.format)]
        << "\nhelp=" << line.help << "\nversion=" << line.version << "\n";
    return out.str();
}

// Parses the words and expects the command line "kestrin-cli a" with these fields ("name=value") changed.
void ExpectParsed(const std::vector<std::string>& words, const std::vector<std::string>& changes)
{
    SCOPED_TRACE(::testing::PrintToString(words));
    const auto parsed = ParseCommandLine(words);
    ASSERT_TRUE(parsed.commandLine) << parsed.error;
    EXPECT_EQ(Describe(*parsed.commandLine),
              testing::WithFields(Describe(CommandLine{{.inputFiles = {"a"}}}), changes));
}

// Each option, by its short and long name and as --name=value, sets its own setting and no other. Its
// value is the next word whatever it looks like, and a repeated option keeps its last value, even when
// an earlier one was wrong. Flags group, words after "--" are files, --threads is capped, and --help
// needs no FILE and no good value.
TEST(CommandLine, EachOptionSetsItsOwnSettingAndNoOther)
{
    // The option's names, and its value unless it is a flag.
    const char* cases[] = {"-l,--lengths -3",    "-n,--top --",     "-c,--comments table",
                           "--begin -i",         "--end =>",        "-i,--inside",
                           "--ignore-space",     "--ignore-return", "--ignore-tab",
                           "--real-savings",     "-x,--exclude -",  "-o,--report r=1.txt",
                           "-t,--table --table", "-r,--ranges -r",  "-y,--yes",
                           "-q,--quiet",         "--threads 1",     "-h,--help",
                           "--version",          "--force",         "--format json",
                           "--encoding utf-8",   "--game-table -",  "--dictionary-bytes 0"};
    for (const char* c : cases) {
        std::istringstream row(c);
        std::string names;
        std::string value;
        const bool flag = !(row >> names >> value);
        const std::string longName = names.substr(names.find("--"));
        const std::vector<std::string> changes{longName.substr(2) + "=" + (flag ? "true" : value)};
        // A flag is given twice where an option takes its value.
        for (const auto& name : {names.substr(0, names.find(',')), longName}) {
            ExpectParsed({name, flag ? name : value, "a"}, changes);
        }
        ExpectParsed({longName, flag ? longName : "bad", flag ? longName : longName + "=" + value, "a"},
                     changes);
    }
    const std::string cores = std::to_string(std::max(1u, std::thread::hardware_concurrency()));
    ExpectParsed({"-qyi", "--begin", "", "--threads", "00099999", "a"},
                 {"quiet=true", "yes=true", "inside=true", "threads=" + cores});
    ExpectParsed({"-", "--", "-a", "--"}, {R"(FILE="/dev/stdin" "-a" "--")"});
    ExpectParsed({"--help", "-c", "pascal"}, {"help=true", "FILE="});
}

// An option that does nothing without its partner draws a warning that names both; the run goes on.
TEST(CommandLine, WarnsAboutAnOptionWithoutItsPartner)
{
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{"-i", "a"}, {"-i/--inside does nothing without -c/--comments"}},
        {{"-i", "-c", "cpp", "a"}, {}},
        {{"--begin", "<", "--end=>", "-c", "c", "a"},
         {"--begin does nothing without -c/--comments custom",
          "--end does nothing without -c/--comments custom"}},
        {{"--begin", "<", "-c", "custom", "a"}, {}},
        {{"-r", "&H80-&HFF", "a"}, {"-r/--ranges does nothing without -t/--table"}},
        {{"-r", "&H80-&HFF", "--real-savings", "a"}, {}}, // the ranges give the codes' sizes
        {{"-t", "t.tbl", "a"}, {"-t/--table does nothing without -r/--ranges"}},
        {{"--force", "a"}, {"--force does nothing without -o/--report"}},
        {{"--dictionary-bytes", "9", "a"}, {"--dictionary-bytes does nothing without --real-savings"}},
        {{"--dictionary-bytes", "9", "--real-savings", "a"}, {}},
    };
    for (const auto& [words, warnings] : cases) {
        SCOPED_TRACE(::testing::PrintToString(words));
        const auto parsed = ParseCommandLine(words);
        ASSERT_TRUE(parsed.commandLine) << parsed.error;
        EXPECT_EQ(parsed.warnings, warnings);
    }
}

// The help fits 80 columns, names every option of the table once, and ends as the conventions ask.
TEST(CommandLine, HelpFitsEightyColumnsAndEndsWithExitStatusesAndAnExample)
{
    const std::string help = Usage();
    EXPECT_EQ(help.rfind("Usage: kestrin-cli [OPTION]... FILE...\n", 0), 0u);
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 79u) << line;
    }
    for (const char* part :
         {"\nInput:\n", "\nCounting:\n", "\nFilters:\n", "\nReal savings:\n", "\nOutput:\n", "\nGeneral:\n",
          "\nExit status:\n  0 ", "\n  3  ", "\nExample: ", "  -h, --help "}) {
        EXPECT_NE(help.find(part), std::string::npos) << part;
    }
    EXPECT_TRUE(help.ends_with("\nFull documentation: man kestrin-cli\n"));
}

// Each refusal of the shared table names the options, the file, where in it the fault lies and the text
// (in hex where it is not valid text), and whether anything was read.
TEST(CommandLine, RefusalsOfTheGamesCharactersSayWhatAndWhere)
{
    for (const testing::CharacterRefusalCase& c : testing::characterRefusalCases) {
        const Refusal& r = c.refusal;
        const std::string message = PhraseRefusal(r);
        SCOPED_TRACE(message);
        std::vector<std::string> pieces = testing::RefusalValues(r);
        pieces.insert(pieces.end(), c.cli.begin(), c.cli.end());
        for (const std::string& piece : pieces) {
            EXPECT_NE(message.find(piece), std::string::npos) << piece;
        }
        const bool read = !r.path.empty() && r.reason != Refusal::Reason::SameFile &&
                          r.reason != Refusal::Reason::OutputIsFolder;
        EXPECT_TRUE(
            message.ends_with(read ? "; nothing was counted or written" : "; nothing was read or written"));
    }
}

// With a game table, hex and len (and so the total space) are the game's bytes, while the string is the
// text. In UTF-8 the records keep whole characters as they are and escape only what is not text; in
// Latin-1 every byte above 127 stays an escape, as before.
TEST(CommandLine, RecordsShowTheGamesBytesAndUtf8Text)
{
    RunOutcome outcome;
    outcome.results = {{.text = "\xC3\xA9<LINE>", .hits = 3, .gameBytes = std::string("\x85\xFE", 2)},
                       {.text = "\xE3\x81\x82\x80\t\x1F", .hits = 2}};
    EXPECT_EQ(FormatTsv(outcome, TextEncoding::Utf8),
              "rank\tstring\thex\tlen\thits\ttotal_space\tskipped\tcode\n"
              "0\t\xC3\xA9<LINE>\t85FE\t2\t3\t6\t\t\n"
              "1\t\xE3\x81\x82\\200\\t\\037\tE3818280091F\t6\t2\t12\t\t\n");
    const std::string json = FormatJson(outcome, TextEncoding::Utf8);
    EXPECT_NE(json.find(R"({"rank": 0, "string": "é<LINE>", "hex": "85FE", "len": 2, "hits": 3, )"
                        R"("total_space": 6,)"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find(R"("string": "あ\uFFFD\u0009\u001F", "hex": "E3818280091F", "len": 6)"),
              std::string::npos)
        << json;
    EXPECT_NE(FormatTsv(outcome, TextEncoding::Latin1).find("0\t\\303\\251<LINE>\t85FE\t2\t3\t6\t"),
              std::string::npos);
    EXPECT_NE(FormatJson(outcome, TextEncoding::Latin1).find(R"("string": "\u00C3\u00A9<LINE>")"),
              std::string::npos);
    // A kept entry shows its own code, and a last field tells the kept ones; an overhead is counted.
    outcome.results[0].kept = true;
    outcome.keptCodes = {"\x81\x40\x01"};
    outcome.codes = {std::nullopt, std::int16_t{0x80}};
    outcome.sizes = EncodedSizes{.table = 17, .entries = 2, .entryOverhead = 3};
    EXPECT_EQ(FormatTsv(outcome, TextEncoding::Utf8),
              "rank\tstring\thex\tlen\thits\ttotal_space\tskipped\tcode\tkept\n"
              "0\t\xC3\xA9<LINE>\t85FE\t2\t3\t6\t\t814001\tkept\n"
              "1\t\xE3\x81\x82\\200\\t\\037\tE3818280091F\t6\t2\t12\t\t80\t\n"
              "# encoded_size\tlongest_match=0\tbest_parse=0\ttext=0\n"
              "# table_size\tbytes=17\tentries=2\toverhead=3\n");
    EXPECT_NE(FormatJson(outcome, TextEncoding::Utf8).find(R"("code": "814001", "kept": true})"),
              std::string::npos);
    EXPECT_NE(FormatJson(outcome, TextEncoding::Utf8).find(R"("entries": 2, "overhead": 3})"),
              std::string::npos);
    outcome.curve = {{0, 9, 0, true}, {1, 7, 5, false}};
    EXPECT_TRUE(
        FormatJson(outcome, TextEncoding::Utf8)
            .ends_with(
                ",\n \"curve\": [\n  {\"entries\": 0, \"script\": 9, \"dictionary\": 0, \"exact\": true},"
                "\n  {\"entries\": 1, \"script\": 7, \"dictionary\": 5, \"exact\": false}\n ]}\n"));
}

struct Result {
    int status;
    std::string out; // on a terminal, all that the terminal showed
    std::string err;
};

// Runs kestrin-cli in `folder` with the arguments, standard input a pipe that holds `input`, or a terminal
// on which `input` is typed at once. When a signal is given, sends it after `delay`. Standard output goes
// to `output` when one is named.
Result RunCli(std::vector<std::string> arguments, const std::filesystem::path& folder,
              const std::string& input = "", bool onTerminal = false, int signal = 0,
              std::chrono::microseconds delay = {}, const char* output = nullptr)
{
    const TempDir io; // beside `folder`, whose files the tests count
    arguments.insert(arguments.begin(), KESTRIN_CLI_PATH);
    std::vector<char*> argv(arguments.size() + 1); // ends with a null pointer
    std::transform(arguments.begin(), arguments.end(), argv.begin(), [](auto& word) { return word.data(); });
    int in[2];
    int terminal = -1;
    const pid_t child = ::pipe2(in, O_CLOEXEC) != 0 ? -1
                        : onTerminal                ? ::forkpty(&terminal, nullptr, nullptr, nullptr)
                                                    : ::fork();
    if (child == 0) {
        if (!onTerminal) {
            ::dup2(in[0], 0);
            ::dup2(::open(output ? output : (io.Path() / "out").c_str(), O_WRONLY | O_CREAT, 0600), 1);
            ::dup2(::open((io.Path() / "err").c_str(), O_WRONLY | O_CREAT, 0600), 2);
        }
        if (::chdir(folder.c_str()) == 0) {
            ::execv(KESTRIN_CLI_PATH, argv.data());
        }
        ::_exit(127);
    }
    if (child < 0 || ::write(onTerminal ? terminal : in[1], input.data(), input.size()) < 0) {
        throw std::runtime_error("cannot start kestrin-cli");
    }
    ::close(in[0]);
    ::close(in[1]);
    if (signal != 0) {
        std::this_thread::sleep_for(delay);
        ::kill(child, signal);
    }
    std::string shown;
    char buffer[4096];
    for (ssize_t got = 0; onTerminal && (got = ::read(terminal, buffer, sizeof buffer)) > 0;) {
        shown.append(buffer, static_cast<std::size_t>(got)); // until EIO: the command has ended
    }
    ::close(terminal);
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            onTerminal ? shown : ReadFile(io.Path() / "out"), ReadFile(io.Path() / "err")};
}

TEST(KestrinCli, ExitStatusTellsHowTheRunEnded)
{
    TempDir dir;
    dir.Write("in.txt", "abcabc");
    dir.Write("out.tbl", "keep\r\n");
    dir.Write("script.txt", "a script, not a report");
    dir.Write("notes.txt", "notes, not a report");
    dir.Write("game.tbl", "61=a\n62=b\n63=c\n");
    dir.Write("notes.tbl", "61=a\n61=b\n*FE\n$90=2\n62=b\n63=c\nFD=\\n\n");
    const std::string tryHelp = "\nTry 'kestrin-cli --help'.\n";
    // The arguments, the exit status, a piece of the output (none: no output) and of the messages.
    const std::tuple<std::vector<std::string>, int, std::string, std::string> cases[] = {
        {{"-l", "201", "-y", "in.txt"}, 0, "Filename:", ""},
        {{"-l", "1-11", "in.txt"}, 0, "Filename:", "-l/--lengths asks for 11 sample lengths"},
        // The game table's lines read otherwise than written are named, whatever the run's end.
        {{"-q", "--encoding", "utf-8", "--game-table", "notes.tbl", "in.txt"},
         0,
         "Filename:",
         "--game-table notes.tbl: line 2 repeats the code of line 1; the first line wins\n"
         "kestrin-cli: --game-table notes.tbl: line 7 names another newline code than line 3; the first "
         "newline code wins, the others count as used\n"
         "kestrin-cli: --game-table notes.tbl: line 4 ($90=2): kinds of line not modelled"},
        // Pieces that are no number are named; the run reads them as the window does.
        {{"-q", "-n", "5x", "-l", "two-eight", "-r", "0x80-1,7", "-t", "new.tbl", "in.txt"},
         0,
         "Filename:",
         "kestrin-cli: -l/--lengths: \"two\" is not a number, so the range starts at 1\n"
         "kestrin-cli: -l/--lengths: \"eight\" is not a number, so the range ends at 2\n"
         "kestrin-cli: -r/--ranges: \"0x80\" is not a number (hex is written &H80), so the range starts at "
         "1\n"
         "kestrin-cli: -n/--top: \"5x\" is not a number, so it is read as 25\n"},
        {{"-q", "-l", "2-3", "--real-savings", "--dictionary-bytes", "1", "in.txt"},
         0,
         "Filename:",
         "--dictionary-bytes 1 admits no entry: the shortest takes at least 2 bytes"},
        {{"-q", "--real-savings", "-r", "&H90-&H80", "in.txt"},
         0,
         "Filename:",
         "-r/--ranges \"&H90-&H80\" gives no code, so --real-savings prices every entry at one byte"},
        {{"-h"}, 0, "\n  -l, --lengths TEXT    sample lengths", ""},
        {{"--version"},
         0,
         "kestrin-cli " KESTRIN_VERSION "\nCopyright",
         ""}, // the version CMake's project holds
        {{"-q", "-i", "-r", "1", "in.txt"},
         0,
         "Filename:",
         "without -c/--comments\nkestrin-cli: -r/--ranges"},
        {{"-q", "--force", "-o", "notes.txt", "in.txt"}, 0, "Filename:", ""},
        {{"-l", "1,32768", "in.txt"},
         2,
         "",
         "--lengths holds 32768, which is out of range: sample lengths go from 0 to 32767" + tryHelp},
        {{"--threads", "4294967297", "in.txt"}, 2, "", "--threads 4294967297 is out of range"},
        {{"--threads", "18446744073709551617", "a"}, 2, "", "--threads 18446744073709551617 is out of range"},
        {{"--format", "xml", "in.txt"}, 2, "", "--format takes report, tsv or json, not \"xml\"" + tryHelp},
        {{"-", "./-", "-"}, 2, "", "standard input (-) is given twice"},
        {{"-l", "0", "in.txt"}, 2, "", "-l/--lengths holds only the sample length 0"},
        {{"-o", "in.txt", "in.txt", "-t", "out.tbl"}, 2, "", "is the input file"},
        {{"-o", "out.tbl", "-t", "out.tbl", "in.txt"}, 2, "", "is the output table (-t)"},
        {{"-o", "script.txt", "in.txt", "-t", "out.tbl"}, 2, "", "script.txt exists and is not a report"},
        {{"-t", "in.txt", "in.txt"}, 2, "", "the output table (-t) in.txt is the input file too"},
        {{"--real-savings", "-r", "&H100-&HFFFF", "-t", "out.tbl", "in.txt"},
         2,
         "",
         "\"&H100-&HFFFF\" gives no code"},
        {{"-t", "new.tbl", "in.txt"}, 0, "Filename:", "-r/--ranges gave no result a code"},
        {{"--game-table", "game.tbl", "-t", "dictionary.tbl", "-r", "&H62-&H70", "in.txt"},
         0,
         "string = a; hex = 61; len = 1",
         "-t/--table: the code 62 written there is a code of the game table (--game-table) game.tbl too"},
        {{"-q"}, 2, "", "no FILE to read"},
        {{"a", ""}, 2, "", "a FILE to read is an empty word"},
        {{"-l"}, 2, "", "--lengths needs a value"},
        {{"--exclude=", "a"}, 2, "", "--exclude needs a file name"},
        {{"-c", "pascal", "a"}, 2, "", "--comments takes c, cpp, table or custom, not \"pascal\""},
        {{"--threads", "-1", "a"}, 2, "", "--threads takes a number of threads, not \"-1\""},
        {{"--encoding", "UTF8", "a"}, 2, "", "--encoding takes latin1 or utf-8, not \"UTF8\"" + tryHelp},
        {{"--dictionary-bytes", "4k", "a"},
         2,
         "",
         "--dictionary-bytes takes a number of bytes, 0 or more, not"},
        {{"--game-table=", "a"}, 2, "", "--game-table needs a file name"},
        {{"--inside=1", "a"}, 2, "", "--inside takes no value"},
        {{"-l=3", "a"}, 2, "", "\"-l=3\": write an option that takes a value on its own"},
        {{"-qn", "5", "a"}, 2, "", "\"-qn\": write an option that takes a value on its own"},
        {{"-qz", "a"}, 2, "", "\"-qz\" is not an option"},
        {{"--dash.txt"}, 2, "", "goes after \"--\" (kestrin-cli [OPTION]... -- --dash.txt)" + tryHelp},
        {{"in.txt", "missing.txt", "-t", "out.tbl"}, 3, "", "missing.txt: No such file or directory"},
        // The run completes; the table is written before the report file.
        {{"-o", "no/such/report.txt", "-t", "no/such/out.tbl", "in.txt"},
         3,
         "Filename:",
         "no/such/out.tbl: No such file or directory\nkestrin-cli: cannot write no/such/report.txt: No such "
         "file"},
    };
    for (const auto& [arguments, status, inOutput, inError] : cases) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        const auto result = RunCli(arguments, dir.Path());
        EXPECT_EQ(result.status, status) << result.err;
        EXPECT_EQ(result.out.empty(), inOutput.empty());
        EXPECT_NE(result.out.find(inOutput), std::string::npos) << result.out;
        EXPECT_NE(result.err.find(inError), std::string::npos) << result.err;
        EXPECT_EQ(ReadFile(dir.Path() / "out.tbl") + ReadFile(dir.Path() / "in.txt") +
                      ReadFile(dir.Path() / "script.txt"),
                  "keep\r\nabcabca script, not a report");
    }
    EXPECT_EQ(ReadFile(dir.Path() / "notes.txt").rfind("Filename:in.txt\r\n", 0), 0u); // --force replaced it
}

// Output that cannot be written (a full disk) ends with status 3 and the reason, whatever was asked.
TEST(KestrinCli, AFullStandardOutputIsAFailure)
{
    TempDir dir;
    dir.Write("in.txt", "abcabc");
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--help"}, {"--version"}, {"-q", "in.txt"}, {"-q", "--format", "json", "in.txt"}}) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        const auto result = RunCli(arguments, dir.Path(), "", false, 0, {}, "/dev/full");
        EXPECT_EQ(result.status, 3);
        EXPECT_EQ(result.err, "kestrin-cli: cannot write to standard output: No space left on device\n");
    }
}

// A report file that cannot be read may be anything, so it is kept unless --force says otherwise. Root
// reads every file, so the command runs as an ordinary user who owns the folder and its files.
TEST(KestrinCli, KeepsAnUnreadableReportFileWithoutForce)
{
    TempDir dir;
    dir.Write("in.txt", "abcabc");
    const auto report = dir.Write("report.txt", "not readable");
    std::filesystem::permissions(report, std::filesystem::perms::owner_write);
    ASSERT_TRUE(testing::GiveToNobody({dir.Path(), dir.Path() / "in.txt", report}));
    const auto asUser = [&](const std::vector<std::string>& words, int status, std::string_view said) {
        return InChild(
            [&] {
                const auto run = RunCli(words, dir.Path());
                return run.status == status && run.err.find(said) != std::string::npos ? 0 : 1;
            },
            {.unprivileged = true});
    };
    EXPECT_EQ(
        asUser({"-q", "-o", "report.txt", "in.txt"}, 2, "cannot be read to tell whether it is a report"), 0);
    EXPECT_EQ(ReadFile(report), "not readable");
    EXPECT_EQ(asUser({"-q", "--force", "-o", "report.txt", "in.txt"}, 0, ""), 0);
    EXPECT_EQ(ReadFile(report).rfind("Filename:in.txt\r\n", 0), 0u);
}

// The records of --format, from standard input: every byte that could break a record or a string is
// escaped, a skipped result has no hits, the code is the one the table got, and a result holding a CR or
// an LF is left out of the table, with a word on stderr. The JSON passes a strict parser.
TEST(KestrinCli, WritesRecordsForScripts)
{
    TempDir dir;
    dir.Write("t.tbl", "84=old\r\n");
    const std::string input = "\"\\\r\n\t\xE9\"\\\r\n\t\xE9 ";
    const std::vector<std::string> common{"-q", "-l",    "1",  "-n",        "6", "--ignore-tab",
                                          "-t", "t.tbl", "-r", "&H80-&H8F", "-"};
    auto tsv = common;
    tsv.insert(tsv.begin(), {"--format", "tsv"});
    const auto tsvRun = RunCli(tsv, dir.Path(), input);
    ASSERT_EQ(tsvRun.status, 0) << tsvRun.err;
    // The tab is skipped, the CR and the LF are kept out of the table, and the end-of-file filler counts.
    EXPECT_EQ(tsvRun.out, "rank\tstring\thex\tlen\thits\ttotal_space\tskipped\tcode\n"
                          "0\t\\t\t09\t1\t\t\ttab\t\n"
                          "1\t\\n\t0A\t1\t2\t2\t\t\n"
                          "2\t\\r\t0D\t1\t2\t2\t\t\n"
                          "3\t\"\t22\t1\t2\t2\t\t83\n"
                          "4\t\\\\\t5C\t1\t2\t2\t\t84\n"
                          "5\t\\351\tE9\t1\t2\t2\t\t85\n"
                          "6\t\\000\t00\t1\t1\t1\t\t86\n");
    EXPECT_EQ(tsvRun.err,
              "kestrin-cli: -t/--table: 2 results hold a CR or an LF (the first is result 1), which "
              "would split the table's lines; they were not written and their codes stay unused\n"
              "kestrin-cli: -t/--table: t.tbl already held the code 84, which this run appended "
              "again; give -r/--ranges codes the table does not use\n");
    auto json = common;
    json.insert(json.begin(), "--format=json");
    dir.Write("abc.txt", "abcabcabcabc");
    const Result escapedRun = RunCli(json, dir.Path(), input);
    const Result savingsRun =
        RunCli({"-q", "--format", "json", "-l", "3", "--real-savings", "abc.txt"}, dir.Path());
    for (const Result& jsonRun : {escapedRun, savingsRun}) {
        ASSERT_EQ(jsonRun.status, 0) << jsonRun.err;
        dir.Write("records.json", jsonRun.out);
        EXPECT_EQ(std::system(("timeout 10 python3 -c 'import json,sys; json.load(open(sys.argv[1]))' " +
                               (dir.Path() / "records.json").string())
                                  .c_str()),
                  0)
            << jsonRun.out;
    }
    const std::string& escaped = escapedRun.out;
    for (const char* record : {R"({"rank": 0, "string": "\u0009", "hex": "09", "len": 1, "hits": null, )"
                               R"("total_space": null, "skipped": true, "skip_reason": "tab", "code": null})",
                               R"("string": "\u000A")", R"("string": "\"", "hex": "22")",
                               R"("string": "\\", "hex": "5C", "len": 1, "hits": 2, "total_space": 2, )"
                               R"("skipped": false, "skip_reason": null, "code": "84"})",
                               R"("string": "\u00E9")", R"("string": "\u0000")"}) {
        EXPECT_NE(escaped.find(record), std::string::npos) << record << "\n" << escaped;
    }
    EXPECT_NE(savingsRun.out.find(R"("string": "abc", "hex": "616263", "len": 3, "hits": 4, )"
                                  R"("total_space": 8)"),
              std::string::npos)
        << savingsRun.out;
    EXPECT_TRUE(savingsRun.out.ends_with(
        "\n],"
        "\n \"encoded_size\": {\"longest_match\": 4, \"best_parse\": 4, \"text\": 12},"
        "\n \"table_size\": {\"bytes\": 3, \"entries\": 1}}\n"))
        << savingsRun.out;
}

// The question about a length over 200 is asked on a terminal, and the answer typed there decides; with
// no terminal, even when a pipe brings "y", the answer is No and the message says so.
TEST(KestrinCli, AsksAboutALongLengthOnATerminalOnly)
{
    TempDir dir;
    dir.Write("in.txt", "abcabc");
    const std::vector<std::string> arguments{"-q", "-l", "201", "-o", "r.txt", "in.txt"};
    const std::string question = "kestrin-cli: -l/--lengths asks for the sample length 201, over 200";
    for (const auto& [typed, tty] : {std::pair{"y\n", false}, {"n\n", true}, {"y\n", true}, {"\n", true}}) {
        SCOPED_TRACE(typed + std::string(tty ? " typed on a terminal" : " from a pipe"));
        const bool yes = tty && std::string_view(typed) != "n\n";
        const auto result = RunCli(arguments, dir.Path(), typed, tty);
        EXPECT_EQ(result.status, yes ? 0 : 1);
        // The terminal shows the question, then with Yes the report. It also echoes what was typed, before
        // or after the question, whichever came first.
        const std::string all = result.out + result.err;
        const std::size_t asked =
            all.find(tty ? question + ". Go on? [Y/n] " : question + "; answering No (--yes answers Yes)\n");
        ASSERT_NE(asked, std::string::npos) << all;
        EXPECT_EQ(all.find("Filename:in.txt", asked) != std::string::npos, yes) << all;
        EXPECT_EQ(std::filesystem::remove(dir.Path() / "r.txt"), yes);
    }
}

// A signal that ends the command leaves the table as it was or with one whole block more, the report file
// as it was or whole, and no temporary file.
TEST(KestrinCli, ASignalLeavesEveryFileWholeAndNoTemporaryFile)
{
    TempDir dir;
    std::mt19937 random(7);
    dir.Write("script.txt", testing::RandomText(random, "abcdefghijklmnopqrstuvwxyz", 300000));
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
        const auto ended = RunCli(arguments, dir.Path(), "", false, round % 2 == 0 ? SIGTERM : SIGINT, delay);
        const std::string table = ReadFile(dir.Path() / "t.tbl");
        EXPECT_TRUE(table == oldTable || table == withBlock) << table.size();
        const std::string report = ReadFile(dir.Path() / "report.txt");
        EXPECT_TRUE(report == "Filename:old" || MaskElapsed(report) == MaskElapsed(whole.out + "\r\n"));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3) << ended.status;
    }
}

// The whole command against the literal model on the shared cases, their settings given as options
// (a NUL byte cannot be): its report, report file and table block, on one to three threads.
TEST(KestrinCli, MatchesTheLiteralModelOnTheSharedCases)
{
    const std::span<const testing::RunCase> tables[] = {testing::countingCases, testing::skipCases,
                                                        testing::tableBlockCases};
    int round = 0;
    for (const auto table : tables) {
        for (const testing::RunCase& c : table) {
            SCOPED_TRACE(::testing::PrintToString(c.given.files));
            const TempDir dir;
            RunSettings settings = testing::SettingsFor(c, dir);
            if ((settings.beginComment + settings.endComment).find('\0') != std::string::npos) {
                continue;
            }
            settings.outputTable = dir.Write("t.tbl", "80=ab\r\n");
            std::vector<std::string> arguments{"-qy",
                                               "--threads",
                                               std::to_string(1 + round++ % 3),
                                               "-l",
                                               settings.sampleLengths,
                                               "--top=" + settings.topResults,
                                               "--report=" + settings.reportFile->string(),
                                               "-t",
                                               "t.tbl",
                                               "-r",
                                               settings.writeTableRanges,
                                               "--begin",
                                               settings.beginComment,
                                               "--end=" + settings.endComment};
            if (settings.useComments) {
                const auto style = static_cast<std::size_t>(settings.commentStyle);
                arguments.insert(arguments.end(), {"-c", std::array{"c", "cpp", "table", "custom"}[style]});
            }
            for (auto [setting, name] : {std::pair{&RunSettings::readInsideComments, "-i"},
                                         {&RunSettings::ignoreSpace, "--ignore-space"},
                                         {&RunSettings::ignoreReturn, "--ignore-return"},
                                         {&RunSettings::ignoreTab, "--ignore-tab"}}) {
                if (settings.*setting) {
                    arguments.push_back(name);
                }
            }
            if (settings.exclusionTable) {
                arguments.insert(arguments.end(), {"-x", "ex.tbl"});
            }
            for (const auto& file : settings.inputFiles) {
                arguments.push_back(file.string());
            }
            const auto expected = literal::RunLiteralModel(settings, true);
            const auto result = RunCli(arguments, dir.Path());
            ASSERT_EQ(result.status, 0) << result.err;
            EXPECT_EQ(MaskElapsed(result.out), MaskElapsed(expected.report));
            EXPECT_EQ(MaskElapsed(ReadFile(*settings.reportFile)),
                      MaskElapsed(expected.reportFile.value_or("")));
            EXPECT_EQ(ReadFile(*settings.outputTable), "80=ab\r\n" + expected.tableBlock.value_or(""));
        }
    }
}

} // namespace
} // namespace kestrin
