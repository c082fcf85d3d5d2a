// SPDX-License-Identifier: MIT
// kestrin-sol: the speed-of-light yardstick for kestrin-cli's counting. It answers the same question (the
// strings of the sample lengths that save the most space, length x hits) the plainest fast way, without
// kestrin-cli's report rules: every window that lies wholly inside a file is counted (no comment filter,
// no end-of-file filler), in one hash table per sample length on all cores.
//
// Lengths 1 and 2 count into plain arrays, each thread over its own stretch of the input, summed at the
// end. Longer lengths count into abseil tables: up to 8 bytes the string packed into a uint64 is the
// key, longer strings are keyed by their first position in the input and hashed with XXH3. Each thread
// owns the strings whose hash falls into its share, so the tables never need merging; a thread first
// gathers its keys of a block of positions without branching and then inserts them, prefetching the
// table slots a few keys ahead.

#include "bench_options.h"
#include "large_memory.h"

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>
#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xxhash.h>

namespace kestrin {
namespace {

constexpr std::size_t padding = 8; // zero bytes after the input, so 8-byte loads never leave the buffer
constexpr std::uint64_t unknown = std::numeric_limits<std::uint64_t>::max();

struct Options {
    std::vector<std::uint32_t> lengths{1}; // ascending, without repeats
    std::int64_t top = 25;                 // prints top + 1 results, as kestrin-cli does
    unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::string> files;
};

// All files back to back in one buffer; a window never crosses from one file into the next.
struct Input {
    kestrin::LargeBytes bytes; // on huge pages, as the engine holds its input
    std::uint64_t size = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> files; // [begin, end) of each file
};

// One ranked string; `first` is its first position in the input, or `unknown`.
struct Candidate {
    std::uint64_t total;
    std::uint64_t hits;
    std::uint32_t length;
    unsigned char firstByte;
    std::uint64_t first;
    const char* text;
};

// The ranking of kestrin-cli: more space first, then the shorter length, the lower first byte, the string
// met first.
bool Better(const Candidate& a, const Candidate& b)
{
    if (a.total != b.total)
        return a.total > b.total;
    if (a.length != b.length)
        return a.length < b.length;
    if (a.firstByte != b.firstByte)
        return a.firstByte < b.firstByte;
    return a.first < b.first;
}

// The best `limit` candidates seen, the worst of them on top of a heap.
class TopList
{
public:
    explicit TopList(std::size_t keep) : limit(keep) {} // at least 1
    void Offer(const Candidate& candidate)
    {
        if (best.size() < limit) {
            best.push_back(candidate);
            std::push_heap(best.begin(), best.end(), Better);
        } else if (Better(candidate, best.front())) {
            std::pop_heap(best.begin(), best.end(), Better);
            best.back() = candidate;
            std::push_heap(best.begin(), best.end(), Better);
        }
    }
    [[nodiscard]] bool Rejects(std::uint64_t total) const
    {
        return best.size() == limit && total < best.front().total;
    }
    [[nodiscard]] std::vector<Candidate> Take() { return std::move(best); }

private:
    std::size_t limit;
    std::vector<Candidate> best;
};

std::uint64_t Load64(const char* at)
{
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// Which of `shares` threads owns a hash: its top 32 bits scaled, so that no division is needed.
unsigned ShareOf(std::uint64_t hash, unsigned shares)
{
    return static_cast<unsigned>(((hash >> 32) * shares) >> 32);
}

// MurmurHash3's finaliser: every bit of the key reaches both halves of the hash.
std::uint64_t MixPacked(std::uint64_t key)
{
    key ^= key >> 33;
    key *= 0xFF51AFD7ED558CCD;
    key ^= key >> 33;
    key *= 0xC4CEB9FE1A85EC53;
    return key ^ (key >> 33);
}

// Estimates how many different values a stream of 32-bit hashes holds (HyperLogLog with 4096 registers,
// about 2% off), so that a large table can be sized once instead of growing step by step.
class DistinctEstimate
{
public:
    // Counts the hash only when `counted`, without branching on it.
    void Add(std::uint32_t hash, bool counted)
    {
        const int rank = std::countr_zero((hash >> 12) | (1u << 20)) + 1;
        std::uint8_t& slot = registers[hash & 4095];
        slot = std::max(slot, static_cast<std::uint8_t>(counted ? rank : 0));
    }
    [[nodiscard]] double Value() const
    {
        constexpr double m = 4096;
        double sum = 0;
        int zeros = 0;
        for (const std::uint8_t slot : registers) {
            sum += std::ldexp(1.0, -slot);
            zeros += slot == 0;
        }
        const double raw = 0.7213 / (1 + 1.079 / m) * m * m / sum;
        return raw <= 2.5 * m && zeros > 0 ? m * std::log(m / zeros) : raw;
    }

private:
    std::array<std::uint8_t, 4096> registers{};
};

// Strings of 3 to 8 bytes: the key is the string itself, the value its hits and first position.
struct PackedCounts {
    std::uint32_t hits;
    std::uint32_t first;
};
using PackedTable =
    absl::flat_hash_map<std::uint64_t, PackedCounts, absl::Hash<std::uint64_t>, std::equal_to<>,
                        kestrin::LargeAllocator<std::pair<const std::uint64_t, PackedCounts>>>;

// Strings above 8 bytes: an entry holds the first position of its string and 32 bits of its hash.
struct LongEntry {
    std::uint32_t first;
    std::uint32_t hash;
    mutable std::uint32_t hits;
};
struct LongProbe {
    const char* text;
    std::uint32_t hash;
};
struct LongHash {
    using is_transparent = void;
    static std::size_t Spread(std::uint32_t hash) { return hash * std::size_t{0x9E3779B97F4A7C15}; }
    std::size_t operator()(const LongEntry& entry) const { return Spread(entry.hash); }
    std::size_t operator()(const LongProbe& probe) const { return Spread(probe.hash); }
};
struct LongEqual {
    using is_transparent = void;
    const char* base;
    std::size_t length;
    bool Same(const char* a, const char* b) const
    {
        if (length <= 16) // two overlapping words cover 9 to 16 bytes
            return Load64(a) == Load64(b) && Load64(a + length - 8) == Load64(b + length - 8);
        return std::memcmp(a, b, length) == 0;
    }
    bool operator()(const LongEntry& a, const LongEntry& b) const { return a.first == b.first; }
    bool operator()(const LongEntry& a, const LongProbe& b) const
    {
        return a.hash == b.hash && Same(base + a.first, b.text);
    }
    bool operator()(const LongProbe& a, const LongEntry& b) const { return (*this)(b, a); }
};
using LongTable = absl::flat_hash_set<LongEntry, LongHash, LongEqual, kestrin::LargeAllocator<LongEntry>>;

// How Counter::CountShare() hashes and counts the windows of one length. The top half of a window's hash
// picks the thread that counts it, the bottom half feeds the estimate of the table's size.
struct PackedWindows {
    using Table = PackedTable;
    const char* bytes;
    std::uint64_t mask;

    [[nodiscard]] std::uint64_t Key(std::uint64_t position) const { return Load64(bytes + position) & mask; }
    [[nodiscard]] std::uint64_t Hash(std::uint64_t position) const { return MixPacked(Key(position)); }
    void Prefetch(const Table& table, std::uint64_t position, std::uint64_t /*hash*/) const
    {
        table.prefetch(Key(position));
    }
    void Count(Table& table, std::uint64_t position, std::uint64_t /*hash*/) const
    {
        const auto [slot, added] =
            table.try_emplace(Key(position), PackedCounts{1, static_cast<std::uint32_t>(position)});
        if (!added)
            ++slot->second.hits;
    }
    static std::uint32_t EntryHash(const Table::value_type& entry)
    {
        return static_cast<std::uint32_t>(MixPacked(entry.first));
    }
};

struct LongWindows {
    using Table = LongTable;
    const char* bytes;
    std::uint32_t length;

    [[nodiscard]] std::uint64_t Hash(std::uint64_t position) const
    {
        return XXH3_64bits(bytes + position, length);
    }
    void Prefetch(const Table& table, std::uint64_t position, std::uint64_t hash) const
    {
        table.prefetch(LongProbe{bytes + position, static_cast<std::uint32_t>(hash)});
    }
    void Count(Table& table, std::uint64_t position, std::uint64_t hash) const
    {
        const LongEntry entry{static_cast<std::uint32_t>(position), static_cast<std::uint32_t>(hash), 1};
        bool added = false;
        const auto slot =
            table.lazy_emplace(LongProbe{bytes + position, entry.hash}, [&](const auto& construct) {
                added = true;
                construct(entry);
            });
        if (!added)
            ++slot->hits;
    }
    static std::uint32_t EntryHash(const LongEntry& entry) { return entry.hash; }
};

// What one thread counts: its stretch of the input for lengths 1 and 2, its share of the strings of the
// longer lengths.
struct ThreadWork {
    std::array<std::uint64_t, 256> ones{};
    std::vector<std::uint32_t> twos;
    std::vector<PackedTable> packed; // one for each length of 3 to 8, in order
    std::vector<LongTable> longs;    // one for each length above 8, in order
    std::vector<Candidate> best;
    std::uint64_t distinct = 0;
};

class Counter
{
public:
    Counter(const Input& source, const Options& settings) : input(source), options(settings) {}

    [[nodiscard]] std::vector<Candidate> Run(std::uint64_t& distinct);

private:
    using Stretch = std::pair<std::uint64_t, std::uint64_t>;
    static constexpr std::size_t block = 4096;        // positions gathered before inserting
    static constexpr std::size_t prefetchAt = 8;      // keys ahead
    static constexpr std::size_t sizeFrom = 1u << 18; // a table this large is sized from an estimate

    void CountThread(unsigned thread);
    void CountShort(unsigned thread, std::uint32_t length);
    template <typename Windows>
    void CountShare(unsigned thread, std::uint32_t length, const Windows& windows,
                    typename Windows::Table& table);
    void RankThread(unsigned thread);
    void RankShort(std::uint32_t length, TopList& top) const;

    // The stretches [begin, end) of positions whose window of `length` bytes lies inside a file.
    [[nodiscard]] std::vector<Stretch> Stretches(std::uint32_t length) const
    {
        std::vector<Stretch> stretches;
        for (const auto& [begin, end] : input.files)
            if (end - begin >= length)
                stretches.emplace_back(begin, end - length + 1);
        return stretches;
    }

    const Input& input;
    const Options& options;
    std::vector<ThreadWork> work;
};

std::vector<Candidate> Counter::Run(std::uint64_t& distinct)
{
    const unsigned threads = options.threads;
    work.resize(threads);
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads; ++t)
        helpers.emplace_back([this, t] { CountThread(t); });
    CountThread(0);
    for (auto& helper : helpers)
        helper.join();

    // The arrays of lengths 1 and 2 are summed into the first thread's and ranked here.
    const auto limit = static_cast<std::size_t>(options.top + 1);
    TopList top(limit);
    for (unsigned t = 1; t < threads; ++t) {
        for (std::size_t i = 0; i < 256; ++i)
            work[0].ones[i] += work[t].ones[i];
        for (std::size_t i = 0; i < work[t].twos.size(); ++i)
            work[0].twos[i] += work[t].twos[i];
    }
    distinct = 0;
    for (const std::uint32_t length : options.lengths)
        if (length <= 2)
            RankShort(length, top);
    for (const ThreadWork& done : work) {
        distinct += done.distinct;
        for (const Candidate& candidate : done.best)
            top.Offer(candidate);
    }
    std::vector<Candidate> results = top.Take();
    std::sort(results.begin(), results.end(), Better);
    for (const std::uint32_t length : options.lengths) {
        if (length == 1)
            distinct += static_cast<std::uint64_t>(std::count_if(
                work[0].ones.begin(), work[0].ones.end(), [](std::uint64_t hits) { return hits > 0; }));
        if (length == 2)
            distinct += static_cast<std::uint64_t>(std::count_if(
                work[0].twos.begin(), work[0].twos.end(), [](std::uint32_t hits) { return hits > 0; }));
    }
    return results;
}

void Counter::CountThread(unsigned thread)
{
    ThreadWork& mine = work[thread];
    for (const std::uint32_t length : options.lengths) {
        if (length <= 2) {
            CountShort(thread, length);
        } else if (length <= 8) {
            const PackedWindows windows{input.bytes.get(), ~std::uint64_t{0} >> (64 - 8 * length)};
            CountShare(thread, length, windows, mine.packed.emplace_back());
        } else {
            const LongWindows windows{input.bytes.get(), length};
            CountShare(thread, length, windows,
                       mine.longs.emplace_back(0, LongHash{}, LongEqual{input.bytes.get(), length}));
        }
    }
    RankThread(thread);
}

// Lengths 1 and 2: each thread counts an equal stretch of every file.
void Counter::CountShort(unsigned thread, std::uint32_t length)
{
    ThreadWork& mine = work[thread];
    const auto* bytes = reinterpret_cast<const unsigned char*>(input.bytes.get());
    if (length == 2)
        mine.twos.assign(std::size_t{1} << 16, 0);
    for (const auto& [begin, end] : Stretches(length)) {
        const std::uint64_t share = (end - begin) / options.threads;
        const std::uint64_t from = begin + share * thread;
        const std::uint64_t to = thread + 1 == options.threads ? end : from + share;
        if (length == 1) {
            // Four histograms, so that runs of one byte value do not wait on the same counter.
            std::array<std::array<std::uint64_t, 256>, 4> lanes{};
            std::uint64_t p = from;
            for (; p + 4 <= to; p += 4) {
                ++lanes[0][bytes[p]];
                ++lanes[1][bytes[p + 1]];
                ++lanes[2][bytes[p + 2]];
                ++lanes[3][bytes[p + 3]];
            }
            for (; p < to; ++p)
                ++lanes[0][bytes[p]];
            for (std::size_t i = 0; i < 256; ++i)
                mine.ones[i] += lanes[0][i] + lanes[1][i] + lanes[2][i] + lanes[3][i];
        } else {
            for (std::uint64_t p = from; p < to; ++p)
                ++mine.twos[std::size_t{bytes[p]} << 8 | bytes[p + 1]];
        }
    }
}

// The windows of one length whose hash falls into this thread's share. A block of positions is first
// gathered without branching on the share and then counted, prefetching the table a few keys ahead. Once
// the table passes sizeFrom entries, its final size is estimated from its entries and the rest of the
// input, and it is sized for that at once.
template <typename Windows>
void Counter::CountShare(unsigned thread, std::uint32_t length, const Windows& windows,
                         typename Windows::Table& table)
{
    struct Gathered {
        std::uint64_t hash;
        std::uint64_t position;
    };
    std::vector<Gathered> gathered(block);
    const unsigned shares = options.threads;
    const std::vector<Stretch> stretches = Stretches(length);
    bool sized = false;
    for (std::size_t stretch = 0; stretch < stretches.size(); ++stretch) {
        const auto [begin, end] = stretches[stretch];
        for (std::uint64_t from = begin; from < end; from += block) {
            if (!sized && table.size() >= sizeFrom) {
                sized = true;
                DistinctEstimate estimate;
                for (const auto& entry : table)
                    estimate.Add(Windows::EntryHash(entry), true);
                for (std::size_t rest = stretch; rest < stretches.size(); ++rest) {
                    for (std::uint64_t p = rest == stretch ? from : stretches[rest].first;
                         p < stretches[rest].second; ++p) {
                        const std::uint64_t hash = windows.Hash(p);
                        estimate.Add(static_cast<std::uint32_t>(hash), ShareOf(hash, shares) == thread);
                    }
                }
                table.reserve(static_cast<std::size_t>(estimate.Value() * 1.03)); // about twice its error
            }
            const std::uint64_t to = std::min(end, from + block);
            std::size_t count = 0;
            for (std::uint64_t p = from; p < to; ++p) {
                const std::uint64_t hash = windows.Hash(p);
                gathered[count] = {hash, p};
                count += ShareOf(hash, shares) == thread;
            }
            for (std::size_t i = 0; i < count; ++i) {
                if (i + prefetchAt < count)
                    windows.Prefetch(table, gathered[i + prefetchAt].position, gathered[i + prefetchAt].hash);
                windows.Count(table, gathered[i].position, gathered[i].hash);
            }
        }
    }
    work[thread].distinct += table.size();
}

// Each thread ranks the strings of its own tables.
void Counter::RankThread(unsigned thread)
{
    ThreadWork& mine = work[thread];
    TopList top(static_cast<std::size_t>(options.top + 1));
    const char* bytes = input.bytes.get();
    std::size_t packedIndex = 0;
    std::size_t longIndex = 0;
    for (const std::uint32_t length : options.lengths) {
        if (length <= 2)
            continue;
        const auto offer = [&](std::uint64_t hits, std::uint64_t first) {
            const std::uint64_t total = hits * length;
            if (!top.Rejects(total))
                top.Offer(
                    {total, hits, length, static_cast<unsigned char>(bytes[first]), first, bytes + first});
        };
        if (length <= 8) {
            for (const auto& [key, counts] : mine.packed[packedIndex++])
                offer(counts.hits, counts.first);
        } else {
            for (const LongEntry& entry : mine.longs[longIndex++])
                offer(entry.hits, entry.first);
        }
    }
    mine.best = top.Take();
}

// The strings of length 1 or 2 that can reach the results. The arrays keep no first positions, which only
// order strings of one length, total and first byte: they are looked up for the candidates alone (with
// every string tied with the last of them), in one pass that stops when all are found.
void Counter::RankShort(std::uint32_t length, TopList& top) const
{
    struct Slot {
        Candidate candidate;
        std::size_t slot;
    };
    std::vector<Slot> all;
    const std::size_t slots = length == 1 ? 256 : std::size_t{1} << 16;
    for (std::size_t slot = 0; slot < slots; ++slot) {
        const std::uint64_t hits = length == 1 ? work[0].ones[slot] : work[0].twos[slot];
        if (hits > 0) {
            const auto firstByte = static_cast<unsigned char>(slot >> (8 * (length - 1)));
            all.push_back({{hits * length, hits, length, firstByte, unknown, nullptr}, slot});
        }
    }
    std::sort(all.begin(), all.end(),
              [](const Slot& a, const Slot& b) { return Better(a.candidate, b.candidate); });
    std::size_t keep = std::min(all.size(), static_cast<std::size_t>(options.top + 1));
    while (keep > 0 && keep < all.size() && all[keep].candidate.total == all[keep - 1].candidate.total &&
           all[keep].candidate.firstByte == all[keep - 1].candidate.firstByte)
        ++keep;
    all.resize(keep);

    std::vector<Slot*> wanted(slots, nullptr);
    for (Slot& candidate : all)
        wanted[candidate.slot] = &candidate;
    const auto* bytes = reinterpret_cast<const unsigned char*>(input.bytes.get());
    std::size_t missing = all.size();
    for (const auto& [begin, end] : Stretches(length)) {
        for (std::uint64_t p = begin; p < end && missing > 0; ++p) {
            const std::size_t slot = length == 1 ? bytes[p] : std::size_t{bytes[p]} << 8 | bytes[p + 1];
            if (wanted[slot] != nullptr) {
                wanted[slot]->candidate.first = p;
                wanted[slot]->candidate.text = input.bytes.get() + p;
                wanted[slot] = nullptr;
                --missing;
            }
        }
    }
    for (const Slot& candidate : all)
        top.Offer(candidate.candidate);
}

// --- Input and options ---------------------------------------------------------------------------------

bool ReadFiles(const std::vector<std::string>& paths, Input& input)
{
    std::vector<std::uint64_t> sizes;
    for (const std::string& path : paths) {
        struct stat info {
        };
        if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            std::fprintf(stderr, "kestrin-sol: %s: %s\n", path.c_str(),
                         errno != 0 ? std::strerror(errno) : "not a regular file");
            return false;
        }
        sizes.push_back(static_cast<std::uint64_t>(info.st_size));
        input.size += sizes.back();
    }
    if (input.size >= (std::uint64_t{1} << 32)) {
        std::fputs("kestrin-sol: the files hold 4 GiB or more; positions are kept in 32 bits\n", stderr);
        return false;
    }
    input.bytes = kestrin::AllocateLargeBytes(input.size + padding);
    std::memset(input.bytes.get() + input.size, 0, padding);
    std::uint64_t at = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const int fd = open(paths[i].c_str(), O_RDONLY);
        std::uint64_t done = 0;
        while (fd >= 0 && done < sizes[i]) {
            const ssize_t got = read(fd, input.bytes.get() + at + done, sizes[i] - done);
            if (got <= 0)
                break;
            done += static_cast<std::uint64_t>(got);
        }
        const int error = errno;
        if (fd >= 0)
            close(fd);
        if (done != sizes[i]) {
            std::fprintf(stderr, "kestrin-sol: %s: %s\n", paths[i].c_str(),
                         fd < 0 || error != 0 ? std::strerror(error) : "the file shrank while read");
            return false;
        }
        input.files.emplace_back(at, at + sizes[i]);
        at += sizes[i];
    }
    return true;
}

