// SPDX-License-Identifier: MIT
#include "test_support.h"

#include <fstream>
#include <sstream>
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

} // namespace kestrin::testing
