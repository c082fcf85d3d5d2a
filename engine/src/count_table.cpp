#include "count_table.h"

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>
#include <algorithm>
#include <bit>
#include <cstring>
#include <deque>
#include <numeric>
#include <xxhash.h>

namespace kestrin {
namespace {

// How often a worker publishes its progress and looks at the cancel flag.
constexpr std::int64_t reportEvery = 1 << 16;

// Calls each(position, limit) for each position of the run, where limit is the longest window there that
// holds no start of the run's stop delimiter, capped at `longest`. publish(position) is called every so
// often and returns false to stop. Returns false when stopped.
template <typename Each, typename Publish>
bool ForEachLimit(const InputFile& file, const CountedRun& run, std::int64_t longest, Each&& each,
                  Publish&& publish)
{
    if (run.stop == nullptr) {
        for (std::int64_t chunk = run.begin; chunk < run.end; chunk += reportEvery) {
            const std::int64_t chunkEnd = std::min(run.end, chunk + reportEvery);
            for (std::int64_t position = chunk; position < chunkEnd; ++position) {
                each(position, longest);
            }
            if (!publish(chunkEnd - 1)) {
                return false;
            }
        }
        return true;
    }

    // Between two occurrences of the stop delimiter, windows are limited only near the next one: the
    // positions before it that are more than `longest` away get the full limit in a plain loop.
    const std::int64_t lastRelevantStart = run.end - 1 + std::max<std::int64_t>(longest - 1, 0);
    std::int64_t position = run.begin;
    std::int64_t sincePublished = 0;
    while (position < run.end) {
        const std::int64_t found = FindDelimiter(file, *run.stop, position, lastRelevantStart);
        const std::int64_t stop = found >= 0 ? found : lastRelevantStart + 1 + longest;
        const std::int64_t plainEnd = std::min(run.end, std::max(position, stop - longest + 1));
        const std::int64_t nearEnd = std::min(run.end, stop + 1);
        for (; position < plainEnd; ++position) {
            each(position, longest);
            if (++sincePublished == reportEvery) {
                sincePublished = 0;
                if (!publish(position)) {
                    return false;
                }
            }
        }
        for (; position < nearEnd; ++position) {
            each(position, std::min(longest, stop - position));
        }
    }
    return publish(run.end - 1);
}

// Calls count(position) for each position of the run whose window of `length` bytes holds no start of
// the run's stop delimiter (a window of length 0 always counts). Returns false when cancelled.
template <typename Count, typename Distinct>
bool ForEachWindow(const InputFile& file, const CountedRun& run, std::int64_t length, WorkProgress& progress,
                   const std::atomic<bool>& cancel, Count&& count, Distinct&& distinctNow)
{
    const auto publish = [&](std::int64_t position) {
        progress.position.store(position, std::memory_order_relaxed);
        progress.distinct.store(distinctNow(), std::memory_order_relaxed);
        return !cancel.load(std::memory_order_relaxed);
    };
    return ForEachLimit(
        file, run, length,
        [&](std::int64_t position, std::int64_t limit) {
            if (limit >= length) {
                count(position);
            }
        },
        publish);
}

// A unit that counts one sample length.
class LengthCounter : public CountingUnit
{
public:
    [[nodiscard]] std::int64_t Distinct(std::int64_t /*length*/) const final { return DistinctHere(); }

protected:
    explicit LengthCounter(std::int64_t sampleLength) : length(sampleLength) {}
    [[nodiscard]] virtual std::int64_t DistinctHere() const = 0;
    void VisitAll(std::int64_t /*length*/, void (*callback)(void*, const CountedString&),
                  void* context) const final
    {
        VisitHere(callback, context);
    }
    virtual void VisitHere(void (*callback)(void*, const CountedString&), void* context) const = 0;

