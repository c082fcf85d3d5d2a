#include "literal_model.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace kestrin::literal {
namespace {

using namespace std::string_literals;

class LiteralModel : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
              ("kestrin-model-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::filesystem::path Write(const std::string& name, const std::string& content)
    {
        const std::filesystem::path path = dir / name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    // Settings for one input file holding content, with every counted string in the report.
    RunSettings OneFile(const std::string& content, const std::string& lengths)
    {
        RunSettings settings;
        settings.inputFiles = {Write("input.bin", content)};
        settings.sampleLengths = lengths;
        settings.topResults = "1000";
        return settings;
    }

    std::filesystem::path dir;
};

// The result lines: everything after the empty line that ends the header.
std::string ResultLines(const std::string& report)
{
    const std::size_t end = report.find("\r\n\r\n");
    return end == std::string::npos ? "<no header end>" : report.substr(end + 4);
}

std::string Line(int p, const std::string& text, int hits)
{
    std::string hex;
    for (const char c : text) {
        hex += "0123456789ABCDEF"[static_cast<unsigned char>(c) >> 4];
        hex += "0123456789ABCDEF"[static_cast<unsigned char>(c) & 15];
    }
    const std::string shown =
        text.find('\0') == std::string::npos ? "; string = " + text : "; --string not displayable--";
    return std::to_string(p) + ": total space = " + std::to_string(static_cast<int>(text.size()) * hits) +
           "; hits = " + std::to_string(hits) + shown + "; hex = " + hex +
           "; len = " + std::to_string(text.size()) + "\r\n";
}

struct CountCase {
    const char* name;
    std::vector<std::string> files;
    std::string lengths;
    bool useComments;
    CommentStyle style;
    std::string beginComment;
    bool readInside;
    std::int64_t counted;
    std::int64_t distinct;
    std::string lines;
};

TEST_F(LiteralModel, CountsWindowsAtEveryHandledPosition)
{
    const CountCase cases[] = {
        {"abcab, length 2",
         {"abcab"},
         "2",
         false,
         CommentStyle::C,
         "",
         false,
         5,
         4,
         Line(0, "ab", 2) + Line(1, "bc", 1) + Line(2, "b\0"s, 1) + Line(3, "ca", 1)},
        {"overlapping aa",
         {"aaaab"},
         "2",
         false,
         CommentStyle::C,
         "",
         false,
         5,
         3,
         Line(0, "aa", 3) + Line(1, "ab", 1) + Line(2, "b\0"s, 1)},
        {"empty file", {""}, "1", false, CommentStyle::C, "", false, 1, 1, Line(0, "\0"s, 1)},
        {"letter case and high bytes",
         {"aA\xff"},
         "1",
         false,
         CommentStyle::C,
         "",
         false,
         4,
         4,
         Line(0, "\0"s, 1) + Line(1, "A", 1) + Line(2, "a", 1) + Line(3, "\xff", 1)},
        {"shorter length wins ties",
         {"ababab"},
         "3,2",
         false,
         CommentStyle::C,
         "",
         false,
         5,
         5,
         Line(0, "ab", 3) + Line(1, "aba", 2) + Line(2, "bab", 2) + Line(3, "ba", 2) + Line(4, "ab\0"s, 1)},
        {"length 0 beside 1",
         {"aab"},
         "0,1",
         false,
         CommentStyle::C,
         "",
         false,
         4,
         6,
         Line(0, "a", 2) + Line(1, "\0"s, 1) + Line(2, "b", 1) + Line(3, "", -1) + Line(4, "", -1) +
             Line(5, "", -1)},
        {"windows never join files",
         {"ab", "cd"},
         "2",
         false,
         CommentStyle::C,
         "",
         false,
         4,
         4,
         Line(0, "ab", 1) + Line(1, "b\0"s, 1) + Line(2, "cd", 1) + Line(3, "d\0"s, 1)},
        {"C comment, outside",
         {"ab/*cd*/efgh"},
         "1",
         true,
         CommentStyle::C,
         "",
         false,
         5,
         5,
         Line(0, "a", 1) + Line(1, "b", 1) + Line(2, "e", 1) + Line(3, "f", 1) + Line(4, "g", 1)},
        {"C comment, inside",
         {"ab/*cd*/efgh"},
         "1",
         true,
         CommentStyle::C,
         "",
         true,
         2,
         2,
         Line(0, "c", 1) + Line(1, "d", 1)},
        {"touching comments",
         {"/*a*//*b*/xy"},
         "1",
         true,
         CommentStyle::C,
         "",
         false,
         6,
         4,
         Line(0, "*", 2) + Line(1, "/", 1) + Line(2, "b", 1) + Line(3, "x", 1)},
        {"empty comment runs on",
         {"/**/ab*/cde"},
         "1",
         true,
         CommentStyle::C,
         "",
         false,
         2,
         2,
         Line(0, "c", 1) + Line(1, "d", 1)},
        {"// then CR LF closes at the next line end",
         {"//\r\nab\r\ncd"},
         "1",
         true,
         CommentStyle::Cpp,
         "",
         false,
         1,
         1,
         Line(0, "c", 1)},
        {"comment open across files",
         {"ab/*cd", "ef*/gh"},
         "1",
         true,
         CommentStyle::C,
         "",
         false,
         3,
         3,
         Line(0, "a", 1) + Line(1, "b", 1) + Line(2, "g", 1)},
        {"custom delimiters match case",
         {"remREMab"},
         "1",
         true,
         CommentStyle::Custom,
         "REM",
         false,
         3,
         3,
         Line(0, "e", 1) + Line(1, "m", 1) + Line(2, "r", 1)},
        {"windows stop before the delimiter",
         {"xyz/*"},
         "1-4",
         true,
         CommentStyle::C,
         "",
         false,
         1,
         3,
         Line(0, "xyz", 1) + Line(1, "xy", 1) + Line(2, "x", 1)},
        {"table style",
         {"a<$b>c"},
         "1",
         true,
         CommentStyle::Thingy,
         "",
         false,
         2,
         2,
         Line(0, "a", 1) + Line(1, "c", 1)},
        {"empty custom begin counts all",
         {"ab"},
         "1",
         true,
         CommentStyle::Custom,
         "",
         false,
         3,
         3,
         Line(0, "\0"s, 1) + Line(1, "a", 1) + Line(2, "b", 1)},
        {"empty custom begin, inside", {"ab"}, "1", true, CommentStyle::Custom, "", true, 0, 0, ""},
    };
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.name);
        RunSettings settings;
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            settings.inputFiles.push_back(Write("in" + std::to_string(i), c.files[i]));
        }
        settings.sampleLengths = c.lengths;
        settings.topResults = "1000";
        settings.useComments = c.useComments;
        settings.commentStyle = c.style;
        settings.beginComment = c.beginComment;
        settings.readInsideComments = c.readInside;
        const ModelOutcome outcome = RunLiteralModel(settings, true);
        ASSERT_EQ(outcome.status, RunStatus::Completed);
        EXPECT_EQ(outcome.counters.countedCharacters, c.counted);
        EXPECT_EQ(outcome.counters.distinctStrings, c.distinct);
        EXPECT_EQ(ResultLines(outcome.report), c.lines);
        EXPECT_EQ(outcome.clearedUseComments,
                  c.useComments && c.beginComment.empty() && c.style == CommentStyle::Custom);
    }
}

