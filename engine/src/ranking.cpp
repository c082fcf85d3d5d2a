// SPDX-License-Identifier: MIT
// Ranking: the best strings by length times hits, in the exact order of ties, and the skip filters that
// mark results holding spaces, CR LF, tabs or values of the exclusion table.

#include "ranking.h"

#include "cancel_flag.h"

#include <absl/container/flat_hash_set.h>
#include <algorithm>

namespace kestrin {

ResultSelection::ResultSelection(RankingInput columns, std::int64_t count, unsigned workers)
    : input(std::move(columns)), limit(static_cast<std::size_t>(std::max<std::int64_t>(count, 0))),
      heaps(std::max(1u, workers), BestKept<RankedString>(limit))
{
    for (std::uint32_t column = 0; column < input.columns.size(); ++column) {
        const RankingColumn& visited = input.columns[column];
        for (std::size_t section = 0; section < visited.unit->Sections(visited.length); ++section) {
            jobs.emplace_back(column, section);
        }
    }
}

void ResultSelection::VisitJob(std::size_t job, unsigned worker, const CancelFlag& cancel)
{
    const std::uint32_t column = jobs[job].first; // named, not bound: lambdas below capture it
    const std::size_t section = jobs[job].second;
    if (limit == 0) {
        return;
    }
    BestKept<RankedString>& best = heaps[worker];
    const std::int64_t length = input.columns[column].length;
    std::uint64_t visited = 0;
    bool stopped = false;
    input.columns[column].unit->ForEachIn(length, section, [&](const CountedString& counted) {
        if ((++visited & 0xFFFF) == 0 && cancel.IsSet()) {
            stopped = true;
        }
        if (stopped) {
            return;
        }
        const RankedString offered{length * counted.hits, column,       counted.firstByte,
                                   counted.order,         counted.text, counted.hits};
        best.Offer(offered);
    });
}

std::vector<ResultEntry> ResultSelection::Results()
{
    std::vector<ResultEntry> results;
    results.reserve(limit);
    for (const RankedString& ranked : BestKept<RankedString>::Merge(heaps, limit)) {
        const auto length = static_cast<std::size_t>(input.columns[ranked.column].length);
        results.push_back({std::string(ranked.text, length), ranked.hits});
    }
    // Passes that find nothing left to choose give the empty result.
    results.resize(limit, ResultEntry{"", -1});
    return results;
}

std::optional<std::int64_t> SkipRules::MarkOf(std::string_view text, bool loneLineFeeds) const
{
    const auto contains = [&](char c) { return text.find(c) != std::string_view::npos; };
    std::optional<std::int64_t> mark;
    if (space && contains(' ')) {
        mark = skip_mark::space;
    }
    if (carriageReturnLineFeed && contains('\n') && (loneLineFeeds || contains('\r'))) {
        mark = skip_mark::carriageReturnLineFeed;
    }
    if (tab && contains('\t')) {
        mark = skip_mark::tab;
    }
    // The table's unused first slot holds the empty text.
    if (useTable && (text.empty() || listed.contains(absl::string_view(text.data(), text.size())))) {
        mark = skip_mark::tableValue;
    }
    return mark;
}

void ApplySkipFilters(std::vector<ResultEntry>& results, const SkipRules& rules, bool loneLineFeeds)
{
    for (ResultEntry& result : results) {
        if (const auto mark = rules.MarkOf(result.text, loneLineFeeds)) {
            result.hits = *mark;
        }
    }
}

} // namespace kestrin
