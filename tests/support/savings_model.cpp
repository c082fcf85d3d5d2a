// SPDX-License-Identifier: MIT
// The plain model of the real-savings choice and its encoders (see savings_model.h): every step counts
// every candidate's occurrences afresh over the whole text.

#include "savings_model.h"

#include "test_support.h"

#include <algorithm>
#include <map>

namespace kestrin::testing {

ModelText::ModelText(const std::vector<std::string_view>& stretches)
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

bool ModelText::At(std::size_t p, std::string_view s) const
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

std::vector<std::string> RandomStretches(std::mt19937& rng, std::string_view alphabet, std::size_t most)
{
    // The alphabet repeated to 38 letters or more beside a CR and an LF: about one line end in twenty.
    std::string letters;
    while (letters.size() < 38) {
        letters += alphabet;
    }
    letters += "\r\n";
    std::vector<std::string> stretches(1 + rng() % 4);
    for (std::string& stretch : stretches) {
        stretch = RandomText(rng, letters, rng() % (most + 1));
    }
    return stretches;
}

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

std::string CheckEncoders(const std::vector<std::string_view>& stretches,
                          const std::vector<CodedEntry>& entries)
{
    const ModelText model(stretches);
    for (const ParseRule rule : {ParseRule::LongestMatch, ParseRule::BestParse}) {
        const bool best = rule == ParseRule::BestParse;
        const std::string name = best ? "best parse" : "longest match";
        const std::int64_t bytes =
            best ? EncodeBestParse(stretches, entries) : EncodeLongestMatch(stretches, entries);
        if (bytes != ModelEncode(model, entries, best)) {
            return name + ": the size";
        }
        const Encoding encoding = EncodeWithParse(stretches, entries, rule);
        std::size_t p = 0;
        std::int64_t parsed = 0;
        for (const std::int32_t piece : encoding.pieces) {
            const auto i = static_cast<std::size_t>(piece);
            const std::string_view s =
                piece < 0 ? std::string_view(model.text).substr(std::min(p, model.text.size()), 1)
                          : entries.at(i).text;
            if (p >= model.text.size() || (piece >= 0 && !model.At(p, s))) {
                return name + ": a piece at " + std::to_string(p);
            }
            parsed += piece < 0 ? 1 : std::max(0, entries[i].codeBytes);
            p += s.size();
        }
        if (p != model.text.size() || parsed != encoding.bytes || encoding.bytes != bytes) {
            return name + ": the parse's size";
        }
    }
    return {};
}

SavingsResult ModelChoice(const SavingsRequest& request)
{
    const ModelText m(request.stretches);
    const std::size_t n = m.text.size();
    std::map<std::string, std::size_t> firstAt; // every candidate with its first position
    for (const std::int16_t length : request.lengths) {
        for (std::size_t p = 0; length > 0 && p + static_cast<std::size_t>(length) <= n; ++p) {
            const std::string s = m.text.substr(p, static_cast<std::size_t>(length));
            const bool kept = std::any_of(request.kept.begin(), request.kept.end(),
                                          [&](const CodedEntry& k) { return k.text == s; });
            if (m.At(p, s) && !kept && !(request.forbidden && request.forbidden(s))) {
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
    // An entry takes its length and the overhead in the dictionary, which has room for so many bytes.
    const auto entryBytes = [&](const std::string& s) {
        return static_cast<std::int64_t>(s.size()) + request.entryOverhead;
    };
    std::int64_t room = request.dictionaryBytes;
    // The kept entries first, their occurrences taken by longest match over them alone.
    std::vector<std::int64_t> keptSaved(request.kept.size(), 0);
    for (const CodedEntry& k : request.kept) {
        result.entries.push_back({std::string(k.text), 0, 0, k.codeBytes, true});
        result.tableBytes += entryBytes(result.entries.back().text);
        room -= entryBytes(result.entries.back().text);
        held.push_back(0);
    }
    for (std::size_t p = 0; p < n && !request.kept.empty();) {
        int longest = -1;
        for (std::size_t e = 0; e < request.kept.size(); ++e) {
            const std::string_view text = request.kept[e].text;
            if (m.At(p, text) &&
                (longest < 0 || text.size() > request.kept[static_cast<std::size_t>(longest)].text.size())) {
                longest = static_cast<int>(e);
            }
        }
        if (longest < 0) {
            ++p;
            continue;
        }
        const auto e = static_cast<std::size_t>(longest);
        ++held[e];
        keptSaved[e] += static_cast<std::int64_t>(request.kept[e].text.size()) - request.kept[e].codeBytes;
        for (std::size_t q = p; q < p + request.kept[e].text.size(); ++q) {
            start[q] = q == p;
            owner[q] = q == p ? longest : -1;
            cost[q] = q == p ? request.kept[e].codeBytes : 0;
        }
        p += request.kept[e].text.size();
    }
    for (const std::int64_t saved : keptSaved) {
        result.runningBytes.push_back(
            (result.runningBytes.empty() ? static_cast<std::int64_t>(n) : result.runningBytes.back()) -
            saved);
    }
    for (const int given : request.codeBytes) {
        const int code = std::max(0, given);
        const std::string* best = nullptr;
        std::int64_t bestGain = 0;
        for (const auto& [s, first] : firstAt) {
            if (entryBytes(s) > room) {
                continue;
            }
            const std::int64_t gain = occurrences(s, code, found) - entryBytes(s);
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
        const std::int64_t saved = occurrences(chosen, code, found);
        result.runningBytes.push_back(
            (result.runningBytes.empty() ? static_cast<std::int64_t>(n) : result.runningBytes.back()) -
            saved);
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
        result.tableBytes += entryBytes(chosen);
        room -= entryBytes(chosen);
        firstAt.erase(chosen);
    }
    for (std::size_t e = 0; e < result.entries.size(); ++e) {
        SavingsEntry& entry = result.entries[e];
        entry.occurrences = held[e];
        entry.saved = held[e] * (static_cast<std::int64_t>(entry.text.size()) - entry.codeBytes);
    }
    const std::vector<CodedEntry> coded = CodedEntries(result); // the kept entries too
    result.textBytes = static_cast<std::int64_t>(n);
    result.longestMatchBytes = ModelEncode(m, coded, false);
    result.bestParseBytes = ModelEncode(m, coded, true);
    return result;
}

} // namespace kestrin::testing
