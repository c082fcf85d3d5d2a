// SPDX-License-Identifier: MIT
// kestrin-gen: writes script-like text for a translated game, of an exact size and with the same bytes for
// the same seed on every machine, as input for the timing runs.
//
// The text imitates what Kestrin is pointed at: dialogue lines "NAME: ..." over a vocabulary of invented
// words whose frequencies fall off like natural language (Zipf), punctuation, control codes such as
// <$FE>, <$01>, [WAIT] and [END], some Latin-1 accented letters, "//" translator comments on about one
// line in ten, and CR LF line ends.
//
// Everything random comes from one splitmix64 stream and integer arithmetic only: std:: distributions
// and floating-point pow() may give other numbers with another library, and then the corpora (and the
// figures measured on them) would no longer be comparable between machines.

#include "bench_options.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_set>
#include <vector>

namespace kestrin {
namespace {

class SplitMix64
{
public:
    explicit SplitMix64(std::uint64_t seed) : state(seed) {}

    std::uint64_t Next()
    {
        state += 0x9E3779B97F4A7C15u;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }

    // Uniform in [0, bound) for bound > 0. The modulo bias is below 2^-40 for the bounds used here.
    std::uint64_t Below(std::uint64_t bound) { return Next() % bound; }
    std::size_t Index(std::size_t count) { return static_cast<std::size_t>(Below(count)); }
    bool Percent(unsigned percent) { return Below(100) < percent; }

    template <typename T, std::size_t n> const T& Pick(const std::array<T, n>& items)
    {
        return items[Index(n)];
    }

private:
    std::uint64_t state;
};

// Picks ranks 0..count-1 with weight proportional to 1 / (rank + offset), in integers.
class ZipfTable
{
public:
    ZipfTable(std::size_t count, std::uint64_t offset)
    {
        constexpr std::uint64_t scale = 1'000'000'000'000u;
        cumulative.reserve(count);
        std::uint64_t total = 0;
        for (std::size_t rank = 0; rank < count; ++rank) {
            total += scale / (rank + offset);
            cumulative.push_back(total);
        }
    }

    std::size_t Pick(SplitMix64& rng) const
    {
        const std::uint64_t value = rng.Below(cumulative.back());
        return static_cast<std::size_t>(std::upper_bound(cumulative.begin(), cumulative.end(), value) -
                                        cumulative.begin());
    }

private:
    std::vector<std::uint64_t> cumulative;
};

constexpr std::array<std::string_view, 30> onsets = {"",  "",   "",   "b",  "br", "c",  "ch", "d", "dr", "f",
                                                     "g", "gr", "h",  "k",  "kr", "l",  "m",  "n", "p",  "pr",
                                                     "r", "s",  "sh", "st", "t",  "th", "tr", "v", "w",  "z"};
constexpr std::array<std::string_view, 12> nuclei = {"a", "e", "i",  "o",  "u",  "a",
                                                     "e", "o", "ae", "ia", "ou", "y"};
constexpr std::array<std::string_view, 14> codas = {"",   "",  "",  "",  "n",  "r",  "s",
                                                    "th", "l", "m", "k", "nd", "st", "x"};

// Latin-1 accented forms of each plain vowel (a, e, i, o, u), plus c-cedilla and n-tilde for variety.
std::string_view AccentsFor(char vowel)
{
    switch (vowel) {
    case 'a':
        return "\xE0\xE1\xE2\xE3\xE4\xE5";
    case 'e':
        return "\xE8\xE9\xEA\xEB";
    case 'i':
        return "\xEC\xED\xEE\xEF";
    case 'o':
        return "\xF2\xF3\xF4\xF5\xF6";
    case 'u':
        return "\xF9\xFA\xFB\xFC";
    case 'c':
        return "\xE7";
    case 'n':
        return "\xF1";
    default:
        return {};
    }
}

std::string MakeWord(SplitMix64& rng, std::size_t syllables)
{
    std::string word;
    for (std::size_t i = 0; i < syllables; ++i) {
        word += rng.Pick(onsets);
        word += rng.Pick(nuclei);
        if (i + 1 == syllables || rng.Percent(25))
            word += rng.Pick(codas);
    }
    // About one word in fifteen carries an accented letter, as in the names and loanwords of a script.
    if (rng.Percent(7)) {
        std::vector<std::size_t> candidates;
        for (std::size_t i = 0; i < word.size(); ++i)
            if (!AccentsFor(word[i]).empty())
                candidates.push_back(i);
        if (!candidates.empty()) {
            const std::size_t at = candidates[rng.Index(candidates.size())];
            const std::string_view accents = AccentsFor(word[at]);
            word[at] = accents[rng.Index(accents.size())];
        }
    }
    return word;
}

// Frequent words are short, as in any language: the first ranks get one syllable.
std::vector<std::string> MakeVocabulary(SplitMix64& rng, std::size_t count)
{
    std::vector<std::string> words;
    std::unordered_set<std::string> seen;
    words.reserve(count);
    while (words.size() < count) {
        const std::size_t rank = words.size();
        const std::size_t syllables = rank < 60 ? 1 : rank < 600 ? 1 + rng.Index(2) : 2 + rng.Index(2);
        std::string word = MakeWord(rng, syllables);
        if (word.size() >= 2 && seen.insert(word).second)
            words.push_back(std::move(word));
    }
    return words;
}

std::vector<std::string> MakeSpeakers(SplitMix64& rng)
{
    std::vector<std::string> names = {"ALICE", "BORIN", "NARRATOR", "KESS", "OLD MAN", "GUARD", "???"};
    while (names.size() < 28) {
        std::string name = MakeWord(rng, 2 + rng.Index(2));
        for (char& c : name)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
            else if (static_cast<unsigned char>(c) >= 0xE0 && static_cast<unsigned char>(c) != 0xF7)
                c = static_cast<char>(static_cast<unsigned char>(c) - 0x20); // Latin-1 upper case
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(std::move(name));
    }
    return names;
}

// Collects the text and passes on exactly `size` bytes, in large writes.
class SizedWriter
{
public:
    SizedWriter(std::FILE* out, std::uint64_t size) : file(out), remaining(size) { buffer.reserve(chunk); }