TEST_F(LiteralModel, TenBytesWithLengthsOneToThree)
{
    const ModelOutcome outcome = RunLiteralModel(OneFile("0123456789", "1-3"), true);
    EXPECT_EQ(outcome.counters.totalCharacters, 10);
    EXPECT_EQ(outcome.counters.countedCharacters, 9);
    EXPECT_EQ(outcome.counters.distinctStrings, 27);
    EXPECT_EQ(outcome.report.find("; string = 9; "), std::string::npos);
    EXPECT_NE(outcome.report.find("; hex = 383900; len = 3"), std::string::npos);
}

TEST_F(LiteralModel, RequestGivesTheLastPosition)
{
    // 25 different bytes plus the filler window: 26 different strings of length 1.
    const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXY";
    struct Case {
        std::string request;
        std::size_t lines;
        bool reset;
    };
    const Case cases[] = {{"25", 26, false},    {"abc", 26, true},   {"0", 1, false},
                          {"2.5", 3, false},    {"3.5", 5, false},   {"&H3", 4, false},
                          {"-1", 0, false},     {"-0.5", 1, false},  {"1000", 26, false},
                          {"", 26, true},       {"25.5", 27, false}, {" 7. ", 8, false},
                          {"&HFFFF", 0, false}, {"1e3", 26, true},   {"99999999999999999999", 26, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        RunSettings settings = OneFile(letters, "1");
        settings.topResults = c.request;
        const ModelOutcome outcome = RunLiteralModel(settings, true);
        const std::string lines = ResultLines(outcome.report);
        EXPECT_EQ(static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n')), c.lines);
        EXPECT_EQ(outcome.resetTopResults, c.reset);
    }
}

TEST_F(LiteralModel, LastPositionComparesTheExactRequest)
{
    const struct {
        const char* request;
        std::int64_t distinct;
        std::int64_t last;
    } cases[] = {{"25", 100, 25},
                 {"25", 26, 25},
                 {"25", 25, 24},
                 {"25.5", 26, 26},
                 {"24.5", 26, 24},
                 {"-0.6", 10, -1},
                 {"-0", 10, 0},
                 {"0", 0, -1},
                 {"-0.3", 0, -1}, // nothing counted: no result lines
                 {"&H10000", 70000, 65536},
                 {"&HFFFFFFFF", 9, -1},
                 {"-99999999999999999999", 3, -1},
                 {"99999999999999999999.5", 3, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        const std::optional<Number> request = ReadNumber(c.request);
        ASSERT_TRUE(request.has_value());
        EXPECT_EQ(LastPosition(*request, c.distinct), c.last);
    }
    for (const char* text : {"", " ", "+", ".", "-", "1 2", "&H", "&H123456789", "\t1", "1e3", "&HG"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ReadNumber(text).has_value());
    }
}

TEST(LiteralNumberList, ParsesDecimalHexAndRangeItems)
{
    const std::pair<std::string, std::vector<std::int16_t>> cases[] = {
        {"1", {1}},
        {"1-3", {1, 2, 3}},
        {"1,3,5", {1, 3, 5}},
        {"1,3-5,7", {1, 3, 4, 5, 7}},
        {" 2 , 4 ", {2, 4}},
        {"1 - 3", {1, 2, 3}},
        {"5,1,3", {5, 1, 3}},
        {"3,3", {3, 3}},
        {"-4", {1, 2, 3, 4}},
        {"-", {1, 2}},
        {"1-", {1, 2}},
        {"2-", {2}},
        {"3-", {}},
        {"6-4", {}},
        {"a,2", {2}},
        {"1~3", {}},
        {"1-2-3", {1, 2}},
        {"2.5", {2}},
        {"3.5", {4}},
        {"&H10-&H12", {16, 17, 18}},
        {"&HFFFF", {-1}},
        {"&HFFFE-&HFFFF", {-2, -1}},
        {"&H7FFE-&H8001", {}},
        {"", {}},
        {"1,,2,", {1, 2}},
        {"+3,.5,7.", {3, 0, 7}},
        {"&h1f", {31}},
        {"32767.5", {}},
        {"&H10000", {}},
        {"&HFFFFFFFF", {-1}},
        {"&H00001", {1}},
        {"32766-32767", {32766, 32767}},
        {"-32768.5", {1, 2}}, // "-" starts a range whose high end rounds out of range
        {"\t1,1e3,1 2", {}},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ParseNumberList(text), expected);
    }
    EXPECT_EQ(ParseNumberList("&H8000-&H7FFF").size(), 65536u);
}

TEST_F(LiteralModel, SampleLengthChecks)
{
    const struct {
        const char* lengths;
        bool answerYes;
        RunStatus status;
        bool warned;
        bool asked;
    } cases[] = {
        {"1-11", true, RunStatus::Completed, true, false},
        {"1-10", true, RunStatus::Completed, false, false},
        {"200", true, RunStatus::Completed, false, false},
        {"201", false, RunStatus::Declined, false, true},
        {"201", true, RunStatus::Completed, false, true},
        {"195-210", false, RunStatus::Declined, true, true},
        {"", true, RunStatus::Refused, false, false},
        {"abc", true, RunStatus::Refused, false, false},
        {"0", true, RunStatus::Refused, false, false},
        {"&HFFFF,3", true, RunStatus::Refused, false, false},
        {"0,1", true, RunStatus::Completed, false, false},
        {"0-11,&HFFFF", true, RunStatus::Refused, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lengths);
        RunSettings settings = OneFile("abc", c.lengths);
        settings.reportFile = dir / "report.txt";
        settings.outputTable = dir / "table.tbl";
        const ModelOutcome outcome = RunLiteralModel(settings, c.answerYes);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.warned, c.warned);
        EXPECT_EQ(outcome.asked, c.asked);
        const bool completed = c.status == RunStatus::Completed;
        EXPECT_EQ(outcome.report.empty(), !completed);
        EXPECT_EQ(outcome.reportFile.has_value(), completed);
        EXPECT_EQ(outcome.tableBlock.has_value(), completed);
    }
}

TEST_F(LiteralModel, ReportHeaderAndFile)
{
    RunSettings settings;
    settings.inputFiles = {Write("one.txt", "ab"), Write("two.txt", "")};
    settings.sampleLengths = "4,1,2";
    settings.topResults = "0";
    settings.reportFile = dir / "report.txt";
    const ModelOutcome outcome = RunLiteralModel(settings, true);
    const std::string expected = "Filename:" + settings.inputFiles[0].string() + "\r\n" +
                                 "Filename:" + settings.inputFiles[1].string() + "\r\n" +
                                 "Total characters: 2     Characters actually counted: 2\r\n"
                                 "Number of different strings: 6    Sample lengths requested:1 2 4 \r\n"
                                 "Elapsed time: 00:00:00\r\n"
                                 "\r\n"
                                 "0: total space = 4; hits = 1; --string not displayable--; hex = 00000000; "
                                 "len = 4\r\n";
    EXPECT_EQ(outcome.report, expected);
    EXPECT_EQ(outcome.reportFile, expected + "\r\n");
}

TEST_F(LiteralModel, SkipFiltersMarkInOrder)
{
    // The input holds the text twice and is counted with the text's length, so the text ranks first.
    const std::string table = "41=A\r\n8140= t\r\nzz=x y\r\n00=q\tr\r\n";
    const struct {
        const char* name;
        std::string input;
        bool space, cr, tab, exclusion;
        std::string firstLine;
    } cases[] = {
        {"space", "a b", true, false, false, false, "0:--skipped for containing a space--\r\n"},
        {"space and tab: tab wins", "a \t", true, false, true, false,
         "0:--skipped for containing a tab--\r\n"},
        {"CR LF either order", "\na\r", false, true, false, false,
         "0:--skipped for containing a carriage return linefeed--\r\n"},
        {"CR alone is kept", "a\rb", false, true, false, false, Line(0, "a\rb", 2)},
        {"table value over space", " t", true, false, false, true,
         "0:--skipped for containing a table value--\r\n"},
        {"table value over tab", "q\tr", false, false, true, true,
         "0:--skipped for containing a table value--\r\n"},
        {"filters off", "a b", false, false, false, false, Line(0, "a b", 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunSettings settings = OneFile(c.input + c.input, std::to_string(c.input.size()));
        settings.topResults = "0";
        settings.ignoreSpace = c.space;
        settings.ignoreReturn = c.cr;
        settings.ignoreTab = c.tab;
        if (c.exclusion) {
            settings.exclusionTable = Write("exclude.tbl", table);
        }
        EXPECT_EQ(ResultLines(RunLiteralModel(settings, true).report), c.firstLine);
    }
}

TEST_F(LiteralModel, EmptyResultIsATableValueWhenATableIsUsed)
{
    // 26 different strings and a request of 25.5: the last pass finds nothing.
    RunSettings settings = OneFile("ABCDEFGHIJKLMNOPQRSTUVWXY", "1");
    settings.topResults = "25.5";
    EXPECT_NE(RunLiteralModel(settings, true).report.find(Line(26, "", -1)), std::string::npos);
    settings.exclusionTable = Write("empty.tbl", "");
    EXPECT_NE(RunLiteralModel(settings, true).report.find("26:--skipped for containing a table value--\r\n"),
              std::string::npos);
}

TEST_F(LiteralModel, WritesTableBlocksWithCodesByRank)
{
    // Ranked a (3), space (2), filler (1), b (1).
    const struct {
        const char* ranges;
        bool ignoreSpace;
        std::string block;
    } cases[] = {
        {"&H80-&H82", false, "\r\n80=a\r\n81= \r\n82=\0\r\n"s},
        {"&H80-&H82", true, "\r\n80=a\r\n82=\0\r\n"s},
        {"1-10", false, "\r\n01=a\r\n02= \r\n03=\0\r\n04=b\r\n"s},
        {"", false, "\r\n"},
        {"&HFFFE-&HFFFF", false, "\r\nFFFE=a\r\nFFFF= \r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ranges);
        RunSettings settings = OneFile("aaa  b", "1");
        settings.outputTable = dir / "out.tbl";
        settings.writeTableRanges = c.ranges;
        settings.ignoreSpace = c.ignoreSpace;
        EXPECT_EQ(RunLiteralModel(settings, true).tableBlock, c.block);
    }
    RunSettings negative = OneFile("aaa", "1");
    negative.topResults = "-1";
    negative.outputTable = dir / "out.tbl";
    negative.writeTableRanges = "1-5";
    const ModelOutcome outcome = RunLiteralModel(negative, true);
    EXPECT_EQ(outcome.tableBlock, "\r\n");
    EXPECT_EQ(ResultLines(outcome.report), "");
}

TEST(LiteralTableFile, ReadsEntryLinesAndWritesCodes)
{
    const std::pair<std::string, std::vector<std::string>> reads[] = {
        {"41=A", {"A"}},
        {"8140=ab cd", {"ab cd"}},
        {"ff=x", {"x"}},
        {"FF=", {""}},
        {"0A==x", {"=x"}},
        {"abc=def", {"def"}},
        {"0g=x", {"x"}},
        {"g1=x", {}},
        {"=x", {}},
        {"41", {}},
        {" 41=A", {}},
        {"", {}},
        {"*0A=x\r\n/FF=y", {}},
        {"41=A\r\n\r\n42=B\r43=C\r\n", {"A", "B", "C"}},
        {"41=A\n42=B\n", {"A\n42=B\n"}},
    };
    for (const auto& [content, expected] : reads) {
        SCOPED_TRACE(content);
        EXPECT_EQ(ReadTableEntries(content), expected);
    }
    const std::pair<std::int16_t, const char*> codes[] = {{0, "00"},       {10, "0A"},       {255, "FF"},
                                                          {256, "100"},    {4095, "FFF"},    {4096, "1000"},
                                                          {32767, "7FFF"}, {-32768, "8000"}, {-1, "FFFF"}};
    for (const auto& [value, code] : codes) {
        EXPECT_EQ(TableCode(value), code);
    }
}

TEST_F(LiteralModel, UnreadableFilesFailTheRun)
{
    RunSettings settings = OneFile("abc", "1");
    settings.inputFiles.push_back(dir / "missing.txt");
    EXPECT_EQ(RunLiteralModel(settings, true).status, RunStatus::InputFailed);
    settings = OneFile("abc", "1");
    settings.exclusionTable = dir / "missing.tbl";
    EXPECT_EQ(RunLiteralModel(settings, true).status, RunStatus::InputFailed);
}

} // namespace
} // namespace kestrin::literal
