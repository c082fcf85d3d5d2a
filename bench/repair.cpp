// SPDX-License-Identifier: MIT
// kestrin-repair: a quality yardstick for a dictionary encoding. Re-Pair replaces the most frequent pair of
// adjacent symbols (counted without overlaps) by a new code, again and again, so that codes come to stand
// for pairs of codes; the K codes' full expansions can then serve as plain table entries. A second mode
// encodes the text with a given list of plain entries: the smallest encoding (a shortest path over the
// positions) and the greedy longest-match encoding, so that the three encodings can be compared.
//
// Line ends (CR and LF) are control codes in game scripts, so they never join a pair, and no pair spans
// two files. Re-Pair runs in time about linear in the text: each pair keeps the list of positions where
// it was made (checked again when used, as later codes destroy some), its count is kept up to date as
// neighbours change, and a heap with lazy updates finds the most frequent one.

#include "bench_options.h"

#include <queue>

#include <absl/container/flat_hash_map.h>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {
namespace {

using Symbol = std::uint32_t;
constexpr Symbol fileEnd = 0xFFFFFFFF; // between two files; not text
constexpr Symbol merged = 0xFFFFFFFE;  // a position taken into the code at the position before it
constexpr std::uint32_t none = 0xFFFFFFFF;
constexpr Symbol firstCode = 256;

bool Pairable(Symbol symbol)
{
    return symbol != '\r' && symbol != '\n' && symbol < merged;
}

std::uint64_t KeyOf(Symbol left, Symbol right)
{
    return std::uint64_t{left} << 32 | right;
}

struct Options {
    std::int64_t codes = 256;
    std::int64_t codeSize = 1;
    std::string expansionsPath;
    std::string entriesPath; // --parse-with: plain entries in the escaped form
    std::string tablePath;   // --parse-table: plain entries from a table file (HEX=text)
    std::vector<std::string> files;
};

struct Text {
    std::string bytes;
    std::vector<std::pair<std::size_t, std::size_t>> files; // [begin, end) of each file
};

class RePair
{
public:
    explicit RePair(const Text& text);

    // Makes up to `codes` codes, fewer when no pair is left that occurs twice. Returns how many.
    std::int64_t Run(std::int64_t codes);

    // The size of the text as it stands: a byte for each byte, codeSize for each code.
    [[nodiscard]] std::int64_t EncodedSize(std::int64_t codeSize) const;
    [[nodiscard]] std::vector<std::string> Expansions() const;

private:
    struct PairInfo {
        std::int64_t count = 0;            // for a pair of two equal symbols, overlapping ones included
        std::vector<std::uint32_t> places; // ascending; some may have been destroyed since
        std::int64_t exact = 0;            // two equal symbols: the count without overlaps,
        std::int64_t exactWhenCount = -1;  // worked out when `count` was this
    };
    struct HeapEntry {
        std::int64_t count;
        std::uint64_t key;
        bool operator<(const HeapEntry& other) const // the top is the highest count, then the lowest key
        {
            return count != other.count ? count < other.count : key > other.key;
        }
    };

    [[nodiscard]] std::int64_t Priority(std::uint64_t key, const PairInfo& info) const;
    [[nodiscard]] std::int64_t CountWithoutOverlaps(Symbol symbol, const PairInfo& info) const;
    [[nodiscard]] bool PopBest(std::uint64_t& key);
    void Replace(std::uint64_t key);
    void Lose(Symbol left, Symbol right, std::uint64_t chosen, Symbol code);
    void Gain(Symbol left, Symbol right, std::uint32_t place, std::vector<std::uint64_t>& created);

