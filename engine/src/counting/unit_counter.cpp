// SPDX-License-Identifier: MIT
// The count of strings of whole characters (UTF-8 sequences, or the codes of a game table): variable
// numbers of bytes per window, so a hash map per length keyed by the window's bytes, and a bounded heap
// for the best of them.

#include "counting/unit_counter.h"

#include <queue>

#include <algorithm>

namespace kestrin {

UnitCounter::UnitCounter(std::string_view gameBytes, const UnitMap& units,
                         std::span<const std::size_t> stretchEnds, std::vector<std::int16_t> lengths)
    : bytes(gameBytes), map(units), ends(stretchEnds), counted(std::move(lengths)), tallies(counted.size())
{
}

void UnitCounter::CountJob(std::size_t job, const std::atomic<bool>& cancel,
                           std::atomic<std::int64_t>& windows)
{
    const std::int64_t k = counted[job];
    Tallies& tally = tallies[job];
    if (k < 1) {
        return;
    }
    std::size_t begin = 0;
    std::int64_t walked = 0;
    for (const std::size_t end : ends) {
        if (cancel.load(std::memory_order_relaxed)) {
            return;
        }
        map.ForEachWindow(k, begin, end, true, [&](std::size_t from, std::size_t to) {
            if (to > end) {
                return; // runs into the next stretch
            }
            auto [at, added] = tally.try_emplace(bytes.substr(from, to - from), Tally{0, from});
            ++at->second.hits;
            if ((++walked & 0xFFFF) == 0) {
                windows.fetch_add(0x10000, std::memory_order_relaxed);
            }
        });
        begin = end;
    }
}

const UnitCounter::Tallies* UnitCounter::TalliesOf(std::int64_t length) const
{
    const auto at = std::lower_bound(counted.begin(), counted.end(), length);
    if (at == counted.end() || *at != length) {
        return nullptr;
    }
    return &tallies[static_cast<std::size_t>(at - counted.begin())];
}

std::int64_t UnitCounter::Distinct(std::int64_t length) const
{
    const Tallies* tally = TalliesOf(length);
    return tally == nullptr ? 0 : static_cast<std::int64_t>(tally->size());
}

std::vector<UnitString> UnitCounter::Best(std::span<const std::int16_t> listedLengths,
                                          std::size_t count) const
{
    struct Ranked {
        std::int64_t total;
        std::size_t column;
        unsigned char firstByte;
        std::uint64_t first;
        std::string_view text;
        std::int64_t hits;
    };
    // Better first: the heap's top is the worst kept, which a better string replaces.
    const auto better = [](const Ranked& a, const Ranked& b) {
        if (a.total != b.total) {
            return a.total > b.total;
        }
        if (a.column != b.column) {
            return a.column < b.column;
        }
        if (a.firstByte != b.firstByte) {
            return a.firstByte < b.firstByte;
        }
        return a.first < b.first;
    };
    std::priority_queue<Ranked, std::vector<Ranked>, decltype(better)> kept(better);
    if (count == 0) {
        return {};
    }
    for (std::size_t column = 0; column < listedLengths.size(); ++column) {
        const Tallies* tally = TalliesOf(listedLengths[column]);
        if (tally == nullptr) {
            continue;
        }
        for (const auto& [text, counts] : *tally) {
            const Ranked ranked{static_cast<std::int64_t>(text.size()) * counts.hits,
                                column,
                                static_cast<unsigned char>(text.front()),
                                counts.first,
                                text,
                                counts.hits};
            if (kept.size() < count) {
                kept.push(ranked);
            } else if (better(ranked, kept.top())) {
                kept.pop();
                kept.push(ranked);
            }
        }
    }
    std::vector<UnitString> best(kept.size());
    for (std::size_t i = kept.size(); i-- > 0;) {
        best[i] = {kept.top().text, kept.top().hits};
        kept.pop();
    }
    return best;
}

} // namespace kestrin