    std::int64_t length;
};

// Lengths 0, 1 and 2: one slot per possible string (per first byte for length 0).
class ArrayCounter final : public LengthCounter
{
public:
    explicit ArrayCounter(std::int64_t sampleLength)
        : LengthCounter(sampleLength), hits(std::size_t{1} << (8 * std::max<std::int64_t>(sampleLength, 1))),
          order(hits.size())
    {
    }

    [[nodiscard]] unsigned FileJobs() const override { return 1; }

    bool CountFile(unsigned /*job*/, const InputFile& file, std::uint32_t /*fileIndex*/, const FileScan& scan,
                   std::uint64_t fileBase, WorkProgress& progress, const std::atomic<bool>& cancel) override
    {
        for (const CountedRun& run : scan.runs) {
            const bool completed = ForEachWindow(
                file, run, length, progress, cancel,
                [&](std::int64_t position) {
                    std::size_t slot = file.ByteAt(position);
                    if (length == 2) {
                        slot = (slot << 8) | file.ByteAt(position + 1);
                    }
                    if (hits[slot]++ == 0) {
                        order[slot] = fileBase + static_cast<std::uint64_t>(position);
                        ++distinct;
                    }
                },
                [&] { return distinct; });
            if (!completed) {
                return false;
            }
        }
        return true;
    }

    [[nodiscard]] std::int64_t DistinctHere() const override { return distinct; }

protected:
    void VisitHere(void (*callback)(void*, const CountedString&), void* context) const override
    {
        if (length == 0) {
            return; // empty strings save nothing and are never ranked
        }
        // The string of a slot is its own bytes; keep them here so that results can point at them.
        for (std::size_t slot = 0; slot < hits.size(); ++slot) {
            if (hits[slot] == 0) {
                continue;
            }
            CountedString counted;
            counted.text = SlotText(slot);
            counted.hits = static_cast<std::int64_t>(hits[slot]);
            counted.order = order[slot];
            counted.firstByte = static_cast<unsigned char>(counted.text[0]);
            callback(context, counted);
        }
    }

private:
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

    std::vector<std::uint64_t> hits;
    std::vector<std::uint64_t> order;
    std::int64_t distinct = 0;
};

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

// Lengths 3 to 8: the string itself, packed into 8 bytes, is the key of the table, so that counting
// never reads the input twice. Each slot holds 32-bit hits; the rare count beyond that goes on in a
// side table, so hits stay exact for any input size.
class PackedCounter final : public LengthCounter
{
public:
    static_assert(std::endian::native == std::endian::little,
                  "the packed key's bytes are the string's bytes");
    static constexpr std::int64_t longest = 8;

    PackedCounter(std::int64_t sampleLength, unsigned partitionCount, const PartitionMap& partitionMap)
        : LengthCounter(sampleLength), owner(partitionMap),
          mask(~std::uint64_t{0} >> (64 - 8 * static_cast<unsigned>(sampleLength))), shards(partitionCount)
    {
    }

    [[nodiscard]] unsigned FileJobs() const override { return static_cast<unsigned>(shards.size()); }

    bool CountFile(unsigned partition, const InputFile& file, std::uint32_t /*fileIndex*/,
                   const FileScan& scan, std::uint64_t /*fileBase*/, WorkProgress& progress,
                   const std::atomic<bool>& cancel) override
    {
        Part& part = shards[partition];
        const bool everything = shards.size() == 1;
        for (const CountedRun& run : scan.runs) {
            const bool completed = ForEachWindow(
                file, run, length, progress, cancel,
                [&](std::int64_t position) {
                    std::uint64_t key;
                    std::memcpy(&key, file.At(position, longest), sizeof key);
                    key &= mask;
                    if (!everything && owner[key & 0xFF] != partition) {
                        return;
                    }
                    auto [slot, added] = part.table.try_emplace(key, Counts{1, part.next});
                    if (added) {
                        ++part.next;
                    } else if (++slot->second.hits == 0) {
                        // 2^32 hits: keep counting the excess on the side.
                        --slot->second.hits;
                        ++part.excess[key];
                    }
                },
                [&] { return std::int64_t{part.next}; });
            if (!completed) {
                return false;
            }
        }
        return true;
    }

