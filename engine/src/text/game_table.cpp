// SPDX-License-Identifier: MIT
// The game's character table: a Thingy table file read into codes and texts, with every bad entry
// line reported as data, and lookups from a code or a text to its entry. The first line of a code or
// a text wins over later ones, so that an inserter's choice is fixed by the file alone.

#include "text/game_table.h"

#include "hex_digits.h"
#include "text/line_ends.h"

namespace kestrin {
namespace {

// The bytes of a code of hex digits, 1 to 4 bytes, or nothing. A game table's code is its bytes, two
// digits each. In a table a run writes (CodeDigits::Number), an odd number of digits spells the number
// they make, padded to whole bytes: the output table writes the codes 100 to FFF with three digits and
// prices them at two bytes (01 00 for 100), so such a table reads back as the codes it was priced at.
std::optional<std::string> ParseCode(std::string_view digits, CodeDigits spelling)
{
    if (digits.empty() || digits.size() > 8 || (spelling == CodeDigits::Pairs && digits.size() % 2 != 0)) {
        return std::nullopt;
    }
    std::string code;
    int high = digits.size() % 2 == 0 ? -1 : 0; // the high digit of the byte being read
    for (const char c : digits) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            return std::nullopt;
        }
        if (high < 0) {
            high = digit;
        } else {
            code += static_cast<char>(high * 16 + digit);
            high = -1;
        }
    }
    return code;
}

// Takes the code of a newline line as the table's newline code unless an earlier line gave one: the first
// wins, and a later one with another code is listed.
void NameNewlineCode(const std::string& code, std::int64_t number, GameTableLoad& load)
{
    if (!load.table.NewlineCode()) {
        load.table.SetNewlineCode(code);
        load.newlineLine = number;
    } else if (*load.table.NewlineCode() != code) {
        load.otherNewlineCodes.push_back(number);
    }
}

// Adds an entry line's entry to the table, or lists it as a duplicate. Returns true when it was added.
bool AddEntry(const GameTableEntry& entry, GameTableLoad& load)
{
    const auto& entries = load.table.Entries();
    if (const auto first = load.table.Add(entry)) {
        const auto kind =
            entries[*first].code == entry.code ? TableDuplicateKind::Code : TableDuplicateKind::Text;
        load.duplicates.push_back({entry.line, kind, entries[*first].line});
        return false;
    }
    return true;
}

// Reads one line into the load: an entry, a fault, a duplicate, or nothing for a line that holds no
// entry.
void ReadLine(std::string_view line, std::int64_t number, CodeDigits spelling, GameTableLoad& load)
{
    if (line.starts_with('*')) {
        const std::string_view rest = line.substr(1);
        const std::size_t equals = rest.find('=');
        if (const auto code = ParseCode(rest.substr(0, equals), spelling)) {
            NameNewlineCode(*code, number, load);
            if (equals != std::string_view::npos && equals + 1 < rest.size()) {
                GameTableEntry entry{*code, std::string(rest.substr(equals + 1)), false, number};
                load.lines.push_back(entry);
                (void)AddEntry(entry, load);
            }
            // The code counts as used even when its text was an earlier line's.
            (void)load.table.Add({*code, {}, false, number});
            return;
        }
    }
    if (!line.empty() && std::string_view("$!@*^([").find(line.front()) != std::string_view::npos) {
        load.unmodelled.emplace_back(number, std::string(line));
        const std::string_view rest = line.substr(1);
        if (const auto code = ParseCode(rest.substr(0, rest.find_first_of("=,")), spelling)) {
            (void)load.table.Add({*code, {}, false, number});
        }
        return;
    }
    if (line.empty() || (line.front() != '/' && HexDigitValue(line.front()) < 0)) {
        return;
    }
    const bool stringEnd = line.front() == '/';
    const std::string_view rest = stringEnd ? line.substr(1) : line;
    const std::size_t equals = rest.find('=');
    const auto code = ParseCode(rest.substr(0, equals), spelling);
    if (!code) {
        load.faults.push_back({number, TableFaultKind::BadCode, std::string(line)});
        return;
    }
    const std::string_view text =
        equals == std::string_view::npos ? std::string_view() : rest.substr(equals + 1);
    load.lines.push_back({*code, std::string(text), stringEnd, number});
    if (text.empty() && !stringEnd) {
        load.faults.push_back({number, TableFaultKind::MissingText, std::string(line)});
        return;
    }
    // "HEX=\n" names the newline code in the newer convention; the line stays an entry of its text.
    if (AddEntry({*code, std::string(text), stringEnd, number}, load) && !stringEnd && text == "\\n") {
        NameNewlineCode(*code, number, load);
    }
}

} // namespace

