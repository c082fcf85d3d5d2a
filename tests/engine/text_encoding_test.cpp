// SPDX-License-Identifier: MIT
#include "inserter_model.h"
#include "text/character_map.h"
#include "text/text_encoding.h"

#include <gtest/gtest.h>
#include <random>

namespace kestrin {
namespace {

using namespace std::string_literals;

TEST(Utf8Validation, LocatesTheFirstFaultWithItsLineAndBytes)
{
    struct Case {
        std::string text;
        Utf8FaultKind kind;
        std::int64_t offset;
        std::int64_t line;
        std::string bytes;
    };
    using K = Utf8FaultKind;
    const Case cases[] = {
        {"a\x80", K::StrayContinuation, 1, 1, "\x80"},
        {"\xC0\x80", K::Overlong, 0, 1, "\xC0"},
        {"\xC1\xBF", K::Overlong, 0, 1, "\xC1"},
        {"\xE0\x80\x80", K::Overlong, 0, 1, "\xE0\x80"},
        {"\xE0\x9F\xBF", K::Overlong, 0, 1, "\xE0\x9F"},
        {"\xF0\x8F\xBF\xBF", K::Overlong, 0, 1, "\xF0\x8F"},
        {"\xED\xA0\x80", K::Surrogate, 0, 1, "\xED\xA0"},
        {"\xED\xBF\xBF", K::Surrogate, 0, 1, "\xED\xBF"},
        {"\xF4\x90\x80\x80", K::OutOfRange, 0, 1, "\xF4\x90"},
        {"\xF5\x80\x80\x80", K::OutOfRange, 0, 1, "\xF5"},
        {"\xFF", K::OutOfRange, 0, 1, "\xFF"},
        {"ab\xE3\x81", K::Truncated, 2, 1, "\xE3\x81"},
        {"\xE3\x81"
         "A",
         K::Truncated, 0, 1, "\xE3\x81"},
        {"\xF0\x9F\x98", K::Truncated, 0, 1, "\xF0\x9F\x98"},
        {"\xC3"
         "\xC3\xA9",
         K::Truncated, 0, 1, "\xC3"},
        // Lines: CR LF counts once, a lone CR and a lone LF once each.
        {"a\r\nb\rc\nd\xFE", K::OutOfRange, 8, 4, "\xFE"},
        {"\r\n\r\n\x80", K::StrayContinuation, 4, 3, "\x80"},
        // Past the eight-byte ASCII steps, and in their last byte.
        {"abcdefghijklmnop\xBF", K::StrayContinuation, 16, 1, "\xBF"},
        {"abcdefg\xE2\x82", K::Truncated, 7, 1, "\xE2\x82"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.text));
        const auto fault = ValidateText(c.text, TextEncoding::Utf8);
        ASSERT_TRUE(fault.has_value());
        EXPECT_EQ(*fault, (TextFault{c.kind, c.offset, c.line, c.bytes}));
        EXPECT_FALSE(ValidateText(c.text, TextEncoding::Latin1).has_value());
    }
    // The edges of the ranges that are valid.
    for (const std::string& valid :
         {"\xC2\x80"s, "\xDF\xBF"s, "\xE0\xA0\x80"s, "\xED\x9F\xBF"s, "\xEE\x80\x80"s, "\xEF\xBF\xBF"s,
          "\xF0\x90\x80\x80"s, "\xF4\x8F\xBF\xBF"s, ""s, "\0"s}) {
        EXPECT_FALSE(ValidateText(valid, TextEncoding::Utf8).has_value()) << ::testing::PrintToString(valid);
    }
}

TEST(TextCharacters, AreTheCharactersOfValidTextWithLineEndsAsBreaks)
{
    std::mt19937_64 random(29);
    for (int round = 0; round < 300; ++round) {
        // Characters of 1 to 4 bytes (no surrogates), with their starts noted as the text is made.
        std::string text;
        std::vector<std::size_t> starts;
        for (auto n = random() % 300; n > 0; --n) {
            starts.push_back(text.size());
            const std::uint32_t limits[] = {0x80, 0x800, 0xD800, 0x110000};
            auto cp = static_cast<std::uint32_t>(random() % limits[random() % 4]);
            cp = cp >= 0xD800 && cp < 0xE000 ? cp - 0x800 : cp;
            text += random() % 8 == 0 ? std::string(1, "\r\n"[random() % 2]) : testing::Utf8Of(cp);
        }
        ASSERT_FALSE(ValidateText(text, TextEncoding::Utf8).has_value());
        EXPECT_EQ(CountCharacters(text, TextEncoding::Utf8), static_cast<std::int64_t>(starts.size()));
        for (const auto encoding : {TextEncoding::Utf8, TextEncoding::Latin1}) {
            const CharacterMap characterMap = TextCharacters(text, encoding);
            std::vector<std::size_t> found;
            for (std::size_t at = 0; at < text.size(); at = characterMap.NextCharacterStart(at)) {
                found.push_back(at);
                EXPECT_EQ(characterMap.IsBreak(at), text[at] == '\r' || text[at] == '\n');
            }
            if (encoding == TextEncoding::Utf8) {
                EXPECT_EQ(found, starts);
            } else {
                EXPECT_EQ(found.size(), text.size());
            }
        }
    }
    // Invalid text still makes a map whose first byte starts a character, so that indexes stay in range.
    const CharacterMap stray = TextCharacters("\x80\x80"
                                              "a",
                                              TextEncoding::Utf8);
    EXPECT_EQ(stray.Characters(), 2);
    EXPECT_EQ(stray.CharacterIndex(1), 0);
    EXPECT_EQ(stray.CharacterOffset(1), 2U);
}

} // namespace
} // namespace kestrin
