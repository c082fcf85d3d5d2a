// SPDX-License-Identifier: MIT
#include "test_support.h"

#include "kestrin/report.h"
#include "kestrin/table_file.h"

#include <gtest/gtest.h>

namespace kestrin {
namespace {

// Strings, skips, NUL bytes and the empty result come up in the shared cases, which the literal model writes
// too; here a total past 32 bits, and a negative count that is no skip code.
TEST(Report, ResultLinesPast32BitsAndForANegativeCount)
{
    const std::pair<ResultEntry, std::string_view> cases[] = {
        {{"abc", 3000000000},
         "0: total space = 9000000000; hits = 3000000000; string = abc; hex = 616263; len = 3"},
        {{"a", -2}, "0: total space = -2; hits = -2; string = a; hex = 61; len = 1"},
    };
    for (const auto& [result, line] : cases) {
        EXPECT_EQ(FormatResultLine(0, result), line);
    }
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

// A text that a message quotes shows its control bytes escaped and stops after 80 bytes, never inside a
// character; its hex stops after 32 bytes.
TEST(Report, MessagesQuoteTextsShortAndPlain)
{
    EXPECT_EQ(ShownText("a\x1B[2Jb\x7F\t"), "a\\x1B[2Jb\\x7F\\x09");
    const std::string line = std::string(79, 'x') + "\xC3\xA9" + std::string(5000000, 'y');
    EXPECT_EQ(ShownText(line), std::string(79, 'x') + "... (5000081 bytes)");
    EXPECT_EQ(ShownText(std::string(80, 'z')), std::string(80, 'z'));
    EXPECT_EQ(SpacedHexOf(std::string(33, 'A')).size(), 32 * 3 - 1 + 4);
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

    // In UTF-8 the cut never ends inside a character: "€" (3 bytes) across byte 32000 goes whole.
    std::string euros(31998, 'e');
    for (int i = 0; i < 1000; ++i) {
        euros += "\xE2\x82\xAC";
    }
    EXPECT_EQ(TruncateForDisplay(euros, TextEncoding::Utf8),
              notice + "\r\n\r\n" + euros.substr(0, 31998) + "\r\n\r\n" + notice);
    EXPECT_EQ(TruncateForDisplay(euros), notice + "\r\n\r\n" + euros.substr(0, 32000) + "\r\n\r\n" + notice);
}

// The block a run appends, checked against the table file as it is: the codes each result gets, the
// results kept out for a CR or an LF, and the first code written that the file already held (compared as
// a number, whatever the case and the leading zeros of the file's code).
TEST(TableFile, AppendKeepsOutLineBreaksAndFindsARepeatedCode)
{
    const std::vector<ResultEntry> results{
        {"a\r", 2}, {"b", 2}, {"c", skip_mark::space}, {"d\n", 1}, {"e", 1}};
    const std::vector<std::int16_t> codes{0x80, 0x81, 0x82, 0x83, 0x84};
    struct Case {
        std::optional<std::string_view> existing;
        std::optional<std::int16_t> repeated;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt},
        {"80=x\r\n83=y\r\n", std::nullopt}, // codes left unused are no repeats
        {"084=x\r\n81=y\n", 0x81},          // the first written, not the first in the file
        {"zz=x\r\n8g=y\r\n184=z", std::nullopt},
        {"=x\r\nff84=y\r\n", std::nullopt},
        {"00000084=x\r\n", 0x84},
        {"FFFF0084=x\r\n", 0x84}, // eight digits at most, of which the last four count
        {"000000084=x\r\n 84=y\r\n+84=z\r\n0x84=w\r\n84 =v", std::nullopt},
    };
    for (const auto& [existing, repeated] : cases) {
        SCOPED_TRACE(std::string(existing.value_or("no file")));
        const TableAppend plan = PlanTableAppend(results, codes, existing);
        EXPECT_EQ(plan.block, "\r\n81=b\r\n84=e\r\n");
        EXPECT_EQ(plan.codes, (std::vector<std::optional<std::int16_t>>{{}, 0x81, {}, {}, 0x84}));
        EXPECT_EQ(plan.splitting, (std::vector<std::size_t>{0, 3}));
        EXPECT_EQ(plan.repeatedCode, repeated);
    }
}

// What lies at -o decides whether a run may replace it.
TEST(ReportFile, OnlyAnEarlierReportOrNothingIsReplaceable)
{
    testing::TempDir dir;
    const std::pair<std::optional<std::string>, ReportFileCheck> cases[] = {
        {std::nullopt, ReportFileCheck::Replaceable},          {"", ReportFileCheck::Replaceable},
        {"Filename:in.txt\r\n", ReportFileCheck::Replaceable}, {"Filename", ReportFileCheck::NotAReport},
        {"filename:in.txt", ReportFileCheck::NotAReport},      {"int main() {}", ReportFileCheck::NotAReport},
    };
    for (const auto& [content, check] : cases) {
        SCOPED_TRACE(content.value_or("no file"));
        const auto path = dir.Path() / "report.txt";
        std::filesystem::remove(path);
        if (content) {
            (void)dir.Write("report.txt", *content);
        }
        EXPECT_EQ(CheckReportFile(path), check);
    }
    EXPECT_EQ(CheckReportFile(dir.Path()), ReportFileCheck::Replaceable); // the write names the fault
}

} // namespace
} // namespace kestrin
