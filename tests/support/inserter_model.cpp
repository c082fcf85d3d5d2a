// SPDX-License-Identifier: MIT
#include "inserter_model.h"

#include "kestrin/number_list.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

namespace kestrin::testing {

std::string Utf8Of(std::uint32_t cp)
{
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

std::optional<std::size_t> FirstUtf8Fault(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        std::size_t length = 0;
        std::uint32_t cp = 0;
        if (lead < 0x80) {
            length = 1;
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            cp = lead & 0x1Fu;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            cp = lead & 0x0Fu;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            cp = lead & 0x07u;
        } else {
            return at;
        }
        if (at + length > text.size()) {
            return at;
        }
        for (std::size_t i = 1; i < length; ++i) {
            const auto byte = static_cast<unsigned char>(text[at + i]);
            if ((byte & 0xC0) != 0x80) {
                return at;
            }
            cp = (cp << 6) | (byte & 0x3Fu);
        }
        const std::uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < shortest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return at;
        }
        at += length;
    }
    return std::nullopt;
}

namespace {

// The entries an inserter can use: the first of each code and of each text.
std::vector<ModelEntry> UsableEntries(const std::vector<ModelEntry>& table)
{
    std::vector<ModelEntry> usable;
    for (const ModelEntry& entry : table) {
        bool taken = false;
        for (const ModelEntry& earlier : usable) {
            taken =
                taken || earlier.code == entry.code || (!entry.text.empty() && earlier.text == entry.text);
        }
        if (!taken) {
            usable.push_back(entry);
        }
    }
    return usable;
}

} // namespace

ModelEncoding InsertByLongestMatch(std::string_view script, const std::vector<ModelEntry>& table)
{
    const std::vector<ModelEntry> usable = UsableEntries(table);
    ModelEncoding out;
    std::size_t at = 0;
    while (at < script.size()) {
        out.characterStarts.push_back(out.bytes.size());
        if (script[at] == '\r' || script[at] == '\n') {
            out.breakStarts.push_back(out.bytes.size());
            out.bytes += script[at];
            ++at;
            continue;
        }
        const ModelEntry* best = nullptr;
        for (const ModelEntry& entry : usable) {
            if (!entry.text.empty() && script.substr(at).starts_with(entry.text) &&
                (best == nullptr || entry.text.size() > best->text.size())) {
                best = &entry;
            }
        }
        if (best == nullptr) {
            out.characterStarts.pop_back();
            out.unmappedAt = at;
            return out;
        }
        if (best->stringEnd) {
            out.breakStarts.push_back(out.bytes.size());
        }
        out.bytes += best->code;
        at += best->text.size();
    }
    return out;
}

std::optional<std::size_t> BestSplitBytes(std::string_view script, const std::vector<ModelEntry>& table)
{
    const std::vector<ModelEntry> usable = UsableEntries(table);
    // best[p]: the fewest bytes for script[p, end).
    std::vector<std::optional<std::size_t>> best(script.size() + 1);
    best[script.size()] = 0;
    for (std::size_t p = script.size(); p-- > 0;) {
        if (script[p] == '\r' || script[p] == '\n') {
            best[p] = best[p + 1] ? std::optional(*best[p + 1] + 1) : std::nullopt;
            continue;
        }
        for (const ModelEntry& entry : usable) {
            const std::size_t end = p + entry.text.size();
            if (!entry.text.empty() && script.substr(p).starts_with(entry.text) && best[end] &&
                (!best[p] || *best[end] + entry.code.size() < *best[p])) {
                best[p] = *best[end] + entry.code.size();
            }
        }
    }
    return best[0];
}

std::int64_t LineEndsOverBytes(std::string_view script, const std::vector<ModelEntry>& table,
                               const std::optional<std::string>& newlineCode)
{
    std::int64_t over = 0;
    bool layout = false; // the last line that held text ended with an end code
    std::size_t at = 0;
    while (at < script.size()) {
        const std::size_t lineEnd = std::min(script.find_first_of("\r\n", at), script.size());
        if (lineEnd > at) {
            // No entry holds a line end: the line encodes alone as it does in the script.
            const ModelEncoding line = InsertByLongestMatch(script.substr(at, lineEnd - at), table);
            layout = !line.characterStarts.empty() && !line.breakStarts.empty() &&
                     line.breakStarts.back() == line.characterStarts.back();
        }
        if (lineEnd == script.size()) {
            break;
        }
        const std::size_t length = script.substr(lineEnd, 2) == "\r\n" ? 2 : 1;
        const std::size_t price = layout || !newlineCode ? 0 : newlineCode->size();
        over += static_cast<std::int64_t>(price) - static_cast<std::int64_t>(length);
        at = lineEnd + length;
    }
    return over;
}

