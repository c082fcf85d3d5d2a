// SPDX-License-Identifier: MIT
// Number lists and requests from arbitrary text: no crash, every value in 16 bits, and a range
// never yields more values than its ends allow.

#include "kestrin/number_list.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 512) {
        return -1; // a long text only repeats what a short one does, more slowly
    }
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto values = kestrin::ParseNumberList(text);
    // Each item gives at most 65536 values, and items are separated by commas.
    std::size_t items = 1;
    for (const char c : text) {
        items += c == ',' ? 1 : 0;
    }
    if (values.size() > items * 65536) {
        std::abort();
    }
    if (const auto numeric = kestrin::ParseNumeric(text)) {
        if (numeric->floor > numeric->rounded || numeric->rounded - numeric->floor > 1) {
            std::abort();
        }
        for (const std::int64_t distinct : {0, 1, 26, 1000000}) {
            const std::int64_t last = kestrin::LastResultPosition(*numeric, distinct);
            if (last < -1 || last > distinct) {
                std::abort();
            }
        }
    }
    return 0;
}
