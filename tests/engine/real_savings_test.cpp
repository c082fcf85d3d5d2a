// The savings choice and its encoders against a plain model that recounts everything at every step.

#include "savings/real_savings.h"
#include "test_support.h"

#include "kestrin/run_analysis.h"

#include <gtest/gtest.h>
#include <map>
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

// The model: the text with, per position, its segment (stretches split at line ends), -1 on a line end.
struct ModelText {
    std::string text;
    std::vector<int> segment;

    explicit ModelText(const std::vector<std::string_view>& stretches)
    {
        int number = 0;
        for (const std::string_view stretch : stretches) {
            for (const char c : stretch) {
                const bool lineEnd = c == '\r' || c == '\n';
                segment.push_back(lineEnd ? -1 : number);
                number += lineEnd ? 1 : 0;
                text += c;
            }
            ++number;
        }
    }
    // s stands at p, wholly inside one segment.
    [[nodiscard]] bool At(std::size_t p, std::string_view s) const
    {
        if (s.empty() || p + s.size() > text.size() || text.compare(p, s.size(), s) != 0) {
            return false;
        }
        for (std::size_t q = p; q < p + s.size(); ++q) {
            if (segment[q] < 0 || segment[q] != segment[p]) {
                return false;
            }
        }
        return true;
    }
};

std::int64_t ModelEncode(const ModelText& m, const std::vector<CodedEntry>& entries, bool best)
{
    const std::size_t n = m.text.size();
    if (best) {
        std::vector<std::int64_t> cost(n + 1, 0);
        for (std::size_t p = n; p-- > 0;) {
            cost[p] = 1 + cost[p + 1];
            for (const CodedEntry& e : entries) {
                if (m.At(p, e.text)) {
                    cost[p] = std::min(cost[p], std::max(0, e.codeBytes) + cost[p + e.text.size()]);
                }
            }
        }
        return cost[0];
    }
    std::int64_t bytes = 0;
    for (std::size_t p = 0; p < n;) {
        std::size_t length = 0;
        int code = 1;
        for (const CodedEntry& e : entries) {
            const int cost = std::max(0, e.codeBytes);
            if (m.At(p, e.text) && (e.text.size() > length || (e.text.size() == length && cost < code))) {
                length = e.text.size();
                code = cost;
            }
        }
        bytes += code;
        p += std::max<std::size_t>(length, 1);
    }
    return bytes;
}

