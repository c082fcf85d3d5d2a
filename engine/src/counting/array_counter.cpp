// SPDX-License-Identifier: MIT
// The counting unit of lengths 0, 1 and 2: one slot per possible string, counted by a job per equal share
// of each file.

#include "cancel_flag.h"
#include "counting/counters.h"
#include "counting/length_counter.h"
#include "counting/window_walk.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <vector>

namespace kestrin {
namespace {

// Lengths 0, 1 and 2: one slot per possible string (per first byte for length 0). Each job counts an
// equal share of every file in tallies of its own; the tallies are added up when the strings are visited,
// and a string's first occurrence is the earliest of the jobs'. The different strings are counted over
// all jobs as they are met, by the job that meets a string first.
class ArrayCounter final : public LengthCounter
{
public:
    ArrayCounter(std::int64_t sampleLength, unsigned jobCount)
        : LengthCounter(sampleLength), tallies(std::max(1u, jobCount)), seen(Slots(sampleLength))
    {
        for (Tally& tally : tallies) {
            tally.hits.assign(seen.size(), 0);
            tally.order.assign(seen.size(), 0);
        }
    }

    [[nodiscard]] unsigned FileJobs() const override { return static_cast<unsigned>(tallies.size()); }

    bool CountFile(unsigned job, const InputFile& file, std::uint32_t /*fileIndex*/, const FileScan& scan,
                   std::uint64_t fileBase, WorkProgress& progress, const CancelFlag& cancel) override
    {
        if (scan.stretches.empty()) {
            return true;
        }
        Tally& tally = tallies[job];
        // This job's share of the file's counted positions, and how far through it the job is, given as
        // the position it stands for in the whole file, so that the jobs' positions average to the file's.
        const std::int64_t first = scan.stretches.front().begin;
        const std::int64_t span = scan.stretches.back().end - first;
        const auto jobs = static_cast<std::int64_t>(tallies.size());
        const std::int64_t from = first + span * job / jobs;
        const std::int64_t to = first + span * (job + 1) / jobs;
        const auto publish = [&](std::int64_t position) {
            const std::int64_t done = to > from ? (position + 1 - from) * span / (to - from) : span;
            progress.position.store(first + std::min(done, span) - 1, std::memory_order_relaxed);
            progress.distinct.store(job == 0 ? distinct.load(std::memory_order_relaxed) : 0,
                                    std::memory_order_relaxed);
            return !cancel.IsSet();
        };
        for (const CountedStretch& stretch : scan.stretches) {
            CountedStretch mine = stretch;
            mine.begin = std::max(stretch.begin, from);
            mine.end = std::min(stretch.end, to);
            if (length == 1 && stretch.stop == nullptr) {
                // Every byte of the file's own in such a stretch is a window: count them in bulk.
                const std::int64_t inFile = std::min(mine.end, file.Size());
                for (std::int64_t chunk = mine.begin; chunk < inFile; chunk += reportEvery) {
                    const std::int64_t chunkEnd = std::min(inFile, chunk + reportEvery);
                    CountBytes(tally, file.Data() + chunk, chunkEnd - chunk,
                               fileBase + static_cast<std::uint64_t>(chunk));
                    if (!publish(chunkEnd - 1)) {
                        return false;
                    }
                }
                mine.begin = std::max(mine.begin, inFile); // the filler, if the stretch reaches it
            }
            if (mine.begin >= mine.end) {
                continue;
            }
            const bool completed = ForEachLimit(
                file, mine, length,
                [&](std::int64_t position, std::int64_t limit) {
                    if (limit < length) {
                        return;
                    }
                    std::size_t slot = file.ByteAt(position);
                    if (length == 2) {
                        slot = (slot << 8) | file.ByteAt(position + 1);
                    }
                    if (tally.hits[slot]++ == 0) {
                        Meet(tally, slot, fileBase + static_cast<std::uint64_t>(position));
                    }
                },
                publish);
            if (!completed) {
                return false;
            }
        }
        return publish(to - 1);
    }

