// The savings choice and its encoders against a plain model that recounts everything at every step.

#include "real_savings.h"

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
    std::vector<bool> taken(n, false);
    const auto occurrences = [&](const std::string& s) {
        std::vector<std::size_t> found;
        for (std::size_t p = 0, next = 0; p < n; ++p) {
            if (p >= next && m.At(p, s) &&
                std::none_of(taken.begin() + static_cast<std::ptrdiff_t>(p),
                             taken.begin() + static_cast<std::ptrdiff_t>(p + s.size()),
                             [](bool t) { return t; })) {
                found.push_back(p);
                next = p + s.size();
            }
        }
        return found;
    };
    SavingsResult result;
    for (const int given : request.codeBytes) {
        const int code = std::max(0, given);
        const std::string* best = nullptr;
        std::int64_t bestGain = 0;
        for (const auto& [s, first] : firstAt) {
            const auto length = static_cast<std::int64_t>(s.size());
            const std::int64_t gain =
                static_cast<std::int64_t>(occurrences(s).size()) * (length - code) - length;
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
        const std::vector<std::size_t> found = occurrences(*best);
        for (const std::size_t p : found) {
            std::fill_n(taken.begin() + static_cast<std::ptrdiff_t>(p), best->size(), true);
        }
        const auto count = static_cast<std::int64_t>(found.size());
        result.entries.push_back(
            {*best, count, count * (static_cast<std::int64_t>(best->size()) - code), code});
        result.tableBytes += static_cast<std::int64_t>(best->size());
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
        const std::vector<std::string> stretches =
            RandomStretches(rng, round % 3 == 0 ? "ab" : "abcd", round % 4 == 0 ? 100 : 40);
        SavingsRequest request;
        request.stretches.assign(stretches.begin(), stretches.end());
        request.lengths = lengthLists[rng() % lengthLists.size()];
        request.codeBytes = codeLists[rng() % codeLists.size()];
        request.forbidden = filters[rng() % filters.size()];
        std::atomic<std::int64_t> chosen{0};
        const SavingsResult result = ChooseBySavings(request, std::atomic<bool>{false}, &chosen);
        EXPECT_EQ(result, ModelChoice(request)) << ::testing::PrintToString(request.stretches);
        EXPECT_EQ(chosen.load(), static_cast<std::int64_t>(result.entries.size()));
    }
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
        SCOPED_TRACE(testing::PrintToString(stretches));
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
    EXPECT_FALSE(ChooseBySavings(request, std::atomic<bool>{false}).entries.empty());
    EXPECT_EQ(ChooseBySavings(request, std::atomic<bool>{true}), SavingsResult{});
}

} // namespace
} // namespace kestrin
