// SPDX-License-Identifier: MIT
// The counting units against each other: arrays, sorting, packed and hashed tables must find the same
// strings, hits and first occurrences, whatever the plan and the number of jobs.

#include "cancel_flag.h"
#include "counting/comment_scanner.h"
#include "counting/counting_plan.h"
#include "io/input_file.h"
#include "test_support.h"

#include "kestrin/run_settings.h"

#include <gtest/gtest.h>
#include <random>
#include <tuple>

namespace kestrin {
namespace {

using testing::TempDir;

struct Counted {
    std::string text;
    std::int64_t hits;
    std::uint64_t rank; // the place of first occurrence among the strings of its length and first byte

    bool operator<(const Counted& other) const
    {
        return std::tie(text, hits) < std::tie(other.text, other.hits);
    }
    bool operator==(const Counted& other) const = default;
};

// Every string of every length with its hits; the order of first occurrence is turned into a rank
// within each bucket, since units number first occurrences differently.
std::map<std::int64_t, std::vector<Counted>> CountAll(const std::vector<const InputFile*>& files,
                                                      const std::vector<std::int16_t>& lengths,
                                                      unsigned threads, InputShape shape,
                                                      RunSettings settings)
{
    CountingPlan plan = PlanCounting(lengths, threads, shape);
    CommentScanner scanner(CommentRulesOf(settings));
    const std::int64_t bufferLength = lengths.back() + scanner.LongestDelimiter();
    const CancelFlag cancel;
    std::uint64_t base = 0;
    for (std::uint32_t i = 0; i < files.size(); ++i) {
        const FileScan scan = scanner.Scan(*files[i], bufferLength);
        for (const auto& unit : plan.units) {
            for (unsigned job = 0; job < unit->FileJobs(); ++job) {
                WorkProgress progress;
                EXPECT_TRUE(unit->CountFile(job, *files[i], i, scan, base, progress, cancel));
            }
        }
        base += static_cast<std::uint64_t>(files[i]->Size() + 4 * bufferLength + 4);
    }
    for (const auto& unit : plan.units) {
        for (unsigned job = 0; job < unit->FinishJobs(); ++job) {
            WorkProgress progress;
            EXPECT_TRUE(unit->Finish(job, progress, cancel));
        }
    }
    std::map<std::int64_t, std::vector<Counted>> all;
    for (const std::int16_t length : lengths) {
        std::vector<std::pair<std::uint64_t, Counted>> found;
        plan.unitOf.at(length)->ForEach(length, [&](const CountedString& counted) {
            found.push_back({counted.order,
                             {std::string(counted.text, static_cast<std::size_t>(length)), counted.hits, 0}});
        });
        EXPECT_EQ(static_cast<std::int64_t>(found.size()),
                  length == 0 ? 0 : plan.unitOf.at(length)->Distinct(length));
        // Rank by first occurrence within each first byte.
        std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
            return std::tie(a.second.text[0], a.first) < std::tie(b.second.text[0], b.first);
        });
        std::vector<Counted>& out = all[length];
        for (std::size_t i = 0; i < found.size(); ++i) {
            const bool sameBucket = i > 0 && found[i - 1].second.text[0] == found[i].second.text[0];
            found[i].second.rank = sameBucket ? out.back().rank + 1 : 0;
            out.push_back(found[i].second);
        }
        std::sort(out.begin(), out.end());
    }
    return all;
}

TEST(CountingUnits, EveryPlanFindsTheSameStrings)
{
    std::mt19937 random(99);
    const std::string alphabets[] = {"ab", "ab/*", std::string("a\0\xFF\r\n", 5),
                                     "abcdefghijklmnopqrstuvwxyz"};
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE(round);
        TempDir dir;
        const std::string& alphabet = alphabets[static_cast<std::size_t>(round) % std::size(alphabets)];
        std::vector<std::unique_ptr<InputFile>> opened;
        std::vector<const InputFile*> files;
        InputShape shape;
        for (int f = 0; f < 1 + round % 3; ++f) {
            // The last round has one file long enough for the tables to be sized from an estimate.
            const bool large = round == 23 && f == 0;
            const std::string text =
                testing::RandomText(random, alphabet, large ? (std::size_t{1} << 18) + 999 : random() % 3000);
            auto file = InputFile::Open(dir.Write("f" + std::to_string(f), text), 64);
            opened.push_back(std::move(std::get<std::unique_ptr<InputFile>>(file)));
            files.push_back(opened.back().get());
            shape.largestFile = std::max(shape.largestFile, files.back()->Size());
            for (const char c : text) {
                ++shape.histogram[static_cast<unsigned char>(c)];
            }
        }
        shape.files = files.size();
        const std::vector<std::int16_t> lengths =
            round == 23 ? std::vector<std::int16_t>{5, 9}
                        : std::vector<std::int16_t>{0, 1, 2, 3, 5, 8, 9, 16, 17, 24};
        RunSettings settings;
        settings.useComments = round % 2 == 1;
        const auto expected = CountAll(files, lengths, 1, shape, settings);
        for (const unsigned threads : {2u, 3u}) {
            EXPECT_EQ(CountAll(files, lengths, threads, shape, settings), expected) << threads << " threads";
        }
        // Input too large for sorting records: packed and hashed tables count lengths 3 to 16.
        InputShape huge = shape;
        huge.largestFile = std::int64_t{1} << 32;
        for (const unsigned threads : {1u, 2u}) {
            EXPECT_EQ(CountAll(files, lengths, threads, huge, settings), expected) << "hashed, " << threads;
        }
    }
}

} // namespace
} // namespace kestrin
