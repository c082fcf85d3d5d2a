// SPDX-License-Identifier: MIT
// Micro-benchmarks of single steps of a run: the comment scan, counting, and ranking, on a text of
// invented words in lines, held in a temporary file.

#include "cancel_flag.h"
#include "counting/comment_scanner.h"
#include "counting/counting_plan.h"
#include "io/input_file.h"
#include "ranking.h"

#include "kestrin/run_settings.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <fstream>
#include <random>
#include <unistd.h>

namespace kestrin {
namespace {

// About `size` bytes of dialogue: words drawn with a skew towards the first ones, "//" lines, CR LF.
const std::filesystem::path& Corpus(std::size_t size)
{
    static std::map<std::size_t, std::filesystem::path> made;
    auto& path = made[size];
    if (!path.empty()) {
        return path;
    }
    std::mt19937_64 random(size);
    std::vector<std::string> words;
    for (int i = 0; i < 3000; ++i) {
        std::string word;
        for (std::size_t letters = 2 + random() % 7; letters > 0; --letters) {
            word += static_cast<char>('a' + random() % 26);
        }
        words.push_back(word);
    }
    std::string text;
    while (text.size() < size) {
        if (random() % 10 == 0) {
            text += "// ";
        }
        for (std::size_t n = 3 + random() % 10; n > 0; --n) {
            const double u = std::generate_canonical<double, 32>(random);
            text += words[static_cast<std::size_t>(u * u * u * static_cast<double>(words.size()))];
            text += ' ';
        }
        text += ".\r\n";
    }
    text.resize(size);
    path = std::filesystem::temp_directory_path() /
           ("kestrin-micro-" + std::to_string(::getpid()) + "-" + std::to_string(size));
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::unique_ptr<InputFile> OpenCorpus(std::size_t size, std::int64_t reach)
{
    auto opened = InputFile::Open(Corpus(size), reach);
    return std::move(std::get<std::unique_ptr<InputFile>>(opened));
}

void CommentScan(benchmark::State& state)
{
    const auto file = OpenCorpus(static_cast<std::size_t>(state.range(0)), 64);
    RunSettings settings;
    settings.useComments = true;
    settings.commentStyle = CommentStyle::Cpp;
    for (auto _ : state) {
        CommentScanner scanner(CommentRulesOf(settings));
        benchmark::DoNotOptimize(scanner.Scan(*file, 10));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(CommentScan)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

// Counting the lengths first..last on one thread, including the finish of sorting units.
CountingPlan Count(const InputFile& file, std::int16_t first, std::int16_t last)
{
    std::vector<std::int16_t> lengths;
    for (std::int16_t length = first; length <= last; ++length) {
        lengths.push_back(length);
    }
    InputShape shape;
    shape.files = 1;
    shape.largestFile = file.Size();
    CountingPlan plan = PlanCounting(lengths, 1, shape);
    RunSettings settings;
    CommentScanner scanner(CommentRulesOf(settings));
    const FileScan scan = scanner.Scan(file, last);
    const CancelFlag cancel;
    for (const auto& unit : plan.units) {
        for (unsigned job = 0; job < unit->FileJobs(); ++job) {
            WorkProgress progress;
            (void)unit->CountFile(job, file, 0, scan, 0, progress, cancel);
        }
        for (unsigned job = 0; job < unit->FinishJobs(); ++job) {
            WorkProgress progress;
            (void)unit->Finish(job, progress, cancel);
        }
    }
    return plan;
}

void CountLengths(benchmark::State& state)
{
    const auto file = OpenCorpus(std::size_t{4} << 20, 64);
    const auto first = static_cast<std::int16_t>(state.range(0));
    const auto last = static_cast<std::int16_t>(state.range(1));
    for (auto _ : state) {
        benchmark::DoNotOptimize(Count(*file, first, last));
    }
    state.SetBytesProcessed(state.iterations() * file->Size());
}
BENCHMARK(CountLengths)
    ->Args({2, 2})
    ->Args({8, 8})
    ->Args({2, 8})
    ->Args({16, 16})
    ->Args({40, 40})
    ->Unit(benchmark::kMillisecond);

// Ranking alone: the cost should grow with log(request), not with the request.
void Rank(benchmark::State& state)
{
    const auto file = OpenCorpus(std::size_t{4} << 20, 64);
    const CountingPlan plan = Count(*file, 2, 8);
    RankingInput input;
    for (std::int64_t length = 2; length <= 8; ++length) {
        input.columns.push_back({plan.unitOf.at(length), length});
    }
    const CancelFlag cancel;
    for (auto _ : state) {
        ResultSelection selection(input, state.range(0), 1);
        for (std::size_t job = 0; job < selection.Jobs(); ++job) {
            selection.VisitJob(job, 0, cancel);
        }
        benchmark::DoNotOptimize(selection.Results());
    }
}
BENCHMARK(Rank)->Arg(26)->Arg(301)->Arg(3001)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace kestrin

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::temp_directory_path(), ignored)) {
        if (entry.path().filename().string().rfind("kestrin-micro-" + std::to_string(::getpid()) + "-", 0) ==
            0) {
            std::filesystem::remove(entry.path(), ignored);
        }
    }
    return 0;
}
