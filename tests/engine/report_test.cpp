#include "kestrin/report.h"

#include <gtest/gtest.h>

namespace kestrin {
namespace {

// The other skip texts come up in the shared skip cases, which the literal model writes too.
TEST(Report, ResultLinesForStringsSkipsAndTheEmptyResult)
{
    const std::pair<ResultEntry, std::string_view> cases[] = {
        {{"th", 206}, "0: total space = 412; hits = 206; string = th; hex = 7468; len = 2"},
        {{"a b", skip_mark::space}, "0:--skipped for containing a space--"},
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

} // namespace
} // namespace kestrin
