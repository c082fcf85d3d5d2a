// SPDX-License-Identifier: MIT
// The counting unit of lengths above 8: hash tables whose slots hold a string's first occurrence, part of
// its hash and its hits, sized once from an estimate on a large file.

#include "cancel_flag.h"
#include "counting/counters.h"
#include "counting/length_counter.h"
#include "counting/window_walk.h"
#include "large_memory.h"
#include "prefetch.h"

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>
#include <xxhash.h>

namespace kestrin {
namespace {

// Estimates the number of different values among 64-bit hashes: HyperLogLog with 4096 registers, about
// 1.6% off (one standard error).
class DistinctEstimate
{
public:
    void Add(std::uint64_t hash)
    {
        const auto rank = static_cast<std::uint8_t>(std::countl_zero(hash << registerBits | 1) + 1);
        std::uint8_t& slot = registers[hash >> (64 - registerBits)];
        slot = std::max(slot, rank);
    }

    [[nodiscard]] double Value() const
    {
        constexpr double m = std::size_t{1} << registerBits;
        double sum = 0;
        int empty = 0;
        for (const std::uint8_t slot : registers) {
            sum += std::ldexp(1.0, -slot);
            empty += slot == 0 ? 1 : 0;
        }
        const double raw = 0.7213 / (1 + 1.079 / m) * m * m / sum;
        // Few values leave registers empty, and counting the empty ones is then the better estimate.
        return raw <= 2.5 * m && empty > 0 ? m * std::log(m / empty) : raw;
    }

private:
    static constexpr unsigned registerBits = 12;
    std::array<std::uint8_t, std::size_t{1} << registerBits> registers{};
};

// Lengths above 8: one hash table per shard, whose slots hold each string's first occurrence, 32 bits of
// its hash and its hits. Telling strings apart reads the text only when the 32 bits agree, and counting a
// string met before touches its slot and its first occurrence, nothing else.
class HashCounter final : public LengthCounter
{
public:
    HashCounter(std::int64_t sampleLength, unsigned shardCount, const ShardMap& shardMap)
        : LengthCounter(sampleLength), owner(shardMap)
    {
        shards.reserve(shardCount);
        for (unsigned i = 0; i < shardCount; ++i) {
            shards.push_back(std::make_unique<Shard>(static_cast<std::size_t>(sampleLength)));
        }
    }

    [[nodiscard]] unsigned FileJobs() const override { return static_cast<unsigned>(shards.size()); }

    bool CountFile(unsigned job, const InputFile& file, std::uint32_t fileIndex, const FileScan& scan,
                   std::uint64_t fileBase, WorkProgress& progress, const CancelFlag& cancel) override
    {
        if (job == 0) { // the other jobs of this file only count
            if (files.size() <= fileIndex) {
                files.resize(fileIndex + 1);
            }
            files[fileIndex] = {&file, fileBase};
        }
        Shard& shard = *shards[job]; // one job per shard
        const bool everything = shards.size() == 1;
        const auto size = static_cast<std::size_t>(length);
        if (scan.countedPositions >= presizeFrom && !Presize(job, file, scan, cancel)) {
            return false;
        }
        for (const CountedStretch& stretch : scan.stretches) {
            const bool completed = ForEachWindow(
                file, stretch, length, progress, cancel,
                [&](std::int64_t position) {
                    const char* window = file.At(position, length);
                    if (!everything && owner[static_cast<unsigned char>(window[0])] != job) {
                        return;
                    }
                    shard.Count(window, size);
                },
                [&] { return static_cast<std::int64_t>(shard.table.size()); });
            if (!completed) {
                return false;
            }
        }
        shard.CountPending();
        return true;
    }

    // A large table grows by doubling, and each step moves every slot and holds old and new at once:
    // sizing it once from an estimate of the different strings in the file is faster and smaller.
    bool Presize(unsigned job, const InputFile& file, const FileScan& scan, const CancelFlag& cancel)
    {
        DistinctEstimate estimate;
        const bool everything = shards.size() == 1;
        const auto size = static_cast<std::size_t>(length);
        WorkProgress unseen; // the position moves with the counting, not with this look ahead
        for (const CountedStretch& stretch : scan.stretches) {
            const bool completed = ForEachWindow(
                file, stretch, length, unseen, cancel,
                [&](std::int64_t position) {
                    const char* window = file.At(position, length);
                    if (everything || owner[static_cast<unsigned char>(window[0])] == job) {
                        estimate.Add(XXH3_64bits(window, size));
                    }
                },
                [] { return std::int64_t{0}; });
            if (!completed) {
                return false;
            }
        }
        Shard& shard = *shards[job];
        // About three times the estimate's error more, so that the table rarely has to grow after all.
        shard.table.reserve(shard.table.size() + static_cast<std::size_t>(estimate.Value() * 1.05));
        return true;
    }

    [[nodiscard]] std::int64_t DistinctHere() const override
    {
        std::int64_t total = 0;
        for (const auto& shard : shards) {
            total += static_cast<std::int64_t>(shard->table.size());
        }
        return total;
    }

