// SPDX-License-Identifier: MIT
// The warnings of kestrin-cli about a command line that parses: options given without the option they
// work with, and pieces of numbers that the run reads as no number.

#include "cli_warnings.h"

#include "kestrin/number_list.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>

namespace kestrin {
namespace {

// A piece of a number that the run reads as no number, named with what the run takes instead; "0x80"
// is pointed to "&H80", the way hex is written here.
std::string NotANumber(std::string_view option, std::string_view piece, std::string_view instead)
{
    std::string text = std::string(option) + ": \"" + std::string(piece) + "\" is not a number";
    if (piece.size() > 2 && piece[0] == '0' && (piece[1] == 'x' || piece[1] == 'X')) {
        text += " (hex is written &H" + std::string(piece.substr(2)) + ")";
    }
    return text + ", so " + std::string(instead);
}

} // namespace

// The options that do nothing without a partner: each draws a warning naming both.
std::vector<std::string> WarnAboutPartners(const CommandLine& line,
                                           const std::function<bool(std::string_view)>& given)
{
    const RunSettings& s = line.settings;
    const bool custom = s.useComments && s.commentStyle == CommentStyle::Custom;
    const std::tuple<bool, std::string_view, std::string_view> partners[] = {
        {given("inside") && !s.useComments, "-i/--inside", "-c/--comments"},
        {given("begin") && !custom, "--begin", "-c/--comments custom"},
        {given("end") && !custom, "--end", "-c/--comments custom"},
        // With --real-savings the ranges give the sizes of the codes, with or without a table.
        {given("ranges") && !s.outputTable && !s.realSavings, "-r/--ranges", "-t/--table"},
        {given("table") && !given("ranges"), "-t/--table", "-r/--ranges"},
        {given("force") && !s.reportFile, "--force", "-o/--report"},
        {given("dictionary-bytes") && !s.realSavings, "--dictionary-bytes", "--real-savings"},
        {given("show-encoding") && !s.realSavings && !s.evaluateTable, "--show-encoding",
         "--real-savings or --evaluate"},
        {given("entry-overhead") && !s.realSavings, "--entry-overhead", "--real-savings"},
        {given("curve") && !s.realSavings, "--curve", "--real-savings"},
    };
    std::vector<std::string> warnings;
    for (const auto& [alone, option, partner] : partners) {
        if (alone) {
            warnings.push_back(std::string(option) + " does nothing without " + std::string(partner));
        }
    }
    return warnings;
}

// The pieces of the lengths, the ranges and the request that are no number: the run reads them as the
// window does (a list item is dropped, a range end becomes 1 or 2, the request becomes 25), which a
// command should not do without a word.
std::vector<std::string> WarnAboutNumbers(const RunSettings& s)
{
    std::vector<std::string> warnings;
    const auto trimmed = [](std::string_view text) {
        const std::size_t first = text.find_first_not_of(' ');
        return first == std::string_view::npos ? std::string_view()
                                               : text.substr(first, text.find_last_not_of(' ') + 1 - first);
    };
    for (const auto& [option, list] :
         {std::pair<std::string_view, const std::string&>{"-l/--lengths", s.sampleLengths},
          {"-r/--ranges", s.writeTableRanges}}) {
        std::size_t itemStart = 0;
        while (itemStart <= list.size()) {
            const std::size_t itemEnd = std::min(list.find(',', itemStart), list.size());
            const std::string_view item(list.data() + itemStart, itemEnd - itemStart);
            const std::size_t dash = item.find('-');
            for (int end = 0; end < (dash == std::string_view::npos ? 1 : 2); ++end) {
                const std::string_view piece =
                    trimmed(end == 0 ? item.substr(0, dash) : item.substr(dash + 1));
                if (!piece.empty() && !ParseNumeric(piece)) {
                    warnings.push_back(NotANumber(option, piece,
                                                  dash == std::string_view::npos ? "it is left out"
                                                  : end == 0                     ? "the range starts at 1"
                                                                                 : "the range ends at 2"));
                }
            }
            itemStart = itemEnd + 1;
        }
    }
    if (!ParseNumeric(s.topResults)) {
        warnings.push_back(NotANumber("-n/--top", s.topResults, "it is read as 25"));
    }
    // A dictionary smaller than the shortest entry there can be takes none: the report would list nothing.
    if (s.realSavings && !s.dictionaryBytes.empty() && s.dictionaryBytes.size() < 6) {
        int shortest = 0;
        for (const std::int16_t length : ParseNumberList(s.sampleLengths)) {
            shortest = length > 0 && (shortest == 0 || length < shortest) ? length : shortest;
        }
        shortest = s.gameTable ? std::max(shortest, 2) : shortest; // one character is the game table's own
        if (shortest > 0 && std::stoi(s.dictionaryBytes) < shortest) {
            warnings.push_back("--dictionary-bytes " + s.dictionaryBytes +
                               " admits no entry: the shortest takes at least " + std::to_string(shortest) +
                               " bytes");
        }
    }
    // Without a table the choice prices its entries at the ranges' codes, one byte each when they give none.
    if (s.realSavings && !s.outputTable && !s.writeTableRanges.empty() &&
        ParseNumberList(s.writeTableRanges).empty()) {
        warnings.push_back("-r/--ranges \"" + s.writeTableRanges +
                           "\" gives no code, so --real-savings prices every entry at one byte");
    }
    return warnings;
}

} // namespace kestrin