SavingsResult ModelChoice(const SavingsRequest& request)
{
    const ModelText m(request.stretches);
    const std::size_t n = m.text.size();
    std::map<std::string, std::size_t> firstAt; // every candidate with its first position
    for (const std::int64_t length : request.lengths) {
        for (std::size_t p = 0; length > 0 && p + static_cast<std::size_t>(length) <= n; ++p) {
            const std::string s = m.text.substr(p, static_cast<std::size_t>(length));
            if (m.At(p, s) && !(request.forbidden && request.forbidden(s))) {
                firstAt.emplace(s, p);
            }
        }
    }
    // The text as tokens: a token's first byte carries its cost and its entry (-1 for a plain byte).
    std::vector<bool> start(n + 1, true);
    std::vector<std::int64_t> cost(n, 1);
    std::vector<int> owner(n, -1);
    std::vector<std::int64_t> held;
    // The occurrences to replace: aligned with token edges, saving something, without overlap, the
    // largest total saving, the earliest among equal ones. Returns the total with them.
    const auto occurrences = [&](const std::string& s, int code, std::vector<std::size_t>& found) {
        std::vector<std::size_t> at;
        std::vector<std::int64_t> saving;
        for (std::size_t p = 0; p + s.size() <= n; ++p) {
            if (m.At(p, s) && start[p] && start[p + s.size()]) {
                std::int64_t covered = 0;
                for (std::size_t q = p; q < p + s.size(); ++q) {
                    covered += start[q] ? cost[q] : 0;
                }
                if (covered > code) {
                    at.push_back(p);
                    saving.push_back(covered - code);
                }
            }
        }
        const std::size_t k = at.size();
        const auto next = [&](std::size_t j) {
            std::size_t i = j + 1;
            while (i < k && at[i] < at[j] + s.size()) {
                ++i;
            }
            return i;
        };
        std::vector<std::int64_t> best(k + 1, 0);
        for (std::size_t j = k; j-- > 0;) {
            best[j] = std::max(best[j + 1], saving[j] + best[next(j)]);
        }
        found.clear();
        for (std::size_t j = 0; j < k;) {
            if (saving[j] + best[next(j)] == best[j]) {
                found.push_back(at[j]);
                j = next(j);
            } else {
                ++j;
            }
        }
        return best[0];
    };
    SavingsResult result;
    std::vector<std::size_t> found;
    for (const int given : request.codeBytes) {
        const int code = std::max(0, given);
        const std::string* best = nullptr;
        std::int64_t bestGain = 0;
        for (const auto& [s, first] : firstAt) {
            const std::int64_t gain = occurrences(s, code, found) - static_cast<std::int64_t>(s.size());
            if (!best || gain > bestGain ||
                (gain == bestGain &&
                 (s.size() < best->size() || (s.size() == best->size() && first < firstAt[*best])))) {
                best = &s;
                bestGain = gain;
            }
        }
        if (!best || bestGain <= 0) {
            break;
        }
        const std::string chosen = *best;
        (void)occurrences(chosen, code, found);
        const int entry = static_cast<int>(result.entries.size());
        held.push_back(static_cast<std::int64_t>(found.size()));
        for (const std::size_t p : found) {
            for (std::size_t q = p; q < p + chosen.size(); ++q) {
                if (start[q] && owner[q] >= 0) {
                    --held[static_cast<std::size_t>(owner[q])];
                }
                start[q] = q == p;
                owner[q] = q == p ? entry : -1;
                cost[q] = q == p ? code : 0;
            }
        }
        result.entries.push_back({chosen, 0, 0, code});
        result.tableBytes += static_cast<std::int64_t>(chosen.size());
        firstAt.erase(chosen);
    }
    for (std::size_t e = 0; e < result.entries.size(); ++e) {
        SavingsEntry& entry = result.entries[e];
        entry.occurrences = held[e];
        entry.saved = held[e] * (static_cast<std::int64_t>(entry.text.size()) - entry.codeBytes);
    }
    const std::vector<CodedEntry> coded = CodedEntries(result);
    result.textBytes = static_cast<std::int64_t>(n);
    result.longestMatchBytes = ModelEncode(m, coded, false);
    result.bestParseBytes = ModelEncode(m, coded, true);
    return result;
}

// Random stretches over a small alphabet, so that ties and runs such as "aaaa" are common.
std::vector<std::string> RandomStretches(std::mt19937& rng, std::string_view alphabet, std::size_t most)
{
    std::vector<std::string> stretches(1 + rng() % 4);
    for (std::string& stretch : stretches) {
        for (std::size_t i = rng() % (most + 1); i > 0; --i) {
            const std::uint32_t pick = rng() % 40;
            stretch += pick == 0 ? '\r' : pick == 1 ? '\n' : alphabet[rng() % alphabet.size()];
        }
    }
    return stretches;
}

TEST(RealSavings, ChoosesAsThePlainModelDoes)
{
    // The last list is out of order, with a repeat and lengths that count for nothing.
    const std::vector<std::vector<std::int64_t>> lengthLists = {
        {1}, {2, 3}, {2, 3, 4, 5, 6}, {1, 5}, {3}, {2, 4, 8}, {3, 2, 3, 0, -1, std::int64_t{1} << 40}};
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
        std::atomic<std::int64_t> chosen{0};
        const SavingsResult result = ChooseEntries(request, std::atomic<bool>{false}, &chosen);
        EXPECT_EQ(result, ModelChoice(request)) << ::testing::PrintToString(request.stretches);
        EXPECT_EQ(chosen.load(), static_cast<std::int64_t>(result.entries.size()));
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
    const SavingsResult result = ChooseEntries(request, std::atomic<bool>{false});
    EXPECT_EQ(result, ModelChoice(request));
    ASSERT_EQ(result.entries.size(), 2u);
    EXPECT_EQ(result.entries[1].text, "xy");
}