    bool Full() const { return remaining == 0 || failed; }
    bool Failed() const { return failed; }

    void Append(std::string_view text)
    {
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(text.size(), remaining));
        buffer.append(text.substr(0, take));
        remaining -= take;
        if (buffer.size() >= chunk || remaining == 0)
            Flush();
    }

    void Flush()
    {
        if (!buffer.empty() && std::fwrite(buffer.data(), 1, buffer.size(), file) != buffer.size())
            failed = true;
        buffer.clear();
    }

private:
    static constexpr std::size_t chunk = 1 << 20;
    std::FILE* file;
    std::uint64_t remaining;
    std::string buffer;
    bool failed = false;
};

class ScriptGenerator
{
public:
    explicit ScriptGenerator(std::uint64_t seed)
        : rng(seed), vocabulary(MakeVocabulary(rng, vocabularySize)), speakers(MakeSpeakers(rng)),
          wordRanks(vocabularySize, 3), speakerRanks(speakers.size(), 2)
    {
    }

    void Write(SizedWriter& out)
    {
        while (!out.Full()) {
            line.clear();
            NextBlock();
            out.Append(line);
        }
        out.Flush();
    }

private:
    static constexpr std::size_t vocabularySize = 4000;

    void NextBlock()
    {
        if (rng.Percent(1))
            SceneHeader();
        // One line in ten is a comment: notes of the translator or the original text kept for reference.
        const std::size_t lines = 1 + rng.Index(3);
        for (std::size_t i = 0; i < lines; ++i) {
            if (rng.Percent(11))
                CommentLine();
            else
                MessageLine(i + 1 == lines);
        }
        if (rng.Percent(30))
            line += "\r\n";
    }

    void SceneHeader()
    {
        char number[32];
        std::snprintf(number, sizeof number, "[SCENE %04u]\r\n", static_cast<unsigned>(rng.Below(10000)));
        line += number;
    }

    void CommentLine()
    {
        switch (rng.Below(6)) {
        case 0:
            line += "//------------------------------------------------";
            break;
        case 1: {
            char offset[32];
            std::snprintf(offset, sizeof offset, "// 0x%05X: ", static_cast<unsigned>(rng.Below(0x100000)));
            line += offset;
            Sentence();
            break;
        }
        case 2:
            line += "// TODO: ";
            Sentence();
            break;
        default:
            line += "// ";
            Sentence();
            if (rng.Percent(40)) {
                line += ' ';
                Sentence();
            }
        }
        line += "\r\n";
    }

    void MessageLine(bool lastOfMessage)
    {
        // Most lines have a speaker; the rest are narration.
        if (rng.Percent(82)) {
            line += speakers[speakerRanks.Pick(rng)];
            line += ": ";
        }
        if (rng.Percent(12))
            ControlCode();
        const std::size_t sentences = 1 + rng.Index(3);
        for (std::size_t i = 0; i < sentences; ++i) {
            if (i > 0)
                line += rng.Percent(20) ? "<$FE>" : " ";
            Sentence();
        }
        if (lastOfMessage)
            line += rng.Percent(75) ? "[END]" : "[WAIT][END]";
        else
            line += rng.Percent(50) ? "[WAIT]" : "<$FE>";
        line += "\r\n";
    }

    void ControlCode()
    {
        static constexpr std::array<std::string_view, 8> codes = {"<$01>", "<$02>", "<$03>", "<$04>",
                                                                  "<$05>", "<$0A>", "<$FD>", "<$FF>"};
        line += rng.Pick(codes);
    }

    void Sentence()
    {
        const std::size_t words = 2 + rng.Index(7) + rng.Index(7);
        for (std::size_t i = 0; i < words; ++i) {
            if (i > 0)
                line += ' ';
            Word(i == 0);
            if (i + 1 < words && rng.Percent(8))
                line += ',';
        }
        static constexpr std::array<std::string_view, 20> endings = {".", ".", ".", ".", ".",   ".", ".",
                                                                     ".", ".", ".", ".", "!",   "!", "!",
                                                                     "?", "?", "?", "?", "...", "?!"};
        line += rng.Pick(endings);
    }

