// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "io/input_file.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

struct RunSettings;

// A stretch of consecutive counted positions of one file. A window that starts at a position of the
// stretch is counted only when no occurrence of `stop` (the delimiter the scanner waits for there)
// starts inside it, so that windows end before the next delimiter. An empty stop limits nothing.
struct CountedStretch {
    std::int64_t begin = 0; // first position, 0-based
    std::int64_t end = 0;   // one past the last position
    const std::string* stop = nullptr;
};

// Everything the scan of one file yields.
struct FileScan {
    std::vector<CountedStretch> stretches;
    std::int64_t countedPositions = 0;
    std::int64_t lastHandledPosition = 0; // 0-based
};

// What the comment filter takes of the settings: the delimiters of the chosen style, and whether the
// text outside comments (where every file starts) is skipped.
struct CommentRules {
    bool active = false; // a delimiter is recognised; false with comments off or an empty custom begin text
    std::string begin;
    std::string end;
    bool skipOutside = false; // the text inside comments is what is counted
    // The end delimiter is the line end CR LF: in a file whose lines end at a lone LF, it is LF there.
    bool endsAtLineEnd = false;
    // Tell whether any file holds a lone LF (CommentScanner::SawLoneLineFeed), for the skip filter of line
    // ends.
    bool watchLineFeeds = false;
};

// The rules of the settings. With the custom style and an empty begin text no delimiter is ever
// recognised: the whole input is text outside comments, counted or not by readInsideComments.
[[nodiscard]] CommentRules CommentRulesOf(const RunSettings& settings);

// The two-state comment scanner. Each position is first tested for the delimiter that would change
// the state; a matched delimiter is stepped over and the position after it is handled at once,
// without a test. The state carries over from one file into the next.
class CommentScanner
{
public:
    // A scanner at the start of the first file, outside any comment.
    explicit CommentScanner(const CommentRules& rules);
    // The stretches it yields point at its delimiters.
    CommentScanner(const CommentScanner&) = delete;
    CommentScanner& operator=(const CommentScanner&) = delete;

    [[nodiscard]] bool UseComments() const { return active; }
    // The length of the longer delimiter, 0 when comments are off.
    [[nodiscard]] std::int64_t LongestDelimiter() const;
    // With endsAtLineEnd or watchLineFeeds: whether a file scanned so far holds a lone LF.
    [[nodiscard]] bool SawLoneLineFeed() const { return sawLoneLineFeed; }

    // Scans one file whose reads take bufferLength bytes; a read that reaches past the end of the
    // file ends the file after its position has been handled. A set cancel flag stops the scan early,
    // leaving an incomplete result.
    //
    // With `text`, the same pass also appends the file's counted text, as views into the file: the
    // stretches of a scan whose reads take one byte, cut at the end of the file. That scan goes on where
    // this one stops, so that it sees every delimiter that lies wholly in the file, up to its last
    // byte, and carries its own state into the next file: a delimiter in the last bytes of a file,
    // which the count never reaches, changes what the text of the next files is. Only when the two
    // states differ at the start of a file is the file scanned a second time for the text.
    [[nodiscard]] FileScan Scan(const InputFile& file, std::int64_t bufferLength,
                                const CancelFlag* cancel = nullptr,
                                std::vector<std::string_view>* text = nullptr);

private:
    // Where a scan is: outside or inside a comment, and whether that text is skipped.
    struct State {
        bool outsideComment = true;
        bool skipText = false;
        bool operator==(const State&) const = default;
    };

    [[nodiscard]] const std::string& SearchDelimiter(const State& at) const
    {
        return at.outsideComment ? begin : *fileEnd;
    }
    // Scans the positions [position, lastPosition] from `state`, adding the counted ones to `stretches`
    // (and their number to `counted`); returns the last position handled.
    std::int64_t Walk(const InputFile& file, State& state, std::int64_t position, std::int64_t lastPosition,
                      const CancelFlag* cancel, std::vector<CountedStretch>& stretches,
                      std::int64_t& counted) const;

    bool active = false;
    std::string begin;
    std::string end;
    std::string lineFeed{"\n"};
    const std::string* fileEnd = &end; // end, or lineFeed in a file of lone LFs
    bool endsAtLineEnd = false;
    bool watchLineFeeds = false;
    bool sawLoneLineFeed = false;
    State countState; // of the scan with the count's reads
    State textState;  // of the scan a byte at a time
};

// The first position in [from, to] at which the delimiter starts, or -1. NUL filler past the end of
// the file takes part like any other byte.
[[nodiscard]] std::int64_t FindDelimiter(const InputFile& file, const std::string& delimiter,
                                         std::int64_t from, std::int64_t to);

} // namespace kestrin
