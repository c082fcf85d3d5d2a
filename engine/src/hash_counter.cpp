#include "counters.h"
#include "length_counter.h"
#include "window_walk.h"

#include <absl/container/flat_hash_set.h>
#include <bit>
#include <cstring>
#include <string_view>
#include <vector>
#include <xxhash.h>

namespace kestrin {
namespace {

// An entry points at the first occurrence of its string in the input instead of owning a copy.
struct Entry {
    const char* text;
    std::uint64_t hits;
};

// Entries in blocks that never move, indexed in the order their strings were first met.
class EntryStore
{
public:
    [[nodiscard]] Entry& operator[](std::uint32_t index)
    {
        const auto [block, offset] = Locate(index);
        return blocks[block][offset];
    }
    [[nodiscard]] const Entry& operator[](std::uint32_t index) const
    {
        const auto [block, offset] = Locate(index);
        return blocks[block][offset];
    }
    [[nodiscard]] std::uint32_t Size() const { return size; }

    std::uint32_t Add(const char* text)
    {
        auto [block, offset] = Locate(size);
        if (block == blocks.size()) {
            blocks.push_back(std::make_unique<Entry[]>(BlockSize(block)));
        }
        blocks[block][offset] = Entry{text, 1};
        return size++;
    }

private:
    // Blocks double from 256 entries up to 65536, so that a run with thousands of lengths, and so
    // thousands of stores, does not reserve much for the many small ones.
    static constexpr std::size_t firstBlock = 256;
    static constexpr std::size_t doublings = 8; // the last growing block holds 65536 entries
    static constexpr std::size_t growingEntries = firstBlock * ((std::size_t{1} << (doublings + 1)) - 1);

    static std::size_t BlockSize(std::size_t block) { return firstBlock << std::min(block, doublings); }

    static std::pair<std::size_t, std::size_t> Locate(std::size_t index)
    {
        if (index < growingEntries) {
            const std::size_t block = static_cast<std::size_t>(std::bit_width(index / firstBlock + 1)) - 1;
            return {block, index - firstBlock * ((std::size_t{1} << block) - 1)};
        }
        const std::size_t beyond = index - growingEntries;
        return {doublings + 1 + beyond / BlockSize(doublings), beyond % BlockSize(doublings)};
    }

    std::vector<std::unique_ptr<Entry[]>> blocks;
    std::uint32_t size = 0;
};

// Lengths above 8: hash tables of entry indices, one table per shard.
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

    bool CountFile(unsigned job, const InputFile& file, std::uint32_t /*fileIndex*/, const FileScan& scan,
                   std::uint64_t /*fileBase*/, WorkProgress& progress,
                   const std::atomic<bool>& cancel) override
    {
        Shard& shard = *shards[job]; // one job per shard
        const bool everything = shards.size() == 1;
        const auto size = static_cast<std::size_t>(length);
        for (const CountedRun& run : scan.runs) {
            const bool completed = ForEachWindow(
                file, run, length, progress, cancel,
                [&](std::int64_t position) {
                    const char* window = file.At(position, length);
                    if (!everything && owner[static_cast<unsigned char>(window[0])] != job) {
                        return;
                    }
                    shard.Count(std::string_view(window, size));
                },
                [&] { return std::int64_t{shard.entries.Size()}; });
            if (!completed) {
                return false;
            }
        }
        return true;
    }

    [[nodiscard]] std::int64_t DistinctHere() const override
    {
        std::int64_t total = 0;
        for (const auto& shard : shards) {
            total += shard->entries.Size();
        }
        return total;
    }

protected:
    void VisitHere(void (*callback)(void*, const CountedString&), void* context) const override
    {
        for (const auto& shard : shards) {
            for (std::uint32_t index = 0; index < shard->entries.Size(); ++index) {
                const Entry& entry = shard->entries[index];
                CountedString counted;
                counted.text = entry.text;
                counted.hits = static_cast<std::int64_t>(entry.hits);
                counted.order = index; // all strings of one first byte live in the same shard
                counted.firstByte = static_cast<unsigned char>(entry.text[0]);
                callback(context, counted);
            }
        }
    }

private:
    // The table holds, for each entry, its index and 32 bits of its hash, so that growing the table and
    // telling strings apart rarely needs to read the text itself.
    struct Key {
        std::string_view text;
        std::uint32_t hash;
    };

    static std::size_t Spread(std::uint32_t hash) { return hash * std::size_t{0x9E3779B97F4A7C15}; }

    struct Shard {
        explicit Shard(std::size_t length) : index(0, Hash{}, Equal{&entries, length}) {}

        void Count(std::string_view window)
        {
            const Key key{window, static_cast<std::uint32_t>(XXH3_64bits(window.data(), window.size()))};
            bool added = false;
            const auto found = index.lazy_emplace(key, [&](const auto& construct) {
                added = true;
                construct(std::uint64_t{key.hash} << 32 | entries.Add(window.data()));
            });
            if (!added) {
                ++entries[static_cast<std::uint32_t>(*found)].hits;
            }
        }

        struct Hash {
            using is_transparent = void;
            std::size_t operator()(const Key& key) const { return Spread(key.hash); }
            std::size_t operator()(std::uint64_t slot) const
            {
                return Spread(static_cast<std::uint32_t>(slot >> 32));
            }
        };
        struct Equal {
            using is_transparent = void;
            const EntryStore* entries;
            std::size_t length;
            bool operator()(std::uint64_t a, std::uint64_t b) const { return a == b; }
            bool operator()(std::uint64_t slot, const Key& key) const
            {
                return static_cast<std::uint32_t>(slot >> 32) == key.hash &&
                       std::memcmp((*entries)[static_cast<std::uint32_t>(slot)].text, key.text.data(),
                                   length) == 0;
            }
            bool operator()(const Key& key, std::uint64_t slot) const { return (*this)(slot, key); }
        };

        EntryStore entries;
        absl::flat_hash_set<std::uint64_t, Hash, Equal> index;
    };

    ShardMap owner;
    std::vector<std::unique_ptr<Shard>> shards;
};

} // namespace

std::unique_ptr<CountingUnit> MakeHashCounter(std::int64_t length, unsigned shards, const ShardMap& shardMap)
{
    return std::make_unique<HashCounter>(length, shards, shardMap);
}

} // namespace kestrin
