// SPDX-License-Identifier: MIT
// Table files of arbitrary bytes: every entry is a piece of the content that followed an "=", and
// codes always read back as the value written.

#include "kestrin/table_file.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    std::size_t total = 0;
    for (const auto& entry : kestrin::ReadTableEntries(content)) {
        if (content.find("=" + entry) == std::string_view::npos) {
            std::abort();
        }
        total += entry.size();
    }
    if (total > size) {
        std::abort();
    }
    if (size >= 2) {
        const auto value = static_cast<std::int16_t>(data[0] << 8 | data[1]);
        const std::string code = kestrin::FormatTableCode(value);
        if (static_cast<std::int16_t>(std::stoul(code, nullptr, 16)) != value || code.size() < 2 ||
            code.size() > 4) {
            std::abort();
        }
    }
    return 0;
}
