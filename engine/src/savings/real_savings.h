// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "savings/savings_encoding.h"
#include "text/character_map.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrin {

// The "real savings" choice of table entries: which strings, replaced by codes one after another,
// shrink the counted text most, and how many bytes the text takes afterwards. It depends on nothing of
// a run's flow: the caller hands over the counted text and gets the entries and the sizes back.
//
// The counted text is a list of stretches: bytes that no entry may cross (file ends, the edges of the
// text the comment filter lets through). Line ends (CR, LF) split the stretches further: no entry holds
// one, and no entry is matched across one.
struct SavingsRequest {
    std::vector<std::string_view> stretches; // the counted text, in input order
    // The sample lengths, sorted and distinct, as the run resolves them. Lengths below 1 or above the
    // text's size are left out.
    std::vector<std::int16_t> lengths;
    // The code bytes of the 1st, 2nd, ... entry; its size is the most entries chosen. A value below 0
    // counts as 0.
    std::vector<int> codeBytes;
    // true: this string may never be an entry (skip filters, exclusion table). May be empty.
    std::function<bool(std::string_view)> forbidden;
    // How much of the choice's work is done up front: the candidates kept up to date from the start are
    // those that gain at least 1/trackShare of what the last entry could gain at best; the others come in
    // when the choice gets down to them. The result never depends on it; 1 makes them come in early and
    // often, which tests use.
    std::int64_t trackShare = 16;
    // Counting in the game's characters: the map of where the characters of the stretches (one after
    // another) start and which are breaks, and the most bytes one takes. Lengths then count characters,
    // and no entry starts or ends inside one or holds a break.
    const CharacterMap* characterMap = nullptr;
    std::size_t longestCharacter = 1;
    // The most bytes the entries may take together, each its length and the overhead: the choice takes
    // the best entry that still fits.
    std::int64_t dictionaryBytes = std::numeric_limits<std::int64_t>::max();
    // The bytes each entry takes in the game's dictionary beyond its text (a terminator, a length or a
    // pointer); 0 or more.
    std::int64_t entryOverhead = 0;
    // Entries that are in the dictionary from the start, with their code bytes: texts of whole
    // characters that hold no line end, each listed once. They must outlive the choice.
    std::vector<CodedEntry> kept;
};

struct SavingsEntry {
    std::string text;
    std::int64_t occurrences = 0; // occurrences replaced by this entry's code
    std::int64_t saved = 0;       // occurrences x (text length - code bytes)
    int codeBytes = 0;
    bool kept = false; // one of the request's kept entries

    bool operator==(const SavingsEntry&) const = default;
};

struct SavingsResult {
    std::vector<SavingsEntry> entries;  // the kept entries in their order, then those chosen in order
    std::int64_t textBytes = 0;         // N: bytes of all stretches, line ends included
    std::int64_t longestMatchBytes = 0; // M: the text encoded by longest match with the entries
    std::int64_t bestParseBytes = 0;    // K: the smallest encoding the entries allow
    std::int64_t tableBytes = 0;        // T: the sum of the entries' lengths and their overheads
    // The choice's own running figure: after each entry, the text's bytes with the entries so far in
    // place as tokens (the text less what each saved when it was placed or chosen).
    std::vector<std::int64_t> runningBytes;

    bool operator==(const SavingsResult&) const = default;
};

