// SPDX-License-Identifier: MIT
// The comment filter: turns a file into the stretches of counted positions, outside or inside the
// comments of the chosen style, each with the delimiter that limits its windows.

#include "counting/comment_scanner.h"

#include "cancel_flag.h"
#include "text/line_ends.h"

#include "kestrin/run_settings.h"

#include <algorithm>
#include <cstring>

namespace kestrin {

CommentRules CommentRulesOf(const RunSettings& settings)
{
    CommentRules rules;
    rules.watchLineFeeds = settings.ignoreReturn;
    if (!settings.useComments) {
        return rules; // nothing is skipped and no delimiter limits a window
    }
    rules.skipOutside = settings.readInsideComments;
    switch (settings.commentStyle) {
    case CommentStyle::C:
        rules.begin = "/*";
        rules.end = "*/";
        break;
    case CommentStyle::Cpp:
        rules.begin = "//";
        rules.end = "\r\n";
        rules.endsAtLineEnd = true;
        break;
    case CommentStyle::Thingy:
        rules.begin = "<$";
        rules.end = ">";
        break;
    case CommentStyle::Custom:
        if (settings.beginComment.empty()) {
            // No begin text: the whole input is text outside comments, counted or not by skipOutside.
            return rules;
        }
        rules.begin = settings.beginComment;
        rules.end = settings.endComment.empty() ? std::string("\r\n") : settings.endComment;
        rules.endsAtLineEnd = settings.endComment.empty();
        break;
    }
    rules.active = true;
    return rules;
}

CommentScanner::CommentScanner(const CommentRules& rules)
    : active(rules.active), begin(rules.begin), end(rules.end), endsAtLineEnd(rules.endsAtLineEnd),
      watchLineFeeds(rules.watchLineFeeds), countState{true, rules.skipOutside}, textState(countState)
{
}

std::int64_t CommentScanner::LongestDelimiter() const
{
    return static_cast<std::int64_t>(std::max(begin.size(), end.size()));
}

std::int64_t FindDelimiter(const InputFile& file, const std::string& delimiter, std::int64_t from,
                           std::int64_t to)
{
    const auto length = static_cast<std::int64_t>(delimiter.size());
    const auto matchesAt = [&](std::int64_t position) {
        return std::memcmp(file.At(position, length), delimiter.data(), delimiter.size()) == 0;
    };
    const std::int64_t size = file.Size();
    std::int64_t position = from;
    // Within the file, jump from one occurrence of the first byte to the next.
    while (position <= to && position < size) {
        const auto* found = static_cast<const char*>(
            std::memchr(file.Data() + position, delimiter.front(),
                        static_cast<std::size_t>(std::min(to + 1, size) - position)));
        if (found == nullptr) {
            position = std::min(to + 1, size);
            break;
        }
        position = found - file.Data();
        if (matchesAt(position)) {
            return position;
        }
        ++position;
    }
    // Past the end only filler remains, which a delimiter can match only if it is made of NULs.
    for (; position <= to; ++position) {
        if (matchesAt(position)) {
            return position;
        }
    }
    return -1;
}

FileScan CommentScanner::Scan(const InputFile& file, std::int64_t bufferLength, const CancelFlag* cancel,
                              std::vector<std::string_view>* text)
{
    FileScan scan;
    if ((active && endsAtLineEnd) || watchLineFeeds) {
        // A comment that ends at the line end ends at a lone LF in a file written so (a CR LF file has none).
        const bool loneLineFeed = HoldsLoneLineFeed({file.Data(), static_cast<std::size_t>(file.Size())});
        sawLoneLineFeed = sawLoneLineFeed || loneLineFeed;
        fileEnd = loneLineFeed && endsAtLineEnd ? &lineFeed : &end;
    }
    // The first position whose read reaches past the end of the file; the file ends after it.
    const std::int64_t lastPosition = std::max<std::int64_t>(0, file.Size() - bufferLength + 1);
    const bool sameStart = countState == textState;
    scan.lastHandledPosition =
        Walk(file, countState, 0, lastPosition, cancel, scan.stretches, scan.countedPositions);
    if (text == nullptr || (cancel != nullptr && cancel->IsSet())) {
        return scan;
    }
    // Reads of one byte reach past the end of the file only at its end. From the same state, such a scan
    // finds what this one found, and goes on from the position after the last one this one handled.
    std::vector<CountedStretch> textStretches;
    std::int64_t textPositions = 0;
    if (sameStart) {
        textStretches = scan.stretches;
        textState = countState;
        (void)Walk(file, textState, scan.lastHandledPosition + 1, file.Size(), cancel, textStretches,
                   textPositions);
    } else {
        (void)Walk(file, textState, 0, file.Size(), cancel, textStretches, textPositions);
    }
    for (const CountedStretch& piece : textStretches) {
        const std::int64_t pieceEnd = std::min(piece.end, file.Size()); // the filler is not text
        if (piece.begin < pieceEnd) {
            text->emplace_back(file.Data() + piece.begin, static_cast<std::size_t>(pieceEnd - piece.begin));
        }
    }
    return scan;
}

std::int64_t CommentScanner::Walk(const InputFile& file, State& state, std::int64_t position,
                                  std::int64_t lastPosition, const CancelFlag* cancel,
                                  std::vector<CountedStretch>& stretches, std::int64_t& counted) const
{
    const auto handle = [&](std::int64_t from, std::int64_t to) { // positions [from, to) with no change
        if (state.skipText || from >= to) {
            return;
        }
        const std::string* stop = active ? &SearchDelimiter(state) : nullptr;
        if (!stretches.empty() && stretches.back().end == from && stretches.back().stop == stop) {
            stretches.back().end = to;
        } else {
            stretches.push_back({from, to, stop});
        }
        counted += to - from;
    };

    for (std::uint64_t delimiters = 1;; ++delimiters) {
        if (cancel != nullptr && delimiters % 4096 == 0 && cancel->IsSet()) {
            return 0; // the scan is incomplete
        }
        const std::int64_t match =
            active ? FindDelimiter(file, SearchDelimiter(state), position, lastPosition) : -1;
        if (match < 0) {
            handle(position, lastPosition + 1);
            return lastPosition;
        }
        handle(position, match);
        const auto skipped = static_cast<std::int64_t>(SearchDelimiter(state).size());
        state.outsideComment = !state.outsideComment;
        state.skipText = !state.skipText;
        position = match + skipped; // handled at once, without testing it for a delimiter
        handle(position, position + 1);
        if (position >= lastPosition) {
            // The read after the skip reached past the end of the file.
            return position;
        }
        ++position;
    }
}

} // namespace kestrin
