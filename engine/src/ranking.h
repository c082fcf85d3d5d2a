#pragma once

#include "count_table.h"

#include "kestrin/report.h"

#include <atomic>
#include <cstdint>
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

// The best `count` strings by space saved (length times hits), best first. Ties go to the earlier
// sample length, then the lower first byte, then the string met first. When fewer strings save any
// space, the remaining positions hold {"", -1}. Columns are shared out among up to `threads` threads.
// Returns an empty list when cancelled.
[[nodiscard]] std::vector<ResultEntry> SelectResults(const RankingInput& input, std::int64_t count,
                                                     unsigned threads, const std::atomic<bool>& cancel,
                                                     bool& cancelled);

// Overwrites hits with skip codes, filter by filter: space, carriage return with line feed, tab, table
// value. A later filter's code wins. An empty text always counts as listed when a table is in use.
void ApplySkipFilters(std::vector<ResultEntry>& results, bool ignoreSpace, bool ignoreReturn, bool ignoreTab,
                      const std::vector<std::string>* exclusionTable);

} // namespace kestrin