// "1,2-8,16": single lengths and ranges, 1 to 32767.
bool ParseLengths(std::string_view text, std::vector<std::uint32_t>& lengths)
{
    lengths.clear();
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const std::size_t dash = item.find('-');
        std::int64_t low = 0;
        std::int64_t high = 0;
        if (!bench::ParseWhole<std::int64_t>(item.substr(0, dash), low, 1, 32767) ||
            !bench::ParseWhole<std::int64_t>(dash == std::string_view::npos ? item : item.substr(dash + 1),
                                             high, low, 32767))
            return false;
        for (std::int64_t length = low; length <= high; ++length)
            lengths.push_back(static_cast<std::uint32_t>(length));
    }
    std::sort(lengths.begin(), lengths.end());
    lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());
    return !lengths.empty();
}

int Usage(std::FILE* to)
{
    std::fputs("usage: kestrin-sol [-l LENGTHS] [-n TOP] [-t THREADS] [--] FILE...\n"
               "  Counts every string of the sample lengths that lies wholly inside a file and prints the\n"
               "  best TOP + 1 by length x hits, numbered from 0 as kestrin-cli does.\n"
               "  -l LENGTHS  e.g. 1, 2-8 or 1,3-5,16 (default 1)\n"
               "  -n TOP      results 0 to TOP (default 25)\n"
               "  -t THREADS  counting threads (default: one per core)\n",
               to);
    return to == stdout ? 0 : 2;
}

