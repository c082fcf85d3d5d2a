#include "ranking.h"

#include <absl/container/flat_hash_set.h>
#include <algorithm>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

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

std::vector<ResultEntry> SelectResults(const RankingInput& input, std::int64_t count, unsigned threads,
                                       const std::atomic<bool>& cancel, bool& cancelled)
{
    cancelled = false;
    std::vector<ResultEntry> results;
    if (count <= 0) {
        return results;
    }
    const auto limit = static_cast<std::size_t>(count);
    // Each worker takes whole columns and keeps a heap whose top is the worst of the best `count`
    // candidates it has seen; the heaps are merged at the end.
    const auto workers = static_cast<unsigned>(std::clamp<std::size_t>(threads, 1, input.columns.size()));
    std::vector<std::vector<Candidate>> heaps(workers);
    std::atomic<std::size_t> nextColumn{0};
    std::atomic<bool> stopped{false};
    const auto work = [&](std::vector<Candidate>& best) {
        std::uint64_t visited = 0;
        for (std::size_t column = nextColumn++; column < input.columns.size() && !stopped;
             column = nextColumn++) {
            const std::int64_t length = input.columns[column].length;
            input.columns[column].unit->ForEach(length, [&](const CountedString& counted) {
                if ((++visited & 0xFFFF) == 0 && cancel.load(std::memory_order_relaxed)) {
                    stopped = true;
                }
                if (stopped.load(std::memory_order_relaxed)) {
                    return;
                }
                const Candidate candidate{length * counted.hits, static_cast<std::uint32_t>(column),
                                          counted.firstByte,     counted.order,
                                          counted.text,          counted.hits};
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
    };
    {
        std::exception_ptr failure;
        std::mutex failureMutex;
        const auto guarded = [&](std::vector<Candidate>& best) {
            try {
                work(best);
            } catch (...) {
                const std::lock_guard lock(failureMutex);
                failure = failure ? failure : std::current_exception();
                stopped = true;
            }
        };
        std::vector<std::thread> helpers;
        for (unsigned w = 1; w < workers; ++w) {
            try {
                helpers.emplace_back(guarded, std::ref(heaps[w]));
            } catch (const std::system_error&) {
                break; // no more threads: the columns are shared among those there are
            }
        }
        guarded(heaps[0]);
        for (auto& helper : helpers) {
            helper.join();
        }
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
    if (stopped) {
        cancelled = true;
        return results;
    }
    std::vector<Candidate> best = std::move(heaps[0]);
    for (unsigned w = 1; w < workers; ++w) {
        best.insert(best.end(), heaps[w].begin(), heaps[w].end());
    }
    const std::size_t kept = std::min(limit, best.size());
    std::partial_sort(best.begin(), best.begin() + static_cast<std::ptrdiff_t>(kept), best.end(), Better);
    best.resize(kept);
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
