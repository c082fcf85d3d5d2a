// SPDX-License-Identifier: MIT
// The --format records of kestrin-cli: the results of a run as TSV or JSON for scripts, built from the
// results the run hands back beside its report. Both escape every byte that could break a record, as
// a string may hold any byte, CR and LF included.

#include "result_formats.h"

#include "kestrin/table_file.h"
#include "kestrin/utf8.h"

#include <string_view>

namespace kestrin {
namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

// The bytes of the well-formed UTF-8 character of two to four bytes at the start of the text, or 0 (an
// ASCII byte, or a byte that starts no such character).
std::size_t MultiByteSequence(std::string_view text)
{
    const Utf8Sequence sequence = ReadUtf8Sequence(text);
    return !sequence.fault && sequence.bytes > 1 ? sequence.bytes : 0;
}

// Each character of the text through `escaped`, which gives a byte's escape or an empty text to keep
// it; in UTF-8, a whole multi-byte character is kept, and only a byte that starts none is escaped.
template <typename Escape> std::string Escaped(std::string_view bytes, TextEncoding encoding, Escape escaped)
{
    std::string text;
    for (std::size_t at = 0; at < bytes.size();) {
        if (const std::size_t length =
                encoding == TextEncoding::Utf8 ? MultiByteSequence(bytes.substr(at)) : 0;
            length != 0) {
            text += bytes.substr(at, length);
            at += length;
            continue;
        }
        const std::string escape = escaped(bytes[at]);
        text += escape.empty() ? std::string(1, bytes[at]) : escape;
        ++at;
    }
    return text;
}

std::string CEscape(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
    case '\t':
        return "\\t";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\\':
        return "\\\\";
    default:
        if (byte >= 32 && byte < 127) {
            return {};
        }
        // Three octal digits: unlike \x, nothing that follows can lengthen the escape.
        return {'\\', static_cast<char>('0' + (byte >> 6)), static_cast<char>('0' + ((byte >> 3) & 7)),
                static_cast<char>('0' + (byte & 7))};
    }
}

// A byte above 127 is the code point of the same value (Latin-1), and in UTF-8 one that starts no
// character is U+FFFD, so that the document stays valid.
std::string JsonEscape(char c, TextEncoding encoding)
{
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
        return {'\\', c};
    }
    if (byte >= 32 && byte < 127) {
        return {};
    }
    if (byte >= 128 && encoding == TextEncoding::Utf8) {
        return "\\uFFFD";
    }
    return std::string("\\u00") + hexDigits[byte >> 4] + hexDigits[byte & 0xF];
}

std::string JsonString(std::string_view bytes, TextEncoding encoding)
{
    return "\"" + Escaped(bytes, encoding, [&](char c) { return JsonEscape(c, encoding); }) + "\"";
}

// Why a filter skipped a result, or nothing.
std::string_view SkipReason(std::int64_t hits)
{
    switch (hits) {
    case skip_mark::space:
        return "space";
    case skip_mark::tab:
        return "tab";
    case skip_mark::carriageReturnLineFeed:
        return "crlf";
    case skip_mark::tableValue:
        return "table value";
    default:
        return {};
    }
}

// The bytes that hex and len show: the game's, when the run counted through a game table.
const std::string& GameBytes(const ResultEntry& result)
{
    return result.gameBytes ? *result.gameBytes : result.text;
}

// One result's fields as text, in record order; a missing value is empty.
struct Fields {
    std::string hits;
    std::string totalSpace;
    std::string_view skipReason;
    std::string code;
};

Fields FieldsOf(const RunOutcome& outcome, std::size_t rank)
{
    const ResultEntry& result = outcome.results[rank];
    Fields fields;
    fields.skipReason = SkipReason(result.hits);
    if (fields.skipReason.empty()) {
        fields.hits = std::to_string(result.hits);
        fields.totalSpace = std::to_string(
            result.totalSpace.value_or(static_cast<std::int64_t>(GameBytes(result).size()) * result.hits));
    }
    if (rank < outcome.codes.size() && outcome.codes[rank]) {
        fields.code = FormatTableCode(*outcome.codes[rank]);
    } else if (rank < outcome.keptCodes.size()) {
        fields.code = HexOf(outcome.keptCodes[rank]);
    }
    return fields;
}

