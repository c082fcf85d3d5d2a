// SPDX-License-Identifier: MIT
// Micro-benchmarks of the text code (engine/src/text/) on real UTF-8 corpora (bench/make_corpus.sh --lang
// ja or ru): validation, the character map of the UTF-8 characters, and encoding through a game table
// made from the corpus's own characters (the most frequent on one byte, the rest on two, its 50 commonest
// pairs as multi-character entries), its best parse, and decoding back. Usage: kestrin-text-bench [flags]
// CORPUS...

#include "text/game_encoder.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>

namespace kestrin {
namespace {

std::string ReadWhole(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A Thingy table for the text: its characters by falling frequency, the first 200 on one-byte codes
// 20-E7, the others on two-byte codes from 8000; then its 50 most frequent two-character pairs (as a
// translator's ligatures or words would be) on codes from F000.
std::string TableFor(std::string_view text)
{
    std::map<std::string, std::int64_t> characters;
    std::map<std::string, std::int64_t> pairs;
    std::string_view previous;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t bytes = CharacterBytes(text, at, TextEncoding::Utf8);
        const std::string_view character = text.substr(at, bytes);
        if (character != "\r" && character != "\n") {
            ++characters[std::string(character)];
            if (!previous.empty()) {
                ++pairs[std::string(previous) + std::string(character)];
            }
            previous = character;
        } else {
            previous = {};
        }
        at += bytes;
    }
    const auto byCount = [](const auto& counts) {
        std::vector<std::pair<std::int64_t, std::string>> sorted;
        for (const auto& [key, count] : counts) {
            sorted.emplace_back(-count, key);
        }
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    };
    std::string table;
    char code[16];
    std::size_t i = 0;
    for (const auto& [count, character] : byCount(characters)) {
        std::snprintf(code, sizeof code, i < 200 ? "%02zX=" : "%04zX=", i < 200 ? 0x20 + i : 0x8000 + i);
        table += code + character + "\n";
        ++i;
    }
    const auto sortedPairs = byCount(pairs);
    for (std::size_t p = 0; p < 50 && p < sortedPairs.size(); ++p) {
        std::snprintf(code, sizeof code, "%04zX=", 0xF000 + p);
        table += code + sortedPairs[p].second + "\n";
    }
    return table;
}

void Validate(benchmark::State& state, const std::string* text)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(ValidateText(*text, TextEncoding::Utf8));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text->size()));
}

void Utf8CharacterMap(benchmark::State& state, const std::string* text)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(TextCharacters(*text, TextEncoding::Utf8).Characters());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text->size()));
}

void Encode(benchmark::State& state, const std::string* text, const GameTable* table)
{
    std::size_t gameBytes = 0;
    for (auto _ : state) {
        auto encoded = EncodeScript(*text, *table);
        gameBytes = std::get<GameText>(encoded).bytes.size();
        benchmark::DoNotOptimize(gameBytes);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text->size()));
    state.counters["game_bytes"] = static_cast<double>(gameBytes);
}

void BestParse(benchmark::State& state, const std::string* text, const GameTable* table)
{
    const GameEncoder encoder(*table);
    for (auto _ : state) {
        benchmark::DoNotOptimize(encoder.BestParseBytes(*text));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text->size()));
}

void Decode(benchmark::State& state, const std::string* text, const GameTable* table)
{
    const auto encoded = std::get<GameText>(EncodeScript(*text, *table));
    for (auto _ : state) {
        const std::string back = DecodeGameText(encoded, *table, 0, encoded.bytes.size());
        if (back != *text) {
            state.SkipWithError("decoding did not give the text back");
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text->size()));
}

} // namespace
} // namespace kestrin

int main(int argc, char** argv)
{
    using namespace kestrin;
    benchmark::Initialize(&argc, argv);
    // Kept alive until the benchmarks have run.
    std::vector<std::unique_ptr<std::string>> texts;
    std::vector<std::unique_ptr<GameTable>> tables;
    for (int i = 1; i < argc; ++i) {
        auto text = std::make_unique<std::string>(ReadWhole(argv[i]));
        if (const auto fault = ValidateText(*text, TextEncoding::Utf8)) {
            std::fprintf(stderr, "%s: not UTF-8 at byte %lld\n", argv[i],
                         static_cast<long long>(fault->offset));
            return 1;
        }
        GameTableLoad load = ReadGameTable(TableFor(*text), TextEncoding::Utf8);
        auto table = std::make_unique<GameTable>(std::move(load.table));
        const std::string name = std::filesystem::path(argv[i]).filename().string();
        benchmark::RegisterBenchmark(("Validate/" + name).c_str(), Validate, text.get())
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Utf8CharacterMap/" + name).c_str(), Utf8CharacterMap, text.get())
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Encode/" + name).c_str(), Encode, text.get(), table.get())
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BestParse/" + name).c_str(), BestParse, text.get(), table.get())
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Decode/" + name).c_str(), Decode, text.get(), table.get())
            ->Unit(benchmark::kMillisecond);
        texts.push_back(std::move(text));
        tables.push_back(std::move(table));
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