// Chooses entries greedily. Candidates are the distinct strings of the requested lengths that occur
// wholly inside one stretch, hold no CR or LF, and are not forbidden. Entry i (0-based) costs
// codeBytes[i] bytes.
//
// The text is seen as tokens: at first every byte is a token that costs 1 byte. An occurrence of a
// candidate can be replaced when it starts and ends at token edges; what it saves is the cost of the
// tokens it covers less the code bytes. The gain of a candidate is the saving of its occurrences that
// save anything, taken without overlap (the set that saves most, the earliest among equal ones), less
// the entry's own bytes in the game's dictionary, its length and the entry overhead. Before any entry is
// chosen this is
//     occurrences x (length - codeBytes[i]) - (length + entryOverhead).
// Each step takes the candidate of the largest gain and replaces those occurrences by one token each at
// its code's cost. A later entry may thus take over the whole occurrences of earlier entries that it
// covers (the earlier entry then holds fewer occurrences), but never part of one. Ties go to the
// shorter string, then to the string that occurs first in the text (all stretches in order). Choosing
// stops after codeBytes.size() entries, or when no candidate gains more than 0. Gains only fall as
// entries are chosen, so a lazy greedy over bounds finds exactly this choice.
//
// Kept entries come first: before the choice, the text is encoded by longest match over them alone (at
// each character start of a line the longest kept text there, else the character), and each match is a
// token at its kept entry's code; a candidate never has a kept entry's text, and the dictionary's bytes
// start with theirs taken. codeBytes are those of the entries chosen after them.
// An entry's occurrences are those it holds at the end, and what it saves is occurrences x (length -
// codeBytes).
// chosenSoFar, when given, holds the number of entries chosen so far (kept ones not counted) while the
// choice runs.
// A set cancel flag makes the call return within a fraction of a second (the suffix sorting of the text
// cannot be stopped, about a second for 16 MiB) with an empty result, which the caller must discard.
// Throws std::bad_alloc when memory runs out and std::length_error for 2 GiB of text or more.
// Everything runs on the calling thread; a run uses SavingsChoice, whose steps can run on its workers.
[[nodiscard]] SavingsResult ChooseEntries(const SavingsRequest& request, const CancelFlag& cancel,
                                          std::atomic<std::int64_t>* chosenSoFar = nullptr);

namespace savings {
class LazyGreedy;
}

// The choice in three steps, so that a run can make the first while it counts and the last on two
// workers: building the index of the candidates (the suffix sorting of the whole text) needs no code sizes
// but the cheapest one any entry will have; choosing needs them all; the two encodings need the entries.
// Choose may be called once, then Encode once per job. The request's stretches must outlive the object;
// its lengths, forbidden and trackShare are read by the constructor only. A set cancel flag makes every
// step return soon, and the result is then empty or partial, which the caller must discard.
class SavingsChoice
{
public:
    SavingsChoice(const SavingsRequest& request, int cheapestCode, const CancelFlag& cancel);
    SavingsChoice(const SavingsChoice&) = delete;
    SavingsChoice& operator=(const SavingsChoice&) = delete;
    ~SavingsChoice();

    // The entries, the text's and the table's bytes; the encoded sizes come from Encode.
    [[nodiscard]] SavingsResult Choose(const std::vector<int>& codeBytes,
                                       std::atomic<std::int64_t>* chosenSoFar);

    // The encodings as jobs that may run side by side: job 0 fills result.longestMatchBytes, job 1
    // result.bestParseBytes, each -1 when cancelled.
    static constexpr std::size_t encodingJobs = 2;
    void Encode(std::size_t job, SavingsResult& result) const;
    // The text encoded by longest match with the first counts[i] entries of the result, for each i: the
    // exact points of the savings curve, which may be worked out beside the encodings. Empty when
    // cancelled.
    [[nodiscard]] std::vector<std::int64_t> EncodePrefixes(const SavingsResult& result,
                                                           std::span<const std::size_t> counts) const;
    // The different strings of a requested length that have a window in the text, candidates or not, as
    // the index found them; 0 for a length it leaves out (below 1, longer than the text or than
    // savings::longestWindow) and when cancelled.
    [[nodiscard]] std::int64_t Distinct(std::int64_t length) const;

private:
    std::vector<std::string_view> stretches;
    std::vector<std::pair<std::int64_t, std::int64_t>> distinct; // length, different strings
    std::vector<CodedEntry> kept;
    std::int64_t overhead; // per entry in the table's bytes
    const CancelFlag& cancel;
    std::unique_ptr<savings::LazyGreedy> greedy; // until Choose: the index and the choice over it
    bool built = false;
};

// The entries of a result, with their code bytes, as the encoders take them. They point into result.
[[nodiscard]] std::vector<CodedEntry> CodedEntries(const SavingsResult& result);

} // namespace kestrin
