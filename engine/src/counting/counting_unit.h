// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "counting/comment_scanner.h"
#include "io/input_file.h"

#include <absl/functional/function_ref.h>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace kestrin {

// What a worker reports while it counts, read by the thread that shows progress.
struct WorkProgress {
    static constexpr std::int64_t whole = 1'000'000;

    std::atomic<std::int64_t> position{0}; // last position reached in the current file
    std::atomic<std::int64_t> distinct{0}; // different strings in this shard so far
    std::atomic<std::int64_t> finished{0}; // a finish job: how much of it is done, out of `whole`
};

// One counted string as ranking sees it. `order` sorts the strings of one sample length and one first
// byte by the place where they were first met.
struct CountedString {
    const char* text = nullptr;
    std::int64_t hits = 0;
    std::uint64_t order = 0;
    unsigned char firstByte = 0;
};

// Which counting shard handles windows that start with each byte value. Windows of one first byte
// always go to the same shard, so the strings of one bucket stay in the order they were met.
using ShardMap = std::array<std::uint8_t, 256>;

// Assigns byte values to shards so that each gets about as many windows, from a histogram of the
// first bytes of all input.
[[nodiscard]] ShardMap BalanceShards(const std::array<std::uint64_t, 256>& histogram, unsigned shards);

// Counts strings of one or more sample lengths over all input files. Work comes in jobs that may run
// on different threads at the same time: file jobs, run for each file in turn (each job on its own
// sees the files in order), and finish jobs, run once after the last file.
class CountingUnit
{
public:
    virtual ~CountingUnit() = default;

    [[nodiscard]] virtual unsigned FileJobs() const = 0;

    // Counts the windows that start in the counted stretches of a file. fileBase orders this file's
    // positions after those of earlier files. Returns false when cancelled.
    [[nodiscard]] virtual bool CountFile(unsigned job, const InputFile& file, std::uint32_t fileIndex,
                                         const FileScan& scan, std::uint64_t fileBase, WorkProgress& progress,
                                         const CancelFlag& cancel) = 0;

    [[nodiscard]] virtual unsigned FinishJobs() const { return 0; }
    [[nodiscard]] virtual bool Finish(unsigned /*job*/, WorkProgress& /*progress*/,
                                      const CancelFlag& /*cancel*/)
    {
        return true;
    }

    // The number of different strings of a length counted so far (between files and after finishing).
    [[nodiscard]] virtual std::int64_t Distinct(std::int64_t length) const = 0;

    // The strings of a length come in sections (a unit's shards, say) that may be visited on different
    // threads at the same time; every string lies in one section, and all the strings of one first byte
    // in the same section.
    [[nodiscard]] virtual std::size_t Sections(std::int64_t /*length*/) const { return 1; }

    // Calls visit(const CountedString&) for every string of the length in one section, when the length
    // is above 0.
    template <typename Visit> void ForEachIn(std::int64_t length, std::size_t section, Visit&& visit) const;

    // The same over all sections.
    template <typename Visit> void ForEach(std::int64_t length, Visit&& visit) const
    {
        for (std::size_t section = 0; section < Sections(length); ++section) {
            ForEachIn(length, section, visit);
        }
    }

protected:
    // Calls visit for every string of the length in one section; a reference to the visitor, as
    // virtual functions take no templates.
    using Visitor = absl::FunctionRef<void(const CountedString&)>;
    virtual void VisitAll(std::int64_t length, std::size_t section, Visitor visit) const = 0;
};

template <typename Visit>
void CountingUnit::ForEachIn(std::int64_t length, std::size_t section, Visit&& visit) const
{
    VisitAll(length, section, Visitor(visit));
}

} // namespace kestrin