    [[nodiscard]] std::int64_t DistinctHere() const override
    {
        return distinct.load(std::memory_order_relaxed);
    }

protected:
    void VisitHere(std::size_t /*section*/, Visitor visit) const override
    {
        if (length == 0) {
            return; // empty strings save nothing and are never ranked
        }
        // The string of a slot is its own bytes; keep them here so that results can point at them.
        for (std::size_t slot = 0; slot < tallies.front().hits.size(); ++slot) {
            CountedString counted;
            counted.order = ~std::uint64_t{0};
            for (const Tally& tally : tallies) {
                if (tally.hits[slot] != 0) {
                    counted.hits += static_cast<std::int64_t>(tally.hits[slot]);
                    counted.order = std::min(counted.order, tally.order[slot]);
                }
            }
            if (counted.hits == 0) {
                continue;
            }
            counted.text = SlotText(slot);
            counted.firstByte = static_cast<unsigned char>(counted.text[0]);
            visit(counted);
        }
    }

private:
    struct Tally;

    // Counts `count` bytes (at most 2^32) in four lanes, so that repeats of one byte value do not wait for
    // each other's increments, and then finds where the values new to the tally first occur.
    void CountBytes(Tally& tally, const char* text, std::int64_t count, std::uint64_t base)
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(text);
        const auto n = static_cast<std::size_t>(count);
        std::array<std::array<std::uint32_t, 256>, 4> lanes{};
        std::size_t i = 0;
        for (; i + 4 <= n; i += 4) {
            ++lanes[0][bytes[i]];
            ++lanes[1][bytes[i + 1]];
            ++lanes[2][bytes[i + 2]];
            ++lanes[3][bytes[i + 3]];
        }
        for (; i < n; ++i) {
            ++lanes[0][bytes[i]];
        }
        std::array<bool, 256> fresh{};
        int missing = 0;
        for (std::size_t value = 0; value < 256; ++value) {
            const std::uint64_t hits =
                std::uint64_t{lanes[0][value]} + lanes[1][value] + lanes[2][value] + lanes[3][value];
            if (hits != 0 && tally.hits[value] == 0) {
                fresh[value] = true;
                ++missing;
            }
            tally.hits[value] += hits;
        }
        for (i = 0; missing > 0; ++i) {
            if (fresh[bytes[i]]) {
                fresh[bytes[i]] = false;
                Meet(tally, bytes[i], base + i);
                --missing;
            }
        }
    }

    static std::size_t Slots(std::int64_t length)
    {
        return std::size_t{1} << (8 * std::max<std::int64_t>(length, 1));
    }

    // A job meets a string for the first time at `at`; the first job to meet it counts it.
    void Meet(Tally& tally, std::size_t slot, std::uint64_t at)
    {
        tally.order[slot] = at;
        if (!seen[slot].exchange(true, std::memory_order_relaxed)) {
            distinct.fetch_add(1, std::memory_order_relaxed);
        }
    }

    [[nodiscard]] const char* SlotText(std::size_t slot) const
    {
        // A table of every one- and two-byte string, shared by all array counters.
        static const std::vector<char> texts = [] {
            std::vector<char> all((std::size_t{1} << 16) * 2 + 256);
            for (std::size_t i = 0; i < (std::size_t{1} << 16); ++i) {
                all[2 * i] = static_cast<char>(i >> 8);
                all[2 * i + 1] = static_cast<char>(i & 0xFF);
            }
            for (std::size_t i = 0; i < 256; ++i) {
                all[(std::size_t{1} << 17) + i] = static_cast<char>(i);
            }
            return all;
        }();
        return length == 1 ? &texts[(std::size_t{1} << 17) + slot] : &texts[2 * slot];
    }

    // Each job's tally on cache lines of its own: the jobs write theirs at every position.
    struct alignas(64) Tally {
        std::vector<std::uint64_t> hits;
        std::vector<std::uint64_t> order; // of the first occurrence this job met
    };
    std::vector<Tally> tallies;
    std::vector<std::atomic<bool>> seen; // by slot: met by some job
    std::atomic<std::int64_t> distinct{0};
};

} // namespace

std::unique_ptr<CountingUnit> MakeArrayCounter(std::int64_t length, unsigned jobs)
{
    return std::make_unique<ArrayCounter>(length, jobs);
}

} // namespace kestrin
