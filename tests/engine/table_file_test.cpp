#include "test_support.h"

#include "kestrin/table_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace kestrin {
namespace {

using testing::ReadFile;
using testing::TempDir;

TEST(TableFile, ReadsOnlyEntryLines)
{
    const std::string content = "41=A\r\n"
                                "8140=ab cd\r\n"
                                "ff=x\r\n"
                                "FF=\r\n"
                                "0A==x\r\n"
                                "abc=def\r\n"
                                "0g=x\r\n"
                                "g1=x\r\n"
                                "=x\r\n"
                                "41\r\n"
                                " 41=A\r\n"
                                "\r\n"
                                "*0A=y\r" // a lone CR ends a line too
                                "/FF=z\r\n"
                                "42=last"; // the last line needs no line end
    const std::vector<std::string> expected{"A", "ab cd", "x", "", "=x", "def", "x", "last"};
    EXPECT_EQ(ReadTableEntries(content), expected);
}

TEST(TableFile, LineFeedAloneIsOrdinaryText)
{
    EXPECT_EQ(ReadTableEntries("41=a\n42=b\n"), (std::vector<std::string>{"a\n42=b\n"}));
    EXPECT_EQ(ReadTableEntries("41=a\r\r\n42=b"), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(ReadTableEntries("").empty());
    EXPECT_TRUE(ReadTableEntries("no entries\r\nhere").empty());
}

TEST(TableFile, CodesHaveTwoToFourUpperCaseDigits)
{
    const std::pair<std::int16_t, std::string_view> cases[] = {
        {0, "00"},      {10, "0A"},      {255, "FF"},      {256, "100"}, {4095, "FFF"},
        {4096, "1000"}, {32767, "7FFF"}, {-32768, "8000"}, {-1, "FFFF"},
    };
    for (const auto& [value, code] : cases) {
        EXPECT_EQ(FormatTableCode(value), code) << value;
    }
}

TEST(TableFile, BlockPairsCodesWithRanksAndLeavesSkippedCodesUnused)
{
    const std::vector<ResultEntry> results{{"the", 5}, {"in g", skip_mark::space}, {"and", 3}, {"", -1}};
    EXPECT_EQ(BuildTableBlock(results, {0x80, 0x81, 0x82, 0x83}), "\r\n80=the\r\n82=and\r\n");
    EXPECT_EQ(BuildTableBlock(results, {1}), "\r\n01=the\r\n");
    EXPECT_EQ(BuildTableBlock(results, {}), "\r\n");
    EXPECT_EQ(BuildTableBlock({{"a=b\tc", 2}}, {-2}), "\r\nFFFE=a=b\tc\r\n");
}

TEST(TableFile, AppendsBlocksAndReportsFailures)
{
    TempDir dir;
    const auto table = dir.Write("out.tbl", "00=keep\r\n");
    const std::vector<ResultEntry> results{{"the", 5}, {"ing", 4}};
    EXPECT_FALSE(WriteOutputTable(table, results, "&H80-&H82").has_value());
    EXPECT_FALSE(WriteOutputTable(table, results, "1").has_value());
    EXPECT_EQ(ReadFile(table), "00=keep\r\n\r\n80=the\r\n81=ing\r\n\r\n01=the\r\n");

    const auto missingFolder = dir.Path() / "no such folder" / "out.tbl";
    const auto error = WriteOutputTable(missingFolder, results, "1-2");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->path, missingFolder);
    EXPECT_FALSE(error->reason.empty());
    EXPECT_NE(Describe(*error).find("no such folder"), std::string::npos);
}

TEST(TableFile, ExclusionTableThatCannotBeReadGivesItsError)
{
    TempDir dir;
    const auto load = LoadExclusionTable(dir.Path() / "missing.tbl");
    ASSERT_TRUE(load.error.has_value());
    EXPECT_NE(load.error->reason.find("No such file"), std::string::npos);
    const auto folder = LoadExclusionTable(dir.Path());
    ASSERT_TRUE(folder.error.has_value());
    EXPECT_NE(folder.error->reason.find("directory"), std::string::npos);
}

} // namespace
} // namespace kestrin
