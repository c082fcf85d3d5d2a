// SPDX-License-Identifier: MIT
#include "text/unit_map.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace kestrin {
namespace {

// Units of random sizes and kinds against a plain list of their starts, across several rank blocks
// (512 bytes each) and word edges.
TEST(UnitMap, AnswersByOffsetAndByIndexAsThePlainListOfUnits)
{
    std::mt19937_64 random(5);
    for (int round = 0; round < 60; ++round) {
        UnitMap units;
        std::vector<std::size_t> starts;
        std::vector<UnitKind> kinds;
        const bool withEnds = round % 3 != 0;
        std::size_t size = 0;
        for (auto n = random() % 1500; n > 0; --n) {
            const auto pick = random() % 10;
            const UnitKind kind = pick == 0               ? UnitKind::LineEnd
                                  : pick == 1 && withEnds ? UnitKind::StringEnd
                                                          : UnitKind::Character;
            const std::size_t bytes = kind == UnitKind::LineEnd ? 1 : 1 + random() % 4;
            starts.push_back(size);
            kinds.push_back(kind);
            units.Append(bytes, kind);
            size += bytes;
        }
        units.Finish();
        starts.push_back(size); // the end counts as a start
        ASSERT_EQ(units.Bytes(), size);
        ASSERT_EQ(units.Units(), static_cast<std::int64_t>(kinds.size()));
        std::size_t unit = 0;
        for (std::size_t p = 0; p <= size; ++p) {
            const bool start = starts[unit] == p;
            ASSERT_EQ(units.IsUnitStart(p), start) << p;
            ASSERT_EQ(units.UnitIndex(p), static_cast<std::int64_t>(start || p == size ? unit : unit - 1));
            if (start && p < size) {
                EXPECT_EQ(units.KindAt(p), kinds[unit]);
                EXPECT_EQ(units.NextUnitStart(p), starts[unit + 1]);
                EXPECT_EQ(units.UnitOffset(static_cast<std::int64_t>(unit)), p);
            }
            unit += start && p < size ? 1 : 0;
        }
        // Windows of k units, with and without breaks, against the list.
        for (const std::int64_t k : {1, 2, 3, 7}) {
            std::vector<std::pair<std::size_t, std::size_t>> expected;
            std::vector<std::pair<std::size_t, std::size_t>> whole;
            for (std::size_t i = 0; i + static_cast<std::size_t>(k) < starts.size(); ++i) {
                const std::pair window{starts[i], starts[i + static_cast<std::size_t>(k)]};
                expected.push_back(window);
                bool clean = true;
                for (std::size_t j = i; j < i + static_cast<std::size_t>(k); ++j) {
                    clean = clean && kinds[j] == UnitKind::Character;
                }
                if (clean) {
                    whole.push_back(window);
                }
                EXPECT_EQ(units.WindowEnd(window.first, k), window.second);
                EXPECT_EQ(units.HoldsBreak(window.first, window.second), !clean);
            }
            std::vector<std::pair<std::size_t, std::size_t>> walked;
            units.ForEachWindow(k, 0, size, false,
                                [&](std::size_t b, std::size_t e) { walked.emplace_back(b, e); });
            EXPECT_EQ(walked, expected);
            walked.clear();
            units.ForEachWindow(k, 0, size, true,
                                [&](std::size_t b, std::size_t e) { walked.emplace_back(b, e); });
            EXPECT_EQ(walked, whole);
            if (!expected.empty()) {
                EXPECT_EQ(units.WindowEnd(expected.back().first, k + 1), std::string::npos);
            }
        }
    }
}

TEST(UnitMap, JoinsPiecesAtAnyBitOffsetAsIfAppendedInOne)
{
    std::mt19937_64 random(9);
    for (int round = 0; round < 200; ++round) {
        UnitMap whole;
        UnitMap head;
        UnitMap tail;
        const std::size_t split = random() % 200;
        std::size_t size = 0;
        for (auto n = random() % 300; n > 0; --n) {
            const auto kind = static_cast<UnitKind>(random() % 3);
            const std::size_t bytes = 1 + random() % 4;
            whole.Append(bytes, kind);
            (size < split ? head : tail).Append(bytes, kind);
            size += bytes;
        }
        head.AppendMap(tail);
        head.Finish();
        whole.Finish();
        ASSERT_EQ(head.Bytes(), whole.Bytes());
        ASSERT_EQ(head.Units(), whole.Units());
        for (std::size_t p = 0; p < size; ++p) {
            ASSERT_EQ(head.IsUnitStart(p), whole.IsUnitStart(p)) << p;
            if (whole.IsUnitStart(p)) {
                ASSERT_EQ(head.KindAt(p), whole.KindAt(p)) << p;
            }
            ASSERT_EQ(head.UnitIndex(p), whole.UnitIndex(p)) << p;
        }
    }
}

} // namespace
} // namespace kestrin
