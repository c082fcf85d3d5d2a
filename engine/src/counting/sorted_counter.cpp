// SPDX-License-Identifier: MIT
// The counting unit of lengths 3 to 16 together: records of the counted positions sorted by their next
// bytes, so that one pass over them closes the strings of every length.

#include "cancel_flag.h"
#include "counting/counters.h"
#include "counting/radix_sort.h"
#include "counting/window_walk.h"
#include "large_memory.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace kestrin {
namespace {

// Lengths 3 to 16 together, by sorting instead of hashing: every counted position becomes a record
// holding the first 8 (or 16) bytes there as a big-endian key, so that sorting the records puts the
// positions of equal strings of every length side by side; one pass over the sorted records then gives
// each string of each length with its hits and first occurrence. Sorting streams through memory where
// a hash table would miss the cache at almost every window, and it sorts one shard of the first-byte
// values at a time, so that only the records of the shards in hand are held.
template <std::size_t KeyWords> class SortedCounter final : public CountingUnit
{
public:
    static constexpr std::int64_t longest = 8 * static_cast<std::int64_t>(KeyWords);
    // What sorting and scanning a record cost against walking one position of the input, for the progress.
    static constexpr double sortCost = 12;
    static constexpr double scanCost = 3;

    SortedCounter(std::span<const std::int16_t> sampleLengths, unsigned shardCount, const ShardMap& shardMap)
        : lengths(sampleLengths.begin(), sampleLengths.end()), owner(shardMap), shardSizes(shardCount, 0),
          entries(shardCount)
    {
        for (auto& perShard : entries) {
            perShard.resize(lengths.size());
        }
    }

    // Counting waits for the finish: a file job only keeps the file and its counted stretches.
    [[nodiscard]] unsigned FileJobs() const override { return 1; }

    bool CountFile(unsigned /*job*/, const InputFile& file, std::uint32_t fileIndex, const FileScan& scan,
                   std::uint64_t /*fileBase*/, WorkProgress& progress, const CancelFlag& cancel) override
    {
        if (files.size() <= fileIndex) {
            files.resize(fileIndex + 1);
        }
        files[fileIndex] = {&file, scan.stretches};
        for (const CountedStretch& stretch : scan.stretches) {
            walkedPositions += stretch.end - stretch.begin;
        }
        // Count each shard's records now, so that the finish can hold them in one block of the right size.
        const std::int64_t shortest = lengths.front();
        const auto publish = [&](std::int64_t position) {
            progress.position.store(position, std::memory_order_relaxed);
            return !cancel.IsSet();
        };
        for (const CountedStretch& stretch : scan.stretches) {
            const bool completed = ForEachLimit(
                file, stretch, longest,
                [&](std::int64_t position, std::int64_t limit) {
                    if (limit >= shortest) {
                        ++shardSizes[owner[file.ByteAt(position)]];
                    }
                },
                publish);
            if (!completed) {
                return false;
            }
        }
        return true;
    }

    [[nodiscard]] unsigned FinishJobs() const override { return static_cast<unsigned>(entries.size()); }

    bool Finish(unsigned shard, WorkProgress& progress, const CancelFlag& cancel) override
    {
        // How far the job is: the walk over the input, the sort and the scan of the records, each weighed
        // by what it costs (measured: about 1, 12 and 3 ns a position or record).
        const auto walk = static_cast<double>(walkedPositions);
        const auto shardRecords = static_cast<double>(shardSizes[shard]);
        const double total = std::max(1.0, walk + (sortCost + scanCost) * shardRecords);
        const auto report = [&](double done) {
            progress.finished.store(static_cast<std::int64_t>(done / total * WorkProgress::whole),
                                    std::memory_order_relaxed);
        };
        Records records;
        records.reserve(shardSizes[shard]);
        if (!Collect(shard, records, progress, cancel,
                     [&](std::int64_t walked) { report(static_cast<double>(walked)); })) {
            return false;
        }
        double placed = 0;
        RadixSortByKey(records.data(), records.data() + records.size(), cancel, [&](std::size_t count) {
            placed += static_cast<double>(count);
            report(walk + sortCost * placed);
        });
        if (cancel.IsSet()) {
            return false;
        }
        report(walk + sortCost * shardRecords);
        if (!Scan(records, entries[shard], cancel)) {
            return false;
        }
        report(total);
        std::int64_t found = 0;
        for (const auto& perLength : entries[shard]) {
            found += static_cast<std::int64_t>(perLength.size());
        }
        progress.distinct.store(found, std::memory_order_relaxed);
        return true;
    }

    [[nodiscard]] std::int64_t Distinct(std::int64_t length) const override
    {
        const std::size_t index = IndexOf(length);
        std::int64_t total = 0;
        for (const auto& perShard : entries) {
            total += static_cast<std::int64_t>(perShard[index].size());
        }
        return total;
    }

    [[nodiscard]] std::size_t Sections(std::int64_t /*length*/) const override { return entries.size(); }

protected:
    void VisitAll(std::int64_t length, std::size_t section, Visitor visit) const override
    {
        const std::size_t index = IndexOf(length);
        for (const SortedEntry& entry : entries[section][index]) {
            CountedString counted;
            counted.text = files[entry.file].file->At(entry.position, length);
            counted.hits = static_cast<std::int64_t>(entry.hits);
            counted.order = std::uint64_t{entry.file} << 32 | entry.position;
            counted.firstByte = static_cast<unsigned char>(counted.text[0]);
            visit(counted);
        }
    }

private:
    struct Record {
        std::array<std::uint64_t, KeyWords> key; // the bytes at the position, first byte highest
        std::uint32_t position;
        std::uint16_t file;
        std::uint16_t limit; // the longest window counted here
    };
    using Records = std::vector<Record, LargeAllocator<Record>>;
    struct SortedEntry {
        std::uint32_t position; // of the first occurrence
        std::uint32_t file;
        std::uint64_t hits;
    };
    struct FileStretches {
        const InputFile* file = nullptr;
        std::vector<CountedStretch> stretches;
    };

    [[nodiscard]] std::size_t IndexOf(std::int64_t length) const
    {
        return static_cast<std::size_t>(std::find(lengths.begin(), lengths.end(), length) - lengths.begin());
    }

    static std::uint64_t LoadKeyWord(const char* bytes)
    {
        std::uint64_t word;
        std::memcpy(&word, bytes, sizeof word);
        return __builtin_bswap64(word); // std::byteswap is C++23
    }

    // The records of the positions whose first byte belongs to this shard, in input order.
    // walked(positions) follows the positions of all files walked so far.
    template <typename Walked>
    bool Collect(unsigned shard, Records& records, WorkProgress& progress, const CancelFlag& cancel,
                 Walked&& walked) const
    {
        std::int64_t walkedStretches = 0; // the positions of the stretches walked whole
        const CountedStretch* current = nullptr;
        const auto publish = [&](std::int64_t position) {
            progress.position.store(position, std::memory_order_relaxed);
            walked(walkedStretches + position + 1 - current->begin);
            return !cancel.IsSet();
        };
        const std::int64_t shortest = lengths.front();
        for (std::size_t index = 0; index < files.size(); ++index) {
            const InputFile& file = *files[index].file;
            for (const CountedStretch& stretch : files[index].stretches) {
                current = &stretch;
                const bool completed = ForEachLimit(
                    file, stretch, longest,
                    [&](std::int64_t position, std::int64_t limit) {
                        if (limit < shortest || owner[file.ByteAt(position)] != shard) {
                            return;
                        }
                        const char* bytes = file.At(position, longest);
                        Record record;
                        for (std::size_t word = 0; word < KeyWords; ++word) {
                            record.key[word] = LoadKeyWord(bytes + 8 * word);
                        }
                        record.position = static_cast<std::uint32_t>(position);
                        record.file = static_cast<std::uint16_t>(index);
                        record.limit = static_cast<std::uint16_t>(limit);
                        records.push_back(record);
                    },
                    publish);
                if (!completed) {
                    return false;
                }
                walkedStretches += stretch.end - stretch.begin;
            }
        }
        return true;
    }

    // How many leading bytes two keys share (longest when they are equal).
    static std::int64_t SharedBytes(const Record& a, const Record& b)
    {
        for (std::size_t word = 0; word < KeyWords; ++word) {
            if (const std::uint64_t differ = a.key[word] ^ b.key[word]; differ != 0) {
                return static_cast<std::int64_t>(8 * word) + std::countl_zero(differ) / 8;
            }
        }
        return longest;
    }

    // Each run of records that share their first L bytes is one string of length L; its hits are the
    // records whose limit allows length L, and it was first met at the earliest of them. Counting the
    // strings first lets each length's list be made at its size, without growing and copying. False, with
    // the lists incomplete, when cancelled.
    bool Scan(const Records& sorted, std::vector<std::vector<SortedEntry>>& out,
              const CancelFlag& cancel) const
    {
        std::vector<std::size_t> sizes(lengths.size(), 0);
        if (!ForEachString(sorted, cancel,
                           [&](std::size_t index, std::uint64_t, std::uint64_t) { ++sizes[index]; })) {
            return false;
        }
        for (std::size_t index = 0; index < lengths.size(); ++index) {
            out[index].reserve(sizes[index]);
        }
        return ForEachString(sorted, cancel, [&](std::size_t index, std::uint64_t hits, std::uint64_t first) {
            out[index].push_back({static_cast<std::uint32_t>(first & 0xFFFFFFFF),
                                  static_cast<std::uint32_t>(first >> 32), hits});
        });
    }

    // Calls found(length index, hits, first order) for each string of the sorted records; false when
    // cancelled (a pass over a large shard takes a hundred milliseconds and more).
    template <typename Found>
    bool ForEachString(const Records& sorted, const CancelFlag& cancel, Found&& found) const
    {
        struct Group {
            std::uint64_t hits = 0;
            std::uint64_t first = ~std::uint64_t{0};
        };
        std::vector<Group> groups(lengths.size());
        const auto close = [&](std::size_t index) {
            if (groups[index].hits > 0) {
                found(index, groups[index].hits, groups[index].first);
            }
            groups[index] = Group{};
        };
        const auto step = static_cast<std::size_t>(reportEvery);
        for (std::size_t from = 0; from < sorted.size(); from += step) {
            if (cancel.IsSet()) {
                return false;
            }
            const std::size_t to = std::min(sorted.size(), from + step);
            for (std::size_t r = from; r < to; ++r) {
                const Record& record = sorted[r];
                if (r > 0) {
                    const std::int64_t shared = SharedBytes(sorted[r - 1], record);
                    for (std::size_t index = lengths.size(); index-- > 0 && lengths[index] > shared;) {
                        close(index);
                    }
                }
                const std::uint64_t order = std::uint64_t{record.file} << 32 | record.position;
                for (std::size_t index = 0; index < lengths.size() && lengths[index] <= record.limit;
                     ++index) {
                    ++groups[index].hits;
                    groups[index].first = std::min(groups[index].first, order);
                }
            }
        }
        for (std::size_t index = 0; index < lengths.size(); ++index) {
            close(index);
        }
        return true;
    }

    // Ascending, 3 to longest; widened to the type of the bytes the records share, which the pass over
    // the records compares them with (as 16-bit values that pass took 2.4% more instructions).
    std::vector<std::int64_t> lengths;
    ShardMap owner;
    std::vector<FileStretches> files;
    std::int64_t walkedPositions = 0;                           // the counted positions of all files
    std::vector<std::size_t> shardSizes;                        // records of each shard over all files
    std::vector<std::vector<std::vector<SortedEntry>>> entries; // by shard, then by length
};

} // namespace

std::unique_ptr<CountingUnit> MakeSortedCounter(std::span<const std::int16_t> lengths, unsigned shards,
                                                const ShardMap& shardMap)
{
    if (lengths.back() <= 8) {
        return std::make_unique<SortedCounter<1>>(lengths, shards, shardMap);
    }
    return std::make_unique<SortedCounter<2>>(lengths, shards, shardMap);
}

} // namespace kestrin
