// SPDX-License-Identifier: MIT
// The encoding preview: where each entry is used, written into the text itself.

#include "text/braced_text.h"

namespace kestrin {
namespace {

// A look at the cancel flag per this many bytes of text.
constexpr std::size_t cancelStride = std::size_t{1} << 18;

void AppendEscaped(std::string& out, std::string_view text)
{
    std::size_t from = 0;
    for (std::size_t at = text.find_first_of("{}\\"); at != std::string_view::npos;
         at = text.find_first_of("{}\\", at + 1)) {
        out.append(text.substr(from, at - from));
        out += braceEscape;
        from = at;
    }
    out.append(text.substr(from));
}

} // namespace

std::string BracedText(std::span<const std::string_view> stretches, std::span<const CodedEntry> entries,
                       std::size_t firstBraced, const CancelFlag* cancel)
{
    const EntryTrie trie(entries);
    std::string braced;
    std::size_t size = 0;
    for (const std::string_view stretch : stretches) {
        size += stretch.size();
    }
    braced.reserve(size + size / 4);
    std::size_t done = 0;
    std::size_t nextLook = 0;
    for (const std::string_view stretch : stretches) {
        // No entry holds a line end, so a match never crosses one; nor the end of a stretch.
        std::size_t plainFrom = 0; // the text not yet written that no braced entry matched
        bool stopped = false;
        EncodeByLongestMatch(trie, stretch, [&](std::size_t at, const EntryTrie::Match& match) {
            if (done + at >= nextLook) {
                nextLook = done + at + cancelStride;
                if (Stopped(cancel)) {
                    stopped = true;
                    return false;
                }
            }
            if (match.entry < 0 || static_cast<std::size_t>(match.entry) < firstBraced) {
                return true;
            }
            AppendEscaped(braced, stretch.substr(plainFrom, at - plainFrom));
            braced += '{';
            AppendEscaped(braced, stretch.substr(at, match.length));
            braced += '}';
            plainFrom = at + match.length;
            return true;
        });
        if (stopped) {
            return {};
        }
        AppendEscaped(braced, stretch.substr(plainFrom));
        done += stretch.size();
    }
    return braced;
}

} // namespace kestrin
