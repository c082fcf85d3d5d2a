// SPDX-License-Identifier: MIT
// The counting unit of lengths 3 to 8: hash tables keyed by the string itself, packed into 8 bytes.

#include "cancel_flag.h"
#include "counting/counters.h"
#include "counting/length_counter.h"
#include "counting/window_walk.h"
#include "large_memory.h"

#include <absl/container/flat_hash_map.h>
#include <bit>
#include <cstring>
#include <vector>

namespace kestrin {
namespace {

// Lengths 3 to 8: the string itself, packed into 8 bytes, is the key of the table, so that counting
// never reads the input twice. Each slot holds 32-bit hits; the rare count beyond that goes on in a
// side table, so hits stay exact for any input size.
class PackedCounter final : public LengthCounter
{
public:
    static_assert(std::endian::native == std::endian::little,
                  "the packed key's bytes are the string's bytes");
    static constexpr std::int64_t longest = packedLongest;

    PackedCounter(std::int64_t sampleLength, unsigned shardCount, const ShardMap& shardMap)
        : LengthCounter(sampleLength), owner(shardMap),
          mask(~std::uint64_t{0} >> (64 - 8 * static_cast<unsigned>(sampleLength))), shards(shardCount)
    {
    }

    [[nodiscard]] unsigned FileJobs() const override { return static_cast<unsigned>(shards.size()); }

    bool CountFile(unsigned job, const InputFile& file, std::uint32_t /*fileIndex*/, const FileScan& scan,
                   std::uint64_t /*fileBase*/, WorkProgress& progress, const CancelFlag& cancel) override
    {
        Shard& shard = shards[job]; // one job per shard
        const bool everything = shards.size() == 1;
        for (const CountedStretch& stretch : scan.stretches) {
            const bool completed = ForEachWindow(
                file, stretch, length, progress, cancel,
                [&](std::int64_t position) {
                    std::uint64_t key;
                    std::memcpy(&key, file.At(position, longest), sizeof key);
                    key &= mask;
                    if (!everything && owner[key & 0xFF] != job) {
                        return;
                    }
                    auto [slot, added] = shard.table.try_emplace(key, Counts{1, shard.next});
                    if (added) {
                        ++shard.next;
                    } else if (++slot->second.hits == 0) {
                        // 2^32 hits: keep counting the excess on the side.
                        --slot->second.hits;
                        ++shard.excess[key];
                    }
                },
                [&] { return std::int64_t{shard.next}; });
            if (!completed) {
                return false;
            }
        }
        return true;
    }

    [[nodiscard]] std::int64_t DistinctHere() const override
    {
        std::int64_t total = 0;
        for (const Shard& shard : shards) {
            total += shard.next;
        }
        return total;
    }

    [[nodiscard]] std::size_t Sections(std::int64_t /*length*/) const override { return shards.size(); }

protected:
    void VisitHere(std::size_t section, Visitor visit) const override
    {
        const Shard& shard = shards[section];
        for (const auto& [key, counts] : shard.table) {
            CountedString counted;
            counted.text = reinterpret_cast<const char*>(&key); // the table does not move while visited
            counted.hits = counts.hits;
            if (!shard.excess.empty()) {
                if (const auto more = shard.excess.find(key); more != shard.excess.end()) {
                    counted.hits += static_cast<std::int64_t>(more->second);
                }
            }
            counted.order = counts.order; // all strings of one first byte live in the same shard
            counted.firstByte = static_cast<unsigned char>(key & 0xFF);
            visit(counted);
        }
    }

private:
    struct Counts {
        std::uint32_t hits;
        std::uint32_t order; // the how-manieth different string of its shard
    };
    // Each shard on cache lines of its own: the threads write their shards' fields at every window.
    struct alignas(64) Shard {
        absl::flat_hash_map<std::uint64_t, Counts, absl::Hash<std::uint64_t>, std::equal_to<>,
                            LargeAllocator<std::pair<const std::uint64_t, Counts>>>
            table;
        absl::flat_hash_map<std::uint64_t, std::uint64_t> excess;
        std::uint32_t next = 0;
    };

    ShardMap owner;
    std::uint64_t mask;
    std::vector<Shard> shards;
};

} // namespace

std::unique_ptr<CountingUnit> MakePackedCounter(std::int64_t length, unsigned shards,
                                                const ShardMap& shardMap)
{
    return std::make_unique<PackedCounter>(length, shards, shardMap);
}

} // namespace kestrin