std::vector<ModelEntry> UsedEntries(const std::vector<ModelEntry>& table)
{
    std::vector<ModelEntry> used;
    for (const ModelEntry& entry : table) {
        const bool repeated = std::any_of(used.begin(), used.end(), [&](const ModelEntry& e) {
            return e.code == entry.code || e.text == entry.text;
        });
        if (!repeated) {
            used.push_back(entry);
        }
    }
    return used;
}

std::vector<ModelEntry> CharacterTable(std::string_view script)
{
    std::vector<ModelEntry> table;
    for (std::size_t at = 0; at < script.size();) {
        const auto lead = static_cast<unsigned char>(script[at]);
        const std::size_t bytes = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::string character(script.substr(at, bytes));
        if (character != "\r" && character != "\n") {
            table.push_back({character, character, false});
        }
        at += bytes;
    }
    return UsedEntries(table);
}

std::map<std::string, ModelString> CountWindows(const ModelEncoding& encoded, std::size_t longest)
{
    std::vector<std::size_t> starts = encoded.characterStarts;
    starts.push_back(encoded.bytes.size());
    const auto isBreak = [&](std::size_t character) {
        return std::find(encoded.breakStarts.begin(), encoded.breakStarts.end(), starts[character]) !=
               encoded.breakStarts.end();
    };
    std::map<std::string, ModelString> counted;
    for (std::size_t k = 1; k <= longest; ++k) {
        for (std::size_t i = 0; i + k < starts.size(); ++i) {
            bool whole = true;
            for (std::size_t u = i; u < i + k; ++u) {
                whole = whole && !isBreak(u);
            }
            if (whole) {
                auto [at, added] = counted.try_emplace(
                    encoded.bytes.substr(starts[i], starts[i + k] - starts[i]), ModelString{0, k - 1, i});
                ++at->second.hits;
            }
        }
    }
    return counted;
}

using namespace std::string_literals;

RandomTableCase MakeRandomTableCase(std::mt19937_64& random)
{
    // clang-format off
    const std::vector<std::string> pieces = {
        "a", "ab", "b", "be", "e", "th", "the", "there", " ", "<", "<L", "<LINE>", "<LINE><LINE>", "<END>",
        "[W]", "\xD0\xB0", "\xD0\xB1", "\xD0\xB0\xD0\xB1", "\xE3\x81\x82", "\xE3\x81\x84",
        "\xE3\x81\x82\xE3\x81\x84", "\xF0\x9F\x98\x80"};
    // clang-format on
    RandomTableCase c;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (random() % 5 == 0 && pieces[i].size() > 1) {
            continue; // longer texts are sometimes missing, so that their pieces have to serve
        }
        const unsigned code = random() % 3 == 0 ? 0x8000 + static_cast<unsigned>(random() % 64)
                                                : static_cast<unsigned>(random() % 64);
        std::string bytes;
        char digits[12];
        std::snprintf(digits, sizeof digits, code > 0xFF ? "%04X" : "%02X", code);
        for (std::size_t d = 0; digits[d] != 0; d += 2) {
            bytes += static_cast<char>(std::stoi(std::string(digits + d, 2), nullptr, 16));
        }
        const bool end = pieces[i].starts_with("<E");
        c.entries.push_back({bytes, pieces[i], end});
        c.file += (end ? "/"s : ""s) + digits + "=" + pieces[i] + "\r\n";
    }
    // The newline code and the line ends after end codes come from a generator of their own, so that the
    // tables and scripts drawn from `random` stay the cases they have always been, with these added.
    std::mt19937_64 lines(std::hash<std::string>{}(c.file));
    const auto newline = lines() % 6; // one or two bytes, in one of three spellings, or none
    std::string newlineText;
    if (newline < 4) {
        c.newlineCode = newline % 2 == 0 ? "\xFE"s : "\xFF\x01"s;
        newlineText = newline < 2 ? "\\n" : newline == 2 ? "<BR>" : "";
    }
    for (auto n = random() % 200; n > 0; --n) {
        const auto pick = random() % 1000;
        // Now and then a byte that is no UTF-8 character: the encoder must stop there as cleanly.
        const std::string text = pick < 100   ? "\r\n"s.substr(random() % 2, 1 + random() % 2)
                                 : pick < 102 ? std::string(1, static_cast<char>(0x80 + random() % 128))
                                              : c.entries[random() % c.entries.size()].text;
        c.script += text;
        // An end code mostly ends a line: the line ends after it are layout.
        if (text.starts_with("<E") && lines() % 4 != 0) {
            const auto from = lines() % 3;
            c.script += "\r\n\n\r"s.substr(from, 1 + lines() % 3);
        }
        c.script += lines() % 20 == 0 ? newlineText : "";
    }
    if (c.newlineCode) {
        const std::string digits = newline % 2 == 0 ? "FE" : "FF01";
        c.entries.push_back({*c.newlineCode, newlineText, false});
        c.file += (newline < 2 ? digits + "=" : "*" + digits + (newlineText.empty() ? "" : "=")) +
                  newlineText + "\r\n";
    }
    return c;
}