std::string JsonValue(const std::string& value, TextEncoding encoding = TextEncoding::Latin1,
                      bool quoted = false)
{
    if (value.empty()) {
        return "null";
    }
    return quoted ? JsonString(value, encoding) : value;
}

// A problem as a record names it: a word, and for SameText and RepeatedCode the line that wins after a
// colon, "same_text:4".
std::string ProblemWord(const EvaluatedEntry& entry, EntryProblem problem)
{
    switch (problem) {
    case EntryProblem::Unused:
        return "unused";
    case EntryProblem::HoldsLineEnd:
        return "line_end";
    case EntryProblem::SplitsCharacter:
        return "splits_character";
    case EntryProblem::SameText:
        return "same_text:" + std::to_string(entry.firstLine);
    case EntryProblem::RepeatedCode:
        return "repeated_code:" + std::to_string(entry.firstLine);
    case EntryProblem::GameTableCode:
        return "game_table_code";
    case EntryProblem::NoText:
        return "no_text";
    }
    return {};
}

// The closing records of the sizes, as the savings records end.
std::string TsvSizes(const EncodedSizes& sizes)
{
    return "# encoded_size\tlongest_match=" + std::to_string(sizes.longestMatch) +
           "\tbest_parse=" + std::to_string(sizes.bestParse) + "\ttext=" + std::to_string(sizes.text) +
           "\n# table_size\tbytes=" + std::to_string(sizes.table) +
           "\tentries=" + std::to_string(sizes.entries) +
           (sizes.entryOverhead != 0 ? "\toverhead=" + std::to_string(sizes.entryOverhead) : "") + "\n";
}

std::string JsonSizes(const EncodedSizes& sizes)
{
    return ",\n \"encoded_size\": {\"longest_match\": " + std::to_string(sizes.longestMatch) +
           ", \"best_parse\": " + std::to_string(sizes.bestParse) +
           ", \"text\": " + std::to_string(sizes.text) +
           "},\n \"table_size\": {\"bytes\": " + std::to_string(sizes.table) +
           ", \"entries\": " + std::to_string(sizes.entries) +
           (sizes.entryOverhead != 0 ? ", \"overhead\": " + std::to_string(sizes.entryOverhead) : "") + "}";
}

// A judged table: one record per entry line in file order.
std::string EvaluationTsv(const RunOutcome& outcome, TextEncoding encoding)
{
    std::string text = "line\tcode\tstring\thex\tlen\tuses\tsaved\tbest_parse_uses\tproblems\n";
    for (const EvaluatedEntry& entry : outcome.evaluated) {
        text += std::to_string(entry.line) + "\t" + HexOf(entry.code) + "\t" +
                Escaped(entry.text, encoding, CEscape) + "\t" + HexOf(entry.gameBytes) + "\t" +
                std::to_string(entry.gameBytes.size()) + "\t" + std::to_string(entry.longestMatchUses) +
                "\t" + std::to_string(entry.longestMatchSaved) + "\t" + std::to_string(entry.bestParseUses) +
                "\t";
        for (std::size_t i = 0; i < entry.problems.size(); ++i) {
            text += (i == 0 ? "" : ",") + ProblemWord(entry, entry.problems[i]);
        }
        text += "\n";
    }
    return text + (outcome.sizes ? TsvSizes(*outcome.sizes) : "");
}

