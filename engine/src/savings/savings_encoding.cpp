// SPDX-License-Identifier: MIT
// The encoded sizes of the savings choice: how many bytes the text takes once the chosen entries replace
// what they match, by longest match and by best parse, through the one entry trie of text/entry_trie.h.

#include "savings/savings_encoding.h"

#include "cancel_flag.h"
#include "savings/savings_text.h"
#include "text/entry_trie.h"

namespace kestrin {
namespace savings {
namespace {

// A look at the cancel flag per stride of text, before the line that ends it: a line is short to encode.
using LineLooks = CancelLooks<cancelStride>;

} // namespace

std::int64_t EncodeText(std::span<const std::string_view> stretches, std::span<const CodedEntry> entries,
                        ParseRule rule, std::vector<std::int32_t>* pieces, const CancelFlag* cancel)
{
    const EntryTrie trie(entries);
    BestParser parser(trie, true);
    std::int64_t bytes = 0;
    LineLooks looks(cancel);
    const auto line = [&](std::string_view text) {
        if (looks.Stop(text.size())) {
            return;
        }
        if (rule == ParseRule::BestParse) {
            bytes += parser.Line(text, pieces);
            return;
        }
        EncodeByLongestMatch(trie, text, [&](std::size_t, const EntryTrie::Match& match) {
            bytes += match.codeBytes;
            if (pieces) {
                pieces->push_back(match.entry);
            }
            return true;
        });
    };
    // A line end stays one byte.
    ForEachLine(stretches, line, [&](char) {
        ++bytes;
        if (pieces) {
            pieces->push_back(-1);
        }
    });
    return looks.Stopped() ? -1 : bytes;
}

std::vector<std::int64_t> EncodePrefixes(std::span<const std::string_view> stretches,
                                         std::span<const CodedEntry> entries,
                                         std::span<const std::size_t> counts, const CancelFlag* cancel)
{
    const EntryTrie trie(entries);
    std::vector<std::int64_t> bytes(counts.size(), 0);
    std::vector<EntryTrie::Match> found; // the matches of the line, by position, shortest first
    std::vector<std::uint32_t> firstAt;  // where each position's matches start in found
    LineLooks looks(cancel);
    const auto line = [&](std::string_view text) {
        if (looks.Stop(text.size())) {
            return;
        }
        found.clear();
        firstAt.clear();
        for (std::size_t at = 0; at < text.size(); ++at) {
            firstAt.push_back(static_cast<std::uint32_t>(found.size()));
            trie.ForEachMatch(text, at, [&](const EntryTrie::Match& match) { found.push_back(match); });
        }
        firstAt.push_back(static_cast<std::uint32_t>(found.size()));
        for (std::size_t c = 0; c < counts.size(); ++c) {
            const auto below = static_cast<std::int32_t>(counts[c]);
            for (std::size_t at = 0; at < text.size();) {
                // The longest match among the entries below the count: the last one of those at `at`.
                std::size_t length = 1;
                int code = 1;
                for (std::uint32_t m = firstAt[at + 1]; m-- > firstAt[at];) {
                    if (found[m].entry < below) {
                        length = found[m].length;
                        code = found[m].codeBytes;
                        break;
                    }
                }
                bytes[c] += code;
                at += length;
            }
        }
    };
    ForEachLine(stretches, line, [&](char) {
        for (std::int64_t& size : bytes) {
            ++size;
        }
    });
    return looks.Stopped() ? std::vector<std::int64_t>{} : bytes;
}

} // namespace savings

std::int64_t EncodeLongestMatch(std::span<const std::string_view> stretches,
                                std::span<const CodedEntry> entries)
{
    return savings::EncodeText(stretches, entries, ParseRule::LongestMatch, nullptr, nullptr);
}

std::int64_t EncodeBestParse(std::span<const std::string_view> stretches, std::span<const CodedEntry> entries)
{
    return savings::EncodeText(stretches, entries, ParseRule::BestParse, nullptr, nullptr);
}

Encoding EncodeWithParse(std::span<const std::string_view> stretches, std::span<const CodedEntry> entries,
                         ParseRule rule)
{
    Encoding encoding;
    encoding.bytes = savings::EncodeText(stretches, entries, rule, &encoding.pieces, nullptr);
    return encoding;
}

} // namespace kestrin