std::vector<std::string> ModelRanking(const std::map<std::string, ModelString>& counted, std::size_t count)
{
    std::vector<std::pair<std::string, ModelString>> all(counted.begin(), counted.end());
    const auto key = [](const std::pair<std::string, ModelString>& s) {
        return std::make_tuple(-static_cast<std::int64_t>(s.first.size()) * s.second.hits, s.second.column,
                               static_cast<unsigned char>(s.first[0]), s.second.first);
    };
    std::sort(all.begin(), all.end(), [&](const auto& a, const auto& b) { return key(a) < key(b); });
    std::vector<std::string> best;
    for (std::size_t i = 0; i < std::min(count, all.size()); ++i) {
        best.push_back(all[i].first);
    }
    return best;
}

std::string CheckTextRun(const RunSettings& settings, std::string_view scriptFile,
                         const std::vector<ModelEntry>& table, const std::optional<std::string>& newlineCode,
                         bool tableMayFail, const RunOutcome& outcome)
{
    const bool utf8 = settings.encoding == TextEncoding::Utf8;
    // A byte-order mark that starts a UTF-8 script is no character of it; offsets stay the file's.
    const std::size_t mark = utf8 && scriptFile.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    const std::string_view script = scriptFile.substr(mark);
    std::optional<std::size_t> invalid;
    if (const auto fault = utf8 ? FirstUtf8Fault(script) : std::nullopt) {
        invalid = *fault + mark;
    }
    ModelEncoding encoded = InsertByLongestMatch(script, table);
    if (encoded.unmappedAt) {
        encoded.unmappedAt = *encoded.unmappedAt + mark;
    }
    if (outcome.status == RunStatus::Refused) {
        const Refusal& refusal = *outcome.refusal;
        if (settings.outputTable && std::filesystem::exists(*settings.outputTable)) {
            return "the output table of a refused run";
        }
        if (refusal.reason == Refusal::Reason::InvalidText && refusal.role == FileRole::InputFile) {
            return invalid && static_cast<std::size_t>(refusal.offset) == *invalid ? "" : "the invalid text";
        }
        if (refusal.reason == Refusal::Reason::UnmappedText) {
            return !invalid && encoded.unmappedAt &&
                           static_cast<std::size_t>(refusal.offset) == *encoded.unmappedAt
                       ? ""
                       : "the unmapped text";
        }
        return tableMayFail ? "" : "a refusal";
    }
    if (outcome.status != RunStatus::Completed || invalid || encoded.unmappedAt) {
        return "the run's end";
    }
    if (outcome.counters.countedCharacters != static_cast<std::int64_t>(encoded.characterStarts.size()) ||
        outcome.counters.totalCharacters != outcome.counters.countedCharacters) {
        return "the counted characters";
    }
    const std::vector<std::int16_t> lengths = ParseNumberList(settings.sampleLengths);
    const auto counted = CountWindows(encoded, static_cast<std::size_t>(lengths.back()));
    // Every length from 1 on (as the callers ask): the run's different strings are the model's windows,
    // counted by the count, or with real savings by the index.
    if (lengths.front() == 1 && lengths.size() == static_cast<std::size_t>(lengths.back()) &&
        outcome.counters.distinctStrings != static_cast<std::int64_t>(counted.size())) {
        return "the different strings";
    }
    const bool useTable = settings.gameTable.has_value();
    std::vector<ModelEntry> entries;
    std::vector<std::string> chosen;
    std::int64_t entryBytes = 0;
    const std::int64_t overhead = settings.entryOverhead.empty() ? 0 : std::stoll(settings.entryOverhead);
    unsigned code = 0xF000; // the run's ranges; the entries take the codes that the table does not use
    for (const ResultEntry& result : outcome.results) {
        const std::string bytes = result.gameBytes.value_or(result.text);
        const auto at = counted.find(bytes);
        // Whole characters, no break: the model counted exactly these bytes as a window.
        if (result.gameBytes.has_value() != useTable || at == counted.end() ||
            (!settings.realSavings && at->second.hits != result.hits)) {
            return "the result " + result.text;
        }
        chosen.push_back(bytes);
        entryBytes += static_cast<std::int64_t>(bytes.size()) + overhead;
        std::string entryCode;
        do {
            entryCode = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
            ++code;
        } while (std::any_of(table.begin(), table.end(),
                             [&](const ModelEntry& e) { return e.code == entryCode; }));
        // A kept entry has its own code.
        const std::size_t i = entries.size();
        entries.push_back(
            {i < outcome.keptCodes.size() ? outcome.keptCodes[i] : entryCode, result.text, false});
    }
    if (!settings.realSavings) {
        return chosen == ModelRanking(counted, std::stoul(settings.topResults) + 1) ? "" : "the ranking";
    }
    std::vector<ModelEntry> united = table;
    united.insert(useTable ? united.end() : united.begin(), entries.begin(), entries.end());
    // Every size below counts a byte per CR and per LF; the game takes the line ends' prices instead.
    const std::int64_t lineEnds = useTable ? LineEndsOverBytes(script, table, newlineCode) : 0;
    const auto encodedSize = [&](const std::vector<ModelEntry>& with) {
        return static_cast<std::int64_t>(InsertByLongestMatch(script, with).bytes.size()) + lineEnds;
    };
    const std::int64_t longest = encodedSize(united);
    const std::int64_t best =
        static_cast<std::int64_t>(BestSplitBytes(script, united).value_or(0)) + lineEnds;
    if (!outcome.sizes || outcome.sizes->text != static_cast<std::int64_t>(encoded.bytes.size()) + lineEnds ||
        outcome.sizes->table != entryBytes || outcome.sizes->longestMatch != longest ||
        outcome.sizes->bestParse != best) {
        return "the encoded sizes: " +
               (outcome.sizes
                    ? std::to_string(outcome.sizes->longestMatch) + " " +
                          std::to_string(outcome.sizes->bestParse) + " " +
                          std::to_string(outcome.sizes->text) + " " + std::to_string(outcome.sizes->table)
                    : "none") +
               " against " + std::to_string(longest) + " " + std::to_string(best) + " " +
               std::to_string(static_cast<std::int64_t>(encoded.bytes.size()) + lineEnds) + " " +
               std::to_string(entryBytes);
    }
    if (!settings.dictionaryBytes.empty() && entryBytes > std::stoll(settings.dictionaryBytes)) {
        return "the dictionary bytes";
    }
    // The curve: a point per number of entries, exact at 21 or all, each exact one the script through the
    // table and the first entries.
    if (settings.savingsCurve) {
        std::int64_t exactPoints = 0;
        std::int64_t dictionary = 0;
        for (std::size_t k = 0; k < outcome.curve.size(); ++k) {
            const CurvePoint& point = outcome.curve[k];
            std::vector<ModelEntry> first = table;
            first.insert(useTable ? first.end() : first.begin(), entries.begin(),
                         entries.begin() + static_cast<std::ptrdiff_t>(std::min(k, entries.size())));
            if (point.entries != static_cast<std::int64_t>(k) || point.dictionary != dictionary ||
                (point.exact && point.script != encodedSize(first))) {
                return "the curve at " + std::to_string(k);
            }
            exactPoints += point.exact ? 1 : 0;
            dictionary += k < chosen.size() ? static_cast<std::int64_t>(chosen[k].size()) + overhead : 0;
        }
        if (outcome.curve.size() != entries.size() + 1 ||
            exactPoints < std::min<std::int64_t>(21, static_cast<std::int64_t>(outcome.curve.size()))) {
            return "the curve's points";
        }
    }
    std::ifstream file(*settings.outputTable, std::ios::binary);
    std::ostringstream written;
    written << file.rdbuf();
    // Only the entries chosen go to the table, after the kept ones, which come first.
    for (std::size_t i = 0; i < outcome.results.size(); ++i) {
        const ResultEntry& result = outcome.results[i];
        if (result.kept != (i < outcome.keptCodes.size()) ||
            (written.str().find("=" + result.text + "\r\n") == std::string::npos) != result.kept) {
            return "the output table's entry " + result.text;
        }
    }
    return "";
}

} // namespace kestrin::testing
