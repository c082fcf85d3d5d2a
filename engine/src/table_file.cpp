#include "kestrin/table_file.h"

#include "io/file_reading.h"
#include "io/safe_write.h"

#include "kestrin/number_list.h"

#include <algorithm>

namespace kestrin {
namespace {

bool IsEntryStart(char c)
{
    // Only the first character is tested, in lower case; the rest of the code is never read.
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return (lower >= '0' && lower <= '9') || (lower >= 'a' && lower <= 'f');
}

} // namespace

std::vector<std::string> ReadTableEntries(std::string_view content)
{
    std::vector<std::string> entries;
    std::size_t start = 0;
    while (start < content.size()) {
        // A line ends at CR LF or at a lone CR; a lone LF belongs to the line.
        const auto cr = content.find('\r', start);
        const std::size_t end = cr == std::string_view::npos ? content.size() : cr;
        const std::string_view line = content.substr(start, end - start);
        if (!line.empty() && IsEntryStart(line.front())) {
            if (const auto equals = line.find('='); equals != std::string_view::npos) {
                entries.emplace_back(line.substr(equals + 1));
            }
        }
        if (cr == std::string_view::npos) {
            break;
        }
        start = cr + 1;
        if (start < content.size() && content[start] == '\n') {
            ++start;
        }
    }
    return entries;
}

ExclusionLoad LoadExclusionTable(const std::filesystem::path& path)
{
    auto content = ReadFileBytes(path);
    if (auto* error = std::get_if<FileError>(&content)) {
        return {{}, *error};
    }
    return {ReadTableEntries(std::get<FileBytes>(content).View()), std::nullopt};
}

std::string FormatTableCode(std::int16_t value)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    auto bits = static_cast<std::uint16_t>(value);
    std::string code;
    do {
        code.insert(code.begin(), digits[bits & 0xF]);
        bits = static_cast<std::uint16_t>(bits >> 4);
    } while (bits != 0);
    if (code.size() == 1) {
        code.insert(code.begin(), '0');
    }
    return code;
}

std::string BuildTableBlock(const std::vector<ResultEntry>& results, const std::vector<std::int16_t>& codes)
{
    std::string block = "\r\n";
    const std::size_t paired = std::min(results.size(), codes.size());
    for (std::size_t i = 0; i < paired; ++i) {
        // A skipped result leaves its code unused, so later results keep the codes of their ranks.
        if (results[i].hits >= 0) {
            block += FormatTableCode(codes[i]) + "=" + results[i].text + "\r\n";
        }
    }
    return block;
}

std::optional<FileError> WriteOutputTable(const std::filesystem::path& path,
                                          const std::vector<ResultEntry>& results, std::string_view ranges)
{
    // Codes beyond the last result are never used, however long a range the text asks for.
    return AppendToFile(path, BuildTableBlock(results, ParseNumberList(ranges, results.size())));
}

} // namespace kestrin