std::uint64_t PackCode(std::string_view code)
{
    std::uint64_t packed = code.size();
    for (const char c : code) {
        packed = (packed << 8) | static_cast<unsigned char>(c);
    }
    return packed;
}

std::array<std::int32_t, 256> GameTable::MakeNoCodes()
{
    std::array<std::int32_t, 256> none{};
    none.fill(-1);
    return none;
}

std::optional<std::size_t> GameTable::Add(GameTableEntry entry)
{
    if (const GameTableEntry* same = FindCode(entry.code)) {
        return static_cast<std::size_t>(same - entries.data());
    }
    if (const GameTableEntry* same = entry.text.empty() ? nullptr : FindText(entry.text)) {
        return static_cast<std::size_t>(same - entries.data());
    }
    const std::size_t index = entries.size();
    if (entry.code.size() == 1) {
        oneByteCodes[static_cast<unsigned char>(entry.code[0])] = static_cast<std::int32_t>(index);
    } else {
        longerCodes.emplace(PackCode(entry.code), index);
    }
    if (!entry.text.empty()) {
        texts.emplace(entry.text, index);
    }
    entries.push_back(std::move(entry));
    return std::nullopt;
}

const GameTableEntry* GameTable::FindCode(std::string_view code) const
{
    if (code.size() == 1) {
        const std::int32_t index = oneByteCodes[static_cast<unsigned char>(code[0])];
        return index < 0 ? nullptr : &entries[static_cast<std::size_t>(index)];
    }
    const auto found = longerCodes.find(PackCode(code));
    return found == longerCodes.end() ? nullptr : &entries[found->second];
}

const GameTableEntry* GameTable::FindText(std::string_view text) const
{
    const auto found = texts.find(std::string(text));
    return found == texts.end() ? nullptr : &entries[found->second];
}

const GameTableEntry* GameTable::FirstCodeWithCodePrefix() const
{
    for (const GameTableEntry& entry : entries) {
        for (std::size_t length = 1; length < entry.code.size(); ++length) {
            if (FindCode(std::string_view(entry.code).substr(0, length)) != nullptr) {
                return &entry;
            }
        }
    }
    return nullptr;
}

GameTableLoad ReadGameTable(std::string_view content, TextEncoding encoding, TableTextCheck check,
                            CodeDigits spelling)
{
    GameTableLoad load{GameTable(encoding), std::nullopt, {}, {}, 0, {}, {}, {}, false};
    load.utf8Mark = encoding == TextEncoding::Latin1 && content.starts_with("\xEF\xBB\xBF");
    if (check == TableTextCheck::WholeFile && (load.invalidText = ValidateText(content, encoding))) {
        return load;
    }
    if (encoding == TextEncoding::Utf8 && content.starts_with("\xEF\xBB\xBF")) {
        content.remove_prefix(3);
    }
    std::int64_t number = 1;
    TableLineReader lines(content, LineEnds::CrLfCrOrLf);
    while (const auto line = lines.Next()) {
        ReadLine(*line, number, spelling, load);
        ++number;
    }
    return load;
}

} // namespace kestrin
