// SPDX-License-Identifier: MIT
// The --format records of kestrin-cli: the results of a run as TSV or JSON for scripts, built from the
// results the run hands back beside its report. Both escape every byte that could break a record, as
// a string may hold any byte, CR and LF included.

#include "result_formats.h"

#include "kestrin/table_file.h"

#include <string_view>

namespace kestrin {
namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

std::string Hex(std::string_view bytes)
{
    std::string hex;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += hexDigits[byte >> 4];
        hex += hexDigits[byte & 0xF];
    }
    return hex;
}

std::string CEscaped(std::string_view bytes)
{
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\t':
            text += "\\t";
            break;
        case '\n':
            text += "\\n";
            break;
        case '\r':
            text += "\\r";
            break;
        case '\\':
            text += "\\\\";
            break;
        default:
            if (byte >= 32 && byte < 127) {
                text += c;
            } else { // three octal digits: unlike \x, nothing that follows can lengthen the escape
                text += {'\\', static_cast<char>('0' + (byte >> 6)),
                         static_cast<char>('0' + ((byte >> 3) & 7)), static_cast<char>('0' + (byte & 7))};
            }
        }
    }
    return text;
}

std::string JsonString(std::string_view bytes)
{
    std::string text = "\"";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text += {'\\', c};
        } else if (byte >= 32 && byte < 127) {
            text += c;
        } else {
            text += "\\u00";
            text += hexDigits[byte >> 4];
            text += hexDigits[byte & 0xF];
        }
    }
    return text + "\"";
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
            result.totalSpace.value_or(static_cast<std::int64_t>(result.text.size()) * result.hits));
    }
    if (rank < outcome.codes.size() && outcome.codes[rank]) {
        fields.code = FormatTableCode(*outcome.codes[rank]);
    }
    return fields;
}

std::string JsonValue(const std::string& value, bool quoted = false)
{
    if (value.empty()) {
        return "null";
    }
    return quoted ? JsonString(value) : value;
}

} // namespace

std::string FormatTsv(const RunOutcome& outcome)
{
    std::string text = "rank\tstring\thex\tlen\thits\ttotal_space\tskipped\tcode\n";
    for (std::size_t rank = 0; rank < outcome.results.size(); ++rank) {
        const std::string& bytes = outcome.results[rank].text;
        const Fields fields = FieldsOf(outcome, rank);
        text += std::to_string(rank) + "\t" + CEscaped(bytes) + "\t" + Hex(bytes) + "\t" +
                std::to_string(bytes.size()) + "\t" + fields.hits + "\t" + fields.totalSpace + "\t" +
                std::string(fields.skipReason) + "\t" + fields.code + "\n";
    }
    if (const auto& sizes = outcome.sizes) {
        text += "# encoded_size\tlongest_match=" + std::to_string(sizes->longestMatch) +
                "\tbest_parse=" + std::to_string(sizes->bestParse) + "\ttext=" + std::to_string(sizes->text) +
                "\n# table_size\tbytes=" + std::to_string(sizes->table) +
                "\tentries=" + std::to_string(sizes->entries) + "\n";
    }
    return text;
}

std::string FormatJson(const RunOutcome& outcome)
{
    std::string text = "{\"results\": [";
    for (std::size_t rank = 0; rank < outcome.results.size(); ++rank) {
        const std::string& bytes = outcome.results[rank].text;
        const Fields fields = FieldsOf(outcome, rank);
        text += rank == 0 ? "\n" : ",\n";
        text += "  {\"rank\": " + std::to_string(rank) + ", \"string\": " + JsonString(bytes) +
                ", \"hex\": \"" + Hex(bytes) + "\", \"len\": " + std::to_string(bytes.size()) +
                ", \"hits\": " + JsonValue(fields.hits) +
                ", \"total_space\": " + JsonValue(fields.totalSpace) +
                ", \"skipped\": " + (fields.skipReason.empty() ? "false" : "true") +
                ", \"skip_reason\": " + JsonValue(std::string(fields.skipReason), true) +
                ", \"code\": " + JsonValue(fields.code, true) + "}";
    }
    text += outcome.results.empty() ? "]" : "\n]";
    if (const auto& sizes = outcome.sizes) {
        text += ",\n \"encoded_size\": {\"longest_match\": " + std::to_string(sizes->longestMatch) +
                ", \"best_parse\": " + std::to_string(sizes->bestParse) +
                ", \"text\": " + std::to_string(sizes->text) +
                "},\n \"table_size\": {\"bytes\": " + std::to_string(sizes->table) +
                ", \"entries\": " + std::to_string(sizes->entries) + "}";
    }
    return text + "}\n";
}

} // namespace kestrin