    std::vector<Symbol> symbols;
    std::vector<std::uint32_t> next; // the next live position, or `none`
    std::vector<std::uint32_t> prev;
    absl::flat_hash_map<std::uint64_t, PairInfo> pairs;
    std::priority_queue<HeapEntry> heap;
    std::vector<std::pair<Symbol, Symbol>> rules; // code firstCode + i stands for rules[i]
};

RePair::RePair(const Text& text)
{
    for (const auto& [begin, end] : text.files) {
        if (!symbols.empty())
            symbols.push_back(fileEnd);
        for (std::size_t i = begin; i < end; ++i)
            symbols.push_back(static_cast<unsigned char>(text.bytes[i]));
    }
    const auto size = static_cast<std::uint32_t>(symbols.size());
    next.resize(size);
    prev.resize(size);
    for (std::uint32_t i = 0; i < size; ++i) {
        next[i] = i + 1 < size ? i + 1 : none;
        prev[i] = i > 0 ? i - 1 : none;
    }
    for (std::uint32_t i = 0; i + 1 < size; ++i) {
        if (Pairable(symbols[i]) && Pairable(symbols[i + 1])) {
            PairInfo& info = pairs[KeyOf(symbols[i], symbols[i + 1])];
            ++info.count;
            info.places.push_back(i);
        }
    }
    for (auto it = pairs.begin(); it != pairs.end();) {
        if (it->second.count < 2) {
            pairs.erase(it++);
        } else {
            heap.push({it->second.count, it->first});
            ++it;
        }
    }
}

std::int64_t RePair::Run(std::int64_t codes)
{
    std::uint64_t key = 0;
    while (static_cast<std::int64_t>(rules.size()) < codes && PopBest(key))
        Replace(key);
    return static_cast<std::int64_t>(rules.size());
}

std::int64_t RePair::Priority(std::uint64_t key, const PairInfo& info) const
{
    const bool same = (key >> 32) == (key & 0xFFFFFFFF);
    return same && info.exactWhenCount == info.count ? info.exact : info.count;
}

// Replacing from the left, as Replace() does: in a run of n equal symbols, n / 2 pairs.
std::int64_t RePair::CountWithoutOverlaps(Symbol symbol, const PairInfo& info) const
{
    std::int64_t count = 0;
    std::uint32_t taken = none;
    for (const std::uint32_t place : info.places) {
        const std::uint32_t right = next[place];
        if (place != taken && symbols[place] == symbol && right != none && symbols[right] == symbol) {
            ++count;
            taken = right;
        }
    }
    return count;
}

// Counts only ever fall after a pair's first round, so a heap entry above the pair's count is stale: it
// goes back in with the count. A pair of equal symbols is counted without overlaps before it is taken.
bool RePair::PopBest(std::uint64_t& key)
{
    while (!heap.empty()) {
        const HeapEntry top = heap.top();
        heap.pop();
        const auto it = pairs.find(top.key);
        if (it == pairs.end())
            continue;
        PairInfo& info = it->second;
        std::int64_t now = Priority(top.key, info);
        if (now == top.count && (top.key >> 32) == (top.key & 0xFFFFFFFF) &&
            info.exactWhenCount != info.count) {
            info.exact = CountWithoutOverlaps(static_cast<Symbol>(top.key), info);
            info.exactWhenCount = info.count;
            now = info.exact;
        }
        if (now == top.count) {
            key = top.key;
            return true;
        }
        if (now >= 2)
            heap.push({now, top.key});
    }
    return false;
}

void RePair::Replace(std::uint64_t key)
{
    const auto left = static_cast<Symbol>(key >> 32);
    const auto right = static_cast<Symbol>(key & 0xFFFFFFFF);
    const auto chosen = pairs.find(key);
    const std::vector<std::uint32_t> places = std::move(chosen->second.places);
    pairs.erase(chosen);
    const Symbol code = firstCode + static_cast<Symbol>(rules.size());
    rules.emplace_back(left, right);

    std::vector<std::uint64_t> created;
    for (const std::uint32_t place : places) {
        // The pair may have been destroyed by an earlier code or by the previous place (overlap).
        const std::uint32_t second = next[place];
        if (symbols[place] != left || second == none || symbols[second] != right)
            continue;
        const std::uint32_t before = prev[place];
        const std::uint32_t after = next[second];
        const bool hasBefore = before != none && Pairable(symbols[before]);
        const bool hasAfter = after != none && Pairable(symbols[after]);
        if (hasBefore)
            Lose(symbols[before], left, key, code);
        if (hasAfter)
            Lose(right, symbols[after], key, code);
        symbols[place] = code;
        symbols[second] = merged;
        next[place] = after;
        if (after != none)
            prev[after] = place;
        if (hasBefore)
            Gain(symbols[before], code, before, created);
        if (hasAfter)
            Gain(code, symbols[after], place, created);
    }
    for (const std::uint64_t made : created) {
        const auto it = pairs.find(made);
        if (it == pairs.end())
            continue;
        if (it->second.count < 2)
            pairs.erase(it); // it can only fall from here on
        else
            heap.push({it->second.count, made});
    }
}

// A pair destroyed at one place. Pairs made before this round never gain again, so below two they go.
void RePair::Lose(Symbol left, Symbol right, std::uint64_t chosen, Symbol code)
{
    const std::uint64_t key = KeyOf(left, right);
    if (key == chosen)
        return;
    const auto it = pairs.find(key);
    if (it == pairs.end())
        return;
    if (--it->second.count < 2 && left != code && right != code)
        pairs.erase(it);
}

void RePair::Gain(Symbol left, Symbol right, std::uint32_t place, std::vector<std::uint64_t>& created)
{
    const std::uint64_t key = KeyOf(left, right);
    PairInfo& info = pairs[key];
    if (info.count++ == 0)
        created.push_back(key);
    info.places.push_back(place);
}

std::int64_t RePair::EncodedSize(std::int64_t codeSize) const
{
    std::int64_t size = 0;
    for (const Symbol symbol : symbols)
        if (symbol < firstCode)
            ++size;
        else if (symbol < merged)
            size += codeSize;
    return size;
}

std::vector<std::string> RePair::Expansions() const
{
    std::vector<std::string> expansions;
    expansions.reserve(rules.size());
    // Codes only ever refer to earlier codes.
    const auto append = [&](std::string& to, Symbol symbol) {
        if (symbol < firstCode)
            to += static_cast<char>(symbol);
        else
            to += expansions[symbol - firstCode];
    };
    for (const auto& [left, right] : rules) {
        std::string expansion;
        append(expansion, left);
        append(expansion, right);
        expansions.push_back(std::move(expansion));
    }
    return expansions;
}

// --- Plain entries -------------------------------------------------------------------------------------

// The entries as a trie: node 0 is the root; `ends` marks a node where an entry ends.
class EntryTrie
{
public:
    explicit EntryTrie(const std::vector<std::string>& entries)
    {
        children.assign(256, 0);
        ends.push_back(false);
        for (const std::string& entry : entries) {
            std::size_t node = 0;
            for (const char c : entry) {
                const std::size_t slot = node * 256 + static_cast<unsigned char>(c);
                if (children[slot] == 0) {
                    children[slot] = static_cast<std::uint32_t>(ends.size());
                    ends.push_back(false);
                    children.resize(children.size() + 256, 0);
                }
                node = children[slot];
            }
            ends[node] = !entry.empty();
        }
    }