    void Word(bool capital)
    {
        const unsigned kind = static_cast<unsigned>(rng.Below(1000));
        if (kind < 12) { // a number: prices, counts, years
            line += std::to_string(rng.Below(kind < 6 ? 100 : 10000));
            return;
        }
        if (kind < 30) { // a name inside the text
            std::string_view name = speakers[speakerRanks.Pick(rng)];
            if (name != "???") {
                line += name.substr(0, 1);
                for (char c : name.substr(1)) {
                    const auto byte = static_cast<unsigned char>(c);
                    const bool upper =
                        (c >= 'A' && c <= 'Z') || (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7);
                    line += upper ? static_cast<char>(byte + 0x20) : c; // ASCII and Latin-1 alike
                }
                return;
            }
        }
        if (kind < 40) { // a word shown in a colour: colour code, word, reset code
            ControlCode();
            line += vocabulary[wordRanks.Pick(rng)];
            line += "<$00>";
            return;
        }
        const std::size_t start = line.size();
        line += vocabulary[wordRanks.Pick(rng)];
        if (capital && line[start] >= 'a' && line[start] <= 'z')
            line[start] = static_cast<char>(line[start] - 'a' + 'A');
    }

    SplitMix64 rng;
    std::vector<std::string> vocabulary;
    std::vector<std::string> speakers;
    ZipfTable wordRanks;
    ZipfTable speakerRanks;
    std::string line;
};

// Accepts a byte count with an optional binary suffix: 4096, 256K, 16M, 1G (also KiB, MiB, GiB).
bool ParseSize(std::string_view text, std::uint64_t& size)
{
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data())
        return false;
    const std::string_view suffix(end, static_cast<std::size_t>(text.data() + text.size() - end));
    unsigned shift = 0;
    if (suffix == "K" || suffix == "KiB" || suffix == "k")
        shift = 10;
    else if (suffix == "M" || suffix == "MiB")
        shift = 20;
    else if (suffix == "G" || suffix == "GiB")
        shift = 30;
    else if (!suffix.empty())
        return false;
    if (value > (std::uint64_t{1} << 40) >> shift) // 1 TiB is plenty for a benchmark corpus
        return false;
    size = value << shift;
    return true;
}

bool ParseSeed(std::string_view text, std::uint64_t& seed)
{
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seed, base);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

int Usage(std::FILE* to)
{
    std::fputs("usage: kestrin-gen [-o FILE] SIZE SEED\n"
               "  Writes SIZE bytes (suffix K, M or G for KiB, MiB, GiB) of generated game script to\n"
               "  standard output or FILE. The same SIZE and SEED give the same bytes on every machine.\n",
               to);
    return to == stdout ? 0 : 2;
}

int Main(int argc, char** argv)
{
    std::string outputPath;
    const bench::Option known[] = {{"-o", {}, [&](std::string_view value) {
                                        outputPath = value;
                                        return true;
                                    }}};
    const bench::ParsedOptions parsed = bench::ParseOptions(argc, argv, known, bench::Operands::AmongOptions);
    if (parsed.help)
        return Usage(stdout);
    if (!parsed.good)
        return Usage(stderr);
    const std::vector<std::string_view> positional(parsed.operands.begin(), parsed.operands.end());
    std::uint64_t size = 0;
    std::uint64_t seed = 0;
    if (positional.size() != 2 || !ParseSize(positional[0], size) || !ParseSeed(positional[1], seed))
        return Usage(stderr);

    // A file is written under a temporary name and renamed when complete, so an interrupted run never
    // leaves a short corpus that a later benchmark would take for a whole one.
    const std::filesystem::path finalPath = outputPath;
    const std::filesystem::path temporaryPath = outputPath + ".tmp";
    std::FILE* out = stdout;
    if (!outputPath.empty()) {
        out = std::fopen(temporaryPath.c_str(), "wb");
        if (out == nullptr) {
            std::fprintf(stderr, "kestrin-gen: cannot write %s: %s\n", temporaryPath.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }

    SizedWriter writer(out, size);
    ScriptGenerator(seed).Write(writer);
    bool ok = !writer.Failed() && std::fflush(out) == 0;
    if (out != stdout) {
        ok = std::fclose(out) == 0 && ok;
        std::error_code error;
        if (ok)
            std::filesystem::rename(temporaryPath, finalPath, error);
        if (!ok || error) {
            std::fprintf(stderr, "kestrin-gen: cannot write %s: %s\n", finalPath.c_str(),
                         error ? error.message().c_str() : std::strerror(errno));
            std::filesystem::remove(temporaryPath, error);
            return 1;
        }
    } else if (!ok) {
        std::fprintf(stderr, "kestrin-gen: write error: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

} // namespace
} // namespace kestrin

int main(int argc, char** argv)
{
    return kestrin::Main(argc, argv);
}
