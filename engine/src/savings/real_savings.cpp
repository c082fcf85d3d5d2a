// SPDX-License-Identifier: MIT
// The savings choice as a run uses it: the index (savings_index.cpp), the lazy greedy over it
// (lazy_greedy.cpp, greedy_occurrences.cpp) and the two encodings of the text with the chosen entries
// (savings_encoding.cpp), in that order. Method: index first, with the cheapest code any entry will have;
// then the greedy with every entry's code; then the encoders.

#include "savings/real_savings.h"

#include "cancel_flag.h"
#include "savings/lazy_greedy.h"

#include <unordered_set>

namespace kestrin {

SavingsChoice::SavingsChoice(const SavingsRequest& request, int cheapestCode, const CancelFlag& cancelFlag)
    : stretches(request.stretches), overhead(request.entryOverhead), cancel(cancelFlag)
{
    if (Stopped(&cancel)) {
        return;
    }
    savings::SavingsIndex index =
        savings::LoadText(request.stretches, request.lengths, request.characterMap, request.longestCharacter);
    kept = request.kept;
    // A candidate never has a kept entry's text.
    std::function<bool(std::string_view)> forbidden = request.forbidden;
    if (!kept.empty()) {
        std::unordered_set<std::string_view> keptTexts;
        for (const CodedEntry& k : kept) {
            keptTexts.insert(k.text);
        }
        forbidden = [keptTexts = std::move(keptTexts), &request](std::string_view s) {
            return keptTexts.contains(s) || (request.forbidden && request.forbidden(s));
        };
    }
    built = savings::BuildIndex(index, stretches, forbidden, std::max(0, cheapestCode), cancel);
    for (std::size_t k = 0; built && k < index.distinct.size(); ++k) {
        distinct.emplace_back(index.lengths[k], index.distinct[k]);
    }
    greedy = std::make_unique<savings::LazyGreedy>(std::move(index), request.trackShare,
                                                   request.dictionaryBytes, request.entryOverhead, cancel);
}

SavingsChoice::~SavingsChoice() = default;

std::int64_t SavingsChoice::Distinct(std::int64_t length) const
{
    for (const auto& [counted, strings] : distinct) {
        if (counted == length) {
            return strings;
        }
    }
    return 0;
}

SavingsResult SavingsChoice::Choose(const std::vector<int>& codeBytes, std::atomic<std::int64_t>* chosenSoFar)
{
    if (!built || Stopped(&cancel)) {
        return {};
    }
    SavingsResult result;
    std::vector<int> codes;
    codes.reserve(codeBytes.size());
    for (const int code : codeBytes) {
        codes.push_back(std::max(0, code));
    }
    std::int64_t textBytes = 0;
    for (const std::string_view stretch : stretches) {
        textBytes += static_cast<std::int64_t>(stretch.size());
    }
    const bool chose = greedy->Choose(kept, codes, chosenSoFar, result.entries);
    result.runningBytes = greedy->RunningBytes();
    greedy.reset(); // the index is large, and done with
    if (!chose) {
        return {};
    }
    result.textBytes = textBytes;
    for (const SavingsEntry& entry : result.entries) {
        result.tableBytes += static_cast<std::int64_t>(entry.text.size()) + overhead;
    }
    return result;
}

void SavingsChoice::Encode(std::size_t job, SavingsResult& result) const
{
    if (Stopped(&cancel)) {
        result.longestMatchBytes = result.bestParseBytes = -1;
        return;
    }
    const std::vector<CodedEntry> coded = CodedEntries(result);
    if (job == 0) {
        result.longestMatchBytes =
            savings::EncodeText(stretches, coded, ParseRule::LongestMatch, nullptr, &cancel);
    } else {
        result.bestParseBytes = savings::EncodeText(stretches, coded, ParseRule::BestParse, nullptr, &cancel);
    }
}

std::vector<std::int64_t> SavingsChoice::EncodePrefixes(const SavingsResult& result,
                                                        std::span<const std::size_t> counts) const
{
    const std::vector<CodedEntry> coded = CodedEntries(result);
    return savings::EncodePrefixes(stretches, coded, counts, &cancel);
}

SavingsResult ChooseEntries(const SavingsRequest& request, const CancelFlag& cancel,
                            std::atomic<std::int64_t>* chosenSoFar)
{
    const auto cheapest = std::min_element(request.codeBytes.begin(), request.codeBytes.end());
    SavingsChoice choice(request, cheapest == request.codeBytes.end() ? 0 : *cheapest, cancel);
    SavingsResult result = choice.Choose(request.codeBytes, chosenSoFar);
    for (std::size_t job = 0; job < SavingsChoice::encodingJobs; ++job) {
        choice.Encode(job, result);
    }
    if (result.longestMatchBytes < 0 || result.bestParseBytes < 0 || Stopped(&cancel)) {
        return {};
    }
    return result;
}

std::vector<CodedEntry> CodedEntries(const SavingsResult& result)
{
    std::vector<CodedEntry> coded;
    coded.reserve(result.entries.size());
    for (const SavingsEntry& entry : result.entries) {
        coded.push_back({entry.text, entry.codeBytes});
    }
    return coded;
}

} // namespace kestrin
