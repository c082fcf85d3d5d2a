#include "test_support.h"

#include "kestrin/report.h"

#include <gtest/gtest.h>

namespace kestrin {
namespace {

using testing::ReadFile;
using testing::TempDir;

TEST(Report, ResultLinesForStringsSkipsAndTheEmptyResult)
{
    const std::pair<ResultEntry, std::string_view> cases[] = {
        {{"th", 206}, "0: total space = 412; hits = 206; string = th; hex = 7468; len = 2"},
        {{"a b", skip_mark::space}, "0:--skipped for containing a space--"},
        {{"a\tb", skip_mark::tab}, "0:--skipped for containing a tab--"},
        {{"\r\n", skip_mark::carriageReturnLineFeed},
         "0:--skipped for containing a carriage return linefeed--"},
        {{"x", skip_mark::tableValue}, "0:--skipped for containing a table value--"},
        {{"", -1}, "0: total space = 0; hits = -1; string = ; hex = ; len = 0"},
        {{std::string("a\0", 2), 150},
         "0: total space = 300; hits = 150; --string not displayable--; hex = 6100; len = 2"},
        {{"\n\t\xFF", 1}, "0: total space = 3; hits = 1; string = \n\t\xFF; hex = 0A09FF; len = 3"},
        {{"abc", 3000000000},
         "0: total space = 9000000000; hits = 3000000000; string = abc; hex = 616263; len = 3"},
        {{"a", -2}, "0: total space = -2; hits = -2; string = a; hex = 61; len = 1"}, // not a skip code
    };
    for (const auto& [result, line] : cases) {
        EXPECT_EQ(FormatResultLine(0, result), line);
    }
    EXPECT_EQ(FormatResultLine(12, {"x", 1}).substr(0, 4), "12: ");
}

TEST(Report, HeaderAndResultLinesEndInCarriageReturnLineFeed)
{
    ReportHeader header;
    header.inputFiles = {"C:\\giochi\\script1.txt", "second.txt"};
    header.totalCharacters = 5120;
    header.countedCharacters = 4877;
    header.distinctStrings = 731;
    header.sampleLengths = {2, 3};
    header.elapsedSeconds = 4;
    const std::vector<ResultEntry> results{{"th", 206}, {"a b", skip_mark::space}, {"the", 110}};
    EXPECT_EQ(BuildReport(header, results),
              "Filename:C:\\giochi\\script1.txt\r\n"
              "Filename:second.txt\r\n"
              "Total characters: 5120     Characters actually counted: 4877\r\n"
              "Number of different strings: 731    Sample lengths requested:2 3 \r\n"
              "Elapsed time: 00:00:04\r\n"
              "\r\n"
              "0: total space = 412; hits = 206; string = th; hex = 7468; len = 2\r\n"
              "1:--skipped for containing a space--\r\n"
              "2: total space = 330; hits = 110; string = the; hex = 746865; len = 3\r\n");
}

TEST(Report, ElapsedTimeWrapsAtADay)
{
    EXPECT_EQ(FormatElapsed(0), "00:00:00");
    EXPECT_EQ(FormatElapsed(4), "00:00:04");
    EXPECT_EQ(FormatElapsed(3599), "00:59:59");
    EXPECT_EQ(FormatElapsed(25 * 3600), "01:00:00");
    EXPECT_EQ(FormatElapsed(-5), "00:00:00");
    using namespace std::chrono;
    const system_clock::time_point start{seconds(100) + milliseconds(900)};
    EXPECT_EQ(WholeSecondsBetween(start, start + milliseconds(200)), 1); // 100.9 s to 101.1 s
    EXPECT_EQ(WholeSecondsBetween(start, start + milliseconds(50)), 0);
}

TEST(Report, DisplayCutAt32767Characters)
{
    const std::string notice =
        "--Report truncated because size is too great for text box. To remedy this situation, "
        "reduce the number of results to be shown that aren't really relevant anyway.--";
    const std::string fits(32767, 'x');
    EXPECT_EQ(TruncateForDisplay(fits), fits);

    std::string tooLong(32768, 'y');
    tooLong[31999] = '\r'; // the cut may fall between a CR and its LF
    tooLong[32000] = '\n';
    const std::string shown = TruncateForDisplay(tooLong);
    EXPECT_EQ(shown, notice + "\r\n\r\n" + tooLong.substr(0, 32000) + "\r\n\r\n" + notice);
    EXPECT_EQ(TruncateForDisplay(std::string(100000, 'z')).size(), 32000 + 2 * notice.size() + 8);
}

TEST(ReportFile, ReplacesTheFileWholeAndKeepsItOnFailure)
{
    TempDir dir;
    const auto path = dir.Write("report.txt", "an older, longer report that must go entirely");
    ASSERT_FALSE(WriteReportFile(path, "line\r\n").has_value());
    EXPECT_EQ(ReadFile(path), "line\r\n\r\n");

    const auto missing = dir.Path() / "missing" / "report.txt";
    const auto error = WriteReportFile(missing, "x");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->path, missing);
    const auto onFolder = WriteReportFile(dir.Path(), "x");
    ASSERT_TRUE(onFolder.has_value());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1); // only report.txt
}

TEST(ReportFile, WritesThroughLinksAndKeepsTheFilesMode)
{
    TempDir dir;
    namespace fs = std::filesystem;
    const auto target = dir.Write("target.txt", "old");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    const auto link = dir.Path() / "link.txt";
    fs::create_symlink(target, link);
    ASSERT_FALSE(WriteReportFile(link, "new").has_value());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(target), "new\r\n");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    // A file with a second name: both names see the new report.
    const auto second = dir.Path() / "second.txt";
    fs::create_hard_link(target, second);
    ASSERT_FALSE(WriteReportFile(second, "newer").has_value());
    EXPECT_EQ(ReadFile(target), "newer\r\n");
}

} // namespace
} // namespace kestrin
