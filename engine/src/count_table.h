#pragma once

#include "comment_scanner.h"
#include "input_file.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace kestrin {

// What a worker reports while it counts, read by the thread that shows progress.
struct WorkProgress {
    std::atomic<std::int64_t> position{0}; // last position reached in the current file
    std::atomic<std::int64_t> distinct{0}; // different strings in this partition so far
    std::atomic<bool> finished{false};
};

// One counted string as ranking sees it. `order` sorts the strings of one sample length and one first
// byte by the place where they were first met.
struct CountedString {
    const char* text = nullptr;
    std::int64_t hits = 0;
    std::uint64_t order = 0;
    unsigned char firstByte = 0;
};

// Which counting partition handles windows that start with each byte value. Windows of one first byte
// always go to the same partition, so the strings of one bucket stay in the order they were met.
using PartitionMap = std::array<std::uint8_t, 256>;

// Assigns byte values to partitions so that each gets about as many windows, from a histogram of the
// first bytes of all input.
[[nodiscard]] PartitionMap BalancePartitions(const std::array<std::uint64_t, 256>& histogram,
                                             unsigned partitions);

// The counts of one sample length over all input files. A counter is split into partitions that can
// be filled by different threads at the same time; each partition on its own is filled file by file.
class LengthCounter
{
public:
    virtual ~LengthCounter() = default;

    [[nodiscard]] virtual unsigned Partitions() const = 0;

    // Counts, into one partition, the windows that start in the counted runs of a file. fileBase orders
    // this file's positions after those of earlier files. Returns false when cancelled.
    [[nodiscard]] virtual bool CountFile(unsigned partition, const InputFile& file, const FileScan& scan,
                                         std::uint64_t fileBase, WorkProgress& progress,
                                         const std::atomic<bool>& cancel) = 0;

    // The number of different strings counted so far (safe to call only between files).
    [[nodiscard]] virtual std::int64_t Distinct() const = 0;

    // Calls visit(const CountedString&) for every string with a length above 0.
    template <typename Visit> void ForEach(Visit&& visit) const;

    [[nodiscard]] std::int64_t Length() const { return length; }

protected:
    explicit LengthCounter(std::int64_t sampleLength) : length(sampleLength) {}

    virtual void VisitAll(void (*callback)(void*, const CountedString&), void* context) const = 0;

    std::int64_t length;
};

template <typename Visit> void LengthCounter::ForEach(Visit&& visit) const
{
    VisitAll([](void* context, const CountedString& counted) { (*static_cast<Visit*>(context))(counted); },
             &visit);
}

// A counter for one sample length: plain arrays for lengths 0 to 2, hash tables above.
[[nodiscard]] std::unique_ptr<LengthCounter> MakeLengthCounter(std::int64_t sampleLength, unsigned partitions,
                                                               const PartitionMap& partitionMap);

} // namespace kestrin