std::string EvaluationJson(const RunOutcome& outcome, TextEncoding encoding)
{
    std::string text = "{\"entries\": [";
    for (std::size_t i = 0; i < outcome.evaluated.size(); ++i) {
        const EvaluatedEntry& entry = outcome.evaluated[i];
        text += i == 0 ? "\n" : ",\n";
        text += "  {\"line\": " + std::to_string(entry.line) + ", \"code\": \"" + HexOf(entry.code) +
                "\", \"string\": " + JsonString(entry.text, encoding) + ", \"hex\": \"" +
                HexOf(entry.gameBytes) + "\", \"len\": " + std::to_string(entry.gameBytes.size()) +
                ", \"uses\": " + std::to_string(entry.longestMatchUses) +
                ", \"saved\": " + std::to_string(entry.longestMatchSaved) +
                ", \"best_parse_uses\": " + std::to_string(entry.bestParseUses) + ", \"problems\": [";
        for (std::size_t p = 0; p < entry.problems.size(); ++p) {
            text += (p == 0 ? "\"" : ", \"") + ProblemWord(entry, entry.problems[p]) + "\"";
        }
        text += "]}";
    }
    text += outcome.evaluated.empty() ? "]" : "\n]";
    return text + (outcome.sizes ? JsonSizes(*outcome.sizes) : "") + "}\n";
}

} // namespace

std::string FormatTsv(const RunOutcome& outcome, TextEncoding encoding)
{
    if (!outcome.evaluated.empty()) {
        return EvaluationTsv(outcome, encoding);
    }
    // With kept entries, a last column says which results they are.
    const bool keeping = !outcome.keptCodes.empty();
    std::string text = "rank\tstring\thex\tlen\thits\ttotal_space\tskipped\tcode";
    text += keeping ? "\tkept\n" : "\n";
    for (std::size_t rank = 0; rank < outcome.results.size(); ++rank) {
        const std::string& bytes = GameBytes(outcome.results[rank]);
        const Fields fields = FieldsOf(outcome, rank);
        text += std::to_string(rank) + "\t" + Escaped(outcome.results[rank].text, encoding, CEscape) + "\t" +
                HexOf(bytes) + "\t" + std::to_string(bytes.size()) + "\t" + fields.hits + "\t" +
                fields.totalSpace + "\t" + std::string(fields.skipReason) + "\t" + fields.code;
        if (keeping) {
            text += outcome.results[rank].kept ? "\tkept" : "\t";
        }
        text += "\n";
    }
    if (const auto& sizes = outcome.sizes) {
        text += TsvSizes(*sizes);
    }
    return text;
}

std::string FormatJson(const RunOutcome& outcome, TextEncoding encoding)
{
    if (!outcome.evaluated.empty()) {
        return EvaluationJson(outcome, encoding);
    }
    std::string text = "{\"results\": [";
    for (std::size_t rank = 0; rank < outcome.results.size(); ++rank) {
        const std::string& bytes = GameBytes(outcome.results[rank]);
        const Fields fields = FieldsOf(outcome, rank);
        text += rank == 0 ? "\n" : ",\n";
        text += "  {\"rank\": " + std::to_string(rank) +
                ", \"string\": " + JsonString(outcome.results[rank].text, encoding) + ", \"hex\": \"" +
                HexOf(bytes) + "\", \"len\": " + std::to_string(bytes.size()) +
                ", \"hits\": " + JsonValue(fields.hits) +
                ", \"total_space\": " + JsonValue(fields.totalSpace) +
                ", \"skipped\": " + (fields.skipReason.empty() ? "false" : "true") +
                ", \"skip_reason\": " + JsonValue(std::string(fields.skipReason), encoding, true) +
                ", \"code\": " + JsonValue(fields.code, encoding, true);
        if (!outcome.keptCodes.empty()) {
            text += std::string(", \"kept\": ") + (outcome.results[rank].kept ? "true" : "false");
        }
        text += "}";
    }
    text += outcome.results.empty() ? "]" : "\n]";
    if (const auto& sizes = outcome.sizes) {
        text += JsonSizes(*sizes);
    }
    if (!outcome.curve.empty()) {
        text += ",\n \"curve\": [";
        for (std::size_t k = 0; k < outcome.curve.size(); ++k) {
            const CurvePoint& point = outcome.curve[k];
            text += (k == 0 ? "\n  " : ",\n  ") + std::string("{\"entries\": ") +
                    std::to_string(point.entries) + ", \"script\": " + std::to_string(point.script) +
                    ", \"dictionary\": " + std::to_string(point.dictionary) +
                    ", \"exact\": " + (point.exact ? "true" : "false") + "}";
        }
        text += "\n ]";
    }
    return text + "}\n";
}

} // namespace kestrin
