#include "ranking.h"

#include <absl/container/flat_hash_set.h>
#include <algorithm>

namespace kestrin {
namespace {

struct Candidate {
    std::int64_t total;
    std::uint32_t column;
    unsigned char firstByte;
    std::uint64_t order;
    const char* text;
    std::int64_t hits;
};

// The order of the ranking: more space saved first, then the earlier column, the lower first byte and
// the string met first.
bool Better(const Candidate& a, const Candidate& b)
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

} // namespace

std::vector<ResultEntry> SelectResults(const RankingInput& input, std::int64_t count,
                                       const std::atomic<bool>& cancel, bool& cancelled)
{
    cancelled = false;
    std::vector<ResultEntry> results;
    if (count <= 0) {
        return results;
    }
    // A heap whose top is the worst of the best `count` candidates seen so far.
    std::vector<Candidate> best;
    const auto limit = static_cast<std::size_t>(count);
    std::uint64_t visited = 0;
    for (std::uint32_t column = 0; column < input.columns.size() && !cancelled; ++column) {
        const std::int64_t length = input.columns[column].length;
        input.columns[column].unit->ForEach(length, [&](const CountedString& counted) {
            if (cancelled || ((++visited & 0xFFFF) == 0 && cancel.load(std::memory_order_relaxed))) {
                cancelled = true;
                return;
            }
            const Candidate candidate{length * counted.hits, column,       counted.firstByte,
                                      counted.order,         counted.text, counted.hits};
            if (best.size() < limit) {
                best.push_back(candidate);
                std::push_heap(best.begin(), best.end(), Better);
            } else if (Better(candidate, best.front())) {
                std::pop_heap(best.begin(), best.end(), Better);
                best.back() = candidate;
                std::push_heap(best.begin(), best.end(), Better);
            }
        });
    }
    if (cancelled) {
        return results;
    }
    std::sort_heap(best.begin(), best.end(), Better);
    results.reserve(limit);
    for (const Candidate& candidate : best) {
        const auto length = static_cast<std::size_t>(input.columns[candidate.column].length);
        results.push_back({std::string(candidate.text, length), candidate.hits});
    }
    // Passes that find nothing left to choose give the empty result.
    results.resize(limit, ResultEntry{"", -1});
    return results;
}

void ApplySkipFilters(std::vector<ResultEntry>& results, bool ignoreSpace, bool ignoreReturn, bool ignoreTab,
                      const std::vector<std::string>* exclusionTable)
{
    absl::flat_hash_set<std::string_view> listed;
    if (exclusionTable != nullptr) {
        listed.insert(std::string_view{}); // the table's unused first slot, whose text is empty
        listed.insert(exclusionTable->begin(), exclusionTable->end());
    }
    for (ResultEntry& result : results) {
        const auto contains = [&](char c) { return result.text.find(c) != std::string::npos; };
        if (ignoreSpace && contains(' ')) {
            result.hits = skip_mark::space;
        }
        if (ignoreReturn && contains('\r') && contains('\n')) {
            result.hits = skip_mark::carriageReturnLineFeed;
        }
        if (ignoreTab && contains('\t')) {
            result.hits = skip_mark::tab;
        }
        if (exclusionTable != nullptr && listed.contains(result.text)) {
            result.hits = skip_mark::tableValue;
        }
    }
}

} // namespace kestrin
