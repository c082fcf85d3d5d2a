// SPDX-License-Identifier: MIT
#pragma once

#include "cli_options.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

// The options that do nothing without a partner, `given` telling which long options were typed: each
// draws a warning naming both.
[[nodiscard]] std::vector<std::string> WarnAboutPartners(const CommandLine& line,
                                                         const std::function<bool(std::string_view)>& given);

// The pieces of the lengths, the ranges and the request that are no number, and the dictionary or
// ranges that leave the savings choice without an entry or a code size.
[[nodiscard]] std::vector<std::string> WarnAboutNumbers(const RunSettings& s);

} // namespace kestrin
