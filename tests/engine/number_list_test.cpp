#include "kestrin/number_list.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace kestrin {
namespace {

TEST(NumberListParser, ParsesItemsRangesAndDefaults)
{
    const std::pair<std::string_view, std::vector<std::int16_t>> cases[] = {
        {"1", {1}},
        {"1-3", {1, 2, 3}},
        {"1,3,5", {1, 3, 5}},
        {"1,3-5,7", {1, 3, 4, 5, 7}},
        {" 2 , 4 ", {2, 4}},
        {"1 - 3", {1, 2, 3}},
        {"5,1,3", {5, 1, 3}},
        {"3,3", {3, 3}},
        {"-4", {1, 2, 3, 4}}, // "-" always starts a range: the missing low end is 1
        {"-", {1, 2}},
        {"1-", {1, 2}},
        {"2-", {2}},
        {"3-", {}},
        {"6-4", {}},
        {"a,2", {2}},
        {"1~3", {}},
        {"1-2-3", {1, 2}}, // a second dash makes the high text non-numeric
        {"2.5", {2}},
        {"3.5", {4}},
        {"&H10-&H12", {16, 17, 18}},
        {"&hff", {255}},
        {"&HFFFF", {-1}},
        {"&HFFFE-&HFFFF", {-2, -1}},
        {"&H7FFE-&H8001", {}},
        {"", {}},
        {"1,,2,", {1, 2}},
        {"1,-2", {1, 1, 2}}, // the dash of the second item does not make the first a range
        {"1--3", {}},        // high end -3
        {"+4", {4}},
        {".5,5.", {0, 5}},
        {"1 2", {}},
        {"\t1", {}}, // only spaces are trimmed
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(std::string(text));
        EXPECT_EQ(ParseNumberList(text), expected);
    }
}

TEST(NumberListParser, ValuesOutside16BitsAreNotNumeric)
{
    const std::pair<std::string_view, std::vector<std::int16_t>> cases[] = {
        {"32767", {32767}},   {"32768", {}},          {"32767.5", {}}, // rounds to 32768
        {"32766.5", {32766}},                                          // half to even
        {"&H10000", {}},                                               // five digits: the 32-bit value 65536
        {"&H0FFFF", {}},                                               // five digits: 65535, not -1
        {"&H00001", {1}},                                              // five digits that fit
        {"&H000000001", {}},                                           // nine digits
        {"&H8000", {-32768}}, {"32768-3", {1, 2, 3}},                  // a bad low end takes its default
        {"1-99999", {1, 2}},                                           // a bad high end takes its default
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(std::string(text));
        EXPECT_EQ(ParseNumberList(text), expected);
    }
}

TEST(NumberListParser, RangeUpTo32767StopsThere)
{
    const auto values = ParseNumberList("32765-32767");
    EXPECT_EQ(values, (std::vector<std::int16_t>{32765, 32766, 32767}));
    EXPECT_EQ(ParseNumberList("&H8000-&H7FFF").size(), 65536u);
    EXPECT_EQ(ParseNumberList("5,&H8000-&H7FFF,7", 3), (std::vector<std::int16_t>{5, -32768, -32767}));
    EXPECT_EQ(ParseNumberList("1,2", 0), (std::vector<std::int16_t>{}));
}

TEST(RequestedCount, RoundsAndLimitsToTheStringsCounted)
{
    struct Case {
        std::string_view text;
        std::int64_t distinct;
        std::int64_t lastPosition;
    };
    const Case cases[] = {
        {"25", 100, 25},
        {"25", 26, 25},
        {"25", 25, 24},
        {"0", 10, 0},
        {"1000", 40, 39},
        {"25.5", 26, 26},
        {"24.5", 100, 24},
        {"-1", 10, -1},
        {"-0.4", 10, 0},
        {"-0.5", 10, 0},
        {"-0.6", 10, -1},
        {"-0", 10, 0},
        {"3", 0, -1},
        {"-0.4", 0, -1},
        {"&HFFFF", 10, -1},
        {"&H0FFFF", 10, 9},
        {"99999999999999999999999", 7, 6},
        {"0.5000000000000000000001", 10, 1},
        {"2.4999999999999999999", 10, 2},
        {"-99999999999999999999", 10, -1},
        {"123456789012345678901234567890", 5, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        const auto numeric = ParseNumeric(c.text);
        ASSERT_TRUE(numeric.has_value());
        EXPECT_EQ(LastResultPosition(*numeric, c.distinct), c.lastPosition);
    }
    for (const std::string_view bad :
         {"", "abc", " ", "1e3", "1,000", "&H", "&H123456789", "$5", "- 1", "."}) {
        SCOPED_TRACE(std::string(bad));
        EXPECT_FALSE(ParseNumeric(bad).has_value());
    }
}

} // namespace
} // namespace kestrin
