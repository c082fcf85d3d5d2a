#pragma once

#include "counting/counting_unit.h"

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
    void VisitJob(std::size_t job, unsigned worker, const std::atomic<bool>& cancel);

    // The best strings, best first, `count` of them: when fewer strings save any space, the remaining
    // positions hold {"", -1}.
    [[nodiscard]] std::vector<ResultEntry> Results();

    struct Candidate {
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
    std::vector<std::vector<Candidate>> heaps; // one per worker
};

// Overwrites hits with skip codes, filter by filter: space, carriage return with line feed, tab, table
// value. A later filter's code wins. An empty text always counts as listed when a table is in use.
void ApplySkipFilters(std::vector<ResultEntry>& results, bool ignoreSpace, bool ignoreReturn, bool ignoreTab,
                      const std::vector<std::string>* exclusionTable);

} // namespace kestrin
