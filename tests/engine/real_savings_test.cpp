// SPDX-License-Identifier: MIT
// The savings choice against a plain model that recounts everything at every step.

#include "cancel_flag.h"
#include "savings/real_savings.h"
#include "savings_model.h"
#include "test_support.h"

#include "kestrin/run_analysis.h"

#include <gtest/gtest.h>
#include <numeric>
#include <random>

namespace kestrin {

void PrintTo(const SavingsResult& r, std::ostream* out)
{
    *out << "N " << r.textBytes << " M " << r.longestMatchBytes << " K " << r.bestParseBytes << " T "
         << r.tableBytes;
    for (const SavingsEntry& e : r.entries) {
        *out << " [" << ::testing::PrintToString(e.text) << " x" << e.occurrences << " -" << e.saved << " c"
             << e.codeBytes << "]";
    }
}

namespace {

using testing::ModelChoice;
using testing::RandomStretches;

TEST(RealSavings, ChoosesAsThePlainModelDoes)
{
    // The last list has lengths that count for nothing.
    const std::vector<std::vector<std::int16_t>> lengthLists = {{1}, {2, 3},    {2, 3, 4, 5, 6},     {1, 5},
                                                                {3}, {2, 4, 8}, {-1, 0, 2, 3, 32767}};
    const std::vector<std::vector<int>> codeLists = {{1},
                                                     {1, 1, 2, 2, 1},
                                                     {2, 2, 2, 2, 2, 2, 2, 2},
                                                     std::vector<int>(12, 1),
                                                     std::vector<int>(60, 2),
                                                     {2, 1, 2, 1, 3, 1},
                                                     {0, -1, 3},
                                                     {}};
    const std::vector<std::function<bool(std::string_view)>> filters = {
        nullptr, [](std::string_view s) { return s.find('c') != std::string_view::npos; },
        [](std::string_view s) { return s == "ab" || s == "aa" || s == "bab"; }};
    std::mt19937 rng(20261207);
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::string> stretches =
            RandomStretches(rng, round % 3 == 0 ? "ab" : "abcd", round % 4 == 0 ? 100 : 40);
        SavingsRequest request;
        request.lengths = lengthLists[rng() % lengthLists.size()];
        if (round % 5 == 0) { // long repeats, and lengths above 32, which the index compares otherwise
            for (std::string& stretch : stretches) {
                stretch = stretch.substr(0, 40) + stretch.substr(0, 40) + stretch;
            }
            request.lengths = {2, 5, 36};
        }
        request.stretches.assign(stretches.begin(), stretches.end());
        request.codeBytes = codeLists[rng() % codeLists.size()];
        request.forbidden = filters[rng() % filters.size()];
        // Keeping only the best candidates up to date and bringing in the others as the choice needs them
        // changes nothing.
        request.trackShare = round % 2 == 0 ? 1 : 16;
        // An entry's own bytes: its overhead, and a dictionary that fills up.
        request.entryOverhead = round % 7 < 4 ? 0 : round % 7 - 3;
        request.dictionaryBytes = round % 11 == 0 ? 9 : request.dictionaryBytes;
        // Kept entries: pieces of the text, at codes of no more bytes than their texts.
        std::vector<std::string> kept;
        for (std::size_t k = round % 3 == 1 ? 1 + rng() % 3 : 0; k > 0; --k) {
            const std::string& from = stretches[rng() % stretches.size()];
            const std::string piece = from.substr(from.empty() ? 0 : rng() % from.size(), 1 + rng() % 4);
            if (!piece.empty() && piece.find_first_of("\r\n") == std::string::npos &&
                std::find(kept.begin(), kept.end(), piece) == kept.end()) {
                kept.push_back(piece);
            }
        }
        request.kept.clear();
        for (const std::string& text : kept) {
            request.kept.push_back({text, 1 + static_cast<int>(rng() % text.size())});
        }
        std::atomic<std::int64_t> chosen{0};
        const SavingsResult result = ChooseEntries(request, CancelFlag{}, &chosen);
        EXPECT_EQ(result, ModelChoice(request)) << ::testing::PrintToString(request.stretches);
        // The curve's exact points: the text by longest match with the first entries, all in one pass.
        const std::vector<CodedEntry> coded = CodedEntries(result);
        std::vector<std::size_t> counts(coded.size() + 1);
        std::iota(counts.begin(), counts.end(), std::size_t{0});
        const std::vector<std::int64_t> sizes =
            savings::EncodePrefixes(request.stretches, coded, counts, nullptr);
        for (const std::size_t k : counts) {
            EXPECT_EQ(sizes.at(k),
                      testing::ModelEncode(testing::ModelText(request.stretches),
                                           {coded.begin(), coded.begin() + static_cast<std::ptrdiff_t>(k)},
                                           false));
        }
        EXPECT_EQ(chosen.load(), static_cast<std::int64_t>(result.entries.size() - request.kept.size()));
    }
    // The first entry takes most occurrences of the candidates that promised most; the second must come
    // from those that were not kept up to date at first.
    SavingsRequest request;
    request.stretches.assign(20, "abcd");
    request.stretches.insert(request.stretches.end(), 3, "abc");
    request.stretches.insert(request.stretches.end(), 15, "xy");
    request.lengths = {2, 3, 4};
    request.codeBytes = {1, 1};
    request.trackShare = 1;
    const SavingsResult result = ChooseEntries(request, CancelFlag{});
    EXPECT_EQ(result, ModelChoice(request));
    ASSERT_EQ(result.entries.size(), 2u);
    EXPECT_EQ(result.entries[1].text, "xy");
}

// A whole run in this mode: the filters and the exclusion table forbid candidates, entries take the codes
// of the ranges until they run out, the text is what counting reads, and the report ends with the sizes.
TEST(RealSavings, ARunChoosesFromTheCountedTextAndEndsWithTheSizes)
{
    testing::TempDir dir;
    struct Case {
        std::vector<std::string> files;
        std::string lengths;
        std::string top;
        std::string ranges;
        bool comments = false;
        std::string excluded; // an exclusion table entry
        std::string dictionaryBytes;
        std::string lines;    // the result lines and the size lines
        std::string block;    // the table block
        std::string overhead; // each entry's, as typed
        std::string keep;     // the output table at first, kept (--keep names the output table)
    };
    const Case cases[] = {
        // Space and tab are ignored and "the" is listed; the ranges give two codes, the request three.
        {.files = {"the cat the hat\r\nthe cat\tthe hat\r\n"},
         .lengths = "2-4",
         .top = "2",
         .ranges = "&H80-&H81",
         .excluded = "the",
         .lines = "0: total space = 4; hits = 4; string = th; hex = 7468; len = 2\r\n"
                  "1: total space = 4; hits = 4; string = at; hex = 6174; len = 2\r\n"
                  "Encoded size: 26 bytes by longest match, 26 bytes by best parse, from 34 bytes\r\n"
                  "Table size: 4 bytes in 2 entries\r\n"
                  "Codes: the ranges gave codes for 2 entries, fewer than the 3 asked for\r\n",
         .block = "\r\n80=th\r\n81=at\r\n"},
        // An overhead of 1 leaves both entries a gain of 1, and the table counts it.
        {.files = {"the cat the hat\r\nthe cat\tthe hat\r\n"},
         .lengths = "2-4",
         .top = "2",
         .ranges = "&H80-&H81",
         .excluded = "the",
         .lines = "0: total space = 4; hits = 4; string = th; hex = 7468; len = 2\r\n"
                  "1: total space = 4; hits = 4; string = at; hex = 6174; len = 2\r\n"
                  "Encoded size: 26 bytes by longest match, 26 bytes by best parse, from 34 bytes\r\n"
                  "Table size: 6 bytes in 2 entries, 1 byte of overhead each\r\n"
                  "Codes: the ranges gave codes for 2 entries, fewer than the 3 asked for\r\n",
         .block = "\r\n80=th\r\n81=at\r\n",
         .overhead = "1"},
        // "at" is kept at its code, which the new entries leave out; the table receives only them.
        {.files = {"the cat the hat\r\nthe cat\tthe hat\r\n"},
         .lengths = "2-4",
         .top = "2",
         .ranges = "&H80-&H82",
         .excluded = "the",
         .lines = "0: total space = 4; hits = 4; string = at; hex = 6174; len = 2; kept\r\n"
                  "1: total space = 4; hits = 4; string = th; hex = 7468; len = 2\r\n"
                  "Encoded size: 26 bytes by longest match, 26 bytes by best parse, from 34 bytes\r\n"
                  "Table size: 4 bytes in 2 entries\r\n",
         .block = "\r\n80=th\r\n",
         .keep = "81=at\r\n"},
        // The kept entry takes the one code of the ranges: no entry gets a code, and the report says so.
        {.files = {"the cat the hat\r\nthe cat\tthe hat\r\n"},
         .lengths = "2-4",
         .top = "2",
         .ranges = "&H81",
         .excluded = "the",
         .lines = "0: total space = 4; hits = 4; string = at; hex = 6174; len = 2; kept\r\n"
                  "Encoded size: 30 bytes by longest match, 30 bytes by best parse, from 34 bytes\r\n"
                  "Table size: 2 bytes in 1 entries\r\n"
                  "Codes: the ranges gave codes for 1 entries, fewer than the 4 asked for\r\n",
         .block = "\r\n",
         .keep = "81=at\r\n"},
        // A kept table as a run writes it, its code 104 in three digits: two bytes, which save nothing here.
        {.files = {"the cat the hat\r\nthe cat\tthe hat\r\n"},
         .lengths = "2-4",
         .top = "2",
         .ranges = "&H103-&H105",
         .excluded = "the",
         .lines = "0: total space = 0; hits = 4; string = at; hex = 6174; len = 2; kept\r\n"
                  "Encoded size: 34 bytes by longest match, 34 bytes by best parse, from 34 bytes\r\n"
                  "Table size: 2 bytes in 1 entries\r\n",
         .block = "\r\n",
         .keep = "104=at\r\n"},
        // The same with room for exactly the two entries' 4 bytes.
        {.files = {"the cat the hat\r\nthe cat\tthe hat\r\n"},
         .lengths = "2-4",
         .top = "1",
         .ranges = "&H80-&H81",
         .excluded = "the",
         .dictionaryBytes = "4",
         .lines = "0: total space = 4; hits = 4; string = th; hex = 7468; len = 2\r\n"
                  "1: total space = 4; hits = 4; string = at; hex = 6174; len = 2\r\n"
                  "Encoded size: 26 bytes by longest match, 26 bytes by best parse, from 34 bytes\r\n"
                  "Table size: 4 bytes in 2 entries\r\n",
         .block = "\r\n80=th\r\n81=at\r\n"},
        // Code 100 takes two bytes, which nothing here saves: the choice stops.
        {.files = {"the cat the hat\r\nthe cat\tthe hat\r\n"},
         .lengths = "2-4",
         .top = "25",
         .ranges = "&HFF,&H100",
         .excluded = "the",
         .lines = "0: total space = 4; hits = 4; string = th; hex = 7468; len = 2\r\n"
                  "Encoded size: 30 bytes by longest match, 30 bytes by best parse, from 34 bytes\r\n"
                  "Table size: 2 bytes in 1 entries\r\n",
         .block = "\r\nFF=th\r\n"},
        // Codes at the top of the 16-bit range take two bytes: &H8000 and &HFFFF read as signed values are
        // below &H100, and at one byte they would give "the." 18 and a third entry "at".
        {.files = {"the.cat,and.the.hat,and.the.bat\r\nthe.cat,and.the.hat,and.the.bat\r\n"
                   "of.cats,and.hats,and.bats.of\r\nof.rats.of.mats\r\n"},
         .lengths = "2-5",
         .top = "2",
         .ranges = "&H7FFF,&H8000,&HFFFF",
         .lines = "0: total space = 18; hits = 6; string = ,and.; hex = 2C616E642E; len = 5\r\n"
                  "1: total space = 12; hits = 6; string = the.; hex = 7468652E; len = 4\r\n"
                  "2: total space = 5; hits = 5; string = ats; hex = 617473; len = 3\r\n"
                  "Encoded size: 78 bytes by longest match, 78 bytes by best parse, from 113 bytes\r\n"
                  "Table size: 12 bytes in 3 entries\r\n",
         .block = "\r\n7FFF=,and.\r\n8000=the.\r\nFFFF=ats\r\n"},
        // Text inside comments is not counted, and no entry joins two files or the text on both sides of
        // a comment.
        {.files = {"abab/*zzzzzzzzzzzz*/abab", "ab"},
         .lengths = "2",
         .top = "25",
         .ranges = "&H80",
         .comments = true,
         .lines = "0: total space = 5; hits = 5; string = ab; hex = 6162; len = 2\r\n"
                  "Encoded size: 5 bytes by longest match, 5 bytes by best parse, from 10 bytes\r\n"
                  "Table size: 2 bytes in 1 entries\r\n"
                  "Codes: the ranges gave codes for 1 entries, fewer than the 2 asked for\r\n",
         .block = "\r\n80=ab\r\n"},
        // A comment that begins in the last bytes of a file, where the count's reads never start, still
        // hides the next file up to its end; the text in the last bytes of a file is counted text.
        {.files = {"abab/*", "zzzz*/abab", "abab"},
         .lengths = "2",
         .top = "25",
         .ranges = "&H80",
         .comments = true,
         .lines = "0: total space = 6; hits = 6; string = ab; hex = 6162; len = 2\r\n"
                  "Encoded size: 6 bytes by longest match, 6 bytes by best parse, from 12 bytes\r\n"
                  "Table size: 2 bytes in 1 entries\r\n"
                  "Codes: the ranges gave codes for 1 entries, fewer than the 6 asked for\r\n",
         .block = "\r\n80=ab\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        RunSettings settings;
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            settings.inputFiles.push_back(dir.Write("in" + std::to_string(i), c.files[i]));
        }
        settings.realSavings = true;
        settings.sampleLengths = c.lengths;
        settings.topResults = c.top;
        settings.writeTableRanges = c.ranges;
        settings.dictionaryBytes = c.dictionaryBytes;
        settings.ignoreSpace = settings.ignoreTab = true;
        settings.useComments = c.comments;
        settings.entryOverhead = c.overhead;
        settings.savingsCurve = true;
        settings.outputTable = dir.Path() / "out.tbl";
        std::filesystem::remove(*settings.outputTable);
        if (!c.keep.empty()) {
            settings.keepTable = dir.Write("out.tbl", c.keep);
        }
        if (!c.excluded.empty()) {
            settings.exclusionTable = dir.Write("ex.tbl", "80=" + c.excluded + "\r\n");
        }
        testing::RecordingObserver observer;
        const RunOutcome outcome = RunAnalysis(settings, observer);
        ASSERT_EQ(outcome.status, RunStatus::Completed);
        EXPECT_EQ(outcome.report.substr(outcome.report.find("\r\n\r\n") + 4), c.lines);
        EXPECT_EQ(testing::ReadFile(*settings.outputTable), c.keep + c.block);
        // The curve ends at the report's size, with the table's bytes; every point is exact here.
        ASSERT_EQ(outcome.curve.size(), outcome.results.size() + 1);
        EXPECT_EQ(outcome.curve.back(), (CurvePoint{outcome.sizes->entries, outcome.sizes->longestMatch,
                                                    outcome.sizes->table, true}));
        EXPECT_EQ(outcome.curve.front(), (CurvePoint{0, outcome.sizes->text, 0, true}));
        EXPECT_TRUE(std::all_of(outcome.curve.begin(), outcome.curve.end(),
                                [](const CurvePoint& p) { return p.exact; }));
    }
}

TEST(RealSavings, SetCancelFlagGivesAnEmptyResult)
{
    std::mt19937 rng(3);
    const std::string text = testing::RandomText(rng, "abcdefgh \n", 1 << 16);
    SavingsRequest request;
    request.stretches = {text};
    request.lengths = {2, 3, 4};
    request.codeBytes = std::vector<int>(50, 1);
    EXPECT_FALSE(ChooseEntries(request, CancelFlag{}).entries.empty());
    EXPECT_EQ(ChooseEntries(request, CancelFlag{true}), SavingsResult{});
}

} // namespace
} // namespace kestrin
