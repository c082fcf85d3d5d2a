// SPDX-License-Identifier: MIT
#include "test_support.h"

#include <array>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace kestrin::testing {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrin-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
    std::filesystem::remove_all(path, ignored);
}

std::filesystem::path TempDir::Write(const std::string& name, std::string_view bytes) const
{
    const auto file = path / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string MaskElapsed(std::string report)
{
    const std::string label = "Elapsed time: ";
    const auto at = report.find(label);
    if (at != std::string::npos && at + label.size() + 8 <= report.size()) {
        report.replace(at + label.size(), 8, "--:--:--");
    }
    return report;
}

std::string ResultLines(const std::string& report)
{
    const auto blank = report.find("\r\n\r\n");
    return blank == std::string::npos ? std::string() : report.substr(blank + 4);
}

std::string Describe(const RunSettings& s)
{
    const auto file = [](const std::optional<std::filesystem::path>& path) {
        return path ? path->string() : "none";
    };
    std::ostringstream out;
    out << std::boolalpha << "\nFILE=";
    for (const auto& path : s.inputFiles) {
        out << path << (&path == &s.inputFiles.back() ? "" : " ");
    }
    out << "\nlengths=" << s.sampleLengths << "\ntop=" << s.topResults
        << "\ncomments=" << (s.useComments ? "" : "off ")
        << std::array{"c", "cpp", "table", "custom"}[static_cast<std::size_t>(s.commentStyle)]
        << "\nbegin=" << s.beginComment << "\nend=" << s.endComment << "\ninside=" << s.readInsideComments
        << "\nencoding=" << std::array{"latin1", "utf-8"}[static_cast<std::size_t>(s.encoding)]
        << "\ngame-table=" << file(s.gameTable) << "\ndictionary-bytes=" << s.dictionaryBytes
        << "\nignore-space=" << s.ignoreSpace << "\nignore-return=" << s.ignoreReturn
        << "\nignore-tab=" << s.ignoreTab << "\nreal-savings=" << s.realSavings
        << "\nexclude=" << file(s.exclusionTable) << "\nreport=" << file(s.reportFile)
        << "\nreplace-only-reports=" << s.replaceOnlyReports << "\ntable=" << file(s.outputTable)
        << "\nranges=" << s.writeTableRanges << "\nthreads=" << s.threads
        << "\nevaluate=" << file(s.evaluateTable) << "\nkeep=" << file(s.keepTable)
        << "\nentry-overhead=" << s.entryOverhead << "\nsavings-curve=" << s.savingsCurve
        << "\ncurve=" << file(s.curveFile) << "\nshow-encoding=" << file(s.encodingPreview) << "\n";
    return out.str();
}

std::vector<std::string> RefusalValues(const Refusal& r)
{
    using Reason = Refusal::Reason;
    std::vector<std::string> values{r.path.string()};
    for (const std::int64_t line : {r.line, r.otherLine}) {
        if (line != 0) {
            values.push_back("line " + std::to_string(line));
        }
    }
    if (r.reason == Reason::InvalidText) {
        values.push_back("byte offset " + std::to_string(r.offset));
    }
    if (r.reason == Reason::UnmappedText) {
        values.push_back("column " + std::to_string(r.column) + ": \"" + r.text + "\"");
    }
    if (r.reason == Reason::BadTableLine || r.reason == Reason::BadDictionaryBytes ||
        r.reason == Reason::BadEntryOverhead) {
        values.push_back("\"" + r.text + "\"");
    }
    if (r.reason == Reason::InvalidText || r.reason == Reason::UnmappedText ||
        r.reason == Reason::InvalidDelimiter) {
        std::string hex = "bytes";
        for (const char c : r.text) {
            const auto byte = static_cast<unsigned char>(c);
            hex += {' ', "0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 0xF]};
        }
        values.push_back(hex);
    }
    return values;
}

std::string WithFields(std::string described, const std::vector<std::string>& fields)
{
    for (const std::string& field : fields) {
        const std::size_t name = described.find("\n" + field.substr(0, field.find('=') + 1));
        if (name == std::string::npos) {
            throw std::invalid_argument("no field " + field);
        }
        const std::size_t end = described.find('\n', name + 1);
        described.replace(name + 1, end - name - 1, field);
    }
    return described;
}

} // namespace kestrin::testing