// Entries cut from anywhere in the text, so that some cross stretch ends or hold line ends, which no entry
// may match across; code sizes of 0 to 2.
TEST(RealSavings, EncodersMatchTheModelAndDecodeBack)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        const std::vector<std::string> owned = RandomStretches(rng, "abc", 30);
        const std::vector<std::string_view> stretches(owned.begin(), owned.end());
        const ModelText m(stretches);
        std::vector<std::string> texts;
        for (std::size_t i = rng() % 8; i > 0 && !m.text.empty(); --i) {
            texts.push_back(m.text.substr(rng() % m.text.size(), 1 + rng() % 5));
        }
        std::vector<CodedEntry> entries;
        for (const std::string& e : texts) {
            entries.push_back({e, static_cast<int>(rng() % std::min<std::size_t>(3, e.size()))});
        }
        SCOPED_TRACE(::testing::PrintToString(stretches));
        const std::int64_t longest = EncodeLongestMatch(stretches, entries);
        const std::int64_t best = EncodeBestParse(stretches, entries);
        EXPECT_EQ(longest, ModelEncode(m, entries, false));
        EXPECT_EQ(best, ModelEncode(m, entries, true));
        for (const ParseRule rule : {ParseRule::LongestMatch, ParseRule::BestParse}) {
            const Encoding encoding = EncodeWithParse(stretches, entries, rule);
            std::size_t p = 0;
            std::int64_t bytes = 0;
            for (const std::int32_t piece : encoding.pieces) {
                ASSERT_LT(p, m.text.size());
                const auto i = static_cast<std::size_t>(piece);
                const std::string_view s =
                    piece < 0 ? std::string_view(m.text).substr(p, 1) : entries[i].text;
                ASSERT_TRUE(piece < 0 || m.At(p, s)) << "piece " << s << " at " << p;
                bytes += piece < 0 ? 1 : std::max(0, entries[i].codeBytes);
                p += s.size();
            }
            EXPECT_EQ(p, m.text.size());
            EXPECT_EQ(bytes, encoding.bytes);
            EXPECT_EQ(encoding.bytes, rule == ParseRule::LongestMatch ? longest : best);
        }
    }
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
        std::string lines;    // the result lines and the size lines
        std::string block;    // the table block
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
                  "Table size: 2 bytes in 1 entries\r\n",
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
        settings.ignoreSpace = settings.ignoreTab = true;
        settings.useComments = c.comments;
        settings.outputTable = dir.Path() / "out.tbl";
        std::filesystem::remove(*settings.outputTable);
        if (!c.excluded.empty()) {
            settings.exclusionTable = dir.Write("ex.tbl", "80=" + c.excluded + "\r\n");
        }
        testing::RecordingObserver observer;
        const RunOutcome outcome = RunAnalysis(settings, observer);
        ASSERT_EQ(outcome.status, RunStatus::Completed);
        EXPECT_EQ(outcome.report.substr(outcome.report.find("\r\n\r\n") + 4), c.lines);
        EXPECT_EQ(testing::ReadFile(*settings.outputTable), c.block);
    }
}

TEST(RealSavings, SetCancelFlagGivesAnEmptyResult)
{
    std::mt19937 rng(3);
    std::string text(1 << 16, ' ');
    for (char& c : text) {
        c = "abcdefgh \n"[rng() % 10];
    }
    SavingsRequest request;
    request.stretches = {text};
    request.lengths = {2, 3, 4};
    request.codeBytes = std::vector<int>(50, 1);
    EXPECT_FALSE(ChooseEntries(request, std::atomic<bool>{false}).entries.empty());
    EXPECT_EQ(ChooseEntries(request, std::atomic<bool>{true}), SavingsResult{});
}

} // namespace
} // namespace kestrin