    [[nodiscard]] std::size_t Sections(std::int64_t /*length*/) const override { return shards.size(); }

protected:
    void VisitHere(std::size_t section, Visitor visit) const override
    {
        const FileFinder finder(files);
        const Shard& shard = *shards[section];
        ForEachSlotFetchingAhead(shard.table, [&](const Slot& slot) {
            CountedString counted;
            counted.text = slot.text;
            counted.hits = slot.hits;
            if (!shard.excess.empty()) {
                if (const auto more = shard.excess.find(slot.text); more != shard.excess.end()) {
                    counted.hits += static_cast<std::int64_t>(more->second);
                }
            }
            // Strings of one first byte live in one shard; their first occurrences order them.
            counted.order = finder.OrderOf(slot.text);
            counted.firstByte = static_cast<unsigned char>(slot.text[0]);
            visit(counted);
        });
    }

private:
    // Calls each(slot) for every slot of the table, in the table's order.
    // Look-ahead: a slot's first bytes lie anywhere in the input, so those of the slot 8 further on are
    // fetched before they are read (commit 7b6b2cd, together with the slots fetched ahead in Count, for
    // `-l 16`; bench/README.md gives no figure of this loop alone).
    template <typename Table, typename Each>
    static void ForEachSlotFetchingAhead(const Table& table, Each&& each)
    {
        constexpr int ahead = 8;
        auto later = table.begin();
        for (int i = 0; i < ahead && later != table.end(); ++i) {
            ++later;
        }
        for (const Slot& slot : table) {
            if (later != table.end()) {
                PrefetchForRead(later->text);
                ++later;
            }
            each(slot);
        }
    }

    // Files with fewer counted positions leave their tables to grow as they go.
    static constexpr std::int64_t presizeFrom = std::int64_t{1} << 18;

    struct Slot {
        const char* text; // the first occurrence
        std::uint32_t hash;
        mutable std::uint32_t hits;
    };
    struct Probe {
        const char* text;
        std::uint32_t hash;
    };
    static std::size_t Spread(std::uint32_t hash) { return hash * std::size_t{0x9E3779B97F4A7C15}; }
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(const Slot& slot) const { return Spread(slot.hash); }
        std::size_t operator()(const Probe& probe) const { return Spread(probe.hash); }
    };
    struct Equal {
        using is_transparent = void;
        std::size_t length;
        bool operator()(const Slot& a, const Slot& b) const { return a.text == b.text; }
        bool operator()(const Slot& slot, const Probe& probe) const
        {
            return slot.hash == probe.hash && std::memcmp(slot.text, probe.text, length) == 0;
        }
        bool operator()(const Probe& probe, const Slot& slot) const { return (*this)(slot, probe); }
    };

    // Each shard on cache lines of its own: the threads write their shards' fields at every window.
    struct alignas(64) Shard {
        explicit Shard(std::size_t length) : table(0, Hash{}, Equal{length}) {}

        // Counts a window a few windows later: its slot is fetched from memory now, so that the misses
        // of several windows overlap. The windows are still counted in their order.
        // Look-ahead: 8 windows (pending), through the table's own prefetch, as only the table knows
        // where a hash's slot lies (commit 7b6b2cd; bench/README.md gives no figure of this alone).
        void Count(const char* window, std::size_t length)
        {
            const Probe probe{window, static_cast<std::uint32_t>(XXH3_64bits(window, length))};
            table.prefetch(probe);
            Probe& oldest = pending[next % pending.size()];
            if (next >= pending.size()) {
                CountNow(oldest);
            }
            oldest = probe;
            ++next;
        }

        void CountPending()
        {
            for (std::size_t i = next > pending.size() ? next - pending.size() : 0; i < next; ++i) {
                CountNow(pending[i % pending.size()]);
            }
            next = 0;
        }

        void CountNow(const Probe& probe)
        {
            const char* window = probe.text;
            bool added = false;
            const auto found = table.lazy_emplace(probe, [&](const auto& construct) {
                added = true;
                construct(Slot{window, probe.hash, 1});
            });
            if (!added && ++found->hits == 0) {
                // 2^32 hits: keep counting the excess on the side, so hits stay exact for any input.
                --found->hits;
                ++excess[found->text];
            }
        }

        absl::flat_hash_set<Slot, Hash, Equal, LargeAllocator<Slot>> table;
        absl::flat_hash_map<const char*, std::uint64_t> excess;
        std::array<Probe, 8> pending{};
        std::size_t next = 0; // windows seen in this file so far
    };

    struct SeenFile {
        const InputFile* file = nullptr;
        std::uint64_t base = 0; // orders the file's positions after those of earlier files
    };

    // Finds the file and position that a first occurrence points into, by the address ranges of the files'
    // bytes and filler.
    class FileFinder
    {
    public:
        explicit FileFinder(const std::vector<SeenFile>& seenFiles) : files(seenFiles)
        {
            for (std::uint32_t i = 0; i < files.size(); ++i) {
                if (files[i].file != nullptr) {
                    for (const char* start : {files[i].file->Data(), files[i].file->FillerStart()}) {
                        starts.emplace_back(reinterpret_cast<std::uintptr_t>(start), i);
                    }
                }
            }
            std::sort(starts.begin(), starts.end());
        }

        [[nodiscard]] std::uint64_t OrderOf(const char* text) const
        {
            const auto at = reinterpret_cast<std::uintptr_t>(text);
            auto next = std::upper_bound(starts.begin(), starts.end(), std::pair{at, ~std::uint32_t{0}});
            // Blocks of size 0 may share a start with another block: look back until the text is found.
            while (next != starts.begin()) {
                --next;
                const SeenFile& seen = files[next->second];
                if (const std::int64_t position = seen.file->PositionOf(text); position >= 0) {
                    return seen.base + static_cast<std::uint64_t>(position);
                }
            }
            return 0; // not reached: every slot points into a counted file
        }

    private:
        const std::vector<SeenFile>& files;
        std::vector<std::pair<std::uintptr_t, std::uint32_t>> starts;
    };

    ShardMap owner;
    std::vector<std::unique_ptr<Shard>> shards;
    std::vector<SeenFile> files; // by file index
};

} // namespace

std::unique_ptr<CountingUnit> MakeHashCounter(std::int64_t length, unsigned shards, const ShardMap& shardMap)
{
    return std::make_unique<HashCounter>(length, shards, shardMap);
}

} // namespace kestrin