    [[nodiscard]] std::int64_t DistinctHere() const override
    {
        std::int64_t total = 0;
        for (const Part& part : shards) {
            total += part.next;
        }
        return total;
    }

protected:
    void VisitHere(void (*callback)(void*, const CountedString&), void* context) const override
    {
        for (const Part& part : shards) {
            for (const auto& [key, counts] : part.table) {
                CountedString counted;
                counted.text = reinterpret_cast<const char*>(&key); // the table does not move while visited
                counted.hits = counts.hits;
                if (!part.excess.empty()) {
                    if (const auto more = part.excess.find(key); more != part.excess.end()) {
                        counted.hits += static_cast<std::int64_t>(more->second);
                    }
                }
                counted.order = counts.order; // all strings of one first byte live in the same part
                counted.firstByte = static_cast<unsigned char>(key & 0xFF);
                callback(context, counted);
            }
        }
    }

private:
    struct Counts {
        std::uint32_t hits;
        std::uint32_t order; // the how-manieth different string of its part
    };
    struct Part {
        absl::flat_hash_map<std::uint64_t, Counts> table;
        absl::flat_hash_map<std::uint64_t, std::uint64_t> excess;
        std::uint32_t next = 0;
    };

    PartitionMap owner;
    std::uint64_t mask;
    std::vector<Part> shards;
};

// Lengths above 8: hash tables of entry indices, one table per partition.
class HashCounter final : public LengthCounter
{
public:
    HashCounter(std::int64_t sampleLength, unsigned partitionCount, const PartitionMap& partitionMap)
        : LengthCounter(sampleLength), owner(partitionMap)
    {
        shards.reserve(partitionCount);
        for (unsigned i = 0; i < partitionCount; ++i) {
            shards.push_back(std::make_unique<Part>(static_cast<std::size_t>(sampleLength)));
        }
    }

    [[nodiscard]] unsigned FileJobs() const override { return static_cast<unsigned>(shards.size()); }

    bool CountFile(unsigned partition, const InputFile& file, std::uint32_t /*fileIndex*/,
                   const FileScan& scan, std::uint64_t /*fileBase*/, WorkProgress& progress,
                   const std::atomic<bool>& cancel) override
    {
        Part& part = *shards[partition];
        const bool everything = shards.size() == 1;
        const auto size = static_cast<std::size_t>(length);
        for (const CountedRun& run : scan.runs) {
            const bool completed = ForEachWindow(
                file, run, length, progress, cancel,
                [&](std::int64_t position) {
                    const char* window = file.At(position, length);
                    if (!everything && owner[static_cast<unsigned char>(window[0])] != partition) {
                        return;
                    }
                    part.Count(std::string_view(window, size));
                },
                [&] { return std::int64_t{part.entries.Size()}; });
            if (!completed) {
                return false;
            }
        }
        return true;
    }