    // Calls match(length) for each entry that starts at `at`, shortest first, not reading past `end`.
    template <typename Match>
    void ForEachMatch(const std::string& text, std::size_t at, std::size_t end, Match&& match) const
    {
        std::size_t node = 0;
        for (std::size_t i = at; i < end; ++i) {
            node = children[node * 256 + static_cast<unsigned char>(text[i])];
            if (node == 0)
                return;
            if (ends[node])
                match(i + 1 - at);
        }
    }

private:
    std::vector<std::uint32_t> children;
    std::vector<bool> ends;
};

struct ParseSizes {
    std::int64_t best = 0;
    std::int64_t greedy = 0;
};

// Entries hold no line end, so no match crosses one; the walk stops at the end of each file.
ParseSizes Parse(const Text& text, const std::vector<std::string>& entries, std::int64_t codeSize)
{
    const EntryTrie trie(entries);
    ParseSizes sizes;
    std::vector<std::int64_t> cost;
    for (const auto& file : text.files) {
        const std::size_t begin = file.first; // plain names: lambdas cannot capture bindings in clang 14
        const std::size_t end = file.second;
        // Best: cost[i] is the smallest encoding of the file from position begin + i on.
        cost.assign(end - begin + 1, 0);
        for (std::size_t i = end; i-- > begin;) {
            std::int64_t best = 1 + cost[i + 1 - begin];
            trie.ForEachMatch(text.bytes, i, end, [&](std::size_t length) {
                best = std::min(best, codeSize + cost[i + length - begin]);
            });
            cost[i - begin] = best;
        }
        sizes.best += cost[0];
        // Greedy: the longest entry, when it is longer than a code.
        for (std::size_t i = begin; i < end;) {
            std::size_t longest = 0;
            trie.ForEachMatch(text.bytes, i, end, [&](std::size_t length) { longest = length; });
            if (static_cast<std::int64_t>(longest) > codeSize) {
                sizes.greedy += codeSize;
                i += longest;
            } else {
                sizes.greedy += 1;
                ++i;
            }
        }
    }
    return sizes;
}

// The escaped form of an entry, one a line: "\\" for a backslash, "\xHH" for a byte below 0x20 and for
// 0x7F; every other byte as it is (so UTF-8 text stays readable).
std::string Escape(std::string_view entry)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : entry) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The reverse of Escape(); a malformed escape is kept as it stands.
std::string Unescape(std::string_view line)
{
    std::string out;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (line[i] == '\\' && i + 3 < line.size() && line[i + 1] == 'x' &&
                   HexValue(line[i + 2]) >= 0 && HexValue(line[i + 3]) >= 0) {
            out += static_cast<char>(HexValue(line[i + 2]) * 16 + HexValue(line[i + 3]));
            i += 3;
        } else {
            out += line[i];
        }
    }
    return out;
}