bool ParseOptions(int argc, char** argv, Options& options, bool& help)
{
    const bench::Option known[] = {
        {"-l", {}, [&](std::string_view value) { return ParseLengths(value, options.lengths); }},
        {"-n",
         {},
         [&](std::string_view value) {
             return bench::ParseWhole<std::int64_t>(value, options.top, 0, 1'000'000);
         }},
        {"-t",
         {},
         [&](std::string_view value) { return bench::ParseWhole(value, options.threads, 1u, 256u); }},
    };
    const bench::ParsedOptions parsed = bench::ParseOptions(argc, argv, known, bench::Operands::EndOptions);
    help = parsed.help;
    options.files.assign(parsed.operands.begin(), parsed.operands.end());
    return help || (parsed.good && !options.files.empty());
}

int Main(int argc, char** argv)
{
    Options options;
    bool help = false;
    if (!ParseOptions(argc, argv, options, help))
        return Usage(stderr);
    if (help)
        return Usage(stdout);
    Input input;
    if (!ReadFiles(options.files, input))
        return 3;

    Counter counter(input, options);
    std::uint64_t distinct = 0;
    const std::vector<Candidate> results = counter.Run(distinct);

    std::string out = "Total characters: " + std::to_string(input.size) + "\r\n";
    out += "Number of different strings: " + std::to_string(distinct) + "    Sample lengths requested:";
    for (const std::uint32_t length : options.lengths)
        out += std::to_string(length) + " ";
    out += "\r\n\r\n";
    static constexpr char digits[] = "0123456789ABCDEF";
    for (std::size_t rank = 0; rank < results.size(); ++rank) {
        const Candidate& result = results[rank];
        out += std::to_string(rank) + ": total space = " + std::to_string(result.total) +
               "; hits = " + std::to_string(result.hits) + "; hex = ";
        for (std::uint32_t i = 0; i < result.length; ++i) {
            const auto byte = static_cast<unsigned char>(result.text[i]);
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        }
        out += "; len = " + std::to_string(result.length) + "\r\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 3;
}

} // namespace
} // namespace kestrin

int main(int argc, char** argv)
{
    return kestrin::Main(argc, argv);
}
