// SPDX-License-Identifier: MIT
#include "text/character_map.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace kestrin {
namespace {

// Characters of random sizes and kinds against a plain list of their starts, across several rank blocks
// (512 bytes each) and word edges.
TEST(CharacterMap, AnswersByOffsetAndByIndexAsThePlainListOfCharacters)
{
    std::mt19937_64 random(5);
    for (int round = 0; round < 60; ++round) {
        CharacterMap characterMap;
        std::vector<std::size_t> starts;
        std::vector<CharacterKind> kinds;
        const bool withEnds = round % 3 != 0;
        std::size_t size = 0;
        for (auto n = random() % 1500; n > 0; --n) {
            const auto pick = random() % 10;
            const CharacterKind kind = pick == 0               ? CharacterKind::LineEnd
                                       : pick == 1 && withEnds ? CharacterKind::StringEnd
                                                               : CharacterKind::Character;
            const std::size_t bytes = kind == CharacterKind::LineEnd ? 1 : 1 + random() % 4;
            starts.push_back(size);
            kinds.push_back(kind);
            characterMap.Append(bytes, kind);
            size += bytes;
        }
        characterMap.Finish();
        starts.push_back(size); // the end counts as a start
        ASSERT_EQ(characterMap.Bytes(), size);
        ASSERT_EQ(characterMap.Characters(), static_cast<std::int64_t>(kinds.size()));
        std::size_t character = 0;
        for (std::size_t p = 0; p <= size; ++p) {
            const bool start = starts[character] == p;
            ASSERT_EQ(characterMap.IsCharacterStart(p), start) << p;
            ASSERT_EQ(characterMap.CharacterIndex(p),
                      static_cast<std::int64_t>(start || p == size ? character : character - 1));
            if (start && p < size) {
                EXPECT_EQ(characterMap.KindAt(p), kinds[character]);
                EXPECT_EQ(characterMap.NextCharacterStart(p), starts[character + 1]);
                EXPECT_EQ(characterMap.CharacterOffset(static_cast<std::int64_t>(character)), p);
            }
            character += start && p < size ? 1 : 0;
        }
        // Windows of k characters, with and without breaks, against the list.
        for (const std::int64_t k : {1, 2, 3, 7}) {
            std::vector<std::pair<std::size_t, std::size_t>> expected;
            std::vector<std::pair<std::size_t, std::size_t>> whole;
            for (std::size_t i = 0; i + static_cast<std::size_t>(k) < starts.size(); ++i) {
                const std::pair window{starts[i], starts[i + static_cast<std::size_t>(k)]};
                expected.push_back(window);
                bool clean = true;
                for (std::size_t j = i; j < i + static_cast<std::size_t>(k); ++j) {
                    clean = clean && kinds[j] == CharacterKind::Character;
                }
                if (clean) {
                    whole.push_back(window);
                }
                EXPECT_EQ(characterMap.WindowEnd(window.first, k), window.second);
                EXPECT_EQ(characterMap.HoldsBreak(window.first, window.second), !clean);
            }
            std::vector<std::pair<std::size_t, std::size_t>> walked;
            characterMap.ForEachWindow(k, 0, size, false,
                                       [&](std::size_t b, std::size_t e) { walked.emplace_back(b, e); });
            EXPECT_EQ(walked, expected);
            walked.clear();
            characterMap.ForEachWindow(k, 0, size, true,
                                       [&](std::size_t b, std::size_t e) { walked.emplace_back(b, e); });
            EXPECT_EQ(walked, whole);
            if (!expected.empty()) {
                EXPECT_EQ(characterMap.WindowEnd(expected.back().first, k + 1), std::string::npos);
            }
        }
    }
}

TEST(CharacterMap, JoinsPiecesAtAnyBitOffsetAsIfAppendedInOne)
{
    std::mt19937_64 random(9);
    for (int round = 0; round < 200; ++round) {
        CharacterMap whole;
        CharacterMap head;
        CharacterMap tail;
        const std::size_t split = random() % 200;
        std::size_t size = 0;
        for (auto n = random() % 300; n > 0; --n) {
            const auto kind = static_cast<CharacterKind>(random() % 3);
            const std::size_t bytes = 1 + random() % 4;
            whole.Append(bytes, kind);
            (size < split ? head : tail).Append(bytes, kind);
            size += bytes;
        }
        head.AppendMap(tail);
        head.Finish();
        whole.Finish();
        ASSERT_EQ(head.Bytes(), whole.Bytes());
        ASSERT_EQ(head.Characters(), whole.Characters());
        for (std::size_t p = 0; p < size; ++p) {
            ASSERT_EQ(head.IsCharacterStart(p), whole.IsCharacterStart(p)) << p;
            if (whole.IsCharacterStart(p)) {
                ASSERT_EQ(head.KindAt(p), whole.KindAt(p)) << p;
            }
            ASSERT_EQ(head.CharacterIndex(p), whole.CharacterIndex(p)) << p;
        }
    }
}

} // namespace
} // namespace kestrin