bool ReadWhole(const std::string& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad() || !in.is_open()) {
        std::fprintf(stderr, "kestrin-repair: %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

// One entry a line, LF or CR LF. From a table file only the text after the first "=" of lines that start
// with a hex digit. Empty entries and entries holding a line end are left out: they cannot be used.
bool ReadEntries(const std::string& path, bool table, std::vector<std::string>& entries)
{
    std::string bytes;
    if (!ReadWhole(path, bytes))
        return false;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string_view line(bytes.data() + start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        std::string entry;
        if (table) {
            const std::size_t equals = line.find('=');
            if (line.empty() || HexValue(line[0]) < 0 || equals == std::string_view::npos)
                continue;
            entry = std::string(line.substr(equals + 1));
        } else {
            entry = Unescape(line);
        }
        if (!entry.empty() && entry.find_first_of("\r\n") == std::string::npos)
            entries.push_back(std::move(entry));
    }
    return true;
}

// --- Command line --------------------------------------------------------------------------------------

int Usage(std::FILE* to)
{
    std::fputs(
        "usage: kestrin-repair [-k CODES] [-c CODE_SIZE] [-o EXPANSIONS] FILE...\n"
        "       kestrin-repair (--parse-with ENTRIES | --parse-table TABLE) [-c CODE_SIZE] FILE...\n"
        "  Re-Pair: makes CODES codes (default 256), each for the most frequent pair of adjacent symbols\n"
        "  (never CR or LF, never across files), and reports the encoded size (a byte for each byte,\n"
        "  CODE_SIZE bytes for each code, default 1), the bytes saved and the dictionary cost; then the\n"
        "  sizes with the codes' expansions as plain entries. -o writes the expansions, one a line:\n"
        "  \\\\ for a backslash, \\xHH for a byte below 0x20 or 0x7F, other bytes as they are.\n"
        "  --parse-with: the best and the greedy longest-match encoding with the entries of a file in\n"
        "  that form; --parse-table: with the texts of a table file (HEX=text).\n",
        to);
    return to == stdout ? 0 : 2;
}

bool ParseOptions(int argc, char** argv, Options& options, bool& help)
{
    const auto path = [](std::string& to) {
        return [&to](std::string_view value) {
            to = value;
            return true;
        };
    };
    const bench::Option known[] = {
        {"-k",
         {},
         [&](std::string_view value) {
             return bench::ParseWhole<std::int64_t>(value, options.codes, 0, 1 << 24);
         }},
        {"-c",
         {},
         [&](std::string_view value) {
             return bench::ParseWhole<std::int64_t>(value, options.codeSize, 1, 8);
         }},
        {"-o", {}, path(options.expansionsPath)},
        {"--parse-with", {}, path(options.entriesPath)},
        {"--parse-table", {}, path(options.tablePath)},
    };
    const bench::ParsedOptions parsed = bench::ParseOptions(argc, argv, known, bench::Operands::EndOptions);
    help = parsed.help;
    options.files.assign(parsed.operands.begin(), parsed.operands.end());
    return help || (parsed.good && !options.files.empty() &&
                    (options.entriesPath.empty() || options.tablePath.empty()));
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void PrintParse(const char* what, std::int64_t size, std::int64_t textSize)
{
    std::printf("%s: %lld bytes (saved %lld, %.2f%%)\n", what, static_cast<long long>(size),
                static_cast<long long>(textSize - size),
                textSize > 0 ? 100.0 * static_cast<double>(textSize - size) / static_cast<double>(textSize)
                             : 0.0);
}

int Main(int argc, char** argv)
{
    Options options;
    bool help = false;
    if (!ParseOptions(argc, argv, options, help))
        return Usage(stderr);
    if (help)
        return Usage(stdout);
    Text text;
    for (const std::string& path : options.files) {
        std::string bytes;
        if (!ReadWhole(path, bytes))
            return 3;
        text.files.emplace_back(text.bytes.size(), text.bytes.size() + bytes.size());
        text.bytes += bytes;
    }
    if (text.bytes.size() + text.files.size() >= none) {
        std::fputs("kestrin-repair: the files hold 4 GiB or more; positions are kept in 32 bits\n", stderr);
        return 3;
    }
    const auto textSize = static_cast<std::int64_t>(text.bytes.size());
    std::printf("Text size: %lld bytes in %zu file(s); code size %lld\n", static_cast<long long>(textSize),
                text.files.size(), static_cast<long long>(options.codeSize));

    std::vector<std::string> entries;
    if (!options.entriesPath.empty() || !options.tablePath.empty()) {
        const bool table = !options.tablePath.empty();
        if (!ReadEntries(table ? options.tablePath : options.entriesPath, table, entries))
            return 3;
        std::size_t cost = 0;
        for (const std::string& entry : entries)
            cost += entry.size();
        std::printf("Plain entries: %zu, dictionary cost %zu bytes\n", entries.size(), cost);
    } else {
        const auto start = std::chrono::steady_clock::now();
        RePair repair(text);
        const std::int64_t made = repair.Run(options.codes);
        const std::int64_t encoded = repair.EncodedSize(options.codeSize);
        const double seconds = SecondsSince(start);
        entries = repair.Expansions();
        std::size_t cost = 0;
        std::size_t longest = 0;
        for (const std::string& entry : entries) {
            cost += entry.size();
            longest = std::max(longest, entry.size());
        }
        std::printf("Codes made: %lld of %lld asked\n", static_cast<long long>(made),
                    static_cast<long long>(options.codes));
        PrintParse("Re-Pair encoding", encoded, textSize);
        std::printf("Dictionary cost: %zu bytes (sum of the expansions' lengths), longest expansion %zu\n",
                    cost, longest);
        std::printf("Re-Pair time: %.2f s\n", seconds);
        if (!options.expansionsPath.empty()) {
            std::ofstream out(options.expansionsPath, std::ios::binary | std::ios::trunc);
            for (const std::string& entry : entries)
                out << Escape(entry) << '\n';
            if (!out.flush()) {
                std::fprintf(stderr, "kestrin-repair: %s: %s\n", options.expansionsPath.c_str(),
                             std::strerror(errno));
                return 3;
            }
        }
    }
    const auto start = std::chrono::steady_clock::now();
    const ParseSizes sizes = Parse(text, entries, options.codeSize);
    PrintParse("As plain entries, best parse", sizes.best, textSize);
    PrintParse("As plain entries, greedy longest match", sizes.greedy, textSize);
    std::printf("Parse time: %.2f s\n", SecondsSince(start));
    return std::fflush(stdout) == 0 ? 0 : 3;
}

} // namespace
} // namespace kestrin

int main(int argc, char** argv)
{
    return kestrin::Main(argc, argv);
}
