// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "counting/counting_unit.h"

#include "kestrin/report.h"

#include <absl/container/flat_hash_set.h>
#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

// The sample lengths of a run in list order, each with the unit that counted it; a length listed twice
// appears twice.
struct RankingColumn {
    const CountingUnit* unit;
    std::int64_t length;
};
struct RankingInput {
    std::vector<RankingColumn> columns;
};

// The order of the ranking: more space saved first, then the earlier column, the lower first byte and
// the string met first. Ranked has the fields total, column, firstByte and order.
template <typename Ranked> [[nodiscard]] bool RanksBefore(const Ranked& a, const Ranked& b)
{
    if (a.total != b.total) {
        return a.total > b.total;
    }
    if (a.column != b.column) {
        return a.column < b.column;
    }
    if (a.firstByte != b.firstByte) {
        return a.firstByte < b.firstByte;
    }
    return a.order < b.order;
}

// The best `most` values offered, in the ranking's order (RanksBefore). A heap whose top is the worst
// kept, so that a value that does not make the cut costs one comparison.
template <typename Ranked> class BestKept
{
public:
    explicit BestKept(std::size_t most = 0) : limit(most) {}

    // Needs a limit of 1 or more: the callers leave out the offers when they keep nothing, which spares
    // the hot path a test.
    void Offer(const Ranked& offered)
    {
        assert(limit > 0);
        if (kept.size() < limit) {
            kept.push_back(offered);
            std::push_heap(kept.begin(), kept.end(), Better);
        } else if (Better(offered, kept.front())) {
            std::pop_heap(kept.begin(), kept.end(), Better);
            kept.back() = offered;
            std::push_heap(kept.begin(), kept.end(), Better);
        }
    }

    // The best `count` values kept by any of pieces (each kept apart, as by one worker), best first.
    [[nodiscard]] static std::vector<Ranked> Merge(const std::vector<BestKept>& pieces, std::size_t count)
    {
        std::vector<Ranked> all;
        for (const BestKept& part : pieces) {
            all.insert(all.end(), part.kept.begin(), part.kept.end());
        }
        const std::size_t taken = std::min(count, all.size());
        std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(taken), all.end(), Better);
        all.resize(taken);
        return all;
    }

private:
    static bool Better(const Ranked& a, const Ranked& b) { return RanksBefore(a, b); }

    std::size_t limit;
    std::vector<Ranked> kept;
};

// Chooses the best `count` strings by space saved (length times hits). Ties go to the earlier sample
// length, then the lower first byte, then the string met first. The sections of the columns are visited
// as jobs of a worker pool, each worker keeping the best strings it has seen, which Results merges.
class ResultSelection
{
public:
    ResultSelection(RankingInput input, std::int64_t count, unsigned workers);

    // The jobs: every section of every column.
    [[nodiscard]] std::size_t Jobs() const { return jobs.size(); }

    // Visits every string of one job on one worker; stops early when cancel is set.
    void VisitJob(std::size_t job, unsigned worker, const CancelFlag& cancel);

    // The best strings, best first, `count` of them: when fewer strings save any space, the remaining
    // positions hold {"", -1}.
    [[nodiscard]] std::vector<ResultEntry> Results();

    struct RankedString {
        std::int64_t total;
        std::uint32_t column;
        unsigned char firstByte;
        std::uint64_t order;
        const char* text;
        std::int64_t hits;
    };

private:
    RankingInput input;
    std::vector<std::pair<std::uint32_t, std::size_t>> jobs; // column and section
    std::size_t limit;
    std::vector<BestKept<RankedString>> heaps; // one per worker
};

// The skip filters of a run: results holding a space, a carriage return with a line feed (or a line feed
// alone, when the inputs end lines so), or a tab, and results listed in the exclusion table. The savings
// choice leaves the same strings out as candidates.
struct SkipRules {
    bool space = false;
    bool carriageReturnLineFeed = false;
    bool tab = false;
    bool useTable = false;
    absl::flat_hash_set<std::string> listed; // the exclusion table's texts

    // The skip code of a text, filter by filter in that order, a later filter's code winning; nothing
    // when no filter skips it. An empty text always counts as listed when a table is in use.
    [[nodiscard]] std::optional<std::int64_t> MarkOf(std::string_view text, bool loneLineFeeds = false) const;
    // Whether any filter can skip a string of more than 0 bytes that holds no line end.
    [[nodiscard]] bool SkipsAnyString() const { return space || tab || !listed.empty(); }
};

// Overwrites hits with skip codes (SkipRules::MarkOf).
// loneLineFeeds: an input holds a lone LF (CommentScanner::SawLoneLineFeed), so that an LF alone ends
// a line.
void ApplySkipFilters(std::vector<ResultEntry>& results, const SkipRules& rules, bool loneLineFeeds);

} // namespace kestrin