    [[nodiscard]] std::int64_t DistinctHere() const override
    {
        std::int64_t total = 0;
        for (const auto& part : shards) {
            total += part->entries.Size();
        }
        return total;
    }

protected:
    void VisitHere(void (*callback)(void*, const CountedString&), void* context) const override
    {
        for (const auto& part : shards) {
            for (std::uint32_t index = 0; index < part->entries.Size(); ++index) {
                const Entry& entry = part->entries[index];
                CountedString counted;
                counted.text = entry.text;
                counted.hits = static_cast<std::int64_t>(entry.hits);
                counted.order = index; // all strings of one first byte live in the same part
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

    struct Part {
        explicit Part(std::size_t length) : index(0, Hash{}, Equal{&entries, length}) {}

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

    PartitionMap owner;
    std::vector<std::unique_ptr<Part>> shards;
};

// Lengths 3 to 16 together, by sorting instead of hashing: every counted position becomes a record
// holding the first 8 (or 16) bytes there as a big-endian key, so that sorting the records puts the
// positions of equal strings of every length side by side; one pass over the sorted records then gives
// each string of each length with its hits and first occurrence. Sorting streams through memory where
// a hash table would miss the cache at almost every window, and it sorts one part of the first-byte
// values at a time, so that only the records of the shards in hand are held.
template <std::size_t KeyWords> class SortedCounter final : public CountingUnit
{
public:
    static constexpr std::int64_t longest = 8 * static_cast<std::int64_t>(KeyWords);

    SortedCounter(std::vector<std::int64_t> sampleLengths, unsigned partCount,
                  const PartitionMap& partitionMap)
        : lengths(std::move(sampleLengths)), owner(partitionMap), partSizes(partCount, 0), entries(partCount)
    {
        for (auto& perPart : entries) {
            perPart.resize(lengths.size());
        }
    }

    // Counting waits for the finish: a file job only keeps the file and its counted runs.
    [[nodiscard]] unsigned FileJobs() const override { return 1; }

    bool CountFile(unsigned /*job*/, const InputFile& file, std::uint32_t fileIndex, const FileScan& scan,
                   std::uint64_t /*fileBase*/, WorkProgress& progress,
                   const std::atomic<bool>& cancel) override
    {
        if (files.size() <= fileIndex) {
            files.resize(fileIndex + 1);
        }
        files[fileIndex] = {&file, scan.runs};
        // Count each part's records now, so that the finish can hold them in one block of the right size.
        const std::int64_t shortest = lengths.front();
        const auto publish = [&](std::int64_t position) {
            progress.position.store(position, std::memory_order_relaxed);
            return !cancel.load(std::memory_order_relaxed);
        };
        for (const CountedRun& run : scan.runs) {
            const bool completed = ForEachLimit(
                file, run, longest,
                [&](std::int64_t position, std::int64_t limit) {
                    if (limit >= shortest) {
                        ++partSizes[owner[file.ByteAt(position)]];
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

    bool Finish(unsigned part, WorkProgress& progress, const std::atomic<bool>& cancel) override
    {
        std::vector<Record> records;
        records.reserve(partSizes[part]);
        if (!Collect(part, records, progress, cancel)) {
            return false;
        }
        SortRecords(records, cancel);
        if (cancel.load(std::memory_order_relaxed)) {
            return false;
        }
        Scan(records, entries[part]);
        std::int64_t found = 0;
        for (const auto& perLength : entries[part]) {
            found += static_cast<std::int64_t>(perLength.size());
        }
        progress.distinct.store(found, std::memory_order_relaxed);
        return true;
    }

    [[nodiscard]] std::int64_t Distinct(std::int64_t length) const override
    {
        const std::size_t index = IndexOf(length);
        std::int64_t total = 0;
        for (const auto& perPart : entries) {
            total += static_cast<std::int64_t>(perPart[index].size());
        }
        return total;
    }

protected:
    void VisitAll(std::int64_t length, void (*callback)(void*, const CountedString&),
                  void* context) const override
    {
        const std::size_t index = IndexOf(length);
        for (const auto& perPart : entries) {
            for (const SortedEntry& entry : perPart[index]) {
                CountedString counted;
                counted.text = files[entry.file].file->At(entry.position, length);
                counted.hits = static_cast<std::int64_t>(entry.hits);
                counted.order = std::uint64_t{entry.file} << 32 | entry.position;
                counted.firstByte = static_cast<unsigned char>(counted.text[0]);
                callback(context, counted);
            }
        }
    }

private:
    struct Record {
        std::array<std::uint64_t, KeyWords> key; // the bytes at the position, first byte highest
        std::uint32_t position;
        std::uint16_t file;
        std::uint16_t limit; // the longest window counted here
    };
    struct SortedEntry {
        std::uint32_t position; // of the first occurrence
        std::uint32_t file;
        std::uint64_t hits;
    };
    struct FileRuns {
        const InputFile* file = nullptr;
        std::vector<CountedRun> runs;
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

    // The records of the positions whose first byte belongs to this part, in input order.
    bool Collect(unsigned part, std::vector<Record>& records, WorkProgress& progress,
                 const std::atomic<bool>& cancel) const
    {
        const auto publish = [&](std::int64_t position) {
            progress.position.store(position, std::memory_order_relaxed);
            return !cancel.load(std::memory_order_relaxed);
        };
        const std::int64_t shortest = lengths.front();
        for (std::size_t index = 0; index < files.size(); ++index) {
            const InputFile& file = *files[index].file;
            for (const CountedRun& run : files[index].runs) {
                const bool completed = ForEachLimit(
                    file, run, longest,
                    [&](std::int64_t position, std::int64_t limit) {
                        if (limit < shortest || owner[file.ByteAt(position)] != part) {
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
            }
        }
        return true;
    }

    // Sorted by key: first spread by the first two bytes, then each small bucket sorted on its own.
    static void SortRecords(std::vector<Record>& records, const std::atomic<bool>& cancel)
    {
        SortByByte(records.data(), records.data() + records.size(), 0, cancel);
    }

    // Sorts records whose keys agree on their first `depth` bytes: large groups one byte at a time,
    // in place, small ones by comparison.
    static void SortByByte(Record* begin, Record* end, std::size_t depth, const std::atomic<bool>& cancel)
    {
        const auto count = static_cast<std::size_t>(end - begin);
        if (count < 2 || depth >= 8 * KeyWords) {
            return; // nothing to sort, or keys that are equal throughout
        }
        if (count >= 65536 && cancel.load(std::memory_order_relaxed)) {
            return; // the caller sees the flag too and drops the records
        }
        if (count < 128) {
            std::sort(begin, end, [](const Record& a, const Record& b) { return a.key < b.key; });
            return;
        }
        const std::size_t word = depth / 8;
        const unsigned shift = static_cast<unsigned>(56 - 8 * (depth % 8));
        const auto byteOf = [&](const Record& record) {
            return static_cast<std::size_t>((record.key[word] >> shift) & 0xFF);
        };
        std::array<std::size_t, 257> starts{};
        for (const Record* record = begin; record != end; ++record) {
            ++starts[byteOf(*record) + 1];
        }
        std::partial_sum(starts.begin(), starts.end(), starts.begin());
        std::array<std::size_t, 256> next{};
        std::copy(starts.begin(), starts.end() - 1, next.begin());
        for (std::size_t bucket = 0; bucket < 256; ++bucket) {
            while (next[bucket] < starts[bucket + 1]) {
                const std::size_t home = byteOf(begin[next[bucket]]);
                if (home == bucket) {
                    ++next[bucket];
                } else {
                    std::swap(begin[next[bucket]], begin[next[home]++]);
                }
            }
        }
        for (std::size_t bucket = 0; bucket < 256; ++bucket) {
            SortByByte(begin + starts[bucket], begin + starts[bucket + 1], depth + 1, cancel);
        }
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
    // records whose limit allows length L, and it was first met at the earliest of them.
    void Scan(const std::vector<Record>& sorted, std::vector<std::vector<SortedEntry>>& out) const
    {
        struct Group {
            std::uint64_t hits = 0;
            std::uint64_t first = ~std::uint64_t{0};
        };
        std::vector<Group> groups(lengths.size());
        const auto close = [&](std::size_t index) {
            if (groups[index].hits > 0) {
                out[index].push_back({static_cast<std::uint32_t>(groups[index].first & 0xFFFFFFFF),
                                      static_cast<std::uint32_t>(groups[index].first >> 32),
                                      groups[index].hits});
            }
            groups[index] = Group{};
        };
        for (std::size_t r = 0; r < sorted.size(); ++r) {
            const Record& record = sorted[r];
            if (r > 0) {
                const std::int64_t shared = SharedBytes(sorted[r - 1], record);
                for (std::size_t index = lengths.size(); index-- > 0 && lengths[index] > shared;) {
                    close(index);
                }
            }
            const std::uint64_t order = std::uint64_t{record.file} << 32 | record.position;
            for (std::size_t index = 0; index < lengths.size() && lengths[index] <= record.limit; ++index) {
                ++groups[index].hits;
                groups[index].first = std::min(groups[index].first, order);
            }
        }
        for (std::size_t index = 0; index < lengths.size(); ++index) {
            close(index);
        }
    }

    std::vector<std::int64_t> lengths; // ascending, 3 to longest
    PartitionMap owner;
    std::vector<FileRuns> files;
    std::vector<std::size_t> partSizes;                         // records of each part over all files
    std::vector<std::vector<std::vector<SortedEntry>>> entries; // by part, then by length
};

} // namespace

PartitionMap BalancePartitions(const std::array<std::uint64_t, 256>& histogram, unsigned partitions)
{
    PartitionMap map{};
    if (partitions <= 1) {
        return map;
    }
    // Greedy: the most frequent byte values first, each to the partition with the least work so far.
    std::array<int, 256> bytes{};
    std::iota(bytes.begin(), bytes.end(), 0);
    std::stable_sort(bytes.begin(), bytes.end(), [&](int a, int b) {
        return histogram[static_cast<std::size_t>(a)] > histogram[static_cast<std::size_t>(b)];
    });
    std::vector<std::uint64_t> load(partitions, 0);
    for (const int byte : bytes) {
        const auto lightest =
            static_cast<std::size_t>(std::min_element(load.begin(), load.end()) - load.begin());
        map[static_cast<std::size_t>(byte)] = static_cast<std::uint8_t>(lightest);
        load[lightest] += histogram[static_cast<std::size_t>(byte)];
    }
    return map;
}

CountingPlan PlanCounting(const std::vector<std::int16_t>& differentLengths, unsigned threads,
                          const InputShape& input)
{
    CountingPlan plan;
    const auto add = [&](std::unique_ptr<CountingUnit> unit, const std::vector<std::int64_t>& covered) {
        for (const std::int64_t length : covered) {
            plan.unitOf[length] = unit.get();
        }
        plan.units.push_back(std::move(unit));
    };
    std::vector<std::int64_t> sortable;
    std::vector<std::int64_t> hashed;
    // Records keep positions in 32 bits and file numbers in 16.
    const bool recordsFit =
        input.files < (std::size_t{1} << 16) && input.largestFile < (std::int64_t{1} << 31);
    // Sorting costs the same for any number of lengths, so the short lengths 3 and 4 join it when a
    // longer one needs it anyway; alone, their few different strings count faster in small tables.
    const bool sorting =
        recordsFit && std::any_of(differentLengths.begin(), differentLengths.end(),
                                  [](std::int16_t length) { return length >= 5 && length <= 16; });
    for (const std::int16_t length : differentLengths) {
        if (length <= 2) {
            add(std::make_unique<ArrayCounter>(length), {length});
        } else if (length <= 16 && sorting) {
            sortable.push_back(length);
        } else {
            hashed.push_back(length);
        }
    }
    threads = std::max(1u, threads);
    if (!sortable.empty()) {
        // Several shards per thread, so that only a few shards' records are held at a time.
        const unsigned shards = 4 * threads;
        const PartitionMap map = BalancePartitions(input.histogram, shards);
        if (sortable.back() <= 8) {
            add(std::make_unique<SortedCounter<1>>(sortable, shards, map), sortable);
        } else {
            add(std::make_unique<SortedCounter<2>>(sortable, shards, map), sortable);
        }
    }
    if (!hashed.empty()) {
        const unsigned partitions = std::max(1u, threads / static_cast<unsigned>(hashed.size()));
        const PartitionMap map = BalancePartitions(input.histogram, partitions);
        for (const std::int64_t length : hashed) {
            if (length <= PackedCounter::longest) {
                add(std::make_unique<PackedCounter>(length, partitions, map), {length});
            } else {
                add(std::make_unique<HashCounter>(length, partitions, map), {length});
            }
        }
    }
    return plan;
}
} // namespace kestrin
